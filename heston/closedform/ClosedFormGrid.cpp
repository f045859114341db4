// ClosedFormGrid: the strike-independent samples of one maturity on the closed-form price's
// grids and the prices of strikes from them, the one-pass price of a single option, and the
// batch pricer of an observation table.
#include "closedform/ClosedFormGrid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "closedform/Heston.h"
#include "closedform/ProbabilityExponent.h"
#include "quadrature/BooleRule.h"
#include "vectormath/ComplexArithmetic.h"
#include "vectormath/VectorMath.h"

// Four-lane vectors pass between the inline helpers below only inside the AVX2 loops.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace closedform {

using namespace vmath;

namespace {

using vmath::MaskOf;
using vmath::Splat;

// A point where |exp(A_j)| / phi is below this gives a sample below the cut-off for every
// strike (|sample| <= |exp(A_j)| / phi), with a margin for rounding.
constexpr double kSurelyCut = 1e-46;

// Samples y[0 .. n] of probability j (0 or 1) on the segment from lower in steps h, for the
// single-price pass: Re[f_j exp(-i phi ln K) / (i phi)] = exp(Re A_j) sin(angle) / phi, the
// angle being that of f_j less phi ln K. Both phases are summed in HestonIntegrand's order, so
// that their rounding is the same as there. The points are evaluated a vector at a time until
// the cut-off: once |y[k - 1]| < kCutOff, y[k .. n] are 0 whatever the vector computed past it.
template <class V>
HESTON_VMATH_INLINE void SegmentSamplesV(const CharacteristicExponent& exponent, int j,
                                         double lower, double h, int n, double lnS, double lnK,
                                         double r, double* y) {
    constexpr int kLanes = vmath::kLanes<V>;
    const V rV = Splat<V>(r);
    const V tauV = Splat<V>(exponent.tau);
    for (int k = 0; k <= n; k += kLanes) {
        const int lanes = n + 1 - k < kLanes ? n + 1 - k : kLanes;
        double indices[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) indices[lane] = k + (lane < lanes ? lane : 0);
        const V index = vmath::Load<V>(indices);
        const V phi = Splat<V>(lower) + index * Splat<V>(h);
        MaskOf<V> plain = phi == phi;
        const auto A = exponent.PartsAt(j, phi, plain);
        const V angleF = (((rV * phi) * tauV + A.imC) + A.imDv) + phi * Splat<V>(lnS);
        const V angle = angleF - phi * Splat<V>(lnK);
        const V sample = Polar(vmath::Exp(A.re), angle, plain).im / phi;
        for (int lane = 0; lane < lanes; ++lane) {
            if (plain[lane]) {
                y[k + lane] = sample[lane];
            } else {
                const double at = phi[lane];
                const ExponentParts<double> a = exponent.PartsAt(j, at);
                const double f = (((r * at) * exponent.tau + a.imC) + a.imDv) + at * lnS;
                y[k + lane] = std::exp(a.re) * std::sin(f - at * lnK) / at;
            }
        }
        for (int i = k > 0 ? k : 1; i < k + lanes; ++i) {
            if (std::fabs(y[i - 1]) < kCutOff) {
                for (int rest = i; rest <= n; ++rest) y[rest] = 0.0;
                return;
            }
        }
    }
}

// exp(A_j) / phi at the points phi[0 .. points - 1] of one segment, into wRe and wIm, a vector
// at a time until the first point k where |exp(A_j)| / phi < kSurelyCut, past which every
// strike is cut off. Returns the number of points needed: k + 1, or all of them.
template <class V>
HESTON_VMATH_INLINE int SegmentWeightsV(const CharacteristicExponent& exponent, int j,
                                        const double* phi, int points, double* wRe, double* wIm) {
    constexpr int kLanes = vmath::kLanes<V>;
    for (int k = 0; k < points; k += kLanes) {
        const int lanes = points - k < kLanes ? points - k : kLanes;
        double at[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) at[lane] = phi[k + (lane < lanes ? lane : 0)];
        const V x = vmath::Load<V>(at);
        MaskOf<V> plain = x == x;
        const auto A = exponent.PartsAt(j, x, plain);
        const V magnitude = vmath::Exp(A.re) / x;
        const ComplexParts<V> w = Polar(magnitude, A.imC + A.imDv, plain);
        double scale[kLanes];
        for (int lane = 0; lane < lanes; ++lane) {
            const int p = k + lane;
            if (plain[lane]) {
                scale[lane] = magnitude[lane];
                wRe[p] = w.re[lane];
                wIm[p] = w.im[lane];
            } else {
                const Cx a = exponent.At(j, phi[p]);
                scale[lane] = std::exp(a.re) / phi[p];
                wRe[p] = scale[lane] * std::cos(a.im);
                wIm[p] = scale[lane] * std::sin(a.im);
            }
        }
        for (int lane = 0; lane < lanes; ++lane) {
            if (std::fabs(scale[lane]) < kSurelyCut) return k + lane + 1;
        }
    }
    return points;
}

// The loops in two instruction sets: SSE2, which every x86 processor the library runs on has,
// and AVX2 where the processor has it. Each works on a pack of two vectors: four points at a
// time with SSE2, eight with AVX2.
using Sse2Lanes = vmath::Pack<vmath::V2>;

void SegmentSamplesSse2(const CharacteristicExponent& exponent, int j, double lower, double h,
                        int n, double lnS, double lnK, double r, double* y) {
    SegmentSamplesV<Sse2Lanes>(exponent, j, lower, h, n, lnS, lnK, r, y);
}

int SegmentWeightsSse2(const CharacteristicExponent& exponent, int j, const double* phi, int points,
                       double* wRe, double* wIm) {
    return SegmentWeightsV<Sse2Lanes>(exponent, j, phi, points, wRe, wIm);
}

#if HESTON_VMATH_AVX2
using Avx2Lanes = vmath::Pack<vmath::V4>;

__attribute__((target("avx2"), flatten)) void SegmentSamplesAvx2(
    const CharacteristicExponent& exponent, int j, double lower, double h, int n, double lnS,
    double lnK, double r, double* y) {
    SegmentSamplesV<Avx2Lanes>(exponent, j, lower, h, n, lnS, lnK, r, y);
}

__attribute__((target("avx2"), flatten)) int SegmentWeightsAvx2(
    const CharacteristicExponent& exponent, int j, const double* phi, int points, double* wRe,
    double* wIm) {
    return SegmentWeightsV<Avx2Lanes>(exponent, j, phi, points, wRe, wIm);
}
#endif

void SegmentSamples(const CharacteristicExponent& exponent, int j, double lower, double h, int n,
                    double lnS, double lnK, double r, double* y, VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vmath::HasAvx2())
        return SegmentSamplesAvx2(exponent, j, lower, h, n, lnS, lnK, r, y);
#else
    static_cast<void>(width);
#endif
    SegmentSamplesSse2(exponent, j, lower, h, n, lnS, lnK, r, y);
}

