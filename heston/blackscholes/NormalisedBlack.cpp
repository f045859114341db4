// The normalised Black function in its four regions; see NormalisedBlack.h.
//
// Reference: P. Jaeckel, "Let's be rational", Wilmott 2015(75), 40-53.
#include "blackscholes/NormalisedBlack.h"

#include <cmath>

#include "vectormath/MathConstants.h"

namespace heston {
namespace blackscholes {

namespace {

constexpr double kSqrtPi = 1.7724538509055160273;
constexpr double kInvSqrtTwo = 0.70710678118654752440;
constexpr double kSqrtHalfPi = 1.2533141373155002512;

// Region boundaries in h = x/s and t = s/2.
constexpr double kAsymptoticH = -10.0;
constexpr double kSmallT = 0.21;
constexpr double kCdfDifferenceD1 = 0.85;

// Above this erfcx is its asymptotic series: 13 terms reach 1e-17 at z = 12.
constexpr double kScaledErfcAsymptotic = 12.0;

double NormalCdf(double z) {
    return 0.5 * std::erfc(-z * kInvSqrtTwo);
}

// z*z as hi + lo exactly (Dekker's splitting), so that exp(z^2) carries no rounding of its
// argument: a rounding of z^2 would cost z^2 ulps of exp.
void ExactSquare(double z, double& hi, double& lo) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const double c = kSplitter * z;
    const double zHi = c - (c - z);
    const double zLo = z - zHi;
    hi = z * z;
    lo = ((zHi * zHi - hi) + 2.0 * zHi * zLo) + zLo * zLo;
}

// The factor M of b = M exp(-(h^2 + t^2)/2) for h + t and h - t both below -9.79.
// b = phi(h) e^{-t^2/2} (Y(h + t) - Y(h - t)), and for d -> -inf
//   Y(d) = Phi(d)/phi(d) ~ sum_n (-1)^n (2n-1)!! / |d|^{2n+1}.
// With a1 = |h + t| < a2 = |h - t| and r = a1/a2, term n of the difference is
//   (-1)^n (2n-1)!! (1 - r^{2n+1}) / a1^{2n+1},
// and q_m = 1 - r^m follows q_{m+2} = (1 - r^2) + r^2 q_m from q_1 = 2t/a2: every q is a sum of
// positive numbers, so the difference is formed without cancellation.
double AsymptoticFactor(double h, double t) {
    const double a1 = -(h + t);
    const double a2 = t - h;
    const double r = a1 / a2;
    const double q1 = 2.0 * t / a2;
    const double oneMinusR2 = q1 * (1.0 + r);
    const double r2 = r * r;
    const double u = 1.0 / (a1 * a1);
    double q = q1;
    double coefficient = 1.0 / a1;
    double sum = coefficient * q;
    // |a1| >= 9.79: the terms fall below 1e-17 of the sum within 30 terms, long before the
    // series starts to diverge (near n = a1^2 / 2).
    for (int n = 1; n < 40; ++n) {
        q = oneMinusR2 + r2 * q;
        coefficient *= -(2.0 * n - 1.0) * u;
        const double term = coefficient * q;
        sum += term;
        if (std::fabs(term) <= 1e-17 * sum) {
            break;
        }
    }
    return kInverseSqrtTwoPi * sum;
}

// The factor M for t < 0.21 and -10 <= h <= 0: b = phi(h) e^{-t^2/2} 2 sum_{k odd} c_k t^k with
// c_k = Y^(k)(h) / k!. From Y' = 1 + h Y, Y^(n+1) = h Y^(n) + n Y^(n-1), that is
//   c_{n+1} = (h c_n + c_{n-1}) / (n + 1),   c_0 = Y(h), c_1 = 1 + h Y(h).
// The recurrence loses about h^2 ulps in c_1 at h = -10, and the higher terms, weighted by
// t^{k-1}, add less. Since Y^(k)(h) = int_0^inf u^k e^{hu - u^2/2} du, the ratio c_{2m+1}/c_1 is
// largest at h = 0, where it is 1/(2m+1)!!: the series stops at the first m with
// t^{2m}/(2m+1)!! < 1e-17, at the latest at k = 17 (t = 0.21).
double SmallTFactor(double h, double t) {
    constexpr int kMaxOddTerms = 9;  // k = 1, 3, ..., 17
    static constexpr double kReciprocals[2 * kMaxOddTerms] = {
        1.0,      1.0 / 2,  1.0 / 3,  1.0 / 4,  1.0 / 5,  1.0 / 6,  1.0 / 7,  1.0 / 8,  1.0 / 9,
        1.0 / 10, 1.0 / 11, 1.0 / 12, 1.0 / 13, 1.0 / 14, 1.0 / 15, 1.0 / 16, 1.0 / 17, 1.0 / 18};
    const double w = t * t;
    int oddTerms = 1;
    for (double bound = 1.0; oddTerms < kMaxOddTerms && bound > 1e-17; ++oddTerms) {
        bound *= w * kReciprocals[2 * oddTerms];
    }
    double odd[kMaxOddTerms];
    double previous = kSqrtHalfPi * ScaledErfc(-h * kInvSqrtTwo);
    double current = 1.0 + h * previous;
    odd[0] = current;
    for (int n = 1; n < 2 * oddTerms - 1; ++n) {
        const double next = (h * current + previous) * kReciprocals[n];
        previous = current;
        current = next;
        if (n % 2 == 0) {
            odd[n / 2] = current;
        }
    }
    double sum = odd[oddTerms - 1];
    for (int k = oddTerms - 2; k >= 0; --k) {
        sum = odd[k] + w * sum;
    }
    return 2.0 * kInverseSqrtTwoPi * t * sum;
}

NormalisedBlackValue FromFactor(double factor, double exponent) {
    return {factor, exponent, kInverseSqrtTwoPi / factor};
}

}  // namespace

double ScaledErfc(double z) {
    if (z < kScaledErfcAsymptotic) {
        double hi, lo;
        ExactSquare(z, hi, lo);
        return std::exp(hi) * std::erfc(z) * (1.0 + lo);
    }
    // erfcx(z) ~ (1 / (z sqrt(pi))) sum_n (-1)^n (2n-1)!! / (2 z^2)^n.
    const double w = 0.5 / (z * z);
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n < 20; ++n) {
        term *= -(2.0 * n - 1.0) * w;
        sum += term;
        if (std::fabs(term) <= 1e-17 * sum) {
            break;
        }
    }
    return sum / (z * kSqrtPi);
}

