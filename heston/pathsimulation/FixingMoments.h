// FixingMoments: the joint moment generating function of the Heston log spot at several
// dates,
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
// Tested in tests/numerics/fixing_moments_test.cpp (against a Runge-Kutta solution of the
// Riccati equations).
#pragma once

#include <complex>

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

// ln E[exp(sum_j coefficients[j] ln(S(times[j]) / S(0)))] with count dates, times ascending and
// positive, under the risk-neutral drift rate - dividendYield.
ComplexNumber LogMomentOfFixings(const ComplexNumber* coefficients, const double* times, int count,
                                 double rate, double dividendYield, const ModelParameters& model);

}  // namespace heston
