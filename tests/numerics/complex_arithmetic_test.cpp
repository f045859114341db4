// The complex operations of the closed-form loops (quotient, square root, logarithm) against
// std::complex<long double>, in the scalar form over the whole range of magnitudes and in the
// vector form, two lanes and, where the processor has AVX2, four: every lane the vector form
// keeps is accurate, and a lane it clears is one the plain formulas cannot serve. Then the
// characteristic exponent's vector lanes against its scalar form.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "closedform/ProbabilityExponent.h"
#include "model/ModelParameters.h"
#include "vectormath/ComplexArithmetic.h"
#include "vectormath/VectorMath.h"

#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

namespace vm = heston::vmath;
using LongComplex = std::complex<long double>;

constexpr double kEps = std::numeric_limits<double>::epsilon();

enum Operation { kDiv, kSqrt, kLog };

LongComplex Exact(Operation op, const vm::Cx& a, const vm::Cx& b) {
    const LongComplex x(a.re, a.im);
    switch (op) {
        case kDiv:
            return x / LongComplex(b.re, b.im);
        case kSqrt:
            return std::sqrt(x);
        case kLog:
            return std::log(x);
    }
    return 0.0L;
}

// |calculated - exact| in units of eps |exact|; the logarithm, whose value vanishes at 1 while
// its error stays near eps, in units of eps (|exact| + 1).
double Error(Operation op, const vm::Cx& calculated, const LongComplex& exact) {
    const long double scale = std::abs(exact) + (op == kLog ? 1.0L : 0.0L);
    const long double distance = std::abs(LongComplex(calculated.re, calculated.im) - exact);
    return static_cast<double>(distance / (scale * kEps));
}

// A complex number of magnitude log-uniform in [2^lowExp, 2^highExp] at a uniform angle, with
// a part set exactly to zero now and then.
vm::Cx RandomComplex(std::mt19937_64& rng, double lowExp, double highExp) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double magnitude = std::exp2(lowExp + (highExp - lowExp) * u(rng));
    const double angle = (2.0 * u(rng) - 1.0) * M_PI;
    vm::Cx z{magnitude * std::cos(angle), magnitude * std::sin(angle)};
    const double pick = u(rng);
    if (pick < 0.05) z.re = 0.0;
    if (pick > 0.95) z.im = 0.0;
    return z;
}

vm::Cx Scalar(Operation op, const vm::Cx& a, const vm::Cx& b) {
    bool plain = true;
    switch (op) {
        case kDiv:
            return vm::Div(a, b, plain);
        case kSqrt:
            return vm::Sqrt(a, plain);
        case kLog:
            return vm::Log(a, plain);
    }
    return a;
}

// The operation on n operands in vectors of V; plain[i] tells whether lane i was kept.
template <class V>
HESTON_VMATH_INLINE void ApplyV(Operation op, const vm::Cx* a, const vm::Cx* b, vm::Cx* out,
                                bool* plain, int n) {
    constexpr int kLanes = vm::kLanes<V>;
    for (int i = 0; i + kLanes <= n; i += kLanes) {
        double parts[4][kLanes];
        for (int lane = 0; lane < kLanes; ++lane) {
            parts[0][lane] = a[i + lane].re;
            parts[1][lane] = a[i + lane].im;
            parts[2][lane] = b[i + lane].re;
            parts[3][lane] = b[i + lane].im;
        }
        const vm::ComplexParts<V> x{vm::Load<V>(parts[0]), vm::Load<V>(parts[1])};
        const vm::ComplexParts<V> y{vm::Load<V>(parts[2]), vm::Load<V>(parts[3])};
        vm::MaskOf<V> kept = x.re == x.re;
        vm::ComplexParts<V> z;
        switch (op) {
            case kDiv:
                z = vm::Div(x, y, kept);
                break;
            case kSqrt:
                z = vm::Sqrt(x, kept);
                break;
            case kLog:
                z = vm::Log(x, kept);
                break;
        }
        for (int lane = 0; lane < kLanes; ++lane) {
            out[i + lane] = {z.re[lane], z.im[lane]};
            plain[i + lane] = kept[lane] != 0;
        }
    }
}

void ApplyTwoLanes(Operation op, const vm::Cx* a, const vm::Cx* b, vm::Cx* out, bool* plain,
                   int n) {
    ApplyV<vm::V2>(op, a, b, out, plain, n);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) void ApplyFourLanes(Operation op, const vm::Cx* a,
                                                             const vm::Cx* b, vm::Cx* out,
                                                             bool* plain, int n) {
    ApplyV<vm::V4>(op, a, b, out, plain, n);
}
#endif

// Whether the plain formulas of the operation serve these operands: magnitudes (squared, for
// the square root and logarithm) inside the range of ComplexArithmetic.h.
bool Servable(Operation op, const vm::Cx& a, const vm::Cx& b) {
    if (op != kDiv) return vm::Plain(a.re * a.re + a.im * a.im);
    const double big = std::fmax(std::fabs(b.re), std::fabs(b.im));
    const double small = std::fmin(std::fabs(b.re), std::fabs(b.im));
    return big > vm::kOperandLow && big < vm::kOperandHigh && std::fabs(a.re) < vm::kOperandHigh &&
           std::fabs(a.im) < vm::kOperandHigh &&
           std::fabs(a.re) + std::fabs(a.im) > vm::kOperandLow && small / big > vm::kSmallestNormal;
}

struct Operands {
    std::vector<vm::Cx> a, b;
};

