// ClosedFormGrid: the characteristic exponent on the closed-form price's grids, shared across
// strikes, and the one-pass price of a single option.
#include "ClosedFormGrid.h"

#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "BooleRule.h"
#include "Heston.h"
#include "VectorMath.h"

// Four-lane vectors pass between the inline helpers below only inside the AVX2 loops.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston_detail {

namespace {

// A complex number as two doubles: the arithmetic below is written out so that it compiles to
// plain multiplications instead of the general routines that guard every complex product and
// quotient against overflow.
struct Cx {
    double re;
    double im;
};

using StdComplex = std::complex<double>;

// Magnitudes (squared) inside which the plain formulas neither overflow nor lose precision to
// underflow; anything outside goes through the standard library's careful routines.
constexpr double kTiny = 1e-290;
constexpr double kHuge = 1e290;
constexpr double kOperandLow = 1e-140;
constexpr double kOperandHigh = 1e140;
constexpr double kSmallestNormal = 2.2250738585072014e-308;

bool Plain(double squaredMagnitude) {
    return squaredMagnitude > kTiny && squaredMagnitude < kHuge;
}

Cx FromStd(const StdComplex& z) {
    return {z.real(), z.imag()};
}

Cx Mul(const Cx& a, const Cx& b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// Smith's quotient, with the operations in the order of the compiler's general routine (which
// adds only scaling for operands near the ends of the range, sent there instead). The naive
// formula is cheaper but loses digits to cancellation that the prices would show.
Cx Div(const Cx& a, const Cx& b) {
    const double c = b.re;
    const double d = b.im;
    const double big = std::fmax(std::fabs(c), std::fabs(d));
    if (big > kOperandLow && big < kOperandHigh && std::fabs(a.re) < kOperandHigh &&
        std::fabs(a.im) < kOperandHigh && std::fabs(a.re) + std::fabs(a.im) > kOperandLow) {
        if (std::fabs(c) < std::fabs(d)) {
            const double ratio = c / d;
            const double denom = (c * ratio) + d;
            if (std::fabs(ratio) > kSmallestNormal) {
                return {((a.re * ratio) + a.im) / denom, ((a.im * ratio) - a.re) / denom};
            }
            return {((c * (a.re / d)) + a.im) / denom, ((c * (a.im / d)) - a.re) / denom};
        }
        const double ratio = d / c;
        const double denom = (d * ratio) + c;
        if (std::fabs(ratio) > kSmallestNormal) {
            return {((a.im * ratio) + a.re) / denom, (a.im - (a.re * ratio)) / denom};
        }
        return {((d * (a.im / c)) + a.re) / denom, (a.im - (d * (a.re / c))) / denom};
    }
    return FromStd(StdComplex(a.re, a.im) / StdComplex(b.re, b.im));
}

// Principal square root (non-negative real part), without cancellation in either part.
Cx Sqrt(const Cx& z) {
    const double m2 = z.re * z.re + z.im * z.im;
    if (!Plain(m2)) return FromStd(std::sqrt(StdComplex(z.re, z.im)));
    const double m = std::sqrt(m2);
    if (z.re >= 0.0) {
        const double t = std::sqrt(0.5 * (m + z.re));
        return {t, z.im / (2.0 * t)};
    }
    const double t = std::sqrt(0.5 * (m - z.re));
    return {std::fabs(z.im) / (2.0 * t), std::copysign(t, z.im)};
}

// Principal logarithm (imaginary part in (-pi, pi]).
Cx Log(const Cx& z) {
    const double m2 = z.re * z.re + z.im * z.im;
    if (!Plain(m2)) return FromStd(std::log(StdComplex(z.re, z.im)));
    return {0.5 * std::log(m2), std::atan2(z.im, z.re)};
}

// The same operations on a vector of grid points (two or four). Each clears the lanes of
// `plain` whose operands leave the range of the plain formulas; the scalar code redoes those.
using vmath::MaskOf;
using vmath::Splat;

template <class V>
struct Cv {
    V re;
    V im;
};

template <class V>
HESTON_VMATH_INLINE MaskOf<V> PlainLanes(V squaredMagnitude) {
    return (squaredMagnitude > Splat<V>(kTiny)) & (squaredMagnitude < Splat<V>(kHuge));
}

// Lanes whose values are finite.
template <class V>
HESTON_VMATH_INLINE MaskOf<V> FiniteLanes(V x) {
    return vmath::Abs(x) <= Splat<V>(1.7976931348623157e308);
}

template <class V>
HESTON_VMATH_INLINE Cv<V> MulV(const Cv<V>& a, const Cv<V>& b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// Smith's quotient as Div, both orientations at once, with one reciprocal of the denominator.
template <class V>
HESTON_VMATH_INLINE Cv<V> DivV(const Cv<V>& a, const Cv<V>& b, MaskOf<V>& plain) {
    const V ac = vmath::Abs(b.re);
    const V ad = vmath::Abs(b.im);
    const V aRe = vmath::Abs(a.re);
    const V aIm = vmath::Abs(a.im);
    const V big = vmath::Max(ac, ad);
    const V low = Splat<V>(kOperandLow);
    const V high = Splat<V>(kOperandHigh);
    plain &= (big > low) & (big < high) & (aRe < high) & (aIm < high) & (aRe + aIm > low);
    const MaskOf<V> imagBigger = ac < ad;
    const V larger = vmath::Select(imagBigger, b.im, b.re);
    const V smaller = vmath::Select(imagBigger, b.re, b.im);
    const V ratio = smaller / larger;
    plain &= vmath::Abs(ratio) > Splat<V>(kSmallestNormal);
    const V inverse = Splat<V>(1.0) / (smaller * ratio + larger);
    const V x = vmath::Select(imagBigger, a.im, a.re);
    const V y = vmath::Select(imagBigger, a.re, a.im);
    const V im = (y - x * ratio) * inverse;
    return {(x + y * ratio) * inverse, vmath::Select(imagBigger, Splat<V>(0.0) - im, im)};
}

template <class V>
HESTON_VMATH_INLINE Cv<V> SqrtV(const Cv<V>& z, MaskOf<V>& plain) {
    const V m2 = z.re * z.re + z.im * z.im;
    plain &= PlainLanes(m2);
    const V m = vmath::Sqrt(m2);
    const V t = vmath::Sqrt(Splat<V>(0.5) * (m + vmath::Abs(z.re)));
    const V u = z.im / (Splat<V>(2.0) * t);
    const MaskOf<V> nonNegative = z.re >= Splat<V>(0.0);
    return {vmath::Select(nonNegative, t, vmath::Abs(u)),
            vmath::Select(nonNegative, u, vmath::CopySign(t, z.im))};
}

template <class V>
HESTON_VMATH_INLINE Cv<V> LogV(const Cv<V>& z, MaskOf<V>& plain) {
    const V m2 = z.re * z.re + z.im * z.im;
    const MaskOf<V> ok = PlainLanes(m2);
    plain &= ok;
    // Lanes outside the range get a harmless argument; they are redone anyway.
    return {Splat<V>(0.5) * vmath::Log(vmath::Select(ok, m2, Splat<V>(1.0))),
            vmath::Atan2(vmath::Select(ok, z.im, Splat<V>(0.0)),
                         vmath::Select(ok, z.re, Splat<V>(1.0)))};
}

// Constants of the characteristic exponent for one parameter set and maturity; index 0 is
// probability 1 (share measure), index 1 probability 2 (risk-neutral).
struct Exponent {
    double tau;
    double v;
    double sigma2;
    double aOverSigma2;
    double rhoSigma;
    double b[2];
    double twoU[2];

    Exponent(double tau, double rho, double kappa, double theta, double lambda, double sigma,
             double v)
        : tau(tau),
          v(v),
          sigma2(sigma * sigma),
          aOverSigma2((kappa * theta) / (sigma * sigma)),
          rhoSigma(rho * sigma),
          b{kappa + lambda - rho * sigma, kappa + lambda},
          twoU{1.0, -1.0} {}

    // A_j(phi) = C_j + D_j v without the drift term r phi tau i, which belongs to the phase.
    Cx At(int j, double phi) const {
        const Parts p = PartsAt(j, phi);
        return {p.re, p.imC + p.imDv};
    }

    // Re(C_j + D_j v), and the imaginary parts of C_j (without the drift) and of D_j v apart,
    // so that a single price can add the drift and spot phases in HestonIntegrand's order.
    struct Parts {
        double re;
        double imC;
        double imDv;
    };

    // The steps and their order are those of HestonIntegrand.
    Parts PartsAt(int j, double phi) const {
        const double qIm = rhoSigma * phi;  // q = i rho sigma phi
        const double bj = b[j];
        // (q - b)^2 - sigma^2 (2 u phi i - phi^2)
        const double mb = 0.0 - bj;
        const double squareRe = mb * mb - qIm * qIm;
        const double squareIm = mb * qIm + qIm * mb;
        const double uTerm = twoU[j] * phi;
        const double phi2 = 0.0 - phi * phi;
        const Cx d = Sqrt({squareRe - sigma2 * phi2, squareIm - sigma2 * uTerm});

        const Cx bqMinusD{bj - d.re, (0.0 - qIm) - d.im};
        const Cx bqPlusD{bj + d.re, (0.0 - qIm) + d.im};
        // With exp(-d tau) and g = (b - q - d) / (b - q + d), |g exp(-d tau)| < 1 and the
        // logarithm stays on its principal branch for long maturities.
        const Cx g = Div(bqMinusD, bqPlusD);
        const double eMagnitude = std::exp((-d.re) * tau);
        const double eAngle = (-d.im) * tau;
        const Cx E{eMagnitude * std::cos(eAngle), eMagnitude * std::sin(eAngle)};
        const Cx gE = Mul(g, E);
        const Cx oneMinusGE{1.0 - gE.re, 0.0 - gE.im};
        const Cx oneMinusG{1.0 - g.re, 0.0 - g.im};
        const Cx L = Log(Div(oneMinusGE, oneMinusG));
        const Cx C{aOverSigma2 * (bqMinusD.re * tau - 2.0 * L.re),
                   aOverSigma2 * (bqMinusD.im * tau - 2.0 * L.im)};
        const Cx scaled{bqMinusD.re / sigma2, bqMinusD.im / sigma2};
        const Cx D = Div(Mul(scaled, {1.0 - E.re, 0.0 - E.im}), oneMinusGE);
        return {C.re + D.re * v, C.im, D.im * v};
    }

    template <class V>
    struct PartsV {
        V re;
        V imC;
        V imDv;
    };

    // PartsAt at a vector of points; lanes where `plain` ends up clear must be redone by
    // PartsAt.
    template <class V>
    HESTON_VMATH_INLINE PartsV<V> PartsAtV(int j, V phi, MaskOf<V>& plain) const {
        const V zero = Splat<V>(0.0);
        const V qIm = Splat<V>(rhoSigma) * phi;
        const V bj = Splat<V>(b[j]);
        const V mb = zero - bj;
        const V squareRe = mb * mb - qIm * qIm;
        const V squareIm = mb * qIm + qIm * mb;
        const V uTerm = Splat<V>(twoU[j]) * phi;
        const V phi2 = zero - phi * phi;
        const V s2 = Splat<V>(sigma2);
        const Cv<V> d = SqrtV(Cv<V>{squareRe - s2 * phi2, squareIm - s2 * uTerm}, plain);

        const Cv<V> bqMinusD{bj - d.re, (zero - qIm) - d.im};
        const Cv<V> bqPlusD{bj + d.re, (zero - qIm) + d.im};
        const Cv<V> g = DivV(bqMinusD, bqPlusD, plain);
        const V t = Splat<V>(tau);
        const V eMagnitude = vmath::Exp((zero - d.re) * t);
        const V eAngle = (zero - d.im) * t;
        const MaskOf<V> angleOk = vmath::Abs(eAngle) <= Splat<V>(vmath::kSinCosLimit);
        plain &= angleOk;
        V sine, cosine;
        vmath::SinCos(vmath::Select(angleOk, eAngle, zero), sine, cosine);
        const Cv<V> E{eMagnitude * cosine, eMagnitude * sine};
        const Cv<V> gE = MulV(g, E);
        const V one = Splat<V>(1.0);
        const Cv<V> oneMinusGE{one - gE.re, zero - gE.im};
        const Cv<V> oneMinusG{one - g.re, zero - g.im};
        const Cv<V> L = LogV(DivV(oneMinusGE, oneMinusG, plain), plain);
        const V a = Splat<V>(aOverSigma2);
        const Cv<V> C{a * (bqMinusD.re * t - Splat<V>(2.0) * L.re),
                      a * (bqMinusD.im * t - Splat<V>(2.0) * L.im)};
        const Cv<V> scaled{bqMinusD.re / s2, bqMinusD.im / s2};
        const Cv<V> D = DivV(MulV(scaled, Cv<V>{one - E.re, zero - E.im}), oneMinusGE, plain);
        const PartsV<V> parts{C.re + D.re * Splat<V>(v), C.im, D.im * Splat<V>(v)};
        plain &= FiniteLanes(parts.re) & FiniteLanes(parts.imC) & FiniteLanes(parts.imDv);
        return parts;
    }
};

// Points evaluated between two looks for the cut-off: a few evaluations past it are wasted, in
// exchange for loops that run on pairs of points.
constexpr int kBlock = 8;

// Once a sample falls below this in magnitude, every later sample of its integral is 0.
constexpr double kCutOff = 1e-45;
// A point where |exp(A_j)| / phi is below this gives a sample below the cut-off for every
// strike (|sample| <= |exp(A_j)| / phi), with a margin for rounding.
constexpr double kSurelyCut = 1e-46;

double Pi() {
    return 4.0 * std::atan(1.0);
}

// The price from the two probabilities' integrals (tail and head pieces).
double PriceFromIntegrals(const double (&tail)[2], const double (&head)[2], double S, double K,
                          double tau, double r, int optionType) {
    const double pi = Pi();
    double P[2];
    for (int j = 0; j < 2; ++j) P[j] = (tail[j] + head[j]) * (1.0 / pi) + 0.5;
    const double Kd = K * std::exp(-(tau * r));
    const double call = S * P[0] - Kd * P[1];
    if (optionType == 1) return call;
    // The put comes from the call's own probabilities by parity, never from its own integrals.
    return (call + Kd) - S;
}

// Samples k = start .. end - 1 of probability j (0 or 1) on one segment of the single-price
// pass: Re[f_j exp(-i phi ln K) / (i phi)] = exp(Re A_j) sin(angle) / phi, the angle being that
// of f_j less phi ln K. Both phases are summed in HestonIntegrand's order, so that their
// rounding is the same as there.
template <class V>
HESTON_VMATH_INLINE void SamplesV(const Exponent& exponent, int j, double lower, double h,
                                  int start, int end, double lnS, double lnK, double r, double* y) {
    constexpr int kLanes = vmath::kLanes<V>;
    const V rV = Splat<V>(r);
    const V tauV = Splat<V>(exponent.tau);
    for (int k = start; k < end; k += kLanes) {
        const int lanes = end - k < kLanes ? end - k : kLanes;
        V index;
        for (int lane = 0; lane < kLanes; ++lane) index[lane] = k + (lane < lanes ? lane : 0);
        const V phi = Splat<V>(lower) + index * Splat<V>(h);
        MaskOf<V> plain = phi == phi;
        const auto A = exponent.PartsAtV(j, phi, plain);
        const V angleF = (((rV * phi) * tauV + A.imC) + A.imDv) + phi * Splat<V>(lnS);
        const V angle = angleF - phi * Splat<V>(lnK);
        const MaskOf<V> angleOk = vmath::Abs(angle) <= Splat<V>(vmath::kSinCosLimit);
        plain &= angleOk;
        V sine, cosine;
        vmath::SinCos(vmath::Select(angleOk, angle, Splat<V>(0.0)), sine, cosine);
        const V sample = vmath::Exp(A.re) * sine / phi;
        for (int lane = 0; lane < lanes; ++lane) {
            if (plain[lane]) {
                y[k + lane] = sample[lane];
            } else {
                const double at = phi[lane];
                const Exponent::Parts a = exponent.PartsAt(j, at);
                const double f = (((r * at) * exponent.tau + a.imC) + a.imDv) + at * lnS;
                y[k + lane] = std::exp(a.re) * std::sin(f - at * lnK) / at;
            }
        }
    }
}

// exp(A_j) / phi at points start .. end - 1 of the grid phi, into wRe and wIm, and its
// real factor exp(Re A_j) / phi into scale[0 .. end - start - 1].
template <class V>
HESTON_VMATH_INLINE void WeightsV(const Exponent& exponent, int j, const double* phi, int start,
                                  int end, double* wRe, double* wIm, double* scale) {
    constexpr int kLanes = vmath::kLanes<V>;
    for (int k = start; k < end; k += kLanes) {
        const int lanes = end - k < kLanes ? end - k : kLanes;
        V at;
        for (int lane = 0; lane < kLanes; ++lane) at[lane] = phi[k + (lane < lanes ? lane : 0)];
        MaskOf<V> plain = at == at;
        const auto A = exponent.PartsAtV(j, at, plain);
        const V im = A.imC + A.imDv;
        const MaskOf<V> angleOk = vmath::Abs(im) <= Splat<V>(vmath::kSinCosLimit);
        plain &= angleOk;
        const V magnitude = vmath::Exp(A.re) / at;
        V sine, cosine;
        vmath::SinCos(vmath::Select(angleOk, im, Splat<V>(0.0)), sine, cosine);
        const V re = magnitude * cosine;
        const V imag = magnitude * sine;
        for (int lane = 0; lane < lanes; ++lane) {
            const int p = k + lane;
            if (plain[lane]) {
                scale[p - start] = magnitude[lane];
                wRe[p] = re[lane];
                wIm[p] = imag[lane];
            } else {
                const Cx a = exponent.At(j, phi[p]);
                scale[p - start] = std::exp(a.re) / phi[p];
                wRe[p] = scale[p - start] * std::cos(a.im);
                wIm[p] = scale[p - start] * std::sin(a.im);
            }
        }
    }
}

// The loops in two instruction sets: SSE2, which every x86 processor the library runs on has,
// and AVX2 where the processor has it (four points at a time instead of two).
void SamplesSse2(const Exponent& exponent, int j, double lower, double h, int start, int end,
                 double lnS, double lnK, double r, double* y) {
    SamplesV<vmath::V2>(exponent, j, lower, h, start, end, lnS, lnK, r, y);
}

void WeightsSse2(const Exponent& exponent, int j, const double* phi, int start, int end,
                 double* wRe, double* wIm, double* scale) {
    WeightsV<vmath::V2>(exponent, j, phi, start, end, wRe, wIm, scale);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) void SamplesAvx2(const Exponent& exponent, int j,
                                                          double lower, double h, int start,
                                                          int end, double lnS, double lnK, double r,
                                                          double* y) {
    SamplesV<vmath::V4>(exponent, j, lower, h, start, end, lnS, lnK, r, y);
}

__attribute__((target("avx2"), flatten)) void WeightsAvx2(const Exponent& exponent, int j,
                                                          const double* phi, int start, int end,
                                                          double* wRe, double* wIm, double* scale) {
    WeightsV<vmath::V4>(exponent, j, phi, start, end, wRe, wIm, scale);
}
#endif

void Samples(const Exponent& exponent, int j, double lower, double h, int start, int end,
             double lnS, double lnK, double r, double* y, VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vmath::HasAvx2())
        return SamplesAvx2(exponent, j, lower, h, start, end, lnS, lnK, r, y);
#else
    static_cast<void>(width);
#endif
    SamplesSse2(exponent, j, lower, h, start, end, lnS, lnK, r, y);
}

void Weights(const Exponent& exponent, int j, const double* phi, int start, int end, double* wRe,
             double* wIm, double* scale, VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vmath::HasAvx2())
        return WeightsAvx2(exponent, j, phi, start, end, wRe, wIm, scale);
#else
    static_cast<void>(width);
#endif
    WeightsSse2(exponent, j, phi, start, end, wRe, wIm, scale);
}

}  // namespace

