// The joint moment of the log spot at several dates, in closed form, against the Heston Riccati
// equations integrated by Runge-Kutta: European-like moments (one date), the geometric
// average's and the forward start's coefficients, complex arguments far up the imaginary axis,
// and the limits sigma -> 0 and kappa -> 0 where the closed form must not divide by zero; the
// first moment is the forward, with jumps too.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "affine_moment_reference.h"
#include "pathsimulation/FixingMoments.h"

namespace {

using heston::ComplexNumber;

ComplexNumber ClosedForm(const std::vector<ComplexNumber>& a, const std::vector<double>& t,
                         const heston::ModelParameters& m) {
    return heston::LogMomentOfFixings(a.data(), t.data(), static_cast<int>(t.size()), 0.03, 0.01,
                                      m);
}

ComplexNumber RungeKutta(const std::vector<ComplexNumber>& a, const std::vector<double>& t,
                         const heston::ModelParameters& m) {
    return reference::LogMomentByRungeKutta(a, t, 0.03, 0.01,
                                            {m.v0, m.theta, m.kappa, m.sigma, m.rho}, 4000);
}

TEST(FixingMoments, MatchRungeKuttaForSeveralDatesAndArguments) {
    const heston::ModelParameters models[] = {{0.04, 0.05, 1.5, 0.5, -0.7},
                                              {0.09, 0.022, 11.35, 0.618, -0.5},
                                              {0.0175, 0.0398, 1.5768, 0.5751, -0.5711},
                                              {0.04, 0.04, 0.0, 0.3, 0.4},
                                              {0.04, 0.06, 2.0, 0.0, -0.5}};
    const std::vector<double> dates = {0.25, 0.5, 0.5, 1.0, 2.0};
    for (const heston::ModelParameters& m : models) {
        for (ComplexNumber s : {ComplexNumber(1.5, 0.0), ComplexNumber(1.5, 3.0),
                                ComplexNumber(0.3, -7.0), ComplexNumber(-0.5, 20.0)}) {
            const std::vector<ComplexNumber> european = {0.0, 0.0, 0.0, 0.0, s};
            const std::vector<ComplexNumber> average(5, s / 5.0);
            const std::vector<ComplexNumber> forward = {0.0, 1.0 - s, 0.0, s, 0.0};
            for (const auto* a : {&european, &average, &forward}) {
                const ComplexNumber got = ClosedForm(*a, dates, m);
                const ComplexNumber want = RungeKutta(*a, dates, m);
                EXPECT_LT(std::abs(got - want), 1e-10 * std::max(1.0, std::abs(want)))
                    << "s " << s << " kappa " << m.kappa << " sigma " << m.sigma;
            }
        }
    }
}

TEST(FixingMoments, TheFirstMomentIsTheForward) {
    // E[S(T)/S(0)] = exp((r - q) T), and weighting by S(t0) leaves it so: coefficients (0, 1)
    // and (1 - 1, 1).
    const heston::ModelParameters m{0.04, 0.05, 1.5, 0.5, -0.7};
    const std::vector<double> dates = {0.5, 2.0};
    const ComplexNumber one = ClosedForm({0.0, 1.0}, dates, m);
    EXPECT_NEAR(one.real(), 0.02 * 2.0, 1e-15);
    EXPECT_NEAR(one.imag(), 0.0, 1e-15);
    EXPECT_EQ(ClosedForm({0.0, 0.0}, dates, m), ComplexNumber(0.0));
    // With jumps too: the compensator keeps the forward at either date.
    const heston::BatesParameters bates{m, {2.0, -0.2, 0.3}};
    for (const std::vector<ComplexNumber>& a :
         {std::vector<ComplexNumber>{0.0, 1.0}, std::vector<ComplexNumber>{1.0, 0.0}}) {
        const ComplexNumber moment =
            heston::LogMomentOfFixings(a.data(), dates.data(), 2, 0.03, 0.01, bates);
        const double t = a[0] == 1.0 ? dates[0] : dates[1];
        EXPECT_NEAR(moment.real(), 0.02 * t, 1e-15);
        EXPECT_NEAR(moment.imag(), 0.0, 1e-15);
    }
}

}  // namespace
