// The maturities of a surface evaluation run as independent tasks: both batch pricers and the
// three calibrations give the same numbers bit for bit on 1, 2 and 7 threads as on the serial
// runner, on the DAX surface (8 maturities of 13 strikes).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "calibration/Calibration.h"
#include "calibration/ContourCalibration.h"
#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "contour/ContourPricer.h"
#include "model/ModelParameters.h"
#include "observation_csv.h"
#include "thread_runner.h"

namespace {

using test_support::QuoteTable;
using test_support::ThreadRunner;
using Vector = std::vector<double>;

const int kThreadCounts[] = {1, 2, 7};

QuoteTable Dax() {
    return test_support::ReadObservationCsv(HESTON_EXAMPLES_DIR "/dax-surface.csv",
                                            test_support::kDaxSpot);
}

// Bit for bit, so that NaN equals NaN and -0 differs from 0.
void ExpectSameBits(const Vector& expected, const Vector& actual, int threads) {
    ASSERT_EQ(expected.size(), actual.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::memcmp(&expected[i], &actual[i], sizeof(double)), 0)
            << "entry " << i << " on " << threads << " threads: " << expected[i] << " vs "
            << actual[i];
    }
}

const Vector kLower{0.001, 0.001, 0.1, 0.05, -0.99};
const Vector kUpper{0.5, 0.5, 10.0, 1.5, 0.99};

TEST(ParallelSurface, BatchPricesAreTheSameOnEveryThreadCount) {
    QuoteTable t = Dax();
    // Beside the surface: a NaN maturity (a group of its own), a strike of 0 (priced by the
    // straightforward integrals) and a maturity that comes back after others.
    t.strike.insert(t.strike.end(), {0.0, 4400.0, 4500.0});
    t.maturity.insert(t.maturity.end(),
                      {0.5, std::numeric_limits<double>::quiet_NaN(), t.maturity.front()});
    t.rate.insert(t.rate.end(), {0.03, 0.03, 0.03});
    t.type.insert(t.type.end(), {2.0, 1.0, 1.0});
    const int n = static_cast<int>(t.Size());
    const heston::ModelParameters p{0.04, 0.05, 1.8, 0.5, -0.7};

    Vector serial(n);
    heston::closedform::ClosedFormPrices(t.spot, t.strike.data(), t.maturity.data(), t.rate.data(),
                                         t.type.data(), n, p, 0.0, 1e-6, serial.data());
    // The serial prices are the library's single prices.
    Heston heston;
    for (int i = 0; i < n; ++i) {
        const double single = heston.ClosedFormPrice(t.spot, t.strike[i], t.maturity[i], t.rate[i],
                                                     p.rho, p.kappa, p.theta, 0.0, p.sigma, p.v0,
                                                     1e-6, 100.0, static_cast<int>(t.type[i]));
        if (std::isnan(single)) {
            EXPECT_TRUE(std::isnan(serial[i])) << i;
        } else {
            EXPECT_NEAR(serial[i], single, 1e-9 * t.spot) << i;
        }
    }

    for (int threads : kThreadCounts) {
        ThreadRunner runner(threads);
        Vector parallel(n, -1.0);
        heston::closedform::ClosedFormPrices(t.spot, t.strike.data(), t.maturity.data(),
                                             t.rate.data(), t.type.data(), n, p, 0.0, 1e-6,
                                             parallel.data(), runner);
        ExpectSameBits(serial, parallel, threads);
        EXPECT_EQ(runner.Batches(), 1);
        // 8 maturities, the NaN one and 0.5 make 10 tasks, spread over every thread.
        EXPECT_EQ(runner.DistinctThreads(), static_cast<std::size_t>(threads));
    }
}

TEST(ParallelSurface, ContourBatchIsTheSameOnEveryThreadCount) {
    const QuoteTable t = Dax();
    std::vector<heston::BatchOption> options;
    for (std::size_t i = 0; i < t.Size(); ++i) {
        options.push_back({t.type[i] == 1.0 ? heston::kCall : heston::kPut, t.strike[i],
                           t.maturity[i], t.rate[i], 0.01});
    }
    options.push_back({heston::kCall, -1.0, 0.5, 0.03, 0.0});  // invalid: NaN in its slots
    const std::size_t n = options.size();
    const heston::ModelParameters p{0.04, 0.05, 1.8, 0.5, -0.7};
    Vector prices(n), derivatives(5 * n);
    heston::EuropeanPrices(t.spot, p, options.data(), n, prices.data(), derivatives.data());
    EXPECT_TRUE(std::isnan(prices.back()));
    // The batch's prices are the single pricer's.
    for (std::size_t i = 0; i + 1 < n; i += 7) {
        const heston::BatchOption& o = options[i];
        EXPECT_NEAR(prices[i],
                    heston::EuropeanPrice(o.optionType, t.spot, o.strike, o.maturity, o.rate,
                                          o.dividendYield, p),
                    1e-9 * t.spot)
            << i;
    }
    for (int threads : kThreadCounts) {
        ThreadRunner runner(threads);
        Vector parallel(n), parallelDerivatives(5 * n), alone(n);
        heston::EuropeanPrices(t.spot, p, options.data(), n, parallel.data(),
                               parallelDerivatives.data(), runner);
        ExpectSameBits(prices, parallel, threads);
        ExpectSameBits(derivatives, parallelDerivatives, threads);
        EXPECT_EQ(runner.DistinctThreads(), static_cast<std::size_t>(threads));
        Vector serialAlone(n);
        heston::EuropeanPrices(t.spot, p, options.data(), n, serialAlone.data());
        heston::EuropeanPrices(t.spot, p, options.data(), n, alone.data(), nullptr, runner);
        ExpectSameBits(serialAlone, alone, threads);
    }
}

