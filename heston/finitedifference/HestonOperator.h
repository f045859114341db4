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
//   kappa (theta - v) u_v, which points into the grid, uses the second-order backward difference.
// - S = S_max (no upper barrier): the value is taken linear in S (u_SS = 0, no mixed term), with
//   u_S by the backward difference, exact for a linear function.
// - A spot end marked fixed (a knock-out barrier under continuous monitoring) keeps its value:
//   its rows are zero in all three parts.
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

    // w0 = A0 u, w1 = A1 u, w2 = A2 u.
    void Apply(const double* u, double* w0, double* w1, double* w2) const;

    // A u at node (i, j), all three parts together.
    double ApplyAt(const double* u, int i, int j) const;

  private:
    friend class LineSolvers;

    std::vector<double> spots_, variances_;
    int spotCount_, varianceCount_;
    bool lowerFixed_, upperFixed_;
    // A1 and A2 rows: coefficients of the lower, own and upper neighbour of each node.
    std::vector<double> spotLower_, spotDiagonal_, spotUpper_;
    std::vector<double> varianceLower_, varianceDiagonal_, varianceUpper_;
    // The third entries of the variance rows at v = 0 (on v_2) and at v_max (on v_{n-3}).
    std::vector<double> varianceFirstExtra_, varianceLastExtra_;
    // Mixed term: rho sigma v_j S_i at each node (zero on the rows without it) and the central
    // first-derivative stencils of both axes.
    std::vector<double> mixed_;
    std::vector<double> spotSlope_, varianceSlope_;  // three weights per node of the axis
};

// (I - c A1)^{-1} and (I - c A2)^{-1} for one c > 0, factorised once (Thomas' algorithm along
// each line; the three-entry boundary rows of A2 are first reduced by the neighbouring row).
class LineSolvers {
  public:
    LineSolvers(const HestonOperator& op, double c);

    double Coefficient() const { return c_; }
    // x <- (I - c A1)^{-1} x.
    void SolveSpot(double* x) const;
    // x <- (I - c A2)^{-1} x.
    void SolveVariance(double* x) const;

  private:
    int spotCount_, varianceCount_;
    double c_;
    std::vector<double> spotSub_, spotInverse_, spotSuper_;
    std::vector<double> varianceSub_, varianceInverse_, varianceSuper_;
    std::vector<double> firstReduction_, lastReduction_;  // per spot node
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