ClosedFormGrid::ClosedFormGrid(double lowerLimit, double upperLimit)
    : head_{lowerLimit, (kHeadEnd - lowerLimit) / kHeadIntervals, kHeadIntervals, 0},
      tail_{kTailStart, (upperLimit - kTailStart) / kTailIntervals, kTailIntervals,
            kHeadIntervals + 1},
      computed_{{0, 0}, {0, 0}} {
    for (const Segment* s : {&head_, &tail_}) {
        for (int k = 0; k <= s->intervals; ++k) phi_[s->offset + k] = s->lower + k * s->h;
    }
}

bool ClosedFormGrid::Factorable(double S, double K) {
    return S > 0.0 && K > 0.0 && std::isfinite(S) && std::isfinite(K);
}

HESTON_REALIGN_STACK void ClosedFormGrid::SetMaturity(double tau, double rho, double kappa,
                                                      double theta, double lambda, double sigma,
                                                      double v, VectorWidth width) {
    tau_ = tau;
    const Exponent exponent(tau, rho, kappa, theta, lambda, sigma, v);
    const Segment* segments[2] = {&head_, &tail_};
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = *segments[s];
        const int points = segment.intervals + 1;
        for (int j = 0; j < 2; ++j) {
            double* wRe = wRe_[j] + segment.offset;
            double* wIm = wIm_[j] + segment.offset;
            const double* phi = phi_ + segment.offset;
            // Blocks of kBlock points; the scan after each block finds the first point past
            // which every strike is cut off.
            int computed = points;
            double scale[kBlock];
            for (int start = 0; start < points && computed == points; start += kBlock) {
                const int end = start + kBlock < points ? start + kBlock : points;
                Weights(exponent, j, phi, start, end, wRe, wIm, scale, width);
                for (int k = start; k < end; ++k) {
                    if (std::fabs(scale[k - start]) < kSurelyCut) {
                        computed = k + 1;
                        break;
                    }
                }
            }
            computed_[s][j] = computed;
        }
    }
}