// The search draws from one process-wide random stream that successive searches continue, so
// each search runs in a child process forked from the same state, and hands back its result
// and the number of surface evaluations it ran as batches.
Vector InChild(const std::function<Vector()>& search) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const Vector result = search();
        const ssize_t size = static_cast<ssize_t>(result.size() * sizeof(double));
        const bool written = write(fds[1], result.data(), size) == size;
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    Vector result(8);
    const ssize_t got = read(fds[0], result.data(), result.size() * sizeof(double));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    result.resize(got > 0 ? static_cast<std::size_t>(got) / sizeof(double) : 0);
    return result;
}

TEST(ParallelSurface, DifferentialEvolutionIsTheSameOnEveryThreadCount) {
    const QuoteTable t = Dax();
    const Vector serial = InChild([&] {
        Vector best = heston_CalibrateDE(kLower, kUpper, t.strike, t.maturity, t.type, t.observed,
                                         t.spot, t.rate, t.weight, 4);
        best.push_back(0.0);
        return best;
    });
    ASSERT_EQ(serial.size(), 6u);
    for (int threads : kThreadCounts) {
        const Vector parallel = InChild([&] {
            ThreadRunner runner(threads);
            Vector best =
                heston_CalibrateDE(kLower, kUpper, t.strike, t.maturity, t.type, t.observed, t.spot,
                                   t.rate, t.weight, 4, heston::StopRequest(), runner);
            // One batch per trial candidate: 50 in each of the 4 generations.
            EXPECT_EQ(runner.Batches(), 4 * 50);
            best.push_back(runner.Batches() == 4 * 50 ? 0.0 : 1.0);
            return best;
        });
        ExpectSameBits(serial, parallel, threads);
    }
}

TEST(ParallelSurface, LevenbergMarquardtIsTheSameOnEveryThreadCount) {
    const QuoteTable t = Dax();
    const Vector guess{0.04, 0.05, 2.0, 0.5, -0.6};
    Heston serialModel;
    const Vector serial =
        serialModel.CalibrateLeastSquares(kLower, kUpper, guess, t.strike, t.maturity, t.type,
                                          t.observed, t.spot, t.rate, t.weight, 40);
    for (int threads : kThreadCounts) {
        ThreadRunner runner(threads);
        Heston model;
        model.runner = &runner;
        const Vector parallel =
            model.CalibrateLeastSquares(kLower, kUpper, guess, t.strike, t.maturity, t.type,
                                        t.observed, t.spot, t.rate, t.weight, 40);
        ExpectSameBits(serial, parallel, threads);
        EXPECT_EQ(model.evaluationCount, serialModel.evaluationCount);
        EXPECT_EQ(runner.Batches(), model.evaluationCount);
        // The library function takes the runner too.
        const Vector viaFunction =
            heston_CalibrateLevMar(kLower, kUpper, guess, t.strike, t.maturity, t.type, t.observed,
                                   t.spot, t.rate, t.weight, 40, heston::StopRequest(), runner);
        ExpectSameBits(serial, viaFunction, threads);
    }
}

// The contour calibration in each measure, with and without its global phase, and with a budget
// so short that the global phase's short runs must share what is left, one after the other.
TEST(ParallelSurface, ContourCalibrationIsTheSameOnEveryThreadCount) {
    const QuoteTable t = Dax();
    const std::vector<heston::CalibrationQuote> quotes = test_support::ContourQuotes(t, 0.0);
    auto flat = [](const heston::ContourCalibrationResult& r) {
        return Vector{r.parameters.v0,
                      r.parameters.theta,
                      r.parameters.kappa,
                      r.parameters.sigma,
                      r.parameters.rho,
                      r.rmse,
                      static_cast<double>(r.evaluations),
                      static_cast<double>(r.status)};
    };
    struct Case {
        heston::CalibrationErrorMeasure measure;
        bool guess;
        int evaluations;
    };
    const Case cases[] = {{heston::CalibrationErrorMeasure::Price, false, 500},
                          {heston::CalibrationErrorMeasure::Vol, false, 60},
                          {heston::CalibrationErrorMeasure::Relative, false, 90},
                          {heston::CalibrationErrorMeasure::Price, true, 8}};
    for (const Case& c : cases) {
        heston::ContourCalibrationSettings settings;
        settings.measure = c.measure;
        settings.maxEvaluations = c.evaluations;
        settings.hasInitialGuess = c.guess;
        settings.initialGuess = {0.04, 0.05, 2.0, 0.5, -0.6};
        const Vector serial = flat(heston::CalibrateAccurately(t.spot, quotes, settings));
        EXPECT_LE(serial[6], c.evaluations);
        for (int threads : kThreadCounts) {
            ThreadRunner runner(threads);
            const Vector parallel =
                flat(heston::CalibrateAccurately(t.spot, quotes, settings, runner));
            SCOPED_TRACE("measure " + std::to_string(static_cast<int>(c.measure)) + ", budget " +
                         std::to_string(c.evaluations));
            ExpectSameBits(serial, parallel, threads);
            EXPECT_GT(runner.Batches(), 0);
        }
    }
}

}  // namespace
