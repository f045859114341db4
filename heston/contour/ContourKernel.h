// ContourKernel: the contour pricer's one integrand family. Along a line s = nu - i v, for a
// group of options of one maturity with log-moneyness k_1 .. k_m, the kernels
//     exp(-s k_i) M(s) / (s (s - 1)),
// and, when asked for, their derivatives: with respect to the model parameters and the
// maturity through the gradient of ln M (LogMoment.h), and with respect to k through the
// factors -s and s^2. A single price is a group of one without derivatives.
//
// The nodes are evaluated in vector arithmetic: two lanes per instruction in SSE2 code, four
// in AVX2 code, on packs of two vectors (VectorPack.h) so that two groups of nodes run side by
// side through the kernel's long chain of dependent operations. ln M is evaluated once per node
// and shared by the group's options; each option then costs one complex exponential and the
// products with the derivative factors. An option's lane whose numbers leave the range where
// the plain formulas are safe (ComplexArithmetic.h), in ln M, in 1/(s (s - 1)) or in its own
// exponential, is evaluated again in the scalar form of the same formulas, ln M included.
//
// Each lane's value depends only on its own node and option: a node gives the same bits
// whichever nodes share its vector and whichever options share its group, and the SSE2 and
// AVX2 loops give the same bits (tested in tests/numerics/bit_identical_paths_test.cpp; the
// scalar form agrees to a few ulps of the kernel's size).
#pragma once

#include "contour/LogMoment.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "vectormath/VectorWidth.h"

namespace heston {
namespace contour {

// What is integrated for each option besides its price.
enum class Sensitivities {
    kNone,            // the price's integrand only
    kParameters,      // and its derivatives with respect to v0, theta, kappa, sigma, rho
    kGreeks,          // and, after those, with respect to k (twice) and to the maturity
    kJumpParameters,  // kParameters and, after those, with respect to lambda, muJ, deltaJ
    kJumpGreeks,      // kGreeks and, after those, with respect to lambda, muJ, deltaJ
    kJumpPrice,       // the price's integrand alone, with the jumps' term in ln M
};

// The integrands of one option: the price's, the model parameters' in calibration order, then
// k's, k's second and the maturity's, then the jump parameters'. The kernel writes them in
// this order, except that kJumpParameters has the jumps' right after the model parameters'
// (ComponentIntegral below).
enum Integral {
    kValue,
    kDV0,
    kDTheta,
    kDKappa,
    kDSigma,
    kDRho,
    kDk,
    kDk2,
    kDMaturity,
    kDLambda,
    kDMuJ,
    kDDeltaJ,
    kIntegralCount
};
static_assert(kDV0 == 1 && kDk == 1 + kModelParameterCount,
              "the parameters' integrals follow the value in calibration order");

// Integrands per option.
constexpr int ComponentCount(Sensitivities sensitivities) {
    return sensitivities == Sensitivities::kNone || sensitivities == Sensitivities::kJumpPrice ? 1
           : sensitivities == Sensitivities::kParameters     ? 1 + kModelParameterCount
           : sensitivities == Sensitivities::kGreeks         ? kDMaturity + 1
           : sensitivities == Sensitivities::kJumpParameters ? 1 + kBatesParameterCount
                                                             : kIntegralCount;
}

// True when ln M includes the jumps' term. The other kernels are Heston's alone, and do not
// even look at the line's jumps.
constexpr bool WithJumpTerm(Sensitivities sensitivities) {
    return sensitivities == Sensitivities::kJumpPrice ||
           sensitivities == Sensitivities::kJumpParameters ||
           sensitivities == Sensitivities::kJumpGreeks;
}

// True when the jump parameters' derivatives are integrated.
constexpr bool WithJumpDerivatives(Sensitivities sensitivities) {
    return sensitivities == Sensitivities::kJumpParameters ||
           sensitivities == Sensitivities::kJumpGreeks;
}

// The component at which the kernel writes the jump parameters' derivatives.
constexpr int JumpComponent(Sensitivities sensitivities) {
    return sensitivities == Sensitivities::kJumpParameters ? 1 + kModelParameterCount : kDLambda;
}

// The integral (Integral above) that component c of an option holds.
constexpr int IntegralOfComponent(Sensitivities sensitivities, int c) {
    return sensitivities == Sensitivities::kJumpParameters && c > kModelParameterCount
               ? c - (1 + kModelParameterCount) + kDLambda
               : c;
}

// The kernels of a group of options along one line.
struct KernelLine {
    MomentLine moment;  // model, maturity, nu, jumps
    const double* k;    // the options' log-moneyness ln(K / F)
    int options;
    Sensitivities sensitivities;
};

// For each node v[j], j < n: the components of option i at
// values[(j * options + i) * ComponentCount + c], and at sizes[j] the largest modulus of the
// options' kernels |exp(-s k_i) M(s) / (s (s - 1))|.
void Kernels(const KernelLine& line, const double* v, int n, double* values, double* sizes,
             VectorWidth width);

// Kernels in the scalar form of the same formulas, which the vector loops use for the lanes
// they cannot serve; it agrees with them to rounding, not bit for bit.
void ScalarKernels(const KernelLine& line, const double* v, int n, double* values, double* sizes);

// For i < n: re[i] + i im[i] = ln M(s) at s = nu - i v[i], for a real nu where the moment is
// finite.
void LogMoments(const MomentLine& line, const double* v, int n, double* re, double* im,
                VectorWidth width);

// The loops that evaluate a line's kernels: Kernels at the given width and sensitivities, chosen
// once.
using KernelLoops = void (*)(const KernelLine& line, const double* v, int n, double* values,
                             double* sizes);
KernelLoops ChooseKernelLoops(Sensitivities sensitivities, VectorWidth width);

// The integrand family as the quadrature rules take it (SinhTrapezoid.h, OscillatoryTail.h):
// the group's kernels at the loops of the given width.
class LineIntegrand {
  public:
    LineIntegrand(const KernelLine& line, VectorWidth width)
        : line_(line), loops_(ChooseKernelLoops(line.sensitivities, width)) {}

    // Components per node: every option's, one option after the other.
    int Components() const { return line_.options * ComponentCount(line_.sensitivities); }

    void Evaluate(const double* v, int n, double* values, double* sizes) const {
        loops_(line_, v, n, values, sizes);
    }

  private:
    KernelLine line_;
    KernelLoops loops_;
};

}  // namespace contour
}  // namespace heston