double ClosedFormGrid::Probability(int j, const Segment& segment, const double* cosine,
                                   const double* sine) const {
    const int n = segment.intervals;
    const int available = computed_[&segment == &head_ ? 0 : 1][j];
    const double* wRe = wRe_[j] + segment.offset;
    const double* wIm = wIm_[j] + segment.offset;
    double y[kTailIntervals + 1];
    int k = 0;
    for (; k <= n && k < available; ++k) {
        if (k >= 1 && std::fabs(y[k - 1]) < kCutOff) break;
        // Im(exp(A_j) exp(i phi x)) / phi.
        y[k] = wRe[k] * sine[k] + wIm[k] * cosine[k];
    }
    for (; k <= n; ++k) y[k] = 0.0;
    return BooleSum(y, n, segment.h);
}

namespace {

// cos and sin of n angles, two at a time; angles beyond the kernel's range (or NaN) go to the
// C library.
void SinCosMany(const double* angle, int n, double* cosine, double* sine) {
    for (int k = 0; k < n; k += 2) {
        const vmath::V2 a{angle[k], k + 1 < n ? angle[k + 1] : 0.0};
        const MaskOf<vmath::V2> ok = vmath::Abs(a) <= Splat<vmath::V2>(vmath::kSinCosLimit);
        vmath::V2 s, c;
        vmath::SinCos(vmath::Select(ok, a, Splat<vmath::V2>(0.0)), s, c);
        for (int lane = 0; lane < 2 && k + lane < n; ++lane) {
            cosine[k + lane] = ok[lane] ? c[lane] : std::cos(angle[k + lane]);
            sine[k + lane] = ok[lane] ? s[lane] : std::sin(angle[k + lane]);
        }
    }
}

}  // namespace

