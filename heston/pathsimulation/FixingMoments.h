// FixingMoments: the joint moment generating function of the log spot at several dates under
// the Heston model and under the Bates model (Heston with lognormal jumps in the spot),
//     ln E[exp(sum_j a_j ln(S(t_j) / S(0)))]   for complex a_j and 0 < t_1 < ... < t_n,
// the characteristic function behind the closed forms of the geometric Asian option
// (a_j = s / n) and of the forward-start option (a = (1 - s, s) at the reset and maturity).
//
// References:
//   S. Heston, "A closed-form solution for options with stochastic volatility with
//     applications to bond and currency options", Rev. Financial Studies 6 (1993) 327-343
//     (the affine form exp(A + B v) of the conditional moment and its Riccati equations).
//   B. Kim and I.-S. Wee, "Pricing of geometric Asian options under Heston's stochastic
//     volatility model", Quantitative Finance 14 (2014) 1795-1809 (the moment of the discrete
//     geometric average by backward recursion over the fixing dates).
//   H. Albrecher, P. Mayer, W. Schoutens and J. Tistaert, "The little Heston trap", Wilmott
//     Magazine (2007) 83-92 (the form with exp(-d tau) that stays on the principal branch).
//   D. S. Bates, "Jumps and stochastic volatility: exchange rate processes implicit in
//     Deutsche Mark options", Rev. Financial Studies 9 (1996) 69-107 (the compound Poisson
//     jumps in log-spot, independent of the diffusion, and their compensated drift).
//
// Method: backward from the last date, the conditional moment at t_{j-1} of
// exp(u X(t_j) + w v(t_j)), with X = ln S, is exp(u X + u (r - q) tau + A + B v) where
// tau = t_j - t_{j-1} and (A, B) solve
//     B' = (u^2 - u)/2 - (kappa - rho sigma u) B + sigma^2 B^2 / 2,   B(0) = w,
//     A' = kappa theta B,                                             A(0) = 0.
// u collects the coefficients of the dates not yet passed, w the previous interval's B.
// With beta = kappa - rho sigma u, d = sqrt(beta^2 - sigma^2 (u^2 - u)) (Re d >= 0), the small
// root x = (beta - d)/sigma^2 = (u^2 - u)/(beta + d) of the right-hand side, e = exp(-d tau),
// E = (1 - e)/d and y = -sigma^2 (w - x) E / 2, the solution is
//     B = x + (w - x) e / (1 + y),
//     A = kappa theta (x tau + (w - x) E log(1 + y) / y).
// Nothing is divided by sigma or d: E -> tau as d -> 0 and log(1 + y)/y -> 1 as sigma -> 0.
// With w = 0 these are the little-trap exponents of a European option.
//
// Jumps: the log spot also carries J(t) - lambda m t, where J is compound Poisson (intensity
// lambda, normal log sizes of mean muJ and standard deviation deltaJ) and m = E[exp(J1)] - 1.
// J is independent of the diffusion and has independent increments, so with u_j the
// coefficient collected over the dates from t_j on, sum_j a_j J(t_j) = sum_j u_j (J(t_j) -
// J(t_{j-1})) and the moment gains one factor per interval, from the compound Poisson
// moment generating function E[exp(u J(tau))] = exp(lambda tau (exp(u muJ + u^2 deltaJ^2 / 2)
// - 1)):
//     ln factor = lambda tau (exp(u muJ + u^2 deltaJ^2 / 2) - 1 - u m)     (JumpLogMoment).
// lambda = 0 adds nothing and leaves the Heston arithmetic exactly as it is.
//
// Tested in tests/numerics/fixing_moments_test.cpp (against a Runge-Kutta solution of the
// Riccati equations) and, with jumps, through the closed forms in geometric_asian_test.cpp and
// forward_start_test.cpp.
#pragma once

#include <complex>

#include "model/BatesParameters.h"
#include "model/ModelParameters.h"

namespace heston {

using ComplexNumber = std::complex<double>;

// (A, B) of one interval of length tau for the log-spot coefficient u and the variance
// coefficient w at its end.
struct AffineExponent {
    ComplexNumber a;  // the constant
    ComplexNumber b;  // the coefficient of the variance at the interval's start
};

AffineExponent HestonRiccatiSolution(ComplexNumber u, ComplexNumber w, double tau,
                                     const ModelParameters& model);

// ln E[exp(u (J(tau) - lambda m tau))]: the compensated jumps' part of the log moment over an
// interval of length tau.
ComplexNumber JumpLogMoment(ComplexNumber u, double tau, const JumpParameters& jumps);

// ln E[exp(sum_j coefficients[j] ln(S(times[j]) / S(0)))] with count dates, times ascending and
// positive, under the risk-neutral drift rate - dividendYield.
ComplexNumber LogMomentOfFixings(const ComplexNumber* coefficients, const double* times, int count,
                                 double rate, double dividendYield, const BatesParameters& model);
ComplexNumber LogMomentOfFixings(const ComplexNumber* coefficients, const double* times, int count,
                                 double rate, double dividendYield, const ModelParameters& model);

}  // namespace heston
