// The faster arrangements of both pricers compute exactly what the plain ones compute: the
// vector kernels and the closed form's characteristic exponent on packs of two vectors against
// single vectors, Max and Min against the comparisons they stand for, the two Boole sums taken
// side by side against one at a time, the closed form's single price at both vector widths, and
// the contour pricer's kernels, prices, Greeks and batches at both vector widths (the SSE2 loops
// that older processors run, on this machine too). Every check is bit for bit: these
// arrangements change the speed, never a value. The contour kernel's scalar form, which serves
// the lanes the vector loops cannot, is held to a stated bound instead.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "closedform/ClosedFormGrid.h"
#include "closedform/ProbabilityExponent.h"
#include "contour/ContourBatch.h"
#include "contour/ContourIntegration.h"
#include "contour/ContourKernel.h"
#include "contour/ContourPricing.h"
#include "model/ModelParameters.h"
#include "quadrature/BooleRule.h"
#include "vectormath/VectorMath.h"

#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

namespace vm = heston::vmath;

std::uint64_t Bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every kernel of VectorMath.h (and the square root, Max, Min) on one vector, results in out.
// kOutputs results per argument pair.
constexpr int kOutputs = 8;

template <class V>
HESTON_VMATH_INLINE void Kernels(const double* x, const double* y, double* out) {
    constexpr int n = vm::kLanes<V>;
    const V a = vm::Load<V>(x);
    const V b = vm::Load<V>(y);
    const V big = vm::Abs(a) * vm::Splat<V>(1e4);
    V sine, cosine;
    vm::SinCos(vm::Select(vm::Abs(big) <= vm::Splat<V>(vm::kSinCosLimit), big, a), sine, cosine);
    const V results[kOutputs] = {vm::Exp(a),
                                 vm::Log(vm::Abs(a) + vm::Splat<V>(1e-300)),
                                 sine,
                                 cosine,
                                 vm::Atan2(b, a),
                                 vm::Sqrt(vm::Abs(a)),
                                 vm::Max(a, b),
                                 vm::Min(a, b)};
    for (int k = 0; k < kOutputs; ++k) vm::Store(out + k * n, results[k]);
}

// The kernels over n arguments in vectors of V; out[k * n + i] is result k of argument i.
template <class V>
HESTON_VMATH_INLINE void KernelsOver(const double* x, const double* y, int n, double* out) {
    constexpr int lanes = vm::kLanes<V>;
    double block[kOutputs * lanes];
    for (int i = 0; i < n; i += lanes) {
        Kernels<V>(x + i, y + i, block);
        for (int k = 0; k < kOutputs; ++k) {
            for (int lane = 0; lane < lanes; ++lane)
                out[k * n + i + lane] = block[k * lanes + lane];
        }
    }
}

void KernelsTwo(const double* x, const double* y, int n, double* out) {
    KernelsOver<vm::V2>(x, y, n, out);
}

void KernelsTwoPacked(const double* x, const double* y, int n, double* out) {
    KernelsOver<vm::Pack<vm::V2>>(x, y, n, out);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) void KernelsFour(const double* x, const double* y, int n,
                                                          double* out) {
    KernelsOver<vm::V4>(x, y, n, out);
}

__attribute__((target("avx2"), flatten)) void KernelsFourPacked(const double* x, const double* y,
                                                                int n, double* out) {
    KernelsOver<vm::Pack<vm::V4>>(x, y, n, out);
}
#endif

// The exponent's parts and lane mask at points phi[0 .. n - 1]: four outputs per point.
template <class V>
HESTON_VMATH_INLINE void ExponentOver(const heston::closedform::CharacteristicExponent& exponent,
                                      int j, const double* phi, int n, double* out) {
    constexpr int lanes = vm::kLanes<V>;
    for (int i = 0; i < n; i += lanes) {
        const V at = vm::Load<V>(phi + i);
        vm::MaskOf<V> plain = at == at;
        const heston::closedform::ExponentParts<V> parts = exponent.PartsAt(j, at, plain);
        for (int lane = 0; lane < lanes; ++lane) {
            out[4 * (i + lane)] = parts.re[lane];
            out[4 * (i + lane) + 1] = parts.imC[lane];
            out[4 * (i + lane) + 2] = parts.imDv[lane];
            out[4 * (i + lane) + 3] = plain[lane] ? 1.0 : 0.0;
        }
    }
}