HESTON_REALIGN_STACK double ClosedFormGrid::Price(double S, double K, double r,
                                                  int optionType) const {
    const double x = (std::log(S) - std::log(K)) + r * tau_;
    double integral[2][2];  // [segment][j]
    const Segment* segments[2] = {&head_, &tail_};
    // exp(i phi x) at the grid points: an exact anchor every kSpacing points, times powers of
    // exp(i h x) between anchors, so that no error builds up along the grid.
    constexpr int kSpacing = 16;
    constexpr int kAnchors = kTailIntervals / kSpacing + 1;
    double cosine[kTailIntervals + 1];
    double sine[kTailIntervals + 1];
    // The step and the anchors of both segments in one batch: [1 + kAnchors] per segment.
    double angle[2][1 + kAnchors] = {};
    double angleCos[2][1 + kAnchors];
    double angleSin[2][1 + kAnchors];
    int needed[2];
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = *segments[s];
        needed[s] = computed_[s][0] > computed_[s][1] ? computed_[s][0] : computed_[s][1];
        angle[s][0] = segment.h * x;
        for (int a = 0; a * kSpacing < needed[s]; ++a) {
            angle[s][1 + a] = phi_[segment.offset + a * kSpacing] * x;
        }
    }
    SinCosMany(&angle[0][0], 2 * (1 + kAnchors), &angleCos[0][0], &angleSin[0][0]);
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = *segments[s];
        Cx step[kSpacing];
        step[0] = {1.0, 0.0};
        step[1] = {angleCos[s][0], angleSin[s][0]};
        for (int b = 2; b < kSpacing; ++b) step[b] = Mul(step[b - 1], step[1]);
        for (int start = 0; start < needed[s]; start += kSpacing) {
            const Cx anchor{angleCos[s][1 + start / kSpacing], angleSin[s][1 + start / kSpacing]};
            const int end = start + kSpacing < needed[s] ? start + kSpacing : needed[s];
            for (int k = start; k < end; ++k) {
                const Cx e = Mul(anchor, step[k - start]);
                cosine[k] = e.re;
                sine[k] = e.im;
            }
        }
        for (int j = 0; j < 2; ++j) integral[s][j] = Probability(j, segment, cosine, sine);
    }
    const double tail[2] = {integral[1][0], integral[1][1]};
    const double head[2] = {integral[0][0], integral[0][1]};
    return PriceFromIntegrals(tail, head, S, K, tau_, r, optionType);
}

