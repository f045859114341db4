// Forward-start options: a reset at 0 is the European option with strike k S; the closed form
// agrees with European prices from the reset integrated over the transition density of the
// variance at the reset (the representation of Kruse and Noegel, computed independently with
// the contour pricer and a tanh-sinh rule) to 1e-8 of the spot; a reset at maturity pays the
// intrinsic value; and the simulated price lands within a few standard errors. Under the Bates
// model, a reset at 0 is the independent Bates European price; with deterministic variance the
// price is Merton's series from the reset; and with stochastic variance and jumps of one size it
// is the Heston forward start mixed over the number of jumps after the reset (those before it
// only scale the spot at the reset).
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "affine_moment_reference.h"
#include "bates_reference.h"
#include "contour/ContourPricer.h"
#include "pathsimulation/ForwardStartPrice.h"
#include "pathsimulation/ForwardStartSimulation.h"

namespace {

using heston::kCall;
using heston::kPut;
using heston::ModelParameters;

TEST(ForwardStart, ResetAtZeroIsTheEuropeanOptionStruckAtKTimesSpot) {
    const ModelParameters m{0.09, 0.022, 11.35, 0.618, -0.5};
    for (double k : {0.6, 0.8, 1.0, 1.2, 1.5}) {
        for (int type : {kCall, kPut}) {
            EXPECT_NEAR(heston::ForwardStartPrice(type, 100, k, 0.0, 1.0, 0.005, 0.03, m),
                        heston::EuropeanPrice(type, 100, 100 * k, 1.0, 0.005, 0.03, m), 1e-12 * 100)
                << k;
        }
    }
}

// S(0) exp(-q t0) times the expectation, under the measure with the spot as numeraire, of the
// European price of spot 1 and strike k started at the reset from the variance v: there the
// variance is a square-root process with kappa* = kappa - rho sigma and theta* = kappa
// theta / kappa*, and v(t0) is c times a noncentral chi-square variable.
double TransitionDensityReference(int type, double spot, double k, double reset, double maturity,
                                  double rate, double yield, const ModelParameters& m) {
    const double kappaStar = m.kappa - m.rho * m.sigma;
    const double c = m.sigma * m.sigma * (1.0 - std::exp(-kappaStar * reset)) / (4.0 * kappaStar);
    const double degrees = 4.0 * m.kappa * m.theta / (m.sigma * m.sigma);
    const double lambda = m.v0 * std::exp(-kappaStar * reset) / c;
    const double nu = 0.5 * degrees - 1.0;
    auto density = [&](double x) {
        const double z = std::sqrt(lambda * x);
        // I of negative order: I_-n(z) = I_n(z) + 2/pi sin(n pi) K_n(z).
        const double n = std::fabs(nu);
        const double bessel = nu >= 0.0
                                  ? std::cyl_bessel_i(n, z)
                                  : std::cyl_bessel_i(n, z) +
                                        2.0 / M_PI * std::sin(n * M_PI) * std::cyl_bessel_k(n, z);
        return 0.5 * std::exp(-0.5 * (x + lambda) + (0.5 * nu) * std::log(x / lambda)) * bessel;
    };
    auto integrand = [&](double x) {
        const ModelParameters atReset{c * x, m.theta, m.kappa, m.sigma, m.rho};
        return density(x) *
               heston::EuropeanPrice(type, 1.0, k, maturity - reset, rate, yield, atReset);
    };
    const double upper = degrees + lambda + 60.0 * std::sqrt(2.0 * (degrees + 2.0 * lambda)) + 60;
    const double expectation = reference::TanhSinh(integrand, 0.0, upper, 1.0 / 32.0);
    return spot * std::exp(-yield * reset) * expectation;
}

TEST(ForwardStart, AgreesWithEuropeanPricesIntegratedOverTheVarianceAtTheReset) {
    struct Case {
        ModelParameters m;
        double reset, maturity, rate, yield;
    };
    const Case cases[] = {{{0.09, 0.022, 11.35, 0.618, -0.5}, 0.5, 1.0, 0.005, 0.03},
                          {{0.04, 0.05, 1.5, 0.5, -0.7}, 1.0, 2.0, 0.03, 0.0},
                          {{0.0175, 0.0398, 1.5768, 0.5751, -0.5711}, 2.0, 3.0, 0.03, 0.01}};
    for (const Case& c : cases) {
        for (double k : {0.8, 1.0, 1.2}) {
            for (int type : {kCall, kPut}) {
                const double closed = heston::ForwardStartPrice(type, 100, k, c.reset, c.maturity,
                                                                c.rate, c.yield, c.m);
                const double reference = TransitionDensityReference(
                    type, 100, k, c.reset, c.maturity, c.rate, c.yield, c.m);
                EXPECT_NEAR(closed, reference, 1e-8 * 100)
                    << "k " << k << " type " << type << " kappa " << c.m.kappa;
            }
        }
    }
}

TEST(ForwardStart, UnderJumpsResetAtZeroIsTheBatesEuropeanOption) {
    const ModelParameters m{0.09, 0.022, 11.35, 0.618, -0.5};
    const heston::JumpParameters j{0.5, -0.2, 0.15};
    for (double k : {0.7, 1.0, 1.3}) {
        reference::BatesReference r{100.0,   100.0 * k, 1.0,   0.005,    0.03,  m.v0,    m.theta,
                                    m.kappa, m.sigma,   m.rho, j.lambda, j.muJ, j.deltaJ};
        for (int type : {kCall, kPut}) {
            EXPECT_NEAR(heston::ForwardStartPrice(type, 100, k, 0.0, 1.0, 0.005, 0.03,
                                                  heston::BatesParameters{m, j}),
                        static_cast<double>(r.Price(type)), 1e-12 * 100)
                << k;
        }
    }
}

TEST(ForwardStart, UnderMertonJumpsIsMertonsSeriesFromTheReset) {
    // sigma = 0: the variance at the reset is theta + (v0 - theta) exp(-kappa t0), and the
    // price S exp(-q t0) times Merton's price of spot 1 and strike k over T - t0.
    const ModelParameters m{0.09, 0.03, 2.0, 0.0, 0.0};
    const double reset = 0.75, maturity = 2.0, rate = 0.03, yield = 0.01;
    const double atReset = m.theta + (m.v0 - m.theta) * std::exp(-m.kappa * reset);
    for (const heston::JumpParameters& j :
         {heston::JumpParameters{0.5, -0.2, 0.15}, heston::JumpParameters{5.0, 0.02, 0.05}}) {
        for (double k : {0.7, 1.0, 1.3}) {
            reference::BatesReference r{1.0,      k,       maturity - reset, rate, yield,
                                        atReset,  m.theta, m.kappa,          0.0,  0.0,
                                        j.lambda, j.muJ,   j.deltaJ};
            for (int type : {kCall, kPut}) {
                const double expected =
                    100 * std::exp(-yield * reset) * static_cast<double>(r.MertonPrice(type));
                EXPECT_NEAR(heston::ForwardStartPrice(type, 100, k, reset, maturity, rate, yield,
                                                      heston::BatesParameters{m, j}),
                            expected, 1e-12 * 100)
                    << "lambda " << j.lambda << " k " << k << " type " << type;
            }
        }
    }
}

TEST(ForwardStart, UnderFixedJumpsIsTheHestonPriceMixedOverTheJumpsAfterTheReset) {
    // With deltaJ = 0, n jumps after the reset multiply S(T) / S(t0) by exp(c_n),
    // c_n = n muJ - lambda m (T - t0), independently of the rest: the payoff is exp(c_n) times
    // that of moneyness k exp(-c_n), priced by the Heston closed form. n <= 14 leaves out a
    // Poisson weight below 1e-17.
    const ModelParameters m{0.04, 0.05, 1.5, 0.5, -0.7};
    const heston::JumpParameters j{0.8, -0.15, 0.0};
    const double reset = 0.5, maturity = 1.0, rate = 0.03, yield = 0.01;
    const double mean = j.lambda * (maturity - reset);
    const double compensator = mean * std::expm1(j.muJ);
    for (double k : {0.8, 1.0, 1.2}) {
        for (int type : {kCall, kPut}) {
            double mixed = 0.0;
            for (int n = 0; n <= 14; ++n) {
                const double c = n * j.muJ - compensator;
                mixed += std::exp(-mean + n * std::log(mean) - std::lgamma(n + 1.0)) * std::exp(c) *
                         heston::ForwardStartPrice(type, 100, k * std::exp(-c), reset, maturity,
                                                   rate, yield, m);
            }
            EXPECT_NEAR(heston::ForwardStartPrice(type, 100, k, reset, maturity, rate, yield,
                                                  heston::BatesParameters{m, j}),
                        mixed, 1e-12 * 100)
                << "k " << k << " type " << type;
        }
    }
}

TEST(ForwardStart, ResetAtMaturityPaysTheIntrinsicValueAndBadInputIsNamed) {
    const ModelParameters m{0.04, 0.05, 1.5, 0.5, -0.7};
    // S(T) (1 - k)^+ discounted: S exp(-q T) (1 - k).
    EXPECT_NEAR(heston::ForwardStartPrice(kCall, 100, 0.9, 1, 1, 0.03, 0.01, m),
                100 * std::exp(-0.01) * 0.1, 1e-13);
    EXPECT_EQ(heston::ForwardStartPrice(kPut, 100, 0.9, 1, 1, 0.03, 0.01, m), 0.0);
    auto message = [&](double k, double reset, double maturity) {
        try {
            heston::ForwardStartPrice(kCall, 100, k, reset, maturity, 0.03, 0.01, m);
        } catch (const std::invalid_argument& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(0.0, 0.5, 1.0), "Moneyness must be positive and finite");
    EXPECT_EQ(message(1.0, 1.5, 1.0), "ResetTime must not be after Maturity");
    EXPECT_EQ(message(1.0, -0.5, 1.0), "ResetTime must not be negative");
}

TEST(ForwardStart, SimulationLandsWithinThreeStandardErrorsOfTheClosedForm) {
    const ModelParameters m{0.09, 0.022, 11.35, 0.618, -0.5};
    heston::SimulationSettings settings;
    settings.paths = 20000;
    const std::vector<heston::ForwardStartOption> options = {
        {kCall, 0.8}, {kCall, 1.0}, {kPut, 1.0}, {kCall, 1.2}};
    const auto simulated =
        heston::SimulatedForwardStartPrices(100, options, 0.5, 1.0, 0.005, 0.03, m, settings);
    for (std::size_t i = 0; i < options.size(); ++i) {
        const double closed = heston::ForwardStartPrice(
            options[i].optionType, 100, options[i].moneyness, 0.5, 1.0, 0.005, 0.03, m);
        EXPECT_GT(simulated[i].standardError, 0.0);
        EXPECT_NEAR(simulated[i].price, closed, 3.0 * simulated[i].standardError) << i;
    }
}

}  // namespace
