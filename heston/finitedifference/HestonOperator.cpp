#include "finitedifference/HestonOperator.h"

#include <stdexcept>
#include <utility>

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
    const int m = spotCount_, n = varianceCount_, size = m * n;
    spotLower_.assign(size, 0.0);
    spotDiagonal_.assign(size, 0.0);
    spotUpper_.assign(size, 0.0);
    varianceLower_.assign(n, 0.0);
    varianceDiagonal_.assign(n, 0.0);
    varianceUpper_.assign(n, 0.0);
    for (int a = 0; a < 3; ++a) {
        mixedSpot_[a].assign(m, 0.0);
        mixedVariance_[a].assign(n, 0.0);
    }

    const double r = rate, drift = rate - dividendYield;
    const double kappa = model.kappa, theta = model.theta, sigma = model.sigma;
    // Spot direction.
    for (int i = 0; i < m; ++i) {
        if (Fixed(i)) continue;
        const double s = spots_[i];
        double lower = 0.0, diagonal = -0.5 * r, upper = 0.0;
        double diffusion[3] = {0.0, 0.0, 0.0};  // multiplied by v_j below
        if (i == m - 1) {
            const double slope = drift * s / (s - spots_[i - 1]);
            lower = -slope;
            diagonal += slope;
        } else if (i > 0) {
            double first[3], second[3];
            CentralFirstDerivative(spots_, i, first);
            CentralSecondDerivative(spots_, i, second);
            const double convection = drift * s;
            lower = convection * first[0];
            diagonal += convection * first[1];
            upper = convection * first[2];
            for (int a = 0; a < 3; ++a) {
                diffusion[a] = 0.5 * s * s * second[a];
                mixedSpot_[a][i] = model.rho * sigma * s * first[a];
            }
        }
        for (int j = 0; j < n; ++j) {
            const double v = variances_[j];
            const int k = Index(i, j);
            spotLower_[k] = v * diffusion[0] + lower;
            spotDiagonal_[k] = v * diffusion[1] + diagonal;
            spotUpper_[k] = v * diffusion[2] + upper;
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
    const int m = spotCount_, n = varianceCount_, row = j * m;
    const double* x = u + row;
    // Spot direction.
    {
        const double* l = &spotLower_[row];
        const double* d = &spotDiagonal_[row];
        const double* up = &spotUpper_[row];
        w1[0] = d[0] * x[0] + up[0] * x[1];
        TridiagonalRow(m, l, d, up, x, w1);
        w1[m - 1] = l[m - 1] * x[m - 2] + d[m - 1] * x[m - 1];
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
    double sum = spotDiagonal_[k] * u[k];
    if (i > 0) sum += spotLower_[k] * u[k - 1];
    if (i < m - 1) sum += spotUpper_[k] * u[k + 1];
    if (Fixed(i)) return sum;
    sum += varianceDiagonal_[j] * u[k];
    if (j == 0) {
        sum += varianceUpper_[j] * u[k + m] + varianceFirstExtra_ * u[k + 2 * m];
    } else if (j == n - 1) {
        sum += varianceLower_[j] * u[k - m] + varianceLastExtra_ * u[k - 2 * m];
    } else {
        sum += varianceLower_[j] * u[k - m] + varianceUpper_[j] * u[k + m];
        double cross = 0.0;
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b)
                cross += mixedSpot_[a][i] * mixedVariance_[b][j] * u[k + (a - 1) + (b - 1) * m];
        }
        sum += cross;
    }
    return sum;
}

LineSolvers::LineSolvers(const HestonOperator& op, double c)
    : spotCount_(op.spotCount_),
      varianceCount_(op.varianceCount_),
      lowerFixed_(op.lowerFixed_),
      upperFixed_(op.upperFixed_),
      c_(c) {
    const int m = spotCount_, n = varianceCount_, size = m * n;
    spotSub_.resize(size);
    spotInverse_.resize(size);
    spotSuper_.resize(size);
    // Stored along the variance axis first (entry i * n + j), the order SolveSpot reads them.
    for (int j = 0; j < n; ++j) {
        double previousSuper = 0.0;
        for (int i = 0; i < m; ++i) {
            const int k = j * m + i, t = i * n + j;
            const double sub = -c * op.spotLower_[k];
            const double diagonal = 1.0 - c * op.spotDiagonal_[k];
            const double inverse = 1.0 / (diagonal - sub * previousSuper);
            spotSub_[t] = sub;
            spotInverse_[t] = inverse;
            spotSuper_[t] = previousSuper = -c * op.spotUpper_[k] * inverse;
        }
    }

    std::vector<double> sub(n), diagonal(n), super(n);
    for (int j = 0; j < n; ++j) {
        sub[j] = -c * op.varianceLower_[j];
        diagonal[j] = 1.0 - c * op.varianceDiagonal_[j];
        super[j] = -c * op.varianceUpper_[j];
    }
    // Row 0 has a third entry on column 2 and row n-1 one on column n-3: subtract a multiple of
    // the neighbouring row to clear them (the right-hand side follows in the solve).
    const double firstExtra = -c * op.varianceFirstExtra_;
    if (firstExtra != 0.0 && super[1] != 0.0) {
        firstReduction_ = firstExtra / super[1];
        diagonal[0] -= firstReduction_ * sub[1];
        super[0] -= firstReduction_ * diagonal[1];
    }
    const double lastExtra = -c * op.varianceLastExtra_;
    if (lastExtra != 0.0 && sub[n - 2] != 0.0) {
        lastReduction_ = lastExtra / sub[n - 2];
        sub[n - 1] -= lastReduction_ * diagonal[n - 2];
        diagonal[n - 1] -= lastReduction_ * super[n - 2];
    }
    varianceSub_.resize(n);
    varianceInverse_.resize(n);
    varianceSuper_.resize(n);
    double previousSuper = 0.0;
    for (int j = 0; j < n; ++j) {
        const double inverse = 1.0 / (diagonal[j] - sub[j] * previousSuper);
        varianceSub_[j] = sub[j];
        varianceInverse_[j] = inverse;
        varianceSuper_[j] = previousSuper = super[j] * inverse;
    }
}

void LineSolvers::SolveSpot(double* x) const {
    // The n lines are independent: sweeping them side by side, one spot node at a time, keeps
    // n recurrences in flight instead of waiting on one.
    const int m = spotCount_, n = varianceCount_;
    const double* inverse = spotInverse_.data();
    const double* sub = spotSub_.data();
    const double* super = spotSuper_.data();
    for (int j = 0; j < n; ++j) x[j * m] *= inverse[j];
    for (int i = 1; i < m; ++i) {
        const double* s = sub + i * n;
        const double* v = inverse + i * n;
        for (int j = 0; j < n; ++j) {
            double* e = x + j * m + i;
            e[0] = (e[0] - s[j] * e[-1]) * v[j];
        }
    }
    for (int i = m - 2; i >= 0; --i) {
        const double* u = super + i * n;
        for (int j = 0; j < n; ++j) {
            double* e = x + j * m + i;
            e[0] -= u[j] * e[1];
        }
    }
}

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
    const int m = spotCount_, n = varianceCount_;
    const double c = c_;
    // The lines of fixed spot nodes are the identity: they are left out.
    const int begin = lowerFixed_ ? 1 : 0;
    const int count = (upperFixed_ ? m - 1 : m) - begin;
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
