// The contour pricer's integrand family on vectors of nodes.
#include "contour/ContourKernel.h"

#include <cmath>
#include <cstdint>

#include "vectormath/ComplexArithmetic.h"
#include "vectormath/VectorMath.h"
#include "vectormath/VectorPack.h"

// Four-lane vectors pass between the inline helpers below only inside the AVX2 loops.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace heston {
namespace contour {

namespace {

namespace vm = vmath;
using vm::Broadcast;
using vm::ComplexParts;
using vm::PlainMask;

template <Sensitivities kSensitivities>
constexpr Gradient kGradientOf =
    kSensitivities == Sensitivities::kNone || kSensitivities == Sensitivities::kJumpPrice
        ? Gradient::kNone
    : kSensitivities == Sensitivities::kParameters ||
            kSensitivities == Sensitivities::kJumpParameters
        ? Gradient::kParameters
        : Gradient::kFull;

// ln M at the nodes: Heston's alone, or with the jumps' term for the kernels that have it.
template <Sensitivities kSensitivities, class T>
HESTON_VMATH_INLINE LogMomentAt<T> LogMomentFor(const MomentLine& line, T v, PlainMask<T>& plain) {
    if constexpr (WithJumpTerm(kSensitivities)) {
        return LogMoment<kGradientOf<kSensitivities>, WithJumpDerivatives(kSensitivities)>(line, v,
                                                                                           plain);
    } else {
        return HestonLogMoment<kGradientOf<kSensitivities>>(line, v, plain);
    }
}

// 1/(s (s - 1)) at a node, and its modulus: the factor every option's kernel shares.
template <class T>
struct Denominator {
    ComplexParts<T> inverse;
    T size;
};

template <class T>
HESTON_VMATH_INLINE Denominator<T> InverseDenominator(double nu, T v, PlainMask<T>& plain) {
    const T one = Broadcast<T>(1.0), n = Broadcast<T>(nu);
    const ComplexParts<T> a{n * n - n - v * v, v * (one - (n + n))};
    const ComplexParts<T> inverse = vm::DivByNorm(vm::Real<T>(1.0), a, plain);
    return {inverse, vm::RealSqrt(vm::Norm(inverse))};
}

// One option's components at the nodes v, and its kernel's modulus.
template <Sensitivities kSensitivities, class T>
HESTON_VMATH_INLINE void OptionComponents(const LogMomentAt<T>& logMoment,
                                          const Denominator<T>& denominator, double nu, double k,
                                          T v, PlainMask<T>& plain, T* out, T& size) {
    // exp(-s k + ln M) / (s (s - 1)); |kernel| = exp(Re z) / |s (s - 1)|, whose square root is
    // taken off the long chain to exp(Re z).
    const T zRe = logMoment.value.re - Broadcast<T>(nu * k);
    const T zIm = logMoment.value.im + v * Broadcast<T>(k);
    const T magnitude = vm::RealExp(zRe);
    const ComplexParts<T> kernel =
        vm::Mul(vm::PolarOrZero(magnitude, zIm, plain), denominator.inverse);
    size = magnitude * denominator.size;
    plain &= vm::FiniteLanes(size);
    out[kValue] = kernel.re;
    if constexpr (kGradientOf<kSensitivities> != Gradient::kNone) {
        // Re(kernel * d ln M / dp).
        for (int j = 0; j < kModelParameterCount; ++j) {
            const ComplexParts<T>& g = logMoment.gradient[j];
            out[kDV0 + j] = kernel.re * g.re - kernel.im * g.im;
        }
    }
    if constexpr (kSensitivities == Sensitivities::kGreeks ||
                  kSensitivities == Sensitivities::kJumpGreeks) {
        // d/dk multiplies by -s, d2/dk2 by s^2 = (nu^2 - v^2) - 2 i nu v.
        const T n = Broadcast<T>(nu);
        out[kDk] = Broadcast<T>(0.0) - (n * kernel.re + v * kernel.im);
        out[kDk2] = (n * n - v * v) * kernel.re + (Broadcast<T>(2.0) * n) * v * kernel.im;
        const ComplexParts<T>& g = logMoment.gradient[kMaturityEntry];
        out[kDMaturity] = kernel.re * g.re - kernel.im * g.im;
    }
    if constexpr (WithJumpDerivatives(kSensitivities)) {
        for (int j = 0; j < kBatesParameterCount - kModelParameterCount; ++j) {
            const ComplexParts<T>& g = logMoment.gradient[kLambdaEntry + j];
            out[JumpComponent(kSensitivities) + j] = kernel.re * g.re - kernel.im * g.im;
        }
    }
}

// The largest of two sizes, a NaN kept (it stops the quadrature's range).
inline double LargerSize(double a, double b) {
    return b > a || b != b ? b : a;
}

// Options first .. last - 1 at one node in the scalar form, ln M and the denominator included;
// values holds the node's components (every option's), size gets the largest of the options'
// sizes. Kept out of the vector loops, which it would only crowd: it serves the rare lanes they
// cannot.
template <Sensitivities kSensitivities>
__attribute__((noinline)) void ScalarOptions(const KernelLine& line, double v, int first, int last,
                                             double* values, double* size) {
    constexpr int kComponents = ComponentCount(kSensitivities);
    bool plain = true;
    const LogMomentAt<double> logMoment = LogMomentFor<kSensitivities>(line.moment, v, plain);
    const Denominator<double> denominator = InverseDenominator(line.moment.nu, v, plain);
    *size = 0.0;
    for (int i = first; i < last; ++i) {
        double optionSize;
        OptionComponents<kSensitivities>(logMoment, denominator, line.moment.nu, line.k[i], v,
                                         plain, values + i * kComponents, optionSize);
        *size = LargerSize(*size, optionSize);
    }
}

// The kernels at up to kLanes<V> nodes v[0 .. lanes - 1] in one vector (or pack) V; unused
// lanes repeat the first node. An option's lane that the vector form cannot serve (in ln M, the
// denominator or the option's own exponential) is evaluated whole in the scalar form, so that
// its bits do not depend on the other options of the group.
template <Sensitivities kSensitivities, class V>
HESTON_VMATH_INLINE void KernelGroup(const KernelLine& line, const double* v, int lanes,
                                     double* values, double* sizes) {
    constexpr int kLanes = vm::kLanes<V>;
    constexpr int kComponents = ComponentCount(kSensitivities);
    const int stride = line.options * kComponents;
    const V at = lanes == kLanes ? vm::Load<V>(v) : vm::LoadFirst<V>(v, lanes, v[0]);
    PlainMask<V> plainNode = at == at;
    const LogMomentAt<V> logMoment = LogMomentFor<kSensitivities>(line.moment, at, plainNode);
    const Denominator<V> denominator = InverseDenominator(line.moment.nu, at, plainNode);
    for (int i = 0; i < line.options; ++i) {
        PlainMask<V> plain = plainNode;
        V out[kComponents];
        V size;
        OptionComponents<kSensitivities>(logMoment, denominator, line.moment.nu, line.k[i], at,
                                         plain, out, size);
        const bool everyLane = !vm::AnyLane(~plain);
        if (stride == 1 && lanes == kLanes && everyLane) {
            // One option's price alone, every lane plain: the vectors are the results.
            vm::Store(values, out[0]);
            vm::Store(sizes, size);
            continue;
        }
        // Otherwise the lanes' results through plain arrays.
        double outLanes[kComponents][kLanes], sizeLanes[kLanes];
        std::int64_t plainLane[kLanes];
        static_assert(sizeof plainLane == sizeof plain, "one 64-bit mask per lane");
        for (int c = 0; c < kComponents; ++c) vm::Store(outLanes[c], out[c]);
        vm::Store(sizeLanes, size);
        __builtin_memcpy(plainLane, &plain, sizeof plainLane);
        double* node = values;
        for (int lane = 0; lane < lanes; ++lane, node += stride) {
            double* option = node + i * kComponents;
            double optionSize;
            if (everyLane || plainLane[lane] != 0) {
                for (int c = 0; c < kComponents; ++c) option[c] = outLanes[c][lane];
                optionSize = sizeLanes[lane];
            } else {
                ScalarOptions<kSensitivities>(line, v[lane], i, i + 1, node, &optionSize);
            }
            sizes[lane] = i == 0 ? optionSize : LargerSize(sizes[lane], optionSize);
        }
    }
}

// The nodes in groups of a pack of two vectors (VectorPack.h): the kernel is one long chain of
// dependent operations, and the two halves' chains overlap, so that a group of eight nodes
// (four with two-lane vectors) costs little more than one vector of four (two). Smaller
// remainders take one vector of Lanes, or of two lanes. A node gives the same bits whichever
// way it is grouped.
template <Sensitivities kSensitivities, class Lanes>
HESTON_VMATH_INLINE void KernelsAt(const KernelLine& line, const double* v, int n, double* values,
                                   double* sizes) {
    using Packed = vm::Pack<Lanes>;
    constexpr int kPacked = vm::kLanes<Packed>;
    constexpr int kSingle = vm::kLanes<Lanes>;
    const int stride = line.options * ComponentCount(kSensitivities);
    for (int i = 0; i < n;) {
        const int rest = n - i;
        const int lanes = rest < kPacked ? rest : kPacked;
        double* out = values + i * stride;
        if (lanes > kSingle) {
            KernelGroup<kSensitivities, Packed>(line, v + i, lanes, out, sizes + i);
        } else if (lanes > 2) {
            KernelGroup<kSensitivities, Lanes>(line, v + i, lanes, out, sizes + i);
        } else {
            KernelGroup<kSensitivities, vm::V2>(line, v + i, lanes, out, sizes + i);
        }
        i += lanes;
    }
}

// ln M alone along a line, with the jumps' term or without.
template <bool kJumps, class T>
HESTON_VMATH_INLINE LogMomentAt<T> LineLogMoment(const MomentLine& line, T v, PlainMask<T>& plain) {
    if constexpr (kJumps) {
        return LogMoment<Gradient::kNone, false>(line, v, plain);
    } else {
        return HestonLogMoment<Gradient::kNone>(line, v, plain);
    }
}

template <class V, bool kJumps>
HESTON_VMATH_INLINE void LogMomentsAt(const MomentLine& line, const double* v, int n, double* re,
                                      double* im) {
    constexpr int kLanes = vm::kLanes<V>;
    for (int i = 0; i < n; i += kLanes) {
        const int lanes = n - i < kLanes ? n - i : kLanes;
        const V at = vm::LoadFirst<V>(v + i, lanes, v[i]);
        PlainMask<V> plain = at == at;
        const LogMomentAt<V> logMoment = LineLogMoment<kJumps>(line, at, plain);
        for (int lane = 0; lane < lanes; ++lane) {
            if (plain[lane]) {
                re[i + lane] = logMoment.value.re[lane];
                im[i + lane] = logMoment.value.im[lane];
            } else {
                bool scalarPlain = true;
                const LogMomentAt<double> scalar =
                    LineLogMoment<kJumps>(line, v[i + lane], scalarPlain);
                re[i + lane] = scalar.value.re;
                im[i + lane] = scalar.value.im;
            }
        }
    }
}

// The loops of each width, flattened so that every helper takes the loop's instruction set.
// The kernels' loops are the entry points into vector code (LineIntegrand calls them), so they
// realign the stack where callers may not have (HESTON_REALIGN_STACK, VectorMath.h).
template <Sensitivities kSensitivities>
HESTON_REALIGN_STACK __attribute__((flatten)) void KernelsSse2(const KernelLine& line,
                                                               const double* v, int n,
                                                               double* values, double* sizes) {
    KernelsAt<kSensitivities, vm::V2>(line, v, n, values, sizes);
}

// ln M along a line, Heston's alone or with the jumps' term: one function each, so that the
// Heston one is compiled as it would be without jumps.
template <bool kJumps>
__attribute__((flatten)) void LogMomentsSse2(const MomentLine& line, const double* v, int n,
                                             double* re, double* im) {
    LogMomentsAt<vm::V2, kJumps>(line, v, n, re, im);
}

#if HESTON_VMATH_AVX2
template <Sensitivities kSensitivities>
HESTON_REALIGN_STACK __attribute__((target("avx2"), flatten)) void KernelsAvx2(
    const KernelLine& line, const double* v, int n, double* values, double* sizes) {
    KernelsAt<kSensitivities, vm::V4>(line, v, n, values, sizes);
}

template <bool kJumps>
__attribute__((target("avx2"), flatten)) void LogMomentsAvx2(const MomentLine& line,
                                                             const double* v, int n, double* re,
                                                             double* im) {
    LogMomentsAt<vm::V4, kJumps>(line, v, n, re, im);
}
#endif

template <Sensitivities kSensitivities>
KernelLoops LoopsOfWidth(VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vm::HasAvx2()) return KernelsAvx2<kSensitivities>;
#else
    (void)width;
#endif
    return KernelsSse2<kSensitivities>;
}

}  // namespace

