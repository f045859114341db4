// ContourKernel: the contour pricer's price integrand
//     exp(-s k) M(s) / (s (s - 1)),   s = nu - i v,
// at several nodes v at once, with the characteristic exponent of LogMoment.h
// evaluated in vector arithmetic (two nodes per instruction in SSE2 code, four in AVX2 code
// where the processor has it), on packs of two vectors (VectorPack.h) so that two groups of
// nodes run side by side through the kernel's long chain of dependent operations.
//
// The formulas are those of LogMoment.h, term for term, with two changes
// that keep every lane on the same instructions: (exp(z) - 1)/z for |z| < 0.1 and
// log(1 + y)/y for |y| < 1e-3 are Taylor series long enough to be exact to rounding on their
// whole range, and log1p(w) is log(u) w / (u - 1) with u = 1 + w rounded (D. Goldberg, "What
// every computer scientist should know about floating-point arithmetic", ACM Computing Surveys
// 23 (1991) 5-48, Theorem 4), so that log(1 + y) keeps its relative accuracy for small y. A lane
// whose numbers leave the range where the plain formulas are safe (ComplexArithmetic.h) is
// evaluated again with the scalar code. Each lane's value depends only on its own node: a node
// gives the same bits whichever nodes share its vector.
#pragma once

#include "model/ModelParameters.h"

namespace heston {
namespace contour {

// The integrand's constants along one line.
struct KernelLine {
    ModelParameters model;
    double maturity;
    double nu;  // the line s = nu - i v
    double k;   // log-moneyness ln(K / F)
};

// For i < n: values[i] = Re[exp(-s k) M(s) / (s (s - 1))] at s = nu - i v[i], and sizes[i] its
// modulus.
void PriceKernels(const KernelLine& line, const double* v, int n, double* values, double* sizes);

// For i < n: re[i] + i im[i] = ln M(s) at s = nu - i v[i], for a real nu where the moment is
// finite.
void LogMoments(const ModelParameters& model, double maturity, double nu, const double* v, int n,
                double* re, double* im);

}  // namespace contour
}  // namespace heston