// Operands over the whole range of doubles, and a share well inside the plain range.
Operands RandomOperands(std::mt19937_64& rng, int n) {
    Operands o;
    for (int i = 0; i < n; ++i) {
        const bool wide = i % 2 == 0;
        o.a.push_back(RandomComplex(rng, wide ? -1060.0 : -200.0, wide ? 1020.0 : 200.0));
        o.b.push_back(RandomComplex(rng, wide ? -1060.0 : -200.0, wide ? 1020.0 : 200.0));
        if (o.b.back().re == 0.0 && o.b.back().im == 0.0) o.b.back().re = 1.0;
    }
    return o;
}

const char* Name(Operation op) {
    return op == kDiv ? "quotient" : op == kSqrt ? "square root" : "logarithm";
}

}  // namespace

TEST(ComplexArithmetic, ScalarFormsAreAccurateOverTheWholeRange) {
    std::mt19937_64 rng(11);
    const Operands o = RandomOperands(rng, 4000);
    for (Operation op : {kDiv, kSqrt, kLog}) {
        double worst = 0.0;
        for (std::size_t i = 0; i < o.a.size(); ++i) {
            const LongComplex exact = Exact(op, o.a[i], o.b[i]);
            // Quotients that overflow or underflow as doubles have no double to agree with.
            const long double magnitude = std::abs(exact);
            if (!(magnitude < 1e300L && magnitude > 1e-300L)) continue;
            const double error = Error(op, Scalar(op, o.a[i], o.b[i]), exact);
            worst = std::fmax(worst, error);
            ASSERT_LE(error, 4.0) << Name(op) << " of (" << o.a[i].re << ", " << o.a[i].im
                                  << ") and (" << o.b[i].re << ", " << o.b[i].im << ")";
        }
        std::printf("%s: largest error %.2f eps\n", Name(op), worst);
    }
}

TEST(ComplexArithmetic, VectorFormsKeepOnlyLanesTheyServeAccurately) {
    std::mt19937_64 rng(12);
    const int n = 4000;
    const Operands o = RandomOperands(rng, n);
    std::vector<vm::Cx> out(n);
    std::unique_ptr<bool[]> kept(new bool[n]);
    for (int width = 2; width <= 4; width += 2) {
        for (Operation op : {kDiv, kSqrt, kLog}) {
            bool* plain = kept.get();
            if (width == 2) {
                ApplyTwoLanes(op, o.a.data(), o.b.data(), out.data(), plain, n);
            } else {
#if HESTON_VMATH_AVX2
                if (!vm::HasAvx2()) continue;
                ApplyFourLanes(op, o.a.data(), o.b.data(), out.data(), plain, n);
#else
                continue;
#endif
            }
            int keptCount = 0;
            for (int i = 0; i < n; ++i) {
                const bool servable = Servable(op, o.a[i], o.b[i]);
                EXPECT_EQ(plain[i], servable)
                    << Name(op) << " width " << width << " of (" << o.a[i].re << ", " << o.a[i].im
                    << ") and (" << o.b[i].re << ", " << o.b[i].im << ")";
                if (!plain[i]) continue;
                ++keptCount;
                // One reciprocal in the quotient and kernels within two ulps add to the error.
                EXPECT_LE(Error(op, out[i], Exact(op, o.a[i], o.b[i])), 8.0)
                    << Name(op) << " width " << width << " of (" << o.a[i].re << ", " << o.a[i].im
                    << ") and (" << o.b[i].re << ", " << o.b[i].im << ")";
            }
            EXPECT_GT(keptCount, n / 2) << Name(op) << " width " << width;
        }
    }
}

TEST(CharacteristicExponent, VectorLanesAgreeWithTheScalarFormOrAreCleared) {
    // Ordinary parameters, then a variance so large that D v overflows away from phi = 0 while
    // every operand of the complex operations stays in range: the scalar form then gives
    // infinities, and the vector form must leave such lanes to it.
    const heston::ModelParameters ordinary{0.04, 0.06, 1.5, 0.4, -0.6};
    const heston::ModelParameters degenerate{1e307, 0.06, 1.5, 0.4, -0.6};
    int overflowed = 0;
    for (const heston::ModelParameters& p : {ordinary, degenerate}) {
        const heston::closedform::CharacteristicExponent exponent(1.5, p, 0.1);
        for (int j = 0; j < 2; ++j) {
            for (double start : {1e-5, 0.37, 14.0, 60.0}) {
                const vm::V2 phi{start, start + 0.75};
                vm::MaskOf<vm::V2> plain = phi == phi;
                const heston::closedform::ExponentParts<vm::V2> vector =
                    exponent.PartsAt(j, phi, plain);
                for (int lane = 0; lane < 2; ++lane) {
                    const heston::closedform::ExponentParts<double> scalar =
                        exponent.PartsAt(j, phi[lane]);
                    const bool finite = std::isfinite(scalar.re) && std::isfinite(scalar.imC) &&
                                        std::isfinite(scalar.imDv);
                    if (!finite) {
                        EXPECT_FALSE(plain[lane]) << "v " << p.v0 << " phi " << phi[lane];
                        ++overflowed;
                        continue;
                    }
                    ASSERT_TRUE(plain[lane]) << "v " << p.v0 << " phi " << phi[lane];
                    const double size =
                        std::fabs(scalar.re) + std::fabs(scalar.imC) + std::fabs(scalar.imDv) + 1.0;
                    EXPECT_NEAR(vector.re[lane], scalar.re, 1e-13 * size) << "phi " << phi[lane];
                    EXPECT_NEAR(vector.imC[lane], scalar.imC, 1e-13 * size) << "phi " << phi[lane];
                    EXPECT_NEAR(vector.imDv[lane], scalar.imDv, 1e-13 * size)
                        << "phi " << phi[lane];
                }
            }
        }
    }
    EXPECT_GT(overflowed, 0) << "the large variance should overflow somewhere";
}
