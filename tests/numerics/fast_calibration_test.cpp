// Both calibrations through the fast objective and residuals against the same calibrations
// driven by the straightforward evaluation in reference_pricing.h; and the Monte Carlo price
// against its straightforward form on the same stream.
#include <cminpack.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "calibration/Calibration.h"
#include "closedform/Heston.h"
#include "model/ModelParameters.h"
#include "montecarlo/RuntimeRand.h"
#include "quote_table.h"
#include "reference_pricing.h"

namespace {

using Vector = std::vector<double>;

constexpr double kSpot = 100.0;

using Table = test_support::QuoteTable;

// Reference prices at `truth` with some noise, so that the fit leaves residuals, over several
// maturities and rates (one maturity carries two rates) and unequal weights.
Table MakeTable(const Vector& truth, const Vector& strikes, const Vector& maturities) {
    Table t = test_support::StrikeMaturityTable(kSpot, maturities, strikes);
    for (std::size_t n = 0; n < t.Size(); ++n) {
        if (t.maturity[n] == maturities.front() && t.strike[n] > 100.0) t.rate[n] = 0.035;
        t.weight[n] = 1.0 + 0.1 * (n % 3);
    }
    test_support::PriceWithReference(t, heston::FromCalibrationVector(truth.data()), 1e-13);
    for (std::size_t n = 0; n < t.Size(); ++n) {
        t.observed[n] *= 1.0 + 0.01 * std::sin(n * 1.7);
    }
    return t;
}

void ExpectSameParameters(const Vector& calculated, const Vector& expected) {
    ASSERT_EQ(calculated.size(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        EXPECT_NEAR(calculated[j], expected[j], 1e-8 * std::fabs(expected[j])) << "parameter " << j;
    }
}

int ReferenceCallback(void*, int m, int, const double* x, double* fvec, int) {
    reference::Residuals(m, x, fvec);
    return 0;
}

// The Levenberg-Marquardt calibration with the reference residuals and the library's settings.
Vector ReferenceLevMar(const Vector& lower, const Vector& upper, const Vector& guess,
                       const Table& t, int maxIterations) {
    Heston::SetCalibrationData(lower, upper, t.strike, t.maturity, t.type, t.observed, kSpot,
                               t.rate, t.weight);
    const int m = static_cast<int>(t.observed.size());
    const int n = 5;
    Vector x(n), fvec(m), diag(n), fjac(m * n), qtf(n), wa1(n), wa2(n), wa3(n), wa4(m);
    std::vector<int> ipvt(n);
    for (int j = 0; j < n; ++j) x[j] = ToFreeVariable(upper[j], lower[j], guess[j]);
    int nfev = 0;
    lmdif(ReferenceCallback, nullptr, m, n, x.data(), fvec.data(), 1e-4, 1e-4, 1e-4, maxIterations,
          1e-4, diag.data(), 1, 1.0, 0, &nfev, fjac.data(), m, ipvt.data(), qtf.data(), wa1.data(),
          wa2.data(), wa3.data(), wa4.data());
    Vector result(n);
    for (int j = 0; j < n; ++j) result[j] = ToBoundedParameter(upper[j], lower[j], x[j]);
    return result;
}

// Differential Evolution exactly as heston_CalibrateDE runs it, with the reference objective.
class ReferenceSolver : public Heston {
  public:
    ReferenceSolver() : Heston(5, 50) {}
    double Evaluate(const double* candidate, bool&) override {
        return reference::Objective(candidate, bestCost);
    }
};

const Vector kTruth = {0.04, 0.06, 1.5, 0.4, -0.6};

}  // namespace

TEST(FastCalibration, LevenbergMarquardtGivesTheReferenceParameters) {
    const Table t = MakeTable(kTruth, {80, 90, 95, 100, 105, 110, 120}, {0.25, 1.0, 3.0});
    const Vector lower{0.001, 0.001, 0.1, 0.05, -0.99};
    const Vector upper{0.5, 0.5, 10.0, 1.5, 0.99};
    const Vector guess{0.03, 0.04, 2.5, 0.3, -0.3};
    const Vector expected = ReferenceLevMar(lower, upper, guess, t, 100);
    const Vector calculated =
        heston_CalibrateLevMar(lower, upper, guess, t.strike, t.maturity, t.type, t.observed, kSpot,
                               t.rate, t.weight, 100);
    ExpectSameParameters(calculated, expected);
}

TEST(FastCalibration, DifferentialEvolutionGivesTheReferenceParameters) {
    // The solver's generator is process-wide and cannot be rewound: a child process runs the
    // reference search from the same stream position and reports its result through a pipe.
    const Table t = MakeTable(kTruth, {85, 100, 115}, {0.5, 2.0});
    const Vector lower = {0.005, 0.005, 0.2, 0.05, -0.9};
    const Vector upper = {0.1, 0.1, 3.0, 0.8, 0.2};
    const int generations = 8;
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        Heston::SetCalibrationData(lower, upper, t.strike, t.maturity, t.type, t.observed, kSpot,
                                   t.rate, t.weight);
        ReferenceSolver solver;
        solver.Initialise(lower.data(), upper.data(), 0, 0.9, 1.0);
        solver.Run(generations);
        const ssize_t size = 5 * sizeof(double);
        const bool written = write(channel[1], solver.BestVector(), size) == size;
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    const Vector calculated = heston_CalibrateDE(lower, upper, t.strike, t.maturity, t.type,
                                                 t.observed, kSpot, t.rate, t.weight, generations);
    Vector expected(5);
    const ssize_t size = 5 * sizeof(double);
    const ssize_t got = read(channel[0], expected.data(), size);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, size);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ExpectSameParameters(calculated, expected);
}

TEST(FastMonteCarlo, SameStreamGivesTheStraightforwardPriceExactly) {
    struct Inputs {
        double v, rho;
        int type, simulations, steps;
    };
    // A variance that reflects often (sigma 1.2 against v 0.01), odd and even step counts.
    for (const Inputs& in : {Inputs{0.04, -0.7, 1, 300, 25}, Inputs{0.01, 0.3, 2, 200, 10},
                             Inputs{0.02, -0.2, 1, 50, 0}}) {
        RuntimeRandRestart();
        const double expected =
            reference::MonteCarloPrice(100.0, 105.0, 0.5, 0.03, in.rho, 2.0, 0.04, 1.2, in.v,
                                       in.type, in.simulations, in.steps);
        const std::uint64_t expectedDraws = RuntimeRandDrawCount();
        RuntimeRandRestart();
        Heston model;
        const double calculated =
            model.MonteCarloPrice(100.0, 105.0, 0.5, 0.03, in.rho, 2.0, 0.04, 0.0, 1.2, in.v,
                                  in.type, in.simulations, in.steps);
        EXPECT_EQ(calculated, expected) << in.steps << " steps";
        EXPECT_EQ(RuntimeRandDrawCount(), expectedDraws);
    }
}
