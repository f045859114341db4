// Side by side with QuantLib in one process: the arithmetic Asian of Zeng and Kwok (120
// monthly fixings over 10 years, K = 100) by QuantLib's MCDiscreteArithmeticAPHestonEngine in
// its best configuration (QE with martingale correction, antithetic pairs, the geometric
// control variate, the same 24 steps a year) and by ours at the same standard error; and the
// forward-start closed form against QuantLib's analytic forward engine, where they part; and
// an arithmetic Asian under Bates jumps, QuantLib's Heston Asian engine fed a BatesProcess.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <ql/quantlib.hpp>
#include <vector>

#include "contour/ContourPricer.h"
#include "pathsimulation/AsianOption.h"
#include "pathsimulation/ForwardStartPrice.h"
#include "pathsimulation/ForwardStartSimulation.h"

namespace {

namespace ql = QuantLib;

struct Market {
    ql::Date today{2, ql::January, 2024};
    ql::DayCounter dayCounter = ql::Actual365Fixed();
    ql::ext::shared_ptr<ql::HestonProcess> Process(double spot, double r, double q,
                                                   const heston::ModelParameters& m) const {
        ql::Settings::instance().evaluationDate() = today;
        return ql::ext::make_shared<ql::HestonProcess>(
            ql::Handle<ql::YieldTermStructure>(
                ql::ext::make_shared<ql::FlatForward>(today, r, dayCounter)),
            ql::Handle<ql::YieldTermStructure>(
                ql::ext::make_shared<ql::FlatForward>(today, q, dayCounter)),
            ql::Handle<ql::Quote>(ql::ext::make_shared<ql::SimpleQuote>(spot)), m.v0, m.kappa,
            m.theta, m.sigma, m.rho, ql::HestonProcess::QuadraticExponentialMartingale);
    }
};

// CPU seconds of the calling thread, on which both engines run: a fair clock on a shared machine.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + 1e-9 * now.tv_nsec;
}