int SegmentWeights(const CharacteristicExponent& exponent, int j, const double* phi, int points,
                   double* wRe, double* wIm, VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vmath::HasAvx2())
        return SegmentWeightsAvx2(exponent, j, phi, points, wRe, wIm);
#else
    static_cast<void>(width);
#endif
    return SegmentWeightsSse2(exponent, j, phi, points, wRe, wIm);
}

}  // namespace

double PriceFromIntegrals(const double (&tail)[2], const double (&head)[2], double S, double K,
                          double tau, double r, int optionType) {
    const double pi = 4.0 * std::atan(1.0);
    double P[2];
    for (int j = 0; j < 2; ++j) P[j] = (tail[j] + head[j]) * (1.0 / pi) + 0.5;
    const double Kd = K * std::exp(-(tau * r));
    const double call = S * P[0] - Kd * P[1];
    if (optionType == 1) return call;
    return (call + Kd) - S;
}

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

HESTON_REALIGN_STACK void ClosedFormGrid::SetMaturity(double tau, const heston::ModelParameters& p,
                                                      double lambda, VectorWidth width) {
    tau_ = tau;
    const CharacteristicExponent exponent(tau, p, lambda);
    const Segment* segments[2] = {&head_, &tail_};
    for (int s = 0; s < 2; ++s) {
        const Segment& segment = *segments[s];
        const int points = segment.intervals + 1;
        for (int j = 0; j < 2; ++j) {
            computed_[s][j] =
                SegmentWeights(exponent, j, phi_ + segment.offset, points, wRe_[j] + segment.offset,
                               wIm_[j] + segment.offset, width);
        }
    }
}