HESTON_REALIGN_STACK double ClosedFormGrid::DirectPrice(double S, double K, double tau, double r,
                                                        double rho, double kappa, double theta,
                                                        double lambda, double sigma, double v,
                                                        double lowerLimit, double upperLimit,
                                                        int optionType, VectorWidth width) {
    const Exponent exponent(tau, rho, kappa, theta, lambda, sigma, v);
    const double lnS = std::log(S);
    const double lnK = std::log(K);
    const Segment segments[2] = {
        {lowerLimit, (kHeadEnd - lowerLimit) / kHeadIntervals, kHeadIntervals, 0},
        {kTailStart, (upperLimit - kTailStart) / kTailIntervals, kTailIntervals, 0}};
    double integral[2][2];
    double y[2][kTailIntervals + 1];
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = segments[s];
        const int n = segment.intervals;
        // Both probabilities block by block; each stops at its own cut-off, after which its
        // samples are 0 whatever the block computed past it.
        bool cut[2] = {false, false};
        for (int start = 0; start <= n && !(cut[0] && cut[1]); start += kBlock) {
            const int end = start + kBlock < n + 1 ? start + kBlock : n + 1;
            for (int j = 0; j < 2; ++j) {
                if (cut[j]) continue;
                Samples(exponent, j, segment.lower, segment.h, start, end, lnS, lnK, r, y[j],
                        width);
                for (int k = start > 0 ? start : 1; k < end; ++k) {
                    if (std::fabs(y[j][k - 1]) < kCutOff) {
                        for (int rest = k; rest <= n; ++rest) y[j][rest] = 0.0;
                        cut[j] = true;
                        break;
                    }
                }
            }
        }
        for (int j = 0; j < 2; ++j) integral[s][j] = BooleSum(y[j], n, segment.h);
    }
    const double tail[2] = {integral[1][0], integral[1][1]};
    const double head[2] = {integral[0][0], integral[0][1]};
    return PriceFromIntegrals(tail, head, S, K, tau, r, optionType);
}

