// NormalDistribution: the standard normal density and a polynomial approximation of its
// distribution function, as used by the Black-Scholes helpers.
//
// NormalCdf is Abramowitz and Stegun 26.2.17 (absolute error below 7.5e-8) for |x| <= 7 and
// the asymptotic tail density(x) / sqrt(x^2 + 1) beyond. The two pieces do not join: the
// function is not monotone across -7 or across 7, and NormalCdf(0) is 0.4999999995, not 0.5.
#pragma once

// exp(-x^2 / 2) / sqrt(2 pi).
double NormalDensity(double x);

// The standard normal distribution function; NaN for a NaN argument.
double NormalCdf(double x);

// |a| when b >= 0, otherwise -|a|; a NaN b counts as negative.
double CopySign(double a, double b);
