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
    varianceLower_.assign(size, 0.0);
    varianceDiagonal_.assign(size, 0.0);
    varianceUpper_.assign(size, 0.0);
    varianceFirstExtra_.assign(m, 0.0);
    varianceLastExtra_.assign(m, 0.0);
    mixed_.assign(size, 0.0);
    spotSlope_.assign(3 * m, 0.0);
    varianceSlope_.assign(3 * n, 0.0);
    for (int i = 1; i + 1 < m; ++i) CentralFirstDerivative(spots_, i, &spotSlope_[3 * i]);
    for (int j = 1; j + 1 < n; ++j) CentralFirstDerivative(variances_, j, &varianceSlope_[3 * j]);

    const double r = rate, drift = rate - dividendYield;
    const double kappa = model.kappa, theta = model.theta, sigma = model.sigma;
    for (int j = 0; j < n; ++j) {
        const double v = variances_[j];
        for (int i = 0; i < m; ++i) {
            if (Fixed(i)) continue;
            const int k = Index(i, j);
            const double s = spots_[i];
            // Spot direction.
            if (i == 0) {
                spotDiagonal_[k] = -0.5 * r;
            } else if (i == m - 1) {
                const double slope = drift * s / (s - spots_[i - 1]);
                spotLower_[k] = -slope;
                spotDiagonal_[k] = slope - 0.5 * r;
            } else {
                double first[3], second[3];
                CentralFirstDerivative(spots_, i, first);
                CentralSecondDerivative(spots_, i, second);
                const double diffusion = 0.5 * v * s * s, convection = drift * s;
                spotLower_[k] = diffusion * second[0] + convection * first[0];
                spotDiagonal_[k] = diffusion * second[1] + convection * first[1] - 0.5 * r;
                spotUpper_[k] = diffusion * second[2] + convection * first[2];
            }
            // Variance direction.
            const double convection = kappa * (theta - v);
            double w[3];
            if (j == 0) {
                ForwardFirstDerivative(variances_, 0, w);
                varianceDiagonal_[k] = convection * w[0] - 0.5 * r;
                varianceUpper_[k] = convection * w[1];
                varianceFirstExtra_[i] = convection * w[2];
            } else if (j == n - 1) {
                BackwardFirstDerivative(variances_, j, w);
                varianceLastExtra_[i] = convection * w[0];
                varianceLower_[k] = convection * w[1];
                varianceDiagonal_[k] = convection * w[2] - 0.5 * r;
            } else {
                double second[3];
                CentralSecondDerivative(variances_, j, second);
                const double* first = &varianceSlope_[3 * j];
                const double diffusion = 0.5 * sigma * sigma * v;
                varianceLower_[k] = diffusion * second[0] + convection * first[0];
                varianceDiagonal_[k] = diffusion * second[1] + convection * first[1] - 0.5 * r;
                varianceUpper_[k] = diffusion * second[2] + convection * first[2];
            }
            if (i > 0 && i < m - 1 && j > 0 && j < n - 1) mixed_[k] = model.rho * sigma * v * s;
        }
    }
}

void HestonOperator::Apply(const double* u, double* w0, double* w1, double* w2) const {
    const int m = spotCount_, n = varianceCount_;
    for (int j = 0; j < n; ++j) {
        const int row = j * m;
        const double* ur = u + row;
        // Spot direction.
        {
            const double* l = &spotLower_[row];
            const double* d = &spotDiagonal_[row];
            const double* up = &spotUpper_[row];
            double* out = w1 + row;
            out[0] = d[0] * ur[0] + up[0] * ur[1];
            for (int i = 1; i < m - 1; ++i)
                out[i] = l[i] * ur[i - 1] + d[i] * ur[i] + up[i] * ur[i + 1];
            out[m - 1] = l[m - 1] * ur[m - 2] + d[m - 1] * ur[m - 1];
        }
        // Variance direction.
        {
            const double* l = &varianceLower_[row];
            const double* d = &varianceDiagonal_[row];
            const double* up = &varianceUpper_[row];
            double* out = w2 + row;
            if (j == 0) {
                const double* extra = varianceFirstExtra_.data();
                for (int i = 0; i < m; ++i)
                    out[i] = d[i] * ur[i] + up[i] * ur[i + m] + extra[i] * ur[i + 2 * m];
            } else if (j == n - 1) {
                const double* extra = varianceLastExtra_.data();
                for (int i = 0; i < m; ++i)
                    out[i] = extra[i] * ur[i - 2 * m] + l[i] * ur[i - m] + d[i] * ur[i];
            } else {
                for (int i = 0; i < m; ++i)
                    out[i] = l[i] * ur[i - m] + d[i] * ur[i] + up[i] * ur[i + m];
            }
        }
        // Mixed derivative.
        {
            double* out = w0 + row;
            if (j == 0 || j == n - 1) {
                for (int i = 0; i < m; ++i) out[i] = 0.0;
                continue;
            }
            const double* c = &mixed_[row];
            const double b0 = varianceSlope_[3 * j], b1 = varianceSlope_[3 * j + 1],
                         b2 = varianceSlope_[3 * j + 2];
            const double* below = ur - m;
            const double* above = ur + m;
            out[0] = 0.0;
            for (int i = 1; i < m - 1; ++i) {
                const double* a = &spotSlope_[3 * i];
                const double left = b0 * below[i - 1] + b1 * ur[i - 1] + b2 * above[i - 1];
                const double middle = b0 * below[i] + b1 * ur[i] + b2 * above[i];
                const double right = b0 * below[i + 1] + b1 * ur[i + 1] + b2 * above[i + 1];
                out[i] = c[i] * (a[0] * left + a[1] * middle + a[2] * right);
            }
            out[m - 1] = 0.0;
        }
    }
}

