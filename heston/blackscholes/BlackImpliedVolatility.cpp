// Black-Scholes implied volatility to near machine precision, by the method of
//   P. Jaeckel, "Let's be rational", Wilmott 2015(75), 40-53:
// the price is normalised to b(x, s) of an out-of-the-money call (NormalisedBlack.h), the
// curve s -> b(x, s) is split at its inflection point s_c = sqrt(2|x|) and at the points where
// the tangent there reaches 0 and e^{x/2}, and on each piece Householder steps of third order
// are taken on the objective that is nearly linear there:
//   low prices:    1/ln b(s) - 1/ln beta,
//   middle:        b(s) - beta,
//   high prices:   ln(e^{x/2} - b(s)) - ln(e^{x/2} - beta).
// The start points are closed forms rather than the paper's rational interpolation: on the
// low piece the inverse of the map (2 pi |x| / (3 sqrt 3)) Phi(-|x| / (sqrt 3 s))^3, which
// agrees with b as s -> 0; on the high piece the inverse of (e^{x/2} + e^{-x/2}) Phi(-s/2),
// which agrees with e^{x/2} - b as s -> infinity; in the middle the tangent at s_c, which
// lies on the side of the root from which the steps converge monotonically. Their normal
// quantiles come from the rational approximation 26.2.23 of M. Abramowitz and I. Stegun,
// "Handbook of Mathematical Functions" (1964); the iteration removes its 4.5e-4 error.
// Iterations stop after a step below 1e-7 of s: with third-order convergence on these nearly
// linear objectives the error left after it is far below an ulp. Two or three steps are
// typical, four the most seen over a million random inputs; an iteration that has not
// converged after twelve is reported as an error rather than returned.
//
// A price in the money is turned into the out-of-the-money price of the other type by parity
// before normalising, so its intrinsic value costs the absolute rounding of the price and no
// more. The log-moneyness ln(S/K) + (r - q) T is formed in long double: its absolute rounding
// becomes a relative error of the volatility of about that rounding over s, which in double
// exceeds 1e-13 for small volatilities with a large carry (r - q) T.
#include "blackscholes/BlackImpliedVolatility.h"

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "blackscholes/NormalisedBlack.h"
#include "model/PricingTypes.h"
#include "vectormath/MathConstants.h"

