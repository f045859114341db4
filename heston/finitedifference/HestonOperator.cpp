#include "finitedifference/HestonOperator.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "finitedifference/WidestVectors.h"

namespace heston {
namespace finitedifference {

void CentralFirstDerivative(const std::vector<double>& x, int i, double w[3]) {
    const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
    w[0] = -h1 / (h0 * (h0 + h1));
    w[1] = (h1 - h0) / (h0 * h1);
    w[2] = h0 / (h1 * (h0 + h1));
}

void CentralSecondDerivative(const std::vector<double>& x, int i, double w[3]) {
    const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
    w[0] = 2.0 / (h0 * (h0 + h1));
    w[1] = -2.0 / (h0 * h1);
    w[2] = 2.0 / (h1 * (h0 + h1));
}

void ForwardFirstDerivative(const std::vector<double>& x, int i, double w[3]) {
    const double h1 = x[i + 1] - x[i], h2 = x[i + 2] - x[i + 1];
    w[0] = -(2.0 * h1 + h2) / (h1 * (h1 + h2));
    w[1] = (h1 + h2) / (h1 * h2);
    w[2] = -h1 / (h2 * (h1 + h2));
}

void BackwardFirstDerivative(const std::vector<double>& x, int i, double w[3]) {
    const double h1 = x[i - 1] - x[i - 2], h2 = x[i] - x[i - 1];
    w[0] = h2 / (h1 * (h1 + h2));
    w[1] = -(h1 + h2) / (h1 * h2);
    w[2] = (h1 + 2.0 * h2) / (h2 * (h1 + h2));
}

namespace {

// The row kernels take restrict-qualified pointers: the rows they write never overlap what they
// read, and saying so lets the compiler vectorise them.

// w[i] = v (d0[i] x[i-1] + d1[i] x[i] + d2[i] x[i+1]) + (b0[i] x[i-1] + b1[i] x[i] + b2[i] x[i+1])
// for i = begin .. end-1.
void SpotRow(int begin, int end, double v, const double* __restrict d0, const double* __restrict d1,
             const double* __restrict d2, const double* __restrict b0, const double* __restrict b1,
             const double* __restrict b2, const double* __restrict x, double* __restrict w) {
    for (int i = begin; i < end; ++i) {
        const double diffusion = d0[i] * x[i - 1] + d1[i] * x[i] + d2[i] * x[i + 1];
        const double drift = b0[i] * x[i - 1] + b1[i] * x[i] + b2[i] * x[i + 1];
        w[i] = v * diffusion + drift;
    }
}

// w[i] = l[i] x[i-1] + d[i] x[i] + up[i] x[i+1] for i = 1 .. m-2.
void TridiagonalRow(int m, const double* __restrict l, const double* __restrict d,
                    const double* __restrict up, const double* __restrict x, double* __restrict w) {
    for (int i = 1; i < m - 1; ++i) w[i] = l[i] * x[i - 1] + d[i] * x[i] + up[i] * x[i + 1];
}

// w[i] = a x0[i] + b x1[i] + c x2[i] for i = 0 .. m-1.
void CombineRows(int m, double a, double b, double c, const double* __restrict x0,
                 const double* __restrict x1, const double* __restrict x2, double* __restrict w) {
    for (int i = 0; i < m; ++i) w[i] = a * x0[i] + b * x1[i] + c * x2[i];
}

}  // namespace

HestonOperator::HestonOperator(std::vector<double> spots, std::vector<double> variances,
                               double rate, double dividendYield, const ModelParameters& model,
                               bool lowerFixed, bool upperFixed)
    : spots_(std::move(spots)),
      variances_(std::move(variances)),
      spotCount_(static_cast<int>(spots_.size())),
      varianceCount_(static_cast<int>(variances_.size())),
      lowerFixed_(lowerFixed),
      upperFixed_(upperFixed) {
    if (spotCount_ < 3 || varianceCount_ < 3)
        throw std::invalid_argument("finite differences: fewer than 3 nodes on an axis");
    if (variances_[0] != 0.0 || (!lowerFixed_ && spots_[0] != 0.0))
        throw std::invalid_argument("finite differences: grid does not start at zero");
    const int m = spotCount_, n = varianceCount_;
    for (int a = 0; a < 3; ++a) {
        spotDiffusion_[a].assign(m, 0.0);
        spotDrift_[a].assign(m, 0.0);
        mixedSpot_[a].assign(m, 0.0);
        mixedVariance_[a].assign(n, 0.0);
    }
    varianceLower_.assign(n, 0.0);
    varianceDiagonal_.assign(n, 0.0);
    varianceUpper_.assign(n, 0.0);

    const double r = rate, drift = rate - dividendYield;
    const double kappa = model.kappa, theta = model.theta, sigma = model.sigma;
    // Spot direction (zero on the fixed nodes).
    for (int i = 0; i < m; ++i) {
        if (Fixed(i)) continue;
        const double s = spots_[i];
        spotDrift_[1][i] = -0.5 * r;
        if (i == m - 1) {
            const double slope = drift * s / (s - spots_[i - 1]);
            spotDrift_[0][i] = -slope;
            spotDrift_[1][i] += slope;
        } else if (i > 0) {
            double first[3], second[3];
            CentralFirstDerivative(spots_, i, first);
            CentralSecondDerivative(spots_, i, second);
            for (int a = 0; a < 3; ++a) {
                spotDiffusion_[a][i] = 0.5 * s * s * second[a];
                spotDrift_[a][i] += drift * s * first[a];
                mixedSpot_[a][i] = model.rho * sigma * s * first[a];
            }
        }
    }
    // Variance direction.
    for (int j = 0; j < n; ++j) {
        const double v = variances_[j];
        const double convection = kappa * (theta - v);
        double w[3];
        if (j == 0) {
            ForwardFirstDerivative(variances_, 0, w);
            varianceDiagonal_[j] = convection * w[0] - 0.5 * r;
            varianceUpper_[j] = convection * w[1];
            varianceFirstExtra_ = convection * w[2];
        } else if (j == n - 1) {
            BackwardFirstDerivative(variances_, j, w);
            varianceLastExtra_ = convection * w[0];
            varianceLower_[j] = convection * w[1];
            varianceDiagonal_[j] = convection * w[2] - 0.5 * r;
        } else {
            double first[3], second[3];
            CentralFirstDerivative(variances_, j, first);
            CentralSecondDerivative(variances_, j, second);
            const double diffusion = 0.5 * sigma * sigma * v;
            varianceLower_[j] = diffusion * second[0] + convection * first[0];
            varianceDiagonal_[j] = diffusion * second[1] + convection * first[1] - 0.5 * r;
            varianceUpper_[j] = diffusion * second[2] + convection * first[2];
            for (int b = 0; b < 3; ++b) mixedVariance_[b][j] = v * first[b];
        }
    }
}

void HestonOperator::ApplyRow(const double* u, int j, double* w0, double* w1, double* w2,
                              double* scratch) const {
    RunWidest([&] { ApplyRowKernel(u, j, w0, w1, w2, scratch); });
}

void HestonOperator::ApplyRowKernel(const double* u, int j, double* w0, double* w1, double* w2,
                                    double* scratch) const {
    const int m = spotCount_, n = varianceCount_;
    const double* x = u + j * m;
    const double v = variances_[j];
    // Spot direction: the end nodes have no outer neighbour.
    {
        const double *d0 = spotDiffusion_[0].data(), *d1 = spotDiffusion_[1].data(),
                     *d2 = spotDiffusion_[2].data();
        const double *b0 = spotDrift_[0].data(), *b1 = spotDrift_[1].data(),
                     *b2 = spotDrift_[2].data();
        w1[0] = (v * d1[0] + b1[0]) * x[0] + (v * d2[0] + b2[0]) * x[1];
        SpotRow(1, m - 1, v, d0, d1, d2, b0, b1, b2, x, w1);
        w1[m - 1] = (v * d0[m - 1] + b0[m - 1]) * x[m - 2] + (v * d1[m - 1] + b1[m - 1]) * x[m - 1];
    }
    // Variance direction.
    if (j == 0) {
        CombineRows(m, varianceDiagonal_[0], varianceUpper_[0], varianceFirstExtra_, x, x + m,
                    x + 2 * m, w2);
    } else if (j == n - 1) {
        CombineRows(m, varianceLastExtra_, varianceLower_[j], varianceDiagonal_[j], x - 2 * m,
                    x - m, x, w2);
    } else {
        CombineRows(m, varianceLower_[j], varianceDiagonal_[j], varianceUpper_[j], x - m, x, x + m,
                    w2);
    }
    if (lowerFixed_) w2[0] = 0.0;
    if (upperFixed_) w2[m - 1] = 0.0;
    // Mixed derivative: the variance stencil along the row first, then the spot stencil.
    if (j == 0 || j == n - 1) {
        for (int i = 0; i < m; ++i) w0[i] = 0.0;
        return;
    }
    CombineRows(m, mixedVariance_[0][j], mixedVariance_[1][j], mixedVariance_[2][j], x - m, x,
                x + m, scratch);
    w0[0] = 0.0;
    TridiagonalRow(m, mixedSpot_[0].data(), mixedSpot_[1].data(), mixedSpot_[2].data(), scratch,
                   w0);
    w0[m - 1] = 0.0;
}

void HestonOperator::Apply(const double* u, double* w0, double* w1, double* w2) const {
    const int m = spotCount_;
    std::vector<double> scratch(m);
    for (int j = 0; j < varianceCount_; ++j)
        ApplyRow(u, j, w0 + j * m, w1 + j * m, w2 + j * m, scratch.data());
}

double HestonOperator::ApplyAt(const double* u, int i, int j) const {
    const int m = spotCount_, n = varianceCount_, k = Index(i, j);
    const double v = variances_[j];
    double sum = (v * spotDiffusion_[1][i] + spotDrift_[1][i]) * u[k];
    if (i > 0) sum += (v * spotDiffusion_[0][i] + spotDrift_[0][i]) * u[k - 1];
    if (i < m - 1) sum += (v * spotDiffusion_[2][i] + spotDrift_[2][i]) * u[k + 1];
    if (Fixed(i)) return sum;
    sum += varianceDiagonal_[j] * u[k];
    if (j == 0) {
        sum += varianceUpper_[j] * u[k + m] + varianceFirstExtra_ * u[k + 2 * m];
    } else if (j == n - 1) {
        sum += varianceLower_[j] * u[k - m] + varianceLastExtra_ * u[k - 2 * m];
    } else {
        sum += varianceLower_[j] * u[k - m] + varianceUpper_[j] * u[k + m];
        if (i > 0 && i < m - 1) {
            for (int a = 0; a < 3; ++a) {
                for (int b = 0; b < 3; ++b)
                    sum += mixedSpot_[a][i] * mixedVariance_[b][j] * u[k + (a - 1) + (b - 1) * m];
            }
        }
    }
    return sum;
}

LineSolvers::LineSolvers(const HestonOperator& op)
    : op_(op), spotCount_(op.spotCount_), varianceCount_(op.varianceCount_) {
    const std::size_t size = static_cast<std::size_t>(spotCount_) * varianceCount_;
    spot_.resize(3 * size);
    varianceSub_.resize(varianceCount_);
    varianceInverse_.resize(varianceCount_);
    varianceSuper_.resize(varianceCount_);
}

namespace {

// One spot node's column of the factorisation of the n spot lines, side by side:
// sub = -c A1(i, i-1), inverse = 1 / (1 - c A1(i, i) - sub super_{i-1}), super = -c A1(i, i+1)
// inverse, with A1 = v_j d + b.
void FactoriseSpotColumn(int n, double c, const double* __restrict v, const double d[3],
                         const double b[3], const double* __restrict previousSuper,
                         double* __restrict sub, double* __restrict inverse,
                         double* __restrict super) {
    for (int j = 0; j < n; ++j) {
        const double lower = -c * (v[j] * d[0] + b[0]);
        const double diagonal = 1.0 - c * (v[j] * d[1] + b[1]);
        const double upper = -c * (v[j] * d[2] + b[2]);
        const double pivot = 1.0 / (diagonal - lower * previousSuper[j]);
        sub[j] = lower;
        inverse[j] = pivot;
        super[j] = upper * pivot;
    }
}

}  // namespace

void LineSolvers::Factorise(double c) {
    c_ = c;
    RunWidest([&] { FactoriseKernel(); });
}

void LineSolvers::FactoriseKernel() {
    const double c = c_;
    const HestonOperator& op = op_;
    const int m = spotCount_, n = varianceCount_;
    const std::size_t size = static_cast<std::size_t>(m) * n;
    double* sub = spot_.data();
    double* inverse = sub + size;
    double* super = inverse + size;
    // Stored along the variance axis first (entry i * n + j), the order SolveSpot reads them.
    const std::vector<double> none(n, 0.0);
    for (int i = 0; i < m; ++i) {
        const double d[3] = {op.spotDiffusion_[0][i], op.spotDiffusion_[1][i],
                             op.spotDiffusion_[2][i]};
        const double b[3] = {op.spotDrift_[0][i], op.spotDrift_[1][i], op.spotDrift_[2][i]};
        const std::size_t at = static_cast<std::size_t>(i) * n;
        FactoriseSpotColumn(n, c, op.variances_.data(), d, b, i == 0 ? none.data() : super + at - n,
                            sub + at, inverse + at, super + at);
    }

    std::vector<double> lower(n), diagonal(n), upper(n);
    for (int j = 0; j < n; ++j) {
        lower[j] = -c * op.varianceLower_[j];
        diagonal[j] = 1.0 - c * op.varianceDiagonal_[j];
        upper[j] = -c * op.varianceUpper_[j];
    }
    // Row 0 has a third entry on column 2 and row n-1 one on column n-3: subtract a multiple of
    // the neighbouring row to clear them (the right-hand side follows in the solve).
    firstReduction_ = lastReduction_ = 0.0;
    const double firstExtra = -c * op.varianceFirstExtra_;
    if (firstExtra != 0.0 && upper[1] != 0.0) {
        firstReduction_ = firstExtra / upper[1];
        diagonal[0] -= firstReduction_ * lower[1];
        upper[0] -= firstReduction_ * diagonal[1];
    }
    const double lastExtra = -c * op.varianceLastExtra_;
    if (lastExtra != 0.0 && lower[n - 2] != 0.0) {
        lastReduction_ = lastExtra / lower[n - 2];
        lower[n - 1] -= lastReduction_ * diagonal[n - 2];
        diagonal[n - 1] -= lastReduction_ * upper[n - 2];
    }
    double previousSuper = 0.0;
    for (int j = 0; j < n; ++j) {
        const double pivot = 1.0 / (diagonal[j] - lower[j] * previousSuper);
        varianceSub_[j] = lower[j];
        varianceInverse_[j] = pivot;
        varianceSuper_[j] = previousSuper = upper[j] * pivot;
    }
}

// Four-lane vectors pass between the inline helpers below only inside AVX2 code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// Vectors of doubles across L neighbouring spot lines, for the spot solve.
using V2 = double __attribute__((vector_size(16)));
using V4 = double __attribute__((vector_size(32)));
template <int L>
struct LineVector;
template <>
struct LineVector<2> {
    using type = V2;
};
template <>
struct LineVector<4> {
    using type = V4;
};

#define HESTON_FD_INLINE inline __attribute__((always_inline))

template <class V>
HESTON_FD_INLINE V Load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
HESTON_FD_INLINE void Store(double* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

#if defined(__clang__)
#define HESTON_FD_SHUFFLE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
using M2 = long long __attribute__((vector_size(16)));
using M4 = long long __attribute__((vector_size(32)));
#define HESTON_FD_SHUFFLE2(a, b, i, j) __builtin_shuffle(a, b, M2{i, j})
#define HESTON_FD_SHUFFLE4(a, b, i, j, k, l) __builtin_shuffle(a, b, M4{i, j, k, l})
#endif

// r[a][b] <-> r[b][a]: rows of L lines become columns of L spot nodes and back.
HESTON_FD_INLINE void Transpose(V2 r[2]) {
#if defined(__clang__)
    const V2 t = HESTON_FD_SHUFFLE(r[0], r[1], 0, 2);
    r[1] = HESTON_FD_SHUFFLE(r[0], r[1], 1, 3);
#else
    const V2 t = HESTON_FD_SHUFFLE2(r[0], r[1], 0, 2);
    r[1] = HESTON_FD_SHUFFLE2(r[0], r[1], 1, 3);
#endif
    r[0] = t;
}

#if !defined(__clang__)
HESTON_FD_INLINE void Transpose(V4 r[4]) {
    const V4 t0 = HESTON_FD_SHUFFLE4(r[0], r[1], 0, 4, 2, 6);
    const V4 t1 = HESTON_FD_SHUFFLE4(r[0], r[1], 1, 5, 3, 7);
    const V4 t2 = HESTON_FD_SHUFFLE4(r[2], r[3], 0, 4, 2, 6);
    const V4 t3 = HESTON_FD_SHUFFLE4(r[2], r[3], 1, 5, 3, 7);
    r[0] = HESTON_FD_SHUFFLE4(t0, t2, 0, 1, 4, 5);
    r[1] = HESTON_FD_SHUFFLE4(t1, t3, 0, 1, 4, 5);
    r[2] = HESTON_FD_SHUFFLE4(t0, t2, 2, 3, 6, 7);
    r[3] = HESTON_FD_SHUFFLE4(t1, t3, 2, 3, 6, 7);
}
#endif

// The forward and backward sweeps of Thomas' algorithm on lines j = first .. last-1, one spot
// node after another (the lines side by side keep that many recurrences in flight).
HESTON_FD_INLINE void SweepLines(int m, int n, int first, int last, const double* sub,
                                 const double* inverse, const double* super, double* x) {
    for (int j = first; j < last; ++j) x[j * m] *= inverse[j];
    for (int i = 1; i < m; ++i) {
        const double* s = sub + i * n;
        const double* v = inverse + i * n;
        for (int j = first; j < last; ++j) {
            double* e = x + j * m + i;
            e[0] = (e[0] - s[j] * e[-1]) * v[j];
        }
    }
    for (int i = m - 2; i >= 0; --i) {
        const double* u = super + i * n;
        for (int j = first; j < last; ++j) {
            double* e = x + j * m + i;
            e[0] -= u[j] * e[1];
        }
    }
}

// The same sweeps on L lines at once in vectors across the lines: blocks of L spot nodes of
// the L lines are loaded as rows, transposed into columns (one vector per spot node), swept,
// transposed back and stored. Every element goes through the same operations as in SweepLines.
template <int L>
HESTON_FD_INLINE void SweepLineBlock(int m, int n, int first, const double* sub,
                                     const double* inverse, const double* super, double* x) {
    using V = typename LineVector<L>::type;
    double* rows[L];
    for (int a = 0; a < L; ++a) rows[a] = x + (first + a) * m;
    V previous = Load<V>(inverse + first);
    for (int a = 0; a < L; ++a) previous[a] *= rows[a][0];
    for (int a = 0; a < L; ++a) rows[a][0] = previous[a];
    int i = 1;
    for (; i + L <= m; i += L) {
        V r[L];
        for (int a = 0; a < L; ++a) r[a] = Load<V>(rows[a] + i);
        Transpose(r);
        for (int b = 0; b < L; ++b) {
            const std::size_t at = static_cast<std::size_t>(i + b) * n + first;
            r[b] = (r[b] - Load<V>(sub + at) * previous) * Load<V>(inverse + at);
            previous = r[b];
        }
        Transpose(r);
        for (int a = 0; a < L; ++a) Store(rows[a] + i, r[a]);
    }
    for (; i < m; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * n + first;
        for (int a = 0; a < L; ++a)
            rows[a][i] = (rows[a][i] - sub[at + a] * rows[a][i - 1]) * inverse[at + a];
    }
    V next;
    for (int a = 0; a < L; ++a) next[a] = rows[a][m - 1];
    i = m - 2;
    for (; i - L + 1 >= 0; i -= L) {
        V r[L];
        const int start = i - L + 1;
        for (int a = 0; a < L; ++a) r[a] = Load<V>(rows[a] + start);
        Transpose(r);
        for (int b = L - 1; b >= 0; --b) {
            r[b] = r[b] - Load<V>(super + static_cast<std::size_t>(start + b) * n + first) * next;
            next = r[b];
        }
        Transpose(r);
        for (int a = 0; a < L; ++a) Store(rows[a] + start, r[a]);
    }
    for (; i >= 0; --i) {
        const std::size_t at = static_cast<std::size_t>(i) * n + first;
        for (int a = 0; a < L; ++a) rows[a][i] -= super[at + a] * rows[a][i + 1];
    }
}

}  // namespace

void LineSolvers::SolveSpot(double* x) const {
    RunWidestLanes([&](auto lanes) {
    // clang keeps to two lanes (its four-lane shuffles are not written here).
#if defined(__clang__)
        constexpr int L = 2;
        (void)lanes;
#else
        constexpr int L = decltype(lanes)::kLanes;
#endif
        const int m = spotCount_, n = varianceCount_;
        const std::size_t size = static_cast<std::size_t>(m) * n;
        const double* sub = spot_.data();
        const double* inverse = sub + size;
        const double* super = inverse + size;
        int first = 0;
        for (; first + L <= n; first += L) SweepLineBlock<L>(m, n, first, sub, inverse, super, x);
        SweepLines(m, n, first, n, sub, inverse, super, x);
    });
}

#pragma GCC diagnostic pop

namespace {

// row[i] = (row[i] - c w[i] - sub below[i]) inverse.
void ForwardRow(int m, double c, double sub, double inverse, const double* __restrict w,
                const double* __restrict below, double* __restrict row) {
    for (int i = 0; i < m; ++i) row[i] = (row[i] - c * w[i] - sub * below[i]) * inverse;
}

// row[i] -= super above[i].
void BackwardRow(int m, double super, const double* __restrict above, double* __restrict row) {
    for (int i = 0; i < m; ++i) row[i] -= super * above[i];
}

}  // namespace

void LineSolvers::SolveVariance(double* x, const double* w) const {
    RunWidest([&] { SolveVarianceKernel(x, w); });
}

void LineSolvers::SolveVarianceKernel(double* x, const double* w) const {
    const int m = spotCount_, n = varianceCount_;
    const double c = c_;
    // The lines of fixed spot nodes are the identity: they are left out.
    const int begin = op_.lowerFixed_ ? 1 : 0;
    const int count = (op_.upperFixed_ ? m - 1 : m) - begin;
    x += begin;
    w += begin;
    // Right-hand sides x - c w, and the boundary rows' reductions (the last row's by row n-2
    // before the sweep changes that row).
    {
        double* first = x;
        const double* second = x + m;
        double* last = x + (n - 1) * m;
        const double* beforeLast = x + (n - 2) * m;
        const double* wFirst = w;
        const double* wSecond = w + m;
        const double* wLast = w + (n - 1) * m;
        const double* wBeforeLast = w + (n - 2) * m;
        const double f0 = firstReduction_, f1 = lastReduction_, inverse = varianceInverse_[0];
        for (int i = 0; i < count; ++i) {
            last[i] = (last[i] - c * wLast[i]) - f1 * (beforeLast[i] - c * wBeforeLast[i]);
            first[i] = ((first[i] - c * wFirst[i]) - f0 * (second[i] - c * wSecond[i])) * inverse;
        }
    }
    for (int j = 1; j < n - 1; ++j) {
        ForwardRow(count, c, varianceSub_[j], varianceInverse_[j], w + j * m, x + (j - 1) * m,
                   x + j * m);
    }
    ForwardRow(count, 0.0, varianceSub_[n - 1], varianceInverse_[n - 1], w + (n - 1) * m,
               x + (n - 2) * m, x + (n - 1) * m);
    for (int j = n - 2; j >= 0; --j)
        BackwardRow(count, varianceSuper_[j], x + (j + 1) * m, x + j * m);
}

}  // namespace finitedifference
}  // namespace heston