void ExponentTwo(const heston::closedform::CharacteristicExponent& e, int j, const double* phi,
                 int n, double* out) {
    ExponentOver<vm::V2>(e, j, phi, n, out);
}

void ExponentTwoPacked(const heston::closedform::CharacteristicExponent& e, int j,
                       const double* phi, int n, double* out) {
    ExponentOver<vm::Pack<vm::V2>>(e, j, phi, n, out);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) void ExponentFour(
    const heston::closedform::CharacteristicExponent& e, int j, const double* phi, int n,
    double* out) {
    ExponentOver<vm::V4>(e, j, phi, n, out);
}

__attribute__((target("avx2"), flatten)) void ExponentFourPacked(
    const heston::closedform::CharacteristicExponent& e, int j, const double* phi, int n,
    double* out) {
    ExponentOver<vm::Pack<vm::V4>>(e, j, phi, n, out);
}
#endif

bool Avx2() {
#if HESTON_VMATH_AVX2
    return vm::HasAvx2();
#else
    return false;
#endif
}

// Index of the first element whose bits differ, or -1.
int FirstDifference(const std::vector<double>& a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Bits(a[i]) != Bits(b[i])) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

TEST(BitIdenticalPaths, PackedKernelsGiveEveryLaneTheSingleVectorBits) {
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> exponent(-40.0, 40.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> x, y;
    for (int i = 0; i < 4000; ++i) {
        x.push_back((u(rng) < 0.5 ? -1.0 : 1.0) * std::exp2(exponent(rng)));
        y.push_back((u(rng) < 0.5 ? -1.0 : 1.0) * std::exp2(exponent(rng)));
    }
    // The ends of the ranges and the cases a selection decides: equal values, zeros of both
    // signs, infinities.
    const double special[][2] = {{0.0, -0.0}, {-0.0, 0.0},  {1.0, 1.0},     {-745.5, 709.9},
                                 {kInf, 1.0}, {1.0, -kInf}, {-1400.0, 0.5}, {800.0, -800.0}};
    for (const auto& s : special) {
        x.push_back(s[0]);
        y.push_back(s[1]);
    }
    while (x.size() % 8 != 0) {
        x.push_back(0.5);
        y.push_back(-0.25);
    }
    const int n = static_cast<int>(x.size());
    std::vector<double> single(kOutputs * x.size()), packed(kOutputs * x.size());
    KernelsTwo(x.data(), y.data(), n, single.data());
    KernelsTwoPacked(x.data(), y.data(), n, packed.data());
    int at = FirstDifference(single, packed);
    EXPECT_EQ(at, -1) << "two lanes: result " << at / n << " of x " << x[at % n] << " y "
                      << y[at % n];
    if (Avx2()) {
#if HESTON_VMATH_AVX2
        std::vector<double> four(kOutputs * x.size()), fourPacked(kOutputs * x.size());
        KernelsFour(x.data(), y.data(), n, four.data());
        KernelsFourPacked(x.data(), y.data(), n, fourPacked.data());
        at = FirstDifference(four, fourPacked);
        EXPECT_EQ(at, -1) << "four lanes: result " << at / n << " of x " << x[at % n] << " y "
                          << y[at % n];
        // Two and four lanes compute the same operations too.
        at = FirstDifference(single, four);
        EXPECT_EQ(at, -1) << "two against four lanes: result " << at / n << " of x " << x[at % n]
                          << " y " << y[at % n];
#endif
    }
}

TEST(BitIdenticalPaths, MaxAndMinSelectAsTheirComparisons) {
    // Max(a, b) is (a > b ? a : b) and Min(a, b) is (a < b ? a : b) in every lane: for a NaN on
    // either side and for zeros of opposite signs that is the second operand.
    const double values[] = {0.0, -0.0, 1.0, -1.0, kInf, -kInf, kNaN, 2.5e-310, -3.0e300};
    for (double a : values) {
        for (double b : values) {
            const vm::V2 va{a, b};
            const vm::V2 vb{b, a};
            const vm::V2 mx = vm::Max(va, vb);
            const vm::V2 mn = vm::Min(va, vb);
            const vm::Pack<vm::V2> pmx =
                vm::Max(vm::Pack<vm::V2>{va, vb}, vm::Pack<vm::V2>{vb, va});
            EXPECT_EQ(Bits(mx[0]), Bits(a > b ? a : b)) << "max " << a << ", " << b;
            EXPECT_EQ(Bits(mx[1]), Bits(b > a ? b : a)) << "max " << b << ", " << a;
            EXPECT_EQ(Bits(mn[0]), Bits(a < b ? a : b)) << "min " << a << ", " << b;
            EXPECT_EQ(Bits(mn[1]), Bits(b < a ? b : a)) << "min " << b << ", " << a;
            EXPECT_EQ(Bits(pmx[2]), Bits(b > a ? b : a)) << "packed max " << b << ", " << a;
        }
    }
}

TEST(BitIdenticalPaths, PackedExponentGivesEveryPointTheSingleVectorBitsAndMask) {
    // Ordinary parameters, a variance so large that D v overflows (lanes left to the scalar
    // form), and a near-zero vol of vol, over the grid's range of phi and beyond.
    const heston::ModelParameters cases[] = {
        {0.04, 0.06, 1.5, 0.4, -0.6}, {1e307, 0.06, 1.5, 0.4, -0.6}, {0.2, 0.5, 8.0, 1e-6, 0.99}};
    std::vector<double> phi;
    for (int k = 0; k < 800; ++k) phi.push_back(1e-13 + k * 0.17);
    const int n = static_cast<int>(phi.size());
    for (const heston::ModelParameters& p : cases) {
        for (double tau : {0.01, 1.0, 30.0}) {
            const heston::closedform::CharacteristicExponent exponent(tau, p, 0.1);
            for (int j = 0; j < 2; ++j) {
                std::vector<double> single(4 * phi.size()), packed(4 * phi.size());
                ExponentTwo(exponent, j, phi.data(), n, single.data());
                ExponentTwoPacked(exponent, j, phi.data(), n, packed.data());
                int at = FirstDifference(single, packed);
                EXPECT_EQ(at, -1) << "two lanes, v " << p.v0 << " tau " << tau << " j " << j
                                  << " phi " << phi[at / 4];
                if (!Avx2()) continue;
#if HESTON_VMATH_AVX2
                std::vector<double> four(4 * phi.size()), fourPacked(4 * phi.size());
                ExponentFour(exponent, j, phi.data(), n, four.data());
                ExponentFourPacked(exponent, j, phi.data(), n, fourPacked.data());
                at = FirstDifference(four, fourPacked);
                EXPECT_EQ(at, -1) << "four lanes, v " << p.v0 << " tau " << tau << " j " << j
                                  << " phi " << phi[at / 4];
                at = FirstDifference(single, four);
                EXPECT_EQ(at, -1) << "two against four lanes, v " << p.v0 << " tau " << tau << " j "
                                  << j << " phi " << phi[at / 4];
#endif
            }
        }
    }
}

TEST(BitIdenticalPaths, BooleSumsSideBySideEqualOneAtATime) {
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int intervals : {4, 180, 200}) {
        std::vector<double> y0(intervals + 1), y1(intervals + 1);
        for (int k = 0; k <= intervals; ++k) {
            y0[k] = u(rng) * std::exp(-0.05 * k);
            y1[k] = k % 7 == 3 ? 0.0 : u(rng) * 1e-30;
        }
        const double h = 0.0833;
        double totals[2];
        heston::BooleSums(y0.data(), y1.data(), intervals, h, totals);
        EXPECT_EQ(Bits(totals[0]), Bits(heston::BooleSum(y0.data(), intervals, h)));
        EXPECT_EQ(Bits(totals[1]), Bits(heston::BooleSum(y1.data(), intervals, h)));
    }
    // Against the rule itself: Boole's rule integrates x^4 on [0, 1] with the one-panel error
    // -(8/945) h^7 f^(6) = 0 for a quartic, exactly up to rounding.
    std::vector<double> quartic(5);
    for (int k = 0; k <= 4; ++k) quartic[k] = std::pow(k * 0.25, 4);
    double totals[2];
    heston::BooleSums(quartic.data(), quartic.data(), 4, 0.25, totals);
    EXPECT_NEAR(totals[0], 0.2, 1e-15);
    EXPECT_EQ(Bits(totals[0]), Bits(totals[1]));
}

