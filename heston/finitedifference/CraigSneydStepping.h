// CraigSneydStepping: time stepping of the split Heston operator (HestonOperator.h) from
// maturity back to today, with early exercise and discrete barrier observations.
//
// - Each step is the Modified Craig-Sneyd scheme with theta = 1/3,
//     Y0 = U + dt F(U),  Yj = Y(j-1) + theta dt Aj (Yj - U)  (j = 1, 2),
//     Z0 = Y0 + theta dt A0 (Y2 - U) + (1/2 - theta) dt F(Y2 - U),
//     Zj = Z(j-1) + theta dt Aj (Zj - U)  (j = 1, 2),  U <- Z2,
//   with F = A0 + A1 + A2: second order in time and unconditionally stable with the mixed
//   term for theta >= 1/3 (K. J. in 't Hout and B. D. Welfert, "Unconditional stability of
//   second-order ADI schemes applied to multi-dimensional diffusion equations with mixed
//   derivative terms", Appl. Numer. Math. 59, 2009; in 't Hout & Foulon 2010).
// - The first step, and the first step after each discrete observation, where the values have
//   a kink or a jump, is replaced by four quarter steps of the Douglas scheme with theta = 1
//   (the alternating-direction form of backward Euler), whose damping stops the
//   high-frequency errors that the Craig-Sneyd scheme would carry on: Rannacher's start
//   (R. Rannacher, "Finite element solution of diffusion problems with irregular data", Numer.
//   Math. 43, 1984; four substeps rather than two measured better on barriers, whose jump at
//   the barrier is rougher than a kink), in the ADI form analysed by K. J. in 't Hout and M. Wyns,
//   "Convergence of the Modified Craig-Sneyd scheme for two-dimensional convection-diffusion
//   equations with mixed derivative term", J. Comput. Appl. Math. 296, 2016.
// - Early exercise by the operator splitting of S. Ikonen and J. Toivanen ("Operator splitting
//   methods for American option pricing", Appl. Math. Lett. 17, 2004; "Efficient numerical
//   methods for pricing American options under stochastic volatility", Numer. Methods Partial
//   Differential Equations 24, 2008), combined with the Craig-Sneyd step as in T. Haentjens and
//   K. J. in 't Hout, "ADI schemes for pricing American options under the Heston model",
//   Appl. Math. Finance 22, 2015: the step takes the Lagrange multiplier lambda of the last
//   step as a source, U~ = step(U) with dt lambda added to Y0, and then
//     U <- max(U~ - dt lambda, payoff),  lambda <- lambda + (U - U~) / dt,
//   which keeps U >= payoff, lambda >= 0 and (U - payoff) lambda = 0 node by node without an
//   iteration, and keeps the scheme's order (unlike projecting the values alone).
// - Discrete observations split the time axis into equal periods, each with a whole number of
//   steps, so that steps land on the observation dates; at each date the caller's knock rule
//   replaces the values beyond the barriers.
// - The steps of each period may be graded towards its start (PeriodSteps): a knock-out's
//   values jump at the barrier right after maturity and after each observation, and change
//   fastest there. On QuantLib's test up-and-out call grading about halves the time error at
//   50 to 100 steps; on American puts, whose time error comes from the exercise boundary over
//   the whole life, the larger later steps cost more than the small first ones gain, so the
//   pricer grades knock-out problems only.
//
// Memory: one block for the stage vectors and one factorisation of each kind, refactorised in
// place when the step size changes; nothing is allocated inside the time loop.
//
// The stop request is polled once per step.
//
// Tested in tests/numerics/finite_difference_operator_test.cpp (the steps of a period) and
// through the pricer in tests/numerics/finite_difference_*_test.cpp.
#pragma once

#include <vector>

#include "execution/StopRequest.h"
#include "finitedifference/HestonOperator.h"

namespace heston {
namespace finitedifference {

// What happens at a discrete observation: node (i, j) becomes
//   alive[i] * u + (1 - alive[i]) * rebate,
// alive[i] = 1 inside the barriers, 0 beyond them, 1/2 on a barrier node (the mean of the two
// one-sided limits of the jump, which keeps the error of the jump second order).
struct KnockRule {
    std::vector<double> alive;
    double rebate = 0.0;
};

struct SteppingPlan {
    double maturity = 0.0;
    int steps = 0;         // time steps over the whole life; at least one per period
    bool graded = false;   // steps graded towards the start of each period (PeriodSteps)
    int observations = 0;  // n > 0: knocks at t = T/n, ..., (n-1)T/n (t = T is the caller's)
    const KnockRule* knock = nullptr;
    const std::vector<double>* exercise = nullptr;  // American: the exercise values per node
};

struct SteppingResult {
    std::vector<double> values;      // today's values on the grid
    std::vector<double> multiplier;  // lambda at the last step (zero for European exercise)
};

// The step sizes of one period of the given length, counted from its start (its end in
// calendar time). Uniform, or graded: the k-th step ends at t = length c x^2, x = (k + 1) /
// steps, up to x = x0 = 1/5 and at t = length c x0 (2 x - x0) after, with c = 1 / (x0 (2 - x0)):
// the step size grows linearly up to x0 and stays constant after. Grading puts steps of order
// length / steps^2 where the values have just been cut by a payoff or a knock and change
// fastest, and keeps the later steps within 1.12 times the uniform ones.
std::vector<double> PeriodSteps(double length, int steps, bool graded);

// Rolls terminal back from maturity to today.
SteppingResult StepBack(const HestonOperator& op, std::vector<double> terminal,
                        const SteppingPlan& plan, StopPoll& poll);

}  // namespace finitedifference
}  // namespace heston
