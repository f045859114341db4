// The vector kernels of the closed-form loops (exp, log, sin/cos, atan2) against the C
// library, lane by lane, over wide ranges and at the ends of their domains, in two lanes and,
// where the processor has AVX2, in four.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "vectormath/VectorMath.h"

#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

namespace vm = heston::vmath;

// Distance between two doubles in units in the last place of the expected value (the spacing
// of doubles at its magnitude; subnormal spacing below the normal range).
double Ulps(double calculated, double expected) {
    if (calculated == expected) return 0.0;
    if (!std::isfinite(calculated) || !std::isfinite(expected)) return HUGE_VAL;
    const double magnitude = std::fabs(expected);
    const double spacing = std::nextafter(magnitude, HUGE_VAL) - magnitude;
    return std::fabs(calculated - expected) / spacing;
}

enum Kernel { kExp, kLog, kSin, kCos, kAtan2 };

// Applies the kernel to n arguments (and second arguments y for atan2) in vectors of V.
template <class V>
HESTON_VMATH_INLINE void ApplyV(Kernel kernel, const double* x, const double* y, double* out,
                                int n) {
    constexpr int kLanes = vm::kLanes<V>;
    for (int i = 0; i + kLanes <= n; i += kLanes) {
        const V a = vm::Load<V>(x + i);
        V result{};
        V sine, cosine;
        switch (kernel) {
            case kExp:
                result = vm::Exp(a);
                break;
            case kLog:
                result = vm::Log(a);
                break;
            case kSin:
            case kCos:
                vm::SinCos(a, sine, cosine);
                result = kernel == kSin ? sine : cosine;
                break;
            case kAtan2:
                result = vm::Atan2(vm::Load<V>(y + i), a);
                break;
        }
        vm::Store(out + i, result);
    }
}

void ApplyTwoLanes(Kernel kernel, const double* x, const double* y, double* out, int n) {
    ApplyV<vm::V2>(kernel, x, y, out, n);
}

#if HESTON_VMATH_AVX2
__attribute__((target("avx2"), flatten)) void ApplyFourLanes(Kernel kernel, const double* x,
                                                             const double* y, double* out, int n) {
    ApplyV<vm::V4>(kernel, x, y, out, n);
}
#endif

double Reference(Kernel kernel, double x, double y) {
    switch (kernel) {
        case kExp:
            return std::exp(x);
        case kLog:
            return std::log(x);
        case kSin:
            return std::sin(x);
        case kCos:
            return std::cos(x);
        case kAtan2:
            return std::atan2(y, x);
    }
    return 0.0;
}

// Largest ulp error of the kernel over the arguments, at every width available; prints the
// worst argument on failure.
double WorstUlps(Kernel kernel, const std::vector<double>& x, const std::vector<double>& y) {
    const int n = static_cast<int>(x.size());
    std::vector<double> out(x.size());
    double worst = 0.0;
    for (int width = 2; width <= 4; width += 2) {
        if (width == 2) {
            ApplyTwoLanes(kernel, x.data(), y.data(), out.data(), n);
        } else {
#if HESTON_VMATH_AVX2
            if (!vm::HasAvx2()) continue;
            ApplyFourLanes(kernel, x.data(), y.data(), out.data(), n);
#else
            continue;
#endif
        }
        for (int i = 0; i < n; ++i) {
            const double expected = Reference(kernel, x[i], y[i]);
            const double error = Ulps(out[i], expected);
            if (error > worst) worst = error;
            if (error > 2.0) {
                ADD_FAILURE() << "kernel " << kernel << " width " << width << " at x " << x[i]
                              << " y " << y[i] << ": calculated " << out[i] << ", expected "
                              << expected << ", " << error << " ulp (tolerance 2)";
                return worst;
            }
        }
    }
    return worst;
}

// n arguments log-uniform in magnitude over [2^lowExp, 2^highExp], with random signs if asked.
std::vector<double> LogUniform(std::mt19937_64& rng, int n, double lowExp, double highExp,
                               bool signs) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& x : v) {
        x = std::exp2(lowExp + (highExp - lowExp) * u(rng));
        if (signs && u(rng) < 0.5) x = -x;
    }
    return v;
}

}  // namespace