void ClosedFormPrices(double spot, const double* strike, const double* maturity, const double* rate,
                      const double* optionType, int count, double rho, double kappa, double theta,
                      double lambda, double sigma, double v, double lowerLimit, double* prices) {
    const double upperLimit = 100.0;
    // Option types arrive as doubles; values an int cannot hold are puts.
    auto code = [&](int i) { return std::trunc(optionType[i]) == 1.0 ? 1 : 2; };
    std::vector<bool> done(static_cast<std::size_t>(count > 0 ? count : 0), false);
    ClosedFormGrid grid(lowerLimit, upperLimit);
    Heston straightforward;
    for (int i = 0; i < count; ++i) {
        if (done[i]) continue;
        // A NaN maturity equals nothing, not even itself: it is priced on its own.
        const double tau = maturity[i];
        grid.SetMaturity(tau, rho, kappa, theta, lambda, sigma, v);
        for (int k = i; k < count; ++k) {
            if (done[k] || !(k == i || maturity[k] == tau)) continue;
            done[k] = true;
            prices[k] = ClosedFormGrid::Factorable(spot, strike[k])
                            ? grid.Price(spot, strike[k], rate[k], code(k))
                            : straightforward.ClosedFormPrice(spot, strike[k], maturity[k], rate[k],
                                                              rho, kappa, theta, lambda, sigma, v,
                                                              lowerLimit, upperLimit, code(k));
        }
    }
}

}  // namespace heston_detail
