// NormalisedBlack: the normalised Black function of an out-of-the-money call, accurate to a few
// ulps in every region, and the scaled complementary error function it is built on. Internal to
// the implied-volatility inversion (BlackImpliedVolatility.cpp).
//
// With the log-moneyness x = ln(F/K) <= 0 and the total volatility s = sigma sqrt(T) > 0,
//   b(x, s) = e^{x/2} Phi(x/s + s/2) - e^{-x/2} Phi(x/s - s/2),
// the undiscounted call price divided by sqrt(F K); 0 < b < e^{x/2}. Its derivative in s is
//   b'(x, s) = exp(-(h^2 + t^2) / 2) / sqrt(2 pi),   h = x/s, t = s/2,
// and b''/b' = x^2/s^3 - s/4.
//
// The plain difference of the two normal distributions loses all its digits far from the
// money and for small s. It is used only where it is safe (h + t > 0.85); elsewhere b is
// written as exp(-(h^2 + t^2)/2) times a factor computed without cancellation:
//   - h < -10 and h + t < -9.79: the asymptotic expansion of the Mills ratio at both
//     arguments, subtracted term by term in closed form;
//   - t < 0.21: the Taylor series in t of Y(h + t) - Y(h - t), Y = Phi/phi;
//   - otherwise: the difference of two scaled complementary error functions erfcx.
// The regions and their boundaries follow
//   P. Jaeckel, "Let's be rational", Wilmott 2015(75), 40-53 (section on the accurate
//   evaluation of the normalised Black function);
// the expansions are derived here from Y' = 1 + h Y.
#pragma once

#include <cmath>

namespace heston {
namespace blackscholes {

// erfcx(z) = exp(z^2) erfc(z), to a few ulps for -26 < z (exp(z^2) overflows below).
double ScaledErfc(double z);

// b(x, s) as factor * exp(exponent), with its relative vega. The logarithm and the relative
// vega stay exact far in the wing, where the value itself underflows to 0; each accessor costs
// one exp or log, so a caller computes only what it uses.
struct NormalisedBlackValue {
    double factor;
    double exponent;
    double vegaOverValue;  // b'(x, s) / b(x, s)

    double Value() const { return factor * std::exp(exponent); }
    double LogValue() const { return std::log(factor) + exponent; }
};

// b(x, s) for x <= 0 and s > 0.
NormalisedBlackValue NormalisedBlackCall(double x, double s);

// e^{x/2} - b(x, s) for x <= 0 and s > 0, as a sum of two positive terms (no cancellation
// when b is close to its upper bound).
double NormalisedBlackCallComplement(double x, double s);

// b'(x, s) for s > 0.
double NormalisedVega(double x, double s);

}  // namespace blackscholes
}  // namespace heston
