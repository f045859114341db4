// ClosedFormGrid: the strike-independent samples of one maturity on the closed-form price's
// grids and the prices of strikes from them, the one-pass price of a single option, and the
// batch pricer of an observation table.
#include "ClosedFormGrid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "BooleRule.h"
#include "CharacteristicExponent.h"
#include "ComplexArithmetic.h"
#include "Heston.h"
#include "VectorMath.h"

// Four-lane vectors pass between the inline helpers below only inside the AVX2 loops.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston_detail {

namespace {

using vmath::MaskOf;
using vmath::Splat;

// Points evaluated between two looks for the cut-off: a few evaluations past it are wasted, in
// exchange for loops that run on whole vectors of points (two with SSE2, four with AVX2).
constexpr int kBlock = 8;

// A point where |exp(A_j)| / phi is below this gives a sample below the cut-off for every
// strike (|sample| <= |exp(A_j)| / phi), with a margin for rounding.
constexpr double kSurelyCut = 1e-46;

// Samples k = start .. end - 1 of probability j (0 or 1) on one segment of the single-price
// pass: Re[f_j exp(-i phi ln K) / (i phi)] = exp(Re A_j) sin(angle) / phi, the angle being that
// of f_j less phi ln K. Both phases are summed in HestonIntegrand's order, so that their
// rounding is the same as there.
template <class V>
HESTON_VMATH_INLINE void SamplesV(const CharacteristicExponent& exponent, int j, double lower,
                                  double h, int start, int end, double lnS, double lnK, double r,
                                  double* y) {
    constexpr int kLanes = vmath::kLanes<V>;
    const V rV = Splat<V>(r);
    const V tauV = Splat<V>(exponent.tau);
    for (int k = start; k < end; k += kLanes) {
        const int lanes = end - k < kLanes ? end - k : kLanes;
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
    }
}

// exp(A_j) / phi at points start .. end - 1 of the grid phi, into wRe and wIm, and its
// real factor exp(Re A_j) / phi into scale[0 .. end - start - 1].
template <class V>
HESTON_VMATH_INLINE void WeightsV(const CharacteristicExponent& exponent, int j, const double* phi,
                                  int start, int end, double* wRe, double* wIm, double* scale) {
    constexpr int kLanes = vmath::kLanes<V>;
    for (int k = start; k < end; k += kLanes) {
        const int lanes = end - k < kLanes ? end - k : kLanes;
        double points[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) points[lane] = phi[k + (lane < lanes ? lane : 0)];
        const V at = vmath::Load<V>(points);
        MaskOf<V> plain = at == at;
        const auto A = exponent.PartsAt(j, at, plain);
        const V magnitude = vmath::Exp(A.re) / at;
        const ComplexParts<V> w = Polar(magnitude, A.imC + A.imDv, plain);
        for (int lane = 0; lane < lanes; ++lane) {
            const int p = k + lane;
            if (plain[lane]) {
                scale[p - start] = magnitude[lane];
                wRe[p] = w.re[lane];
                wIm[p] = w.im[lane];
            } else {
                const Cx a = exponent.At(j, phi[p]);
                scale[p - start] = std::exp(a.re) / phi[p];
                wRe[p] = scale[p - start] * std::cos(a.im);
                wIm[p] = scale[p - start] * std::sin(a.im);
            }
        }
    }
}

#ifndef CF_SSE2
#define CF_SSE2 vmath::Pack<vmath::V2>
#endif
#ifndef CF_AVX2
#define CF_AVX2 vmath::Pack<vmath::V4>
#endif
using Sse2Lanes = CF_SSE2;
using Avx2Lanes = CF_AVX2;

// The loops in two instruction sets: SSE2, which every x86 processor the library runs on has,
// and AVX2 where the processor has it (four points at a time instead of two).
void SamplesSse2(const CharacteristicExponent& exponent, int j, double lower, double h, int start,
                 int end, double lnS, double lnK, double r, double* y) {
    SamplesV<Sse2Lanes>(exponent, j, lower, h, start, end, lnS, lnK, r, y);
}

void WeightsSse2(const CharacteristicExponent& exponent, int j, const double* phi, int start,
                 int end, double* wRe, double* wIm, double* scale) {
    WeightsV<Sse2Lanes>(exponent, j, phi, start, end, wRe, wIm, scale);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) void SamplesAvx2(const CharacteristicExponent& exponent,
                                                          int j, double lower, double h, int start,
                                                          int end, double lnS, double lnK, double r,
                                                          double* y) {
    SamplesV<Avx2Lanes>(exponent, j, lower, h, start, end, lnS, lnK, r, y);
}

__attribute__((target("avx2"), flatten)) void WeightsAvx2(const CharacteristicExponent& exponent,
                                                          int j, const double* phi, int start,
                                                          int end, double* wRe, double* wIm,
                                                          double* scale) {
    WeightsV<Avx2Lanes>(exponent, j, phi, start, end, wRe, wIm, scale);
}
#endif

void Samples(const CharacteristicExponent& exponent, int j, double lower, double h, int start,
             int end, double lnS, double lnK, double r, double* y, VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vmath::HasAvx2())
        return SamplesAvx2(exponent, j, lower, h, start, end, lnS, lnK, r, y);
#else
    static_cast<void>(width);
#endif
    SamplesSse2(exponent, j, lower, h, start, end, lnS, lnK, r, y);
}

void Weights(const CharacteristicExponent& exponent, int j, const double* phi, int start, int end,
             double* wRe, double* wIm, double* scale, VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vmath::HasAvx2())
        return WeightsAvx2(exponent, j, phi, start, end, wRe, wIm, scale);
#else
    static_cast<void>(width);
#endif
    WeightsSse2(exponent, j, phi, start, end, wRe, wIm, scale);
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

}  // namespace heston_detail