TEST(VectorMath, ExpWithinOneUlpOverTheWholeRange) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-745.0, 709.7);
    std::vector<double> x(200000);
    for (double& a : x) a = u(rng);
    // Small arguments, where the reduction does nothing, and the ends of the range: gradual
    // underflow, 0 and infinity.
    for (double a : {0.0, -0.0, 1e-300, -1e-20, 1e-10, 0.5, -0.3465735902799726, 709.78, -708.4,
                     -740.0, -745.2, -746.0, -1000.0, -1e6, 709.79, 800.0, 1e6}) {
        x.push_back(a);
    }
    while (x.size() % 4 != 0) x.push_back(1.0);
    const std::vector<double> unused(x.size(), 0.0);
    const double worst = WorstUlps(kExp, x, unused);
    std::printf("exp: largest error %.3g ulp\n", worst);
    EXPECT_LE(worst, 1.0);
}

TEST(VectorMath, LogWithinOneUlpOverAllNormalNumbers) {
    std::mt19937_64 rng(6);
    std::vector<double> x = LogUniform(rng, 200000, -1022.0, 1023.9, false);
    // Around 1, where the result is small, and at powers of two and the reduction's edge.
    std::uniform_real_distribution<double> near1(0.9, 1.1);
    for (int i = 0; i < 50000; ++i) x.push_back(near1(rng));
    for (double a : {1.0, 2.0, 0.5, 1.4142135623730951, 0.7071067811865476, 1.0000000000000002,
                     0.9999999999999999, std::numeric_limits<double>::min(),
                     std::numeric_limits<double>::max()}) {
        x.push_back(a);
    }
    while (x.size() % 4 != 0) x.push_back(1.0);
    const std::vector<double> unused(x.size(), 0.0);
    const double worst = WorstUlps(kLog, x, unused);
    std::printf("log: largest error %.3g ulp\n", worst);
    EXPECT_LE(worst, 1.0);
}

TEST(VectorMath, SinAndCosWithinTwoUlpsUpToTheReductionLimit) {
    std::mt19937_64 rng(7);
    std::vector<double> x = LogUniform(rng, 200000, -30.0, std::log2(vm::kSinCosLimit), true);
    // Multiples of pi/2 and their neighbours, where one of the two is near 0.
    for (int k = -40; k <= 40; ++k) {
        const double a = k * 1.5707963267948966;
        for (double b : {a, std::nextafter(a, HUGE_VAL), std::nextafter(a, -HUGE_VAL)}) {
            x.push_back(b);
        }
    }
    x.push_back(vm::kSinCosLimit);
    x.push_back(-vm::kSinCosLimit);
    while (x.size() % 4 != 0) x.push_back(0.0);
    const std::vector<double> unused(x.size(), 0.0);
    const double worstSin = WorstUlps(kSin, x, unused);
    const double worstCos = WorstUlps(kCos, x, unused);
    std::printf("sin: largest error %.3g ulp, cos: %.3g ulp\n", worstSin, worstCos);
    EXPECT_LE(worstSin, 2.0);
    EXPECT_LE(worstCos, 2.0);
}

TEST(VectorMath, Atan2WithinTwoUlpsInEveryQuadrant) {
    std::mt19937_64 rng(8);
    std::vector<double> x = LogUniform(rng, 200000, -60.0, 60.0, true);
    std::vector<double> y = LogUniform(rng, 200000, -60.0, 60.0, true);
    // Axes and signed zeros (not both 0), the diagonal and the reduction's edge tan(pi/8).
    const double pairs[][2] = {{1.0, 0.0},
                               {1.0, -0.0},
                               {-1.0, 0.0},
                               {-1.0, -0.0},
                               {0.0, 1.0},
                               {-0.0, 1.0},
                               {0.0, -1.0},
                               {-0.0, -1.0},
                               {1.0, 1.0},
                               {-1.0, 1.0},
                               {-1.0, -1.0},
                               {1.0, 0.41421356237309503},
                               {1.0, 0.4142135623730951},
                               {-3.0, 1e-300},
                               {1e-300, -3.0}};
    for (const auto& p : pairs) {
        x.push_back(p[0]);
        y.push_back(p[1]);
    }
    while (x.size() % 4 != 0) {
        x.push_back(1.0);
        y.push_back(1.0);
    }
    const double worst = WorstUlps(kAtan2, x, y);
    std::printf("atan2: largest error %.3g ulp\n", worst);
    EXPECT_LE(worst, 2.0);
}