TEST(BitIdenticalPaths, SinglePriceIsTheSameAtBothVectorWidths) {
    // Maturities from two weeks to thirty years, strikes far either side, and parameters that
    // send lanes to the scalar form or cut the integrals off early.
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int compared = 0;
    for (int i = 0; i < 120; ++i) {
        const double K = 100.0 * std::exp(3.0 * (u(rng) - 0.5));
        const double tau = std::exp(std::log(0.04) + u(rng) * std::log(750.0));
        const heston::ModelParameters p{std::exp(-9.0 + 9.0 * u(rng)), 0.01 + 0.5 * u(rng),
                                        std::exp(-4.0 + 7.0 * u(rng)), 0.01 + 2.0 * u(rng),
                                        1.998 * u(rng) - 0.999};
        const double lower = i % 2 ? 1e-5 : 1e-13;
        const double sse2 = heston::closedform::ClosedFormGrid::DirectPrice(
            100.0, K, tau, 0.03, p, 0.0, lower, 100.0, 1, heston::VectorWidth::kSse2);
        const double widest = heston::closedform::ClosedFormGrid::DirectPrice(
            100.0, K, tau, 0.03, p, 0.0, lower, 100.0, 1, heston::VectorWidth::kWidest);
        EXPECT_EQ(Bits(sse2), Bits(widest))
            << "K " << K << " tau " << tau << " v " << p.v0 << " sigma " << p.sigma << ": " << sse2
            << " against " << widest;
        ++compared;
    }
    EXPECT_EQ(compared, 120);
}