namespace heston {

namespace {

using blackscholes::NormalisedBlackCall;
using blackscholes::NormalisedBlackCallComplement;
using blackscholes::NormalisedVega;

constexpr double kSqrtThree = 1.7320508075688772935;
constexpr double kConvergedStep = 1e-7;
constexpr int kMaxIterations = 12;

std::string Describe(double value) {
    std::ostringstream text;
    text.precision(17);
    text << value;
    return text.str();
}

void RequirePositive(const char* name, double value) {
    if (!(std::isfinite(value) && value > 0.0)) {
        throw std::invalid_argument(std::string("BlackImpliedVolatility: ") + name + " " +
                                    Describe(value) + " must be positive and finite");
    }
}

void RequireFinite(const char* name, double value) {
    if (!std::isfinite(value)) {
        throw std::invalid_argument(std::string("BlackImpliedVolatility: ") + name + " " +
                                    Describe(value) + " must be finite");
    }
}

// -Phi^{-1}(p) for 0 < p < 1/2, given ln p, to 4.5e-4 (Abramowitz and Stegun 26.2.23).
double ApproximateUpperQuantile(double logP) {
    const double u = std::sqrt(-2.0 * logP);
    return u - (2.515517 + u * (0.802853 + u * 0.010328)) /
                   (1.0 + u * (1.432788 + u * (0.189269 + u * 0.001308)));
}

// One Householder step of third order on an objective g with nu = -g/g', h2 = g''/g' and
// h3 = g'''/g'. Far from the root, where the correction factor is not positive, it falls back
// to Newton's step.
double HouseholderStep(double nu, double h2, double h3) {
    const double factor = (1.0 + 0.5 * h2 * nu) / (1.0 + nu * (h2 + nu * h3 / 6.0));
    return factor > 0.0 && std::isfinite(factor) ? nu * factor : nu;
}

enum class Piece { kLow, kMiddle, kHigh };

// Total volatility s with b(x, s) = beta, for x <= 0 and 0 < beta < e^{x/2}; NaN if the
// iteration has not converged.
double TotalVolatility(double beta, double x) {
    const double bMax = std::exp(0.5 * x);
    const double sC = std::sqrt(-2.0 * x);
    const double bC = sC > 0.0 ? NormalisedBlackCall(x, sC).Value() : 0.0;
    const double vegaC = sC > 0.0 ? NormalisedVega(x, sC) : kInverseSqrtTwoPi;

    Piece piece = Piece::kMiddle;
    double s = sC + (beta - bC) / vegaC;
    if (beta < bC) {
        const double sL = sC - bC / vegaC;
        const double bL = sL > 0.0 ? NormalisedBlackCall(x, sL).Value() : 0.0;
        if (beta < bL) {
            piece = Piece::kLow;
            const double logP = (std::log(beta) + std::log(3.0 * kSqrtThree / (kTwoPi * -x))) / 3.0;
            s = sL;
            if (logP < -std::log(2.0)) {
                s = std::fmin(-x / (kSqrtThree * ApproximateUpperQuantile(logP)), sL);
            }
        }
    } else {
        const double sU = sC + (bMax - bC) / vegaC;
        const double bU = NormalisedBlackCall(x, sU).Value();
        if (beta > bU) {
            piece = Piece::kHigh;
            const double p = (bMax - beta) / (bMax + 1.0 / bMax);
            s = std::fmax(2.0 * ApproximateUpperQuantile(std::log(p)), sU);
        }
    }

    const double logBeta = std::log(beta);
    const double complementBeta = bMax - beta;
    for (int i = 0; i < kMaxIterations; ++i) {
        // b''/b' and b'''/b' at s.
        const double x2s3 = x * x / (s * s * s);
        const double d2 = x2s3 - 0.25 * s;
        const double d3 = d2 * d2 - 3.0 * x2s3 / s - 0.25;
        double nu, h2, h3;
        if (piece == Piece::kLow) {
            const auto b = NormalisedBlackCall(x, s);
            const double l = b.LogValue();
            const double q = b.vegaOverValue;
            const double k = (l + 2.0) / l;
            nu = (logBeta - l) * l / (logBeta * q);
            h2 = d2 - k * q;
            h3 = d3 - 3.0 * k * q * d2 + (2.0 * l * l + 6.0 * l + 6.0) / (l * l) * q * q;
        } else if (piece == Piece::kMiddle) {
            const auto b = NormalisedBlackCall(x, s);
            const double value = b.Value();
            nu = (beta - value) / (b.vegaOverValue * value);
            h2 = d2;
            h3 = d3;
        } else {
            const double c = NormalisedBlackCallComplement(x, s);
            const double q = NormalisedVega(x, s) / c;
            nu = std::log(c / complementBeta) / q;
            h2 = d2 + q;
            h3 = d3 + 3.0 * d2 * q + 2.0 * q * q;
        }
        const double step = std::fmax(HouseholderStep(nu, h2, h3), -0.5 * s);
        s += step;
        if (std::fabs(step) <= kConvergedStep * s) {
            return s;
        }
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

double BlackImpliedVolatility(int optionType, double price, double spot, double strike,
                              double maturity, double rate, double dividendYield) {
    if (optionType != kCall && optionType != kPut) {
        throw std::invalid_argument("BlackImpliedVolatility: optionType " +
                                    std::to_string(optionType) + " must be 1 (call) or 2 (put)");
    }
    RequirePositive("spot", spot);
    RequirePositive("strike", strike);
    RequirePositive("maturity", maturity);
    RequireFinite("rate", rate);
    RequireFinite("dividendYield", dividendYield);

    // Price = e^{-(r+q)T/2} sqrt(S K) b(y, s) with y = ln(F/K) for a call, -ln(F/K) for a put.
    const long double logMoneyness = std::log(static_cast<long double>(spot) / strike) +
                                     (static_cast<long double>(rate) - dividendYield) * maturity;
    double y = static_cast<double>(optionType == kCall ? logMoneyness : -logMoneyness);
    const double scale =
        std::exp(-0.5 * (rate + dividendYield) * maturity) * std::sqrt(spot) * std::sqrt(strike);
    double beta = price / scale;
    const double intrinsic = y > 0.0 ? 2.0 * std::sinh(0.5 * y) : 0.0;
    const double upper = std::exp(0.5 * y);
    if (y > 0.0) {
        // In the money: the out-of-the-money option of the other type by parity.
        beta -= intrinsic;
        y = -y;
    }
    if (!(std::isfinite(price) && beta > 0.0 && beta < std::exp(0.5 * y))) {
        throw std::domain_error("BlackImpliedVolatility: price " + Describe(price) +
                                " is not strictly inside the no-arbitrage bounds (" +
                                Describe(intrinsic * scale) + ", " + Describe(upper * scale) +
                                ") of this option, or too close to them to be inverted");
    }
    const double s = TotalVolatility(beta, y);
    if (!std::isfinite(s)) {
        throw std::domain_error("BlackImpliedVolatility: price " + Describe(price) +
                                ": the inversion did not converge");
    }
    return s / std::sqrt(maturity);
}

}  // namespace heston
