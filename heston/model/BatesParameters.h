// BatesParameters: the Heston model with lognormal jumps in the spot (Bates 1996): the five
// Heston parameters, held as a ModelParameters, and three of the jumps.
//
// Jumps arrive as a Poisson process of intensity lambda per year; each multiplies the spot by
// exp(J) with J normal of mean muJ and standard deviation deltaJ, independent of everything
// else. The drift is compensated so that the discounted spot stays a martingale: the log spot
// drifts by -lambda (exp(muJ + deltaJ^2 / 2) - 1) per year besides Heston's own drift.
// lambda = 0 is the Heston model itself, and every pricer gives Heston's numbers there.
//
// Reference: D. S. Bates, "Jumps and stochastic volatility: exchange rate processes implicit
// in Deutsche Mark options", Rev. Financial Studies 9 (1996) 69-107.
#pragma once

#include <cmath>

#include "model/ModelParameters.h"

namespace heston {

struct JumpParameters {
    double lambda;  // jumps per year, >= 0
    double muJ;     // mean of the log jump size
    double deltaJ;  // standard deviation of the log jump size, >= 0
};

struct BatesParameters {
    ModelParameters heston;
    JumpParameters jumps;
};

// No jumps: the Heston model.
constexpr JumpParameters kNoJumps{0.0, 0.0, 0.0};

// Number of entries of a Bates calibration vector (v0, theta, kappa, sigma, rho, lambda, muJ,
// deltaJ).
constexpr int kBatesParameterCount = 8;

// E[exp(J)] - 1, the mean relative size of a jump, without cancellation for small jumps.
inline double MeanJumpSize(const JumpParameters& j) {
    return std::expm1(j.muJ + 0.5 * j.deltaJ * j.deltaJ);
}

inline BatesParameters FromBatesCalibrationVector(const double* x) {
    return BatesParameters{FromCalibrationVector(x), JumpParameters{x[5], x[6], x[7]}};
}

inline void ToBatesCalibrationVector(const BatesParameters& p, double* x) {
    ToCalibrationVector(p.heston, x);
    x[5] = p.jumps.lambda;
    x[6] = p.jumps.muJ;
    x[7] = p.jumps.deltaJ;
}

}  // namespace heston