NormalisedBlackValue NormalisedBlackCall(double x, double s) {
    const double h = x / s;
    const double t = 0.5 * s;
    const double exponent = -0.5 * (h * h + t * t);
    if (h < kAsymptoticH && h + t < kAsymptoticH + kSmallT) {
        return FromFactor(AsymptoticFactor(h, t), exponent);
    }
    if (t < kSmallT) {
        return FromFactor(SmallTFactor(h, t), exponent);
    }
    if (h + t > kCdfDifferenceD1) {
        // Phi(h + t) > 0.8 and Phi(h - t) < 0.2: the difference keeps its digits.
        const double value =
            std::exp(0.5 * x) * NormalCdf(h + t) - std::exp(-0.5 * x) * NormalCdf(h - t);
        return {value, 0.0, kInverseSqrtTwoPi * std::exp(exponent) / value};
    }
    const double factor =
        0.5 * (ScaledErfc(-(h + t) * kInvSqrtTwo) - ScaledErfc(-(h - t) * kInvSqrtTwo));
    return FromFactor(factor, exponent);
}

double NormalisedBlackCallComplement(double x, double s) {
    const double h = x / s;
    const double t = 0.5 * s;
    return std::exp(0.5 * x) * NormalCdf(-(h + t)) + std::exp(-0.5 * x) * NormalCdf(h - t);
}

double NormalisedVega(double x, double s) {
    const double h = x / s;
    const double t = 0.5 * s;
    return kInverseSqrtTwoPi * std::exp(-0.5 * (h * h + t * t));
}

}  // namespace blackscholes
}  // namespace heston
