// ContourPricing: the pieces of the contour pricer shared by the single-option functions and
// the batch: argument checks, the market quantities of one option, the choice of the
// integration contour and of the tail rule, the tolerance of the integrals, and the price and
// Greeks built from them.
//
// References:
//   A. Lewis, "Option valuation under stochastic volatility", Finance Press, 2000, and
//     "A simple option formula for general jump-diffusion and other exponential Levy
//     processes", 2001 (prices as one Fourier integral along a line Im u = const).
//   R. Lee, "Option pricing by transform methods: extensions, unification, and error
//     control", J. Computational Finance 7 (2004) 51-86 (the residues picked up as the line
//     moves, so that one integral gives the out-of-the-money option directly).
//   L. Andersen and M. Lake, "Robust high-precision option pricing by Fourier transforms:
//     contour deformations and double-exponential quadrature", 2018 (the line through the
//     saddle point of the integrand, and a double-exponential rule along it).
//   L. Andersen and V. Piterbarg, "Moment explosions in stochastic volatility models",
//     Finance and Stochastics 11 (2007) 29-50 (the maturity at which a moment blows up).
//
// With X = ln(S_T/F), M(s) = E[exp(s X)] and k = ln(K/F), the undiscounted out-of-the-money
// option is
//     K/pi * integral over v in [0, inf) of Re[exp(-s k) M(s) / (s (s - 1))],  s = nu - i v,
// which is the call for nu > 1 and the put for nu < 0 (between 0 and 1 the same integral is
// the call less the forward). nu is placed near the saddle point of the integrand on the real
// axis, where it is not oscillating and its size is about the price itself: the integral then
// has no cancellation, and deep out-of-the-money prices keep their relative accuracy. The
// in-the-money option follows from put-call parity.
//
// Derivatives: with respect to k the integrand gains a factor -s; with respect to a model
// parameter or the maturity it gains the derivative of ln M, which the characteristic
// exponent provides exactly. Delta, gamma, rho and the dividend rho follow through k.
#pragma once

#include <string>

#include "contour/ContourKernel.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"
#include "vectormath/MathConstants.h"
#include "vectormath/VectorWidth.h"

namespace heston {
namespace contour {

// Throw std::invalid_argument naming the argument when it is invalid.
void CheckModel(const ModelParameters& model);
void CheckJumps(const JumpParameters& jumps);
void CheckSpot(double spot);
// Empty when the option's own inputs are valid, else the message naming the argument.
std::string OptionInputError(int optionType, double strike, double maturity, double rate,
                             double dividendYield);

// One option in the quantities the integral needs.
struct Market {
    double spot, strike, maturity, rate, dividendYield;
    double forward;        // spot exp((rate - dividendYield) maturity)
    double logMoneyness;   // k = ln(strike / forward)
    double rateDiscount;   // exp(-rate maturity)
    double yieldDiscount;  // exp(-dividendYield maturity)
};
Market MakeMarket(double spot, double strike, double maturity, double rate, double dividendYield);

// Expected variance integrated over the maturity.
double IntegratedVariance(const ModelParameters& model, double maturity);

// True when the variance is zero throughout, so that the price is the discounted intrinsic
// value of the forward.
bool DeterministicForward(const ModelParameters& model);

// The line s = nu - i v and the scale of the quadrature along it. The integral gives the
// out-of-the-money option (the call when callSide), directly for nu > 1 or nu < 0, or less the
// undiscounted forward (call) or strike (put) on the line nu = 1/2 (middle), which serves when
// the moments beyond the poles blow up too soon to leave room for the line.
struct Contour {
    bool callSide;
    bool middle;
    double nu;
    double scale;  // of the sinh-trapezoid rule
    double width;  // of the integrand's bell around v = 0
};
Contour ChooseContour(double logMoneyness, double maturity, const ModelParameters& model,
                      VectorWidth width);
// The same with jumps in the spot: their variance widens the first guess, ln M at the line
// includes them, and the line is kept off the side of the saddle point where their moment,
// finite but growing like exp(nu^2 deltaJ^2 / 2), would swamp the integrand. Without jumps
// (lambda = 0) the line is the Heston one.
Contour ChooseContour(double logMoneyness, double maturity, const ModelParameters& model,
                      const JumpParameters& jumps, VectorWidth width);

// Where the integrand decays slowly and keeps oscillating (v0 = 0 with a small kappa theta T
// against sigma), the sinh-trapezoid rule cannot resolve its tail. The tail is then
// integrated from tailStart on, in half periods of the angular frequency tailFrequency (the
// slope of the integrand's phase in v there); tailFrequency is 0 when the phase does not turn.
struct Tail {
    double tailStart;
    double tailFrequency;
    double bulkPanel;
};
Tail ChooseTail(const ModelParameters& model, const JumpParameters& jumps, double maturity,
                const Contour& contour, double k, VectorWidth width);

// 1/pi: the integrals along the line are the undiscounted prices divided by pi K.

// The absolute tolerance of an option's integrals (in units of the price divided by
// pi K exp(-r T)): prices below 1e-18 of the spot need only absolute accuracy.
double AbsoluteTolerance(const Market& market);

// Price of optionType from the integral sum (already divided by pi): the out-of-the-money
// option, clamped to the no-arbitrage bounds, and the other type by parity.
double PriceFromIntegral(int optionType, const Market& market, const Contour& contour, double sum);

// Greeks of optionType from the integrals of the out-of-the-money option (kIntegralCount of
// them in the order of ContourKernel.h, each already divided by pi; those not integrated 0).
Greeks GreeksFromIntegrals(int optionType, const Market& market, const Contour& contour,
                           const double* integrals);

// The Greeks with the jump parameters' derivatives, from the integrals of GreeksFromIntegrals
// with those of lambda, muJ and deltaJ.
BatesGreeks BatesGreeksFromIntegrals(int optionType, const Market& market, const Contour& contour,
                                     const double* integrals);

// The five parameter derivatives of g in calibration order (v0, theta, kappa, sigma, rho).
void CopyParameterDerivatives(const Greeks& g, double* derivatives);
// The eight in calibration order (v0, theta, kappa, sigma, rho, lambda, muJ, deltaJ).
void CopyParameterDerivatives(const BatesGreeks& g, double* derivatives);

// Price and Greeks where no integral is needed: zero maturity, zero strike, zero spot or zero
// variance. Returns false when the option needs the integral.
bool PriceWithoutIntegral(int optionType, const Market& market, const ModelParameters& model,
                          double* price);
bool GreeksWithoutIntegral(int optionType, const Market& market, const ModelParameters& model,
                           Greeks* greeks);
// The same with jumps (lambda > 0), which take away the zero variance's shortcut; the jump
// derivatives of the remaining cases (zero maturity, strike or spot) are 0, and at lambda = 0
// without variance d/dlambda is the first jump's effect in closed form.
bool GreeksWithoutIntegral(int optionType, const Market& market, const BatesParameters& model,
                           BatesGreeks* greeks);

}  // namespace contour
}  // namespace heston
