// HestonOperator: the Heston pricing equation in time to maturity tau,
//   u_tau = 1/2 v S^2 u_SS + rho sigma v S u_Sv + 1/2 sigma^2 v u_vv + (r - q) S u_S
//           + kappa (theta - v) u_v - r u,
// discretised on a tensor grid of spot nodes S_0 < ... < S_{m-1} and variance nodes
// 0 = v_0 < ... < v_{n-1}, and split for alternating-direction time stepping into
//   A0: the mixed derivative term,
//   A1: the spot derivatives and half of -r u,
//   A2: the variance derivatives and the other half of -r u,
// after K. J. in 't Hout and S. Foulon, "ADI finite difference schemes for option pricing in
// the Heston model with correlation", Int. J. Numer. Anal. Model. 7(2), 2010, 303-320: second-
// order central differences on the non-uniform grid, the mixed derivative as the product of the
// two first-derivative stencils.
//
// Boundaries, none of them an invented value:
// - S = 0 (no lower barrier): every spot term vanishes, so the row is the equation itself,
//   u_tau = 1/2 sigma^2 v u_vv + kappa (theta - v) u_v - r u.
// - v = 0: the equation degenerates to u_tau = (r - q) S u_S + kappa theta u_v - r u, which is
//   used as it is, with u_v by the second-order forward difference (the characteristics leave
//   through v = 0 only when kappa theta < 0, never here, so no boundary value is needed whether
//   or not Feller's condition holds).
// - v = v_max: the value is taken linear in v there (u_vv = 0, no mixed term), and the drift
//   kappa (theta - v) u_v, which carries values out of the grid there, uses the second-order
//   backward difference.
// - S = S_max (no upper barrier): the value is taken linear in S (u_SS = 0, no mixed term), with
//   u_S by the backward difference, exact for a linear function.
// - A spot end marked fixed (a knock-out barrier under continuous monitoring) keeps its value:
//   its rows are zero in all three parts.
//
// Layout and cost: node (i, j) is entry j m + i, so a variance row is contiguous. Every
// coefficient is a product of a spot factor and a variance factor, so the operator keeps only
// per-axis arrays (O(m + n) numbers): A1 = v_j (spot diffusion weights) + (spot drift weights),
// A2 the same at every spot node that is not fixed, A0 = (rho sigma S_i weights) x (v_j
// weights). The operator is applied one variance row at a time (ApplyRow), so that the time
// stepping combines the three parts while the row is in cache.
//
// Tested in tests/numerics/finite_difference_operator_test.cpp.
#pragma once

#include <vector>

#include "model/ModelParameters.h"

namespace heston {
namespace finitedifference {

class HestonOperator {
  public:
    // spots and variances increasing, at least 3 of each, variances[0] = 0; spots[0] = 0 unless
    // lowerFixed.
    HestonOperator(std::vector<double> spots, std::vector<double> variances, double rate,
                   double dividendYield, const ModelParameters& model, bool lowerFixed,
                   bool upperFixed);

    int SpotCount() const { return spotCount_; }
    int VarianceCount() const { return varianceCount_; }
    int Size() const { return spotCount_ * varianceCount_; }
    // Node (i, j) at S_i, v_j is entry j * SpotCount() + i of a grid vector.
    int Index(int i, int j) const { return j * spotCount_ + i; }
    const std::vector<double>& Spots() const { return spots_; }
    const std::vector<double>& Variances() const { return variances_; }
    bool Fixed(int i) const {
        return (i == 0 && lowerFixed_) || (i == spotCount_ - 1 && upperFixed_);
    }

    // Row j of w0 = A0 u, w1 = A1 u and w2 = A2 u (SpotCount() values each); scratch holds
    // SpotCount() doubles. u is the whole grid vector.
    void ApplyRow(const double* u, int j, double* w0, double* w1, double* w2,
                  double* scratch) const;

    // w0 = A0 u, w1 = A1 u, w2 = A2 u on the whole grid.
    void Apply(const double* u, double* w0, double* w1, double* w2) const;

    // A u at node (i, j), all three parts together.
    double ApplyAt(const double* u, int i, int j) const;

  private:
    friend class LineSolvers;

    void ApplyRowKernel(const double* u, int j, double* w0, double* w1, double* w2,
                        double* scratch) const;

    std::vector<double> spots_, variances_;
    int spotCount_, varianceCount_;
    bool lowerFixed_, upperFixed_;
    // A1 at (i, j) on the spot neighbours a = 0, 1, 2 (lower, own, upper):
    // v_j spotDiffusion_[a][i] + spotDrift_[a][i] (the drift part holds -r/2 on the diagonal).
    std::vector<double> spotDiffusion_[3], spotDrift_[3];
    // A2 at (i, j) on the variance neighbours, per variance node; the rows at v = 0 and v_max
    // have a third entry (on v_2 and on v_{n-3}).
    std::vector<double> varianceLower_, varianceDiagonal_, varianceUpper_;
    double varianceFirstExtra_ = 0.0, varianceLastExtra_ = 0.0;
    // A0 at (i, j) = sum over a, b of mixedSpot_[a][i] mixedVariance_[b][j] u(i + a - 1, j + b -
    // 1): rho sigma S_i times the central spot weights (zero on the rows without a mixed term) and
    // v_j times the central variance weights (zero at v = 0 and v_max).
    std::vector<double> mixedSpot_[3];
    std::vector<double> mixedVariance_[3];
};

// (I - c A1)^{-1} and (I - c A2)^{-1} for one c > 0 at a time, factorised by Thomas' algorithm
// along each line (the three-entry boundary rows of A2 first reduced by the neighbouring row);
// Factorise changes c and reuses the storage.
class LineSolvers {
  public:
    explicit LineSolvers(const HestonOperator& op);
    LineSolvers(const HestonOperator& op, double c) : LineSolvers(op) { Factorise(c); }

    void Factorise(double c);
    double Coefficient() const { return c_; }
    // x <- (I - c A1)^{-1} x.
    void SolveSpot(double* x) const;
    // x <- (I - c A2)^{-1} (x - c w), with w = A2 u of some u (zero on the fixed spot nodes).
    void SolveVariance(double* x, const double* w) const;

  private:
    void FactoriseKernel();
    void SolveVarianceKernel(double* x, const double* w) const;

    const HestonOperator& op_;
    int spotCount_, varianceCount_;
    double c_ = 0.0;
    // Spot lines, stored along the variance axis first (entry i * n + j): the multiple of the
    // previous unknown to subtract, the inverse pivot and the eliminated upper entry.
    std::vector<double> spot_;  // three blocks of m n: sub, inverse, super
    // The variance system, the same for every spot node that is not fixed.
    std::vector<double> varianceSub_, varianceInverse_, varianceSuper_;
    double firstReduction_ = 0.0, lastReduction_ = 0.0;
};

// Central first- and second-derivative weights at x[i] on the neighbours x[i-1], x[i], x[i+1]
// of a non-uniform mesh (in 't Hout & Foulon 2010, section 2.2).
void CentralFirstDerivative(const std::vector<double>& x, int i, double weights[3]);
void CentralSecondDerivative(const std::vector<double>& x, int i, double weights[3]);
// Second-order one-sided first-derivative weights: forward on x[i], x[i+1], x[i+2], and
// backward on x[i-2], x[i-1], x[i].
void ForwardFirstDerivative(const std::vector<double>& x, int i, double weights[3]);
void BackwardFirstDerivative(const std::vector<double>& x, int i, double weights[3]);

}  // namespace finitedifference
}  // namespace heston