void ClosedFormGrid::Probabilities(int s, const double* cosine, const double* sine,
                                   double (&integral)[2]) const {
    const Segment& segment = s == 0 ? head_ : tail_;
    const int n = segment.intervals;
    double y[2][kTailIntervals + 1];
    for (int j = 0; j < 2; ++j) {
        const int available = computed_[s][j];
        const double* wRe = wRe_[j] + segment.offset;
        const double* wIm = wIm_[j] + segment.offset;
        double* samples = y[j];
        // Im(exp(A_j) exp(i phi x)) / phi at every point some strike can need, in a loop free
        // of branches; then the cut-off: once |y[k - 1]| < kCutOff, y[k .. n] are 0.
        for (int k = 0; k < available; ++k) samples[k] = wRe[k] * sine[k] + wIm[k] * cosine[k];
        int k = 1;
        // Four samples per look while none is below the cut-off, then one by one.
        while (k + 4 <= available &&
               !((std::fabs(samples[k - 1]) < kCutOff) | (std::fabs(samples[k]) < kCutOff) |
                 (std::fabs(samples[k + 1]) < kCutOff) | (std::fabs(samples[k + 2]) < kCutOff))) {
            k += 4;
        }
        while (k < available && !(std::fabs(samples[k - 1]) < kCutOff)) ++k;
        for (; k <= n; ++k) samples[k] = 0.0;
    }
    BooleSums(y[0], y[1], n, segment.h, integral);
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
        Probabilities(s, cosine, sine, integral[s]);
    }
    const double tail[2] = {integral[1][0], integral[1][1]};
    const double head[2] = {integral[0][0], integral[0][1]};
    return PriceFromIntegrals(tail, head, S, K, tau_, r, optionType);
}

HESTON_REALIGN_STACK double ClosedFormGrid::DirectPrice(double S, double K, double tau, double r,
                                                        const heston::ModelParameters& p,
                                                        double lambda, double lowerLimit,
                                                        double upperLimit, int optionType,
                                                        VectorWidth width) {
    const CharacteristicExponent exponent(tau, p, lambda);
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
        for (int j = 0; j < 2; ++j) {
            SegmentSamples(exponent, j, segment.lower, segment.h, n, lnS, lnK, r, y[j], width);
        }
        BooleSums(y[0], y[1], n, segment.h, integral[s]);
    }
    const double tail[2] = {integral[1][0], integral[1][1]};
    const double head[2] = {integral[0][0], integral[0][1]};
    return PriceFromIntegrals(tail, head, S, K, tau, r, optionType);
}

void ClosedFormPrices(double spot, const double* strike, const double* maturity, const double* rate,
                      const double* optionType, int count, const heston::ModelParameters& p,
                      double lambda, double lowerLimit, double* prices,
                      heston::ParallelFor& runner) {
    const double upperLimit = 100.0;
    // Option types arrive as doubles; values an int cannot hold are puts.
    auto code = [&](int i) { return std::trunc(optionType[i]) == 1.0 ? 1 : 2; };

    // The maturity groups: members[start[g] .. start[g + 1] - 1] share one maturity. A NaN
    // maturity equals nothing, not even itself: it forms a group of its own.
    const std::size_t n = static_cast<std::size_t>(count > 0 ? count : 0);
    std::vector<int> members;
    std::vector<int> start;
    members.reserve(n);
    std::vector<bool> done(n, false);
    for (int i = 0; i < count; ++i) {
        if (done[i]) continue;
        start.push_back(static_cast<int>(members.size()));
        const double tau = maturity[i];
        for (int k = i; k < count; ++k) {
            if (done[k] || !(k == i || maturity[k] == tau)) continue;
            done[k] = true;
            members.push_back(k);
        }
    }
    const int groups = static_cast<int>(start.size());
    start.push_back(static_cast<int>(members.size()));

    // Larger groups first, so that a runner handing out groups as its threads come free ends
    // with the small ones; the order changes no price.
    std::vector<int> byCost(static_cast<std::size_t>(groups));
    for (int g = 0; g < groups; ++g) byCost[g] = g;
    std::stable_sort(byCost.begin(), byCost.end(), [&](int a, int b) {
        return start[a + 1] - start[a] > start[b + 1] - start[b];
    });

    // Each group on its own grid: the tasks share only read-only inputs and write the prices of
    // their own members.
    auto priceGroup = [&](int task) {
        const int g = byCost[task];
        ClosedFormGrid grid(lowerLimit, upperLimit);
        Heston straightforward;
        grid.SetMaturity(maturity[members[start[g]]], p, lambda);
        for (int m = start[g]; m < start[g + 1]; ++m) {
            const int k = members[m];
            prices[k] = ClosedFormGrid::Factorable(spot, strike[k])
                            ? grid.Price(spot, strike[k], rate[k], code(k))
                            : straightforward.ClosedFormPrice(
                                  spot, strike[k], maturity[k], rate[k], p.rho, p.kappa, p.theta,
                                  lambda, p.sigma, p.v0, lowerLimit, upperLimit, code(k));
        }
    };
    runner.ForEach(groups, priceGroup);
}

}  // namespace closedform
}  // namespace heston
