// PathSimulation: Monte Carlo paths of the Heston model by Andersen's quadratic-exponential
// scheme with the martingale correction, in antithetic pairs, with random numbers addressed
// by seed, pair and time step, and the statistics of a product's discounted payoffs.
//
// References:
//   L. Andersen, "Simple and efficient simulation of the Heston stochastic volatility model",
//     Journal of Computational Finance 11 (2008) 1-42 (the QE step of the variance: a moment-
//     matched quadratic of a normal where the variance is well above zero, psi <= 1.5, and a
//     mass at zero with an exponential tail elsewhere; the log-spot step with central
//     weights gamma1 = gamma2 = 1/2; the correction of its constant that makes the discounted
//     spot a martingale of the discrete scheme).
//   J. K. Salmon et al., "Parallel random numbers: as easy as 1, 2, 3", SC11, 2011 (Philox.h).
//   M. J. Wichura, Algorithm AS 241, Applied Statistics 37 (1988) (InverseNormal.h).
//
// The time grid: the product's event dates (fixings, reset, monitoring dates, maturity),
// each interval between two of them split into equal steps no longer than 1 / stepsPerYear.
//
// Randomness: pair i's two uniforms at step k are Philox4x32-10 of counter (k, stream 0, i)
// under the key seed: the spot's normal is Phi^-1 of the first, the variance's the second
// (its uniform itself in the exponential branch). The antithetic partner takes 1 - u for both,
// exactly. A path is thus the same whichever thread makes it.
//
// Determinism: pairs are simulated in blocks of kPairsPerBlock, each block one task of the
// runner, in batches of 1024 blocks; a block's statistics (count, mean, sum of squared
// deviations) are combined with the others in block order after its batch, so that memory
// stays bounded whatever the number of paths. Everything, the exponentials and logarithms
// included, is IEEE arithmetic in a fixed order (vectormath's kernels, no C library
// functions, no fused multiply-adds), so the results are the same bits for any runner, any
// number of threads, and natively and under Windows.
//
// Statistics: the sample of a pair is the mean of its two paths' discounted payoffs (a pair is
// one sample), so the standard error sqrt(variance / pairs) counts the antithetic pairs
// honestly; a product that subtracts a control variate does so inside its sample.
//
// Stop: the calling thread asks the stop request between time steps of the blocks it runs
// (the add-in's pool runs tasks on the calling thread too); when it says stop, blocks not yet
// started are skipped, the others end at their next step, and CalculationCancelled is
// thrown. Only the calling thread ever asks, so a request that calls back into a host is
// never made from a worker.
//
// Jumps (the Bates model, lambda > 0): after the diffusion of each step the log spot gains the
// step's compound Poisson jumps less their compensator, lambda m dt with m = E[exp(J)] - 1,
// which keeps the discounted spot a martingale of the discrete scheme exactly. The number of
// jumps N is Poisson(lambda dt), drawn by inversion of its distribution function (tabulated
// once per step length, from the mode outward by the ratios of neighbouring probabilities and
// then normalised: integer ratios and one sum, no exponential, the same bits everywhere); their
// sum is N muJ + deltaJ sqrt(N) Z. The uniforms are those of counter stream 1 of the same pair
// and step: the first for N, the second for Z (drawn only when a path of the pair jumps); the
// antithetic partner takes 1 - u for both. Every diffusion draw stays as it is, and lambda = 0
// takes the jump-free code: the Heston numbers bit for bit.
//
// Reference for the jumps:
//   D. S. Bates, "Jumps and stochastic volatility: exchange rate processes implicit in
//     Deutsche Mark options", Rev. Financial Studies 9 (1996) 69-107.
//
// Tested in tests/numerics/path_simulation_test.cpp and jump_simulation_test.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "execution/ParallelFor.h"
#include "execution/StopRequest.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"
#include "vectormath/VectorWidth.h"

namespace heston {

constexpr std::int64_t kDefaultPaths = 100000;
constexpr std::uint64_t kDefaultSeed = 1;
constexpr int kDefaultStepsPerYear = 24;

// Most jumps expected in one time step, lambda dt: the Poisson table then has about 2000
// entries.
constexpr double kMaxJumpsPerStep = 1e4;

// Largest number of paths (days of work; the pair index must fit the generator's counter).
constexpr std::int64_t kMaxPaths = std::int64_t(1) << 40;

struct SimulationSettings {
    std::int64_t paths = kDefaultPaths;  // in antithetic pairs: an odd count gets one more
    std::uint64_t seed = kDefaultSeed;
    int stepsPerYear = kDefaultStepsPerYear;
    StopRequest stop;  // empty: never stop
    // The vector loops of a step: the widest the processor has (AVX2) or SSE2; the same
    // numbers bit for bit either way.
    VectorWidth width = VectorWidth::kWidest;
};

struct SimulatedPrice {
    double price;
    double standardError;
};

// What a product sees of a block of paths, and what it makes of them. A block holds
// 2 * kPairsPerBlock paths: path p < kPairsPerBlock of pair p and path p + kPairsPerBlock its
// antithetic partner (pairs beyond the block's count are simulated but never sampled).
class PathProduct {
  public:
    static constexpr int kPairsPerBlock = 32;
    static constexpr int kPaths = 2 * kPairsPerBlock;

    virtual ~PathProduct() = default;
    // Number of values sampled per pair (one per strike, say).
    virtual int Outputs() const = 0;
    // Doubles of state per path, zeroed before the first event.
    virtual int StateSize() const = 0;
    // Event e of the product's dates has happened: logSpot = ln(S / S(0)) and spot = S of the
    // kPaths paths. state[StateSize() * path + j] is the path's state.
    virtual void Observe(int event, const double* logSpot, const double* spot,
                         double* state) const = 0;
    // samples[output * kPairsPerBlock + p] = the sample of pair p from the paths' states after
    // the last event (the pair's mean, undiscounted).
    virtual void Samples(const double* state, int pairs, double* samples) const = 0;
};

struct PathStatistics {
    std::vector<double> mean;           // per output
    std::vector<double> standardError;  // per output: sqrt(sample variance / pairs)
    std::int64_t pairs = 0;
};

// Simulates settings.paths paths from spot and v0 over the event dates (ascending, not
// negative; an event at 0 sees the spot) and returns the statistics of the product's samples.
// Throws std::invalid_argument naming Paths when it is not positive or above kMaxPaths, when
// the dates or the steps per year give no grid, or naming Jumps when a step would expect more
// than kMaxJumpsPerStep jumps; CalculationCancelled on a stop.
PathStatistics SimulatePaths(double spot, const std::vector<double>& eventTimes, double rate,
                             double dividendYield, const BatesParameters& model,
                             const PathProduct& product, const SimulationSettings& settings,
                             ParallelFor& runner = Serial());
// The Heston model: no jumps.
PathStatistics SimulatePaths(double spot, const std::vector<double>& eventTimes, double rate,
                             double dividendYield, const ModelParameters& model,
                             const PathProduct& product, const SimulationSettings& settings,
                             ParallelFor& runner = Serial());

// out[i] = scale * exp(x[i]) with the library's exponential, the same bits on every platform.
void ScaledExp(const double* x, int n, double scale, double* out);

// Steps of the grid for these dates: for a README's path-step counts and the benchmarks.
std::int64_t SimulationSteps(const std::vector<double>& eventTimes, int stepsPerYear);

}  // namespace heston