KernelLoops ChooseKernelLoops(Sensitivities sensitivities, VectorWidth width) {
    switch (sensitivities) {
        case Sensitivities::kNone:
            return LoopsOfWidth<Sensitivities::kNone>(width);
        case Sensitivities::kParameters:
            return LoopsOfWidth<Sensitivities::kParameters>(width);
        case Sensitivities::kGreeks:
            return LoopsOfWidth<Sensitivities::kGreeks>(width);
        case Sensitivities::kJumpPrice:
            return LoopsOfWidth<Sensitivities::kJumpPrice>(width);
        case Sensitivities::kJumpParameters:
            return LoopsOfWidth<Sensitivities::kJumpParameters>(width);
        case Sensitivities::kJumpGreeks:
            break;
    }
    return LoopsOfWidth<Sensitivities::kJumpGreeks>(width);
}

void Kernels(const KernelLine& line, const double* v, int n, double* values, double* sizes,
             VectorWidth width) {
    ChooseKernelLoops(line.sensitivities, width)(line, v, n, values, sizes);
}

void ScalarKernels(const KernelLine& line, const double* v, int n, double* values, double* sizes) {
    const int stride = line.options * ComponentCount(line.sensitivities);
    for (int j = 0; j < n; ++j) {
        double* node = values + j * stride;
        switch (line.sensitivities) {
            case Sensitivities::kNone:
                ScalarOptions<Sensitivities::kNone>(line, v[j], 0, line.options, node, sizes + j);
                break;
            case Sensitivities::kParameters:
                ScalarOptions<Sensitivities::kParameters>(line, v[j], 0, line.options, node,
                                                          sizes + j);
                break;
            case Sensitivities::kGreeks:
                ScalarOptions<Sensitivities::kGreeks>(line, v[j], 0, line.options, node, sizes + j);
                break;
            case Sensitivities::kJumpPrice:
                ScalarOptions<Sensitivities::kJumpPrice>(line, v[j], 0, line.options, node,
                                                         sizes + j);
                break;
            case Sensitivities::kJumpParameters:
                ScalarOptions<Sensitivities::kJumpParameters>(line, v[j], 0, line.options, node,
                                                              sizes + j);
                break;
            case Sensitivities::kJumpGreeks:
                ScalarOptions<Sensitivities::kJumpGreeks>(line, v[j], 0, line.options, node,
                                                          sizes + j);
                break;
        }
    }
}

HESTON_REALIGN_STACK void LogMoments(const MomentLine& line, const double* v, int n, double* re,
                                     double* im, VectorWidth width) {
#if HESTON_VMATH_AVX2
    if (width == VectorWidth::kWidest && vm::HasAvx2()) {
        if (line.jumps.lambda != 0.0) return LogMomentsAvx2<true>(line, v, n, re, im);
        return LogMomentsAvx2<false>(line, v, n, re, im);
    }
#else
    (void)width;
#endif
    if (line.jumps.lambda != 0.0) return LogMomentsSse2<true>(line, v, n, re, im);
    LogMomentsSse2<false>(line, v, n, re, im);
}

}  // namespace contour
}  // namespace heston