void BM_AsianAgainstQuantLibAtEqualStandardError(benchmark::State& state) {
    const heston::ModelParameters model{0.0175, 0.0398, 1.5768, 0.5751, -0.5711};
    const Market market;
    std::vector<ql::Date> dates;
    std::vector<double> times;
    for (int i = 1; i <= 120; ++i) {
        const int days = static_cast<int>(std::lround(i * 365.0 / 12.0));
        dates.push_back(market.today + days);
        times.push_back(days / 365.0);
    }
    const auto process = market.Process(100, 0.03, 0.0, model);
    ql::DiscreteAveragingAsianOption option(
        ql::Average::Arithmetic, 0.0, 0, dates,
        ql::ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, 100.0),
        ql::ext::make_shared<ql::EuropeanExercise>(dates.back()));
    const ql::Size samples = static_cast<ql::Size>(state.range(0));
    double qlSeconds = 0, ourSeconds = 0, qlPrice = 0, qlError = 0;
    heston::SimulatedPrice ours{};
    std::int64_t paths = 0;
    for (auto _ : state) {
        double start = ThreadSeconds();
        option.setPricingEngine(
            ql::MakeMCDiscreteArithmeticAPHestonEngine<ql::PseudoRandom>(process)
                .withSamples(samples)
                .withSeed(42)
                .withAntitheticVariate()
                .withControlVariate(true)
                .withStepsPerYear(24));
        qlPrice = option.NPV();
        qlError = option.errorEstimate();
        qlSeconds = ThreadSeconds() - start;
        // Our standard error at 100000 paths is measured once; paths scale with its square.
        heston::SimulationSettings probe;
        probe.paths = 20000;
        const double probeError =
            heston::AsianPrices(100, {{heston::kCall, 100}}, times, 0.03, 0.0, model,
                                heston::AsianAverage::kArithmetic, probe)[0]
                .standardError;
        heston::SimulationSettings settings;
        paths = static_cast<std::int64_t>(
            std::ceil(probe.paths * (probeError / qlError) * (probeError / qlError)));
        settings.paths = std::max<std::int64_t>(paths, 100);
        start = ThreadSeconds();
        ours = heston::AsianPrices(100, {{heston::kCall, 100}}, times, 0.03, 0.0, model,
                                   heston::AsianAverage::kArithmetic, settings)[0];
        ourSeconds = ThreadSeconds() - start;
    }
    state.counters["quantlib_price"] = qlPrice;
    state.counters["quantlib_se"] = qlError;
    state.counters["quantlib_seconds"] = qlSeconds;
    state.counters["our_price"] = ours.price;
    state.counters["our_se"] = ours.standardError;
    state.counters["our_paths"] = static_cast<double>(paths);
    state.counters["our_seconds"] = ourSeconds;
    state.counters["time_ratio"] = qlSeconds / ourSeconds;
}
BENCHMARK(BM_AsianAgainstQuantLibAtEqualStandardError)
    ->Arg(2000)
    ->Arg(8000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// 12 monthly fixings over a year, K = 100, S = 100, r = 0.03, q = 0, the Zeng and Kwok Heston
// parameters with jumps lambda 0.5, muJ -0.2, deltaJ 0.15. QuantLib's arithmetic Asian Heston
// engine takes a BatesProcess (QE with martingale correction, antithetic, 24 steps a year). Its
// geometric control variate prices without the jumps and moves the price by far more than its
// standard error (both figures are recorded), so its best configuration that reaches the
// price is the one without. Ours at an equal or smaller standard error, with our control
// variate (the geometric closed form with the jumps) and without any (plain, the like-for-like
// scheme).
void BM_BatesAsianAgainstQuantLibAtEqualStandardError(benchmark::State& state) {
    const heston::BatesParameters model{{0.0175, 0.0398, 1.5768, 0.5751, -0.5711},
                                        {0.5, -0.2, 0.15}};
    const Market market;
    std::vector<ql::Date> dates;
    std::vector<double> times;
    for (int i = 1; i <= 12; ++i) {
        const int days = static_cast<int>(std::lround(i * 365.0 / 12.0));
        dates.push_back(market.today + days);
        times.push_back(days / 365.0);
    }
    const heston::ModelParameters& h = model.heston;
    ql::Settings::instance().evaluationDate() = market.today;
    const auto process = ql::ext::make_shared<ql::BatesProcess>(
        ql::Handle<ql::YieldTermStructure>(
            ql::ext::make_shared<ql::FlatForward>(market.today, 0.03, market.dayCounter)),
        ql::Handle<ql::YieldTermStructure>(
            ql::ext::make_shared<ql::FlatForward>(market.today, 0.0, market.dayCounter)),
        ql::Handle<ql::Quote>(ql::ext::make_shared<ql::SimpleQuote>(100.0)), h.v0, h.kappa, h.theta,
        h.sigma, h.rho, model.jumps.lambda, model.jumps.muJ, model.jumps.deltaJ,
        ql::HestonProcess::QuadraticExponentialMartingale);
    const ql::Size samples = static_cast<ql::Size>(state.range(0));
    auto quantlib = [&](bool controlVariate, double* error) {
        ql::DiscreteAveragingAsianOption option(
            ql::Average::Arithmetic, 0.0, 0, dates,
            ql::ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, 100.0),
            ql::ext::make_shared<ql::EuropeanExercise>(dates.back()));
        option.setPricingEngine(ql::MakeMCDiscreteArithmeticAPHestonEngine<ql::PseudoRandom>(
                                    ql::ext::shared_ptr<ql::HestonProcess>(process))
                                    .withSamples(samples)
                                    .withSeed(42)
                                    .withAntitheticVariate()
                                    .withControlVariate(controlVariate)
                                    .withStepsPerYear(24));
        const double price = option.NPV();
        *error = option.errorEstimate();
        return price;
    };
    // Our price at a standard error no larger than the target: paths scaled from a probe of
    // 20000 by the square of the ratio of standard errors (at least 1000: the estimate of a
    // few hundred pairs is itself too rough), raised until the run meets the target; the last
    // run is timed.
    auto ours = [&](bool plain, double target, std::int64_t* paths, double* seconds) {
        auto run = [&](const heston::SimulationSettings& settings) {
            return plain ? heston::SimulatedAsianPrices(
                               100, {{heston::kCall, 100}}, times, 0.03, 0.0, model,
                               heston::AsianAverage::kArithmetic, settings)[0]
                         : heston::AsianPrices(100, {{heston::kCall, 100}}, times, 0.03, 0.0, model,
                                               heston::AsianAverage::kArithmetic, settings)[0];
        };
        heston::SimulationSettings settings;
        settings.paths = 20000;
        double error = run(settings).standardError;
        settings.paths = std::max<std::int64_t>(
            1000, static_cast<std::int64_t>(
                      std::ceil(settings.paths * (error / target) * (error / target))));
        heston::SimulatedPrice price{};
        for (;;) {
            const double start = ThreadSeconds();
            price = run(settings);
            *seconds = ThreadSeconds() - start;
            if (price.standardError <= target) break;
            error = price.standardError;
            settings.paths = static_cast<std::int64_t>(
                std::ceil(1.2 * settings.paths * (error / target) * (error / target)));
        }
        *paths = settings.paths;
        return price;
    };
    double qlSeconds = 0, qlPrice = 0, qlError = 0, qlControlled = 0, qlControlledError = 0;
    double controlledSeconds = 0, plainSeconds = 0;
    std::int64_t controlledPaths = 0, plainPaths = 0;
    heston::SimulatedPrice controlled{}, plain{};
    for (auto _ : state) {
        const double start = ThreadSeconds();
        qlPrice = quantlib(false, &qlError);
        qlSeconds = ThreadSeconds() - start;
        qlControlled = quantlib(true, &qlControlledError);
        controlled = ours(false, qlError, &controlledPaths, &controlledSeconds);
        plain = ours(true, qlError, &plainPaths, &plainSeconds);
    }
    state.counters["quantlib_price"] = qlPrice;
    state.counters["quantlib_se"] = qlError;
    state.counters["quantlib_seconds"] = qlSeconds;
    state.counters["quantlib_with_its_cv_price"] = qlControlled;
    state.counters["quantlib_with_its_cv_se"] = qlControlledError;
    state.counters["our_price"] = controlled.price;
    state.counters["our_se"] = controlled.standardError;
    state.counters["our_paths"] = static_cast<double>(controlledPaths);
    state.counters["our_seconds"] = controlledSeconds;
    state.counters["time_ratio"] = qlSeconds / controlledSeconds;
    state.counters["our_plain_price"] = plain.price;
    state.counters["our_plain_se"] = plain.standardError;
    state.counters["our_plain_paths"] = static_cast<double>(plainPaths);
    state.counters["our_plain_seconds"] = plainSeconds;
    state.counters["plain_time_ratio"] = qlSeconds / plainSeconds;
}
BENCHMARK(BM_BatesAsianAgainstQuantLibAtEqualStandardError)
    ->Arg(20000)
    ->Arg(80000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// k = 0.8, reset 0.5, maturity 1, r = 0.005, q = 0.03; v0 = 0.09, kappa = 11.35, theta =
// 0.022, sigma = 0.618, rho = -0.5: ours, QuantLib's analytic forward engine (with its default
// rule over the variance at the reset and its finest, 192 points), a simulation of 4 million paths,
// and two readings of the contract that might explain QuantLib's figure.
void BM_ForwardStartAgainstQuantLib(benchmark::State& state) {
    const heston::ModelParameters model{0.09, 0.022, 11.35, 0.618, -0.5};
    const Market market;
    const double k = state.range(0) / 100.0;
    const ql::Date reset = market.today + 182;
    const ql::Date maturity = market.today + 365;
    const double t0 = 182 / 365.0, t = 1.0;
    const auto process = market.Process(100, 0.005, 0.03, model);
    ql::ForwardVanillaOption option(
        k, reset, ql::ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, 100),
        ql::ext::make_shared<ql::EuropeanExercise>(maturity));
    option.setPricingEngine(ql::ext::make_shared<ql::AnalyticHestonForwardEuropeanEngine>(process));
    // The same engine with a finer rule over the variance at the reset than its default 144: its
    // largest, 192.
    ql::ForwardVanillaOption finer(
        k, reset, ql::ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, 100),
        ql::ext::make_shared<ql::EuropeanExercise>(maturity));
    finer.setPricingEngine(
        ql::ext::make_shared<ql::AnalyticHestonForwardEuropeanEngine>(process, 192));
    double quantlib = 0, quantlibFiner = 0, ours = 0;
    heston::SimulatedPrice simulated{};
    for (auto _ : state) {
        quantlib = option.NPV();
        quantlibFiner = finer.NPV();
        ours = heston::ForwardStartPrice(heston::kCall, 100, k, t0, t, 0.005, 0.03, model);
        heston::SimulationSettings settings;
        settings.paths = 4000000;
        settings.stepsPerYear = 96;
        simulated = heston::SimulatedForwardStartPrices(100, {{heston::kCall, k}}, t0, t, 0.005,
                                                        0.03, model, settings)[0];
    }
    state.counters["ours"] = ours;
    state.counters["quantlib"] = quantlib;
    state.counters["quantlib_minus_ours"] = quantlib - ours;
    state.counters["quantlib_order192_minus_ours"] = quantlibFiner - ours;
    state.counters["simulated"] = simulated.price;
    state.counters["simulated_se"] = simulated.standardError;
    // Readings: the strike k times the forward (not the spot) at the reset; no dividend before
    // the reset.
    state.counters["strike_on_forward"] = heston::ForwardStartPrice(
        heston::kCall, 100, k * std::exp((0.005 - 0.03) * (t - t0)), t0, t, 0.005, 0.03, model);
    state.counters["no_dividend_before_reset"] = ours * std::exp(0.03 * t0);
}
BENCHMARK(BM_ForwardStartAgainstQuantLib)
    ->Arg(80)
    ->Arg(100)
    ->Arg(120)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