namespace {

namespace contour = heston::contour;
using heston::VectorWidth;

// Nodes from 0 to 1e8, far beyond where the exponential's angle leaves the vector sine's range
// (those lanes go to the scalar form), and parameter sets with no mean reversion and no
// volatility of variance (ln M's lanes go to the scalar form), a vanishing sigma, v0 = 0 and
// rho near +-1.
std::vector<double> ContourNodes() {
    std::vector<double> v{0.0};
    for (double x = 1e-3; x < 1e8; x *= 1.37) v.push_back(x);
    return v;
}

const heston::ModelParameters kContourModels[] = {{0.04, 0.06, 1.5, 0.4, -0.6},
                                                  {0.0, 0.04, 0.01, 1.5, 0.95},
                                                  {0.04, 0.04, 1.0, 3.0, -0.99},
                                                  {0.3, 0.1, 8.0, 1e-7, 0.4},
                                                  {0.05, 0.3, 0.0, 0.0, 0.2}};

const contour::Sensitivities kSensitivities[] = {contour::Sensitivities::kNone,
                                                 contour::Sensitivities::kParameters,
                                                 contour::Sensitivities::kGreeks};

std::vector<double> KernelValues(const contour::KernelLine& line, const std::vector<double>& v,
                                 VectorWidth width, bool oneAtATime) {
    const int n = static_cast<int>(v.size());
    const int stride = line.options * contour::ComponentCount(line.sensitivities);
    std::vector<double> out(static_cast<std::size_t>(n) * (stride + 1));
    double* sizes = out.data() + static_cast<std::size_t>(n) * stride;
    if (!oneAtATime) {
        contour::Kernels(line, v.data(), n, out.data(), sizes, width);
        return out;
    }
    for (int j = 0; j < n; ++j) {
        contour::Kernels(line, v.data() + j, 1, out.data() + j * stride, sizes + j, width);
    }
    return out;
}

}  // namespace

