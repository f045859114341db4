// ClosedFormGrid: the closed-form Heston price evaluated on its two fixed Boole grids in one
// pass, both probabilities together, and shared across the strikes of one maturity.
//
// The price integrates Re[f_j(phi) exp(-i phi ln K) / (i phi)] for j = 1, 2 over [lower, 15]
// (180 intervals) and [15.0000001, upper] (200 intervals). For S, K > 0 the integrand factors
// into exp(A_j(phi)) / phi, which depends on the parameters and the maturity only, and the
// phase exp(i phi x) with x = ln S - ln K + r tau, which carries spot, strike and rate. The
// grid computes the first factor once per maturity, each characteristic function once per
// grid point, and prices any number of strikes and rates from it; every integral keeps its own
// underflow cut-off (once a sample falls below 1e-45 in magnitude, the rest are 0).
//
// The results agree with the straightforward evaluation (HestonIntegrand through
// Heston::Integrate) to rounding: the arithmetic is rearranged, not the formulas. The exponent
// A_j (ProbabilityExponent.h) is evaluated on vectors of grid points; a point whose operands
// leave the range of the plain formulas, or whose result is not finite, is evaluated again by
// the scalar form, which handles every range with the standard library's careful routines, so
// that no input loses accuracy to the vector code. Each integral is evaluated a vector of
// points at a time (two vectors in a pack, VectorPack.h) and stops at the vector holding its
// cut-off; samples computed past the cut-off are set to 0 and do not enter the sum.
//
// Warning: only finite S, K > 0 take the factored form; Heston::ClosedFormPrice sends any other
// spot or strike through the straightforward integrals, which keep their complex logarithms.
#pragma once

#include "execution/ParallelFor.h"
#include "model/ModelParameters.h"
#include "vectormath/VectorWidth.h"

namespace heston {
namespace closedform {

// The underflow cut-off of every closed-form integral: the integrand decays like a Gaussian in
// phi, so once a sample falls below this in magnitude every later sample of the integral is 0
// (and is not evaluated).
constexpr double kCutOff = 1e-45;

// Grid sizes of the closed-form price: a head of 180 and a tail of 200 Boole intervals.
constexpr int kHeadIntervals = 180;
constexpr int kTailIntervals = 200;
constexpr double kTailStart = 15.0000001;
constexpr double kHeadEnd = 15.0;

// The price from the two probabilities' integrals, each in two pieces: the tail over
// [kTailStart, upper] and the head over [lower, kHeadEnd], j = 0 for probability 1. The call
// is S P_1 - K exp(-r tau) P_2 with P_j = (tail + head) / pi + 1/2; any optionType but 1 gives
// the put by parity from the same probabilities, never from integrals of its own.
double PriceFromIntegrals(const double (&tail)[2], const double (&head)[2], double S, double K,
                          double tau, double r, int optionType);

// Strike-independent samples of one parameter set and maturity on both grids.
class ClosedFormGrid {
  public:
    // Lays out the two grids for the integration range [lowerLimit, upperLimit].
    ClosedFormGrid(double lowerLimit, double upperLimit);

    // Computes exp(A_j(phi)) / phi for both probabilities at every grid point that some strike
    // can still need before its cut-off.
    void SetMaturity(double tau, const heston::ModelParameters& p, double lambda,
                     VectorWidth width = VectorWidth::kWidest);

    // The closed-form price (call for optionType 1, else the put by parity) of spot S > 0 and
    // strike K > 0 at rate r, for the maturity and parameters last set.
    double Price(double S, double K, double r, int optionType) const;

    // One price from scratch in a single pass: each probability's characteristic function is
    // evaluated only until its own integrals are cut off.
    static double DirectPrice(double S, double K, double tau, double r,
                              const heston::ModelParameters& p, double lambda, double lowerLimit,
                              double upperLimit, int optionType,
                              VectorWidth width = VectorWidth::kWidest);

    // Whether the factored form applies to this spot and strike (finite and positive).
    static bool Factorable(double S, double K);

  private:
    struct Segment {
        double lower;
        double h;
        int intervals;
        int offset;  // index of the segment's first point in the sample arrays
    };
    static constexpr int kPoints = kHeadIntervals + 1 + kTailIntervals + 1;

    Segment head_;
    Segment tail_;
    double tau_ = 0.0;
    double phi_[kPoints];
    // exp(A_j) / phi, real and imaginary parts, probability j = 1 in [0] and j = 2 in [1].
    double wRe_[2][kPoints];
    double wIm_[2][kPoints];
    // Number of leading points of each segment computed for each probability; past them
    // every strike's integral is already cut off.
    int computed_[2][2];

    // Both probabilities' integrals over segment s (0 head, 1 tail) from the phase
    // exp(i phi x) = cosine + i sine at its points.
    void Probabilities(int s, const double* cosine, const double* sine,
                       double (&integral)[2]) const;
};

// Closed-form prices of observations 0 .. count - 1 of a table (spot, strike, maturity, rate,
// option type truncated toward zero: 1 call, else put) at one parameter set, with the
// integration range [lowerLimit, 100]. The strike-independent part is computed once per
// distinct maturity and shared by every observation that has it. The maturities are the tasks
// handed to runner; each price is the same whichever runner computes it.
void ClosedFormPrices(double spot, const double* strike, const double* maturity, const double* rate,
                      const double* optionType, int count, const heston::ModelParameters& p,
                      double lambda, double lowerLimit, double* prices,
                      heston::ParallelFor& runner = heston::Serial());

}  // namespace closedform
}  // namespace heston