double HestonOperator::ApplyAt(const double* u, int i, int j) const {
    const int m = spotCount_, n = varianceCount_, k = Index(i, j);
    double sum = spotDiagonal_[k] * u[k] + varianceDiagonal_[k] * u[k];
    if (i > 0) sum += spotLower_[k] * u[k - 1];
    if (i < m - 1) sum += spotUpper_[k] * u[k + 1];
    if (j == 0) {
        sum += varianceUpper_[k] * u[k + m] + varianceFirstExtra_[i] * u[k + 2 * m];
    } else if (j == n - 1) {
        sum += varianceLower_[k] * u[k - m] + varianceLastExtra_[i] * u[k - 2 * m];
    } else {
        sum += varianceLower_[k] * u[k - m] + varianceUpper_[k] * u[k + m];
    }
    if (mixed_[k] != 0.0) {
        const double* a = &spotSlope_[3 * i];
        const double* b = &varianceSlope_[3 * j];
        double cross = 0.0;
        for (int da = 0; da < 3; ++da) {
            for (int db = 0; db < 3; ++db) cross += a[da] * b[db] * u[k + (da - 1) + (db - 1) * m];
        }
        sum += mixed_[k] * cross;
    }
    return sum;
}

LineSolvers::LineSolvers(const HestonOperator& op, double c)
    : spotCount_(op.spotCount_), varianceCount_(op.varianceCount_), c_(c) {
    const int m = spotCount_, n = varianceCount_, size = m * n;
    spotSub_.resize(size);
    spotInverse_.resize(size);
    spotSuper_.resize(size);
    varianceSub_.resize(size);
    varianceInverse_.resize(size);
    varianceSuper_.resize(size);
    firstReduction_.assign(m, 0.0);
    lastReduction_.assign(m, 0.0);
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
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < n; ++j) {
            const int k = j * m + i;
            sub[j] = -c * op.varianceLower_[k];
            diagonal[j] = 1.0 - c * op.varianceDiagonal_[k];
            super[j] = -c * op.varianceUpper_[k];
        }
        // Row 0 has a third entry on column 2 and row n-1 one on column n-3: subtract a multiple
        // of the neighbouring row to clear them (the right-hand side follows in the solve).
        const double firstExtra = -c * op.varianceFirstExtra_[i];
        if (firstExtra != 0.0 && super[1] != 0.0) {
            const double f = firstExtra / super[1];
            firstReduction_[i] = f;
            diagonal[0] -= f * sub[1];
            super[0] -= f * diagonal[1];
        }
        const double lastExtra = -c * op.varianceLastExtra_[i];
        if (lastExtra != 0.0 && sub[n - 2] != 0.0) {
            const double f = lastExtra / sub[n - 2];
            lastReduction_[i] = f;
            sub[n - 1] -= f * diagonal[n - 2];
            diagonal[n - 1] -= f * super[n - 2];
        }
        double previousSuper = 0.0;
        for (int j = 0; j < n; ++j) {
            const int k = j * m + i;
            const double inverse = 1.0 / (diagonal[j] - sub[j] * previousSuper);
            varianceSub_[k] = sub[j];
            varianceInverse_[k] = inverse;
            varianceSuper_[k] = previousSuper = super[j] * inverse;
        }
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

void LineSolvers::SolveVariance(double* x) const {
    const int m = spotCount_, n = varianceCount_;
    for (int i = 0; i < m; ++i) {
        x[i] -= firstReduction_[i] * x[m + i];
        x[(n - 1) * m + i] -= lastReduction_[i] * x[(n - 2) * m + i];
    }
    // All lines at once, one variance row after another, so that the inner loop runs along
    // contiguous memory.
    for (int i = 0; i < m; ++i) x[i] *= varianceInverse_[i];
    for (int j = 1; j < n; ++j) {
        double* row = x + j * m;
        const double* below = row - m;
        const double* sub = &varianceSub_[j * m];
        const double* inverse = &varianceInverse_[j * m];
        for (int i = 0; i < m; ++i) row[i] = (row[i] - sub[i] * below[i]) * inverse[i];
    }
    for (int j = n - 2; j >= 0; --j) {
        double* row = x + j * m;
        const double* above = row + m;
        const double* super = &varianceSuper_[j * m];
        for (int i = 0; i < m; ++i) row[i] -= super[i] * above[i];
    }
}

}  // namespace finitedifference
}  // namespace heston