TEST(BitIdenticalPaths, ContourKernelsAreTheSameAtBothWidthsInEveryGrouping) {
    const std::vector<double> v = ContourNodes();
    const double k[3] = {-0.3, 0.0, 0.4};
    int compared = 0;
    for (const heston::ModelParameters& m : kContourModels) {
        for (double T : {1.0 / 365, 1.0, 30.0}) {
            for (double nu : {-3.0, 0.5, 2.5}) {
                for (contour::Sensitivities s : kSensitivities) {
                    SCOPED_TRACE(testing::Message()
                                 << "v0 " << m.v0 << " sigma " << m.sigma << " T " << T << " nu "
                                 << nu << " kind " << static_cast<int>(s));
                    const contour::KernelLine group{{m, T, nu}, k, 3, s};
                    const std::vector<double> sse2 =
                        KernelValues(group, v, VectorWidth::kSse2, false);
                    // Each node alone in its vector gives the same bits.
                    EXPECT_EQ(
                        FirstDifference(sse2, KernelValues(group, v, VectorWidth::kSse2, true)),
                        -1);
                    if (Avx2()) {
                        const std::vector<double> avx2 =
                            KernelValues(group, v, VectorWidth::kWidest, false);
                        const int at = FirstDifference(sse2, avx2);
                        EXPECT_EQ(at, -1) << "two against four lanes at index " << at;
                        EXPECT_EQ(FirstDifference(
                                      avx2, KernelValues(group, v, VectorWidth::kWidest, true)),
                                  -1);
                    }
                    // Each option alone on the line gives the bits it has in the group.
                    const int c = contour::ComponentCount(s);
                    for (int i = 0; i < 3; ++i) {
                        const contour::KernelLine alone{{m, T, nu}, k + i, 1, s};
                        const std::vector<double> one =
                            KernelValues(alone, v, VectorWidth::kSse2, false);
                        for (std::size_t j = 0; j < v.size(); ++j) {
                            for (int q = 0; q < c; ++q) {
                                ASSERT_EQ(Bits(one[j * c + q]), Bits(sse2[(j * 3 + i) * c + q]))
                                    << "option " << i << " v " << v[j] << " component " << q;
                            }
                        }
                    }
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 5 * 3 * 3 * 3);
}

TEST(BitIdenticalPaths, ContourKernelsScalarFormAgreesWithinItsBound) {
    // The scalar form divides by Smith's quotient where the vector form multiplies by one
    // reciprocal, and takes the C library's exp, sin, cos, atan2 and log1p: each component
    // agrees within 32 eps of its scale, the kernel's size times (1 + |exponent|) (the
    // exponential turns an absolute error of the exponent into a relative one) times
    // (1 + |factor|), the factor being 1, d ln M / dp, s or s^2 by component.
    constexpr double kEps = std::numeric_limits<double>::epsilon();
    const std::vector<double> v = ContourNodes();
    const int n = static_cast<int>(v.size());
    double worst = 0.0;
    for (const heston::ModelParameters& m : kContourModels) {
        for (double T : {1.0 / 365, 1.0, 30.0}) {
            for (double nu : {-3.0, 0.5, 2.5}) {
                for (double k : {-0.3, 0.0, 0.4}) {
                    const contour::KernelLine line{
                        {m, T, nu}, &k, 1, contour::Sensitivities::kGreeks};
                    constexpr int c = contour::ComponentCount(contour::Sensitivities::kGreeks);
                    std::vector<double> vector(n * c), scalar(n * c), vectorSize(n), scalarSize(n);
                    contour::Kernels(line, v.data(), n, vector.data(), vectorSize.data(),
                                     VectorWidth::kSse2);
                    contour::ScalarKernels(line, v.data(), n, scalar.data(), scalarSize.data());
                    for (int j = 0; j < n; ++j) {
                        if (!(std::isfinite(scalarSize[j]) && scalarSize[j] > 0.0)) continue;
                        bool plain = true;
                        const contour::LogMomentAt<double> lnM =
                            contour::HestonLogMoment<contour::Gradient::kFull>({m, T, nu}, v[j],
                                                                               plain);
                        const double exponent =
                            std::hypot(lnM.value.re - nu * k, lnM.value.im + v[j] * k);
                        const double s = std::hypot(nu, v[j]);
                        double factor[c] = {1.0};
                        for (int p = 0; p < contour::kGradientSize; ++p) {
                            if (p >= contour::kLambdaEntry && p < contour::kMaturityEntry) continue;
                            const double g = std::hypot(lnM.gradient[p].re, lnM.gradient[p].im);
                            factor[p < heston::kModelParameterCount ? contour::kDV0 + p
                                                                    : contour::kDMaturity] = g;
                        }
                        factor[contour::kDk] = s;
                        factor[contour::kDk2] = s * s;
                        for (int q = 0; q < c; ++q) {
                            if (std::isnan(scalar[j * c + q])) {
                                // d/dkappa, d/dsigma, d/drho where kappa = sigma = 0.
                                EXPECT_TRUE(std::isnan(vector[j * c + q]));
                                continue;
                            }
                            const double scale =
                                scalarSize[j] * (1.0 + exponent) * (1.0 + factor[q]);
                            const double error = std::fabs(vector[j * c + q] - scalar[j * c + q]);
                            worst = std::fmax(worst, error / (kEps * scale));
                            ASSERT_LE(error, 32.0 * kEps * scale)
                                << "v0 " << m.v0 << " sigma " << m.sigma << " T " << T << " nu "
                                << nu << " k " << k << " v " << v[j] << " component " << q;
                        }
                    }
                }
            }
        }
    }
    std::printf("contour kernel, scalar against vector form: largest error %.1f eps of scale\n",
                worst);
}

TEST(BitIdenticalPaths, ContourPricesGreeksAndBatchesAreTheSameAtBothWidths) {
    if (!Avx2()) GTEST_SKIP() << "this processor runs the SSE2 loops only";
    const double S = 100.0, r = 0.03, q = 0.01;
    const heston::ModelParameters models[] = {
        {0.04, 0.06, 1.5, 0.4, -0.6}, {0.0, 0.04, 0.2, 1.0, 0.9}, {0.04, 0.04, 1.0, 3.0, -0.99}};
    for (const heston::ModelParameters& m : models) {
        std::vector<heston::BatchOption> options;
        for (double T : {1.0 / 365, 0.25, 30.0}) {
            for (double K : {40.0, 100.0, 250.0}) {
                for (int type : {1, 2}) {
                    SCOPED_TRACE(testing::Message() << "type " << type << " T " << T << " K " << K
                                                    << " rho " << m.rho);
                    const contour::Market market = contour::MakeMarket(S, K, T, r, q);
                    EXPECT_EQ(Bits(contour::OptionPrice(type, market, m, VectorWidth::kSse2)),
                              Bits(contour::OptionPrice(type, market, m, VectorWidth::kWidest)));
                    const heston::Greeks a =
                        contour::OptionGreeks(type, market, m, VectorWidth::kSse2);
                    const heston::Greeks b =
                        contour::OptionGreeks(type, market, m, VectorWidth::kWidest);
                    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
                    options.push_back({type, K, T, r, q});
                }
            }
        }
        const std::size_t n = options.size();
        std::vector<double> sse2(6 * n), widest(6 * n);
        contour::PriceOptions(S, m, options.data(), n, sse2.data(), sse2.data() + n,
                              heston::Serial(), VectorWidth::kSse2);
        contour::PriceOptions(S, m, options.data(), n, widest.data(), widest.data() + n,
                              heston::Serial(), VectorWidth::kWidest);
        EXPECT_EQ(FirstDifference(sse2, widest), -1) << "rho " << m.rho;
    }
}
