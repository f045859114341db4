// FiniteDifferencePricer: American and barrier options under the Heston model, with every
// Greek, by finite differences on the pricing equation in spot and variance.
//
// Method (details and references in the headers named):
// - the equation split into its mixed, spot and variance parts on a non-uniform grid dense near
//   the strike, today's spot, the barriers and v = 0, with today's spot, v0, the strike and the
//   barriers on grid lines (HestonOperator.h, ConcentratedMesh.h; in 't Hout & Foulon 2010);
// - the Modified Craig-Sneyd ADI scheme with a damped start, early exercise by Ikonen and
//   Toivanen's operator splitting, steps landing on the observation dates of a discrete barrier
//   (CraigSneydStepping.h);
// - the payoff averaged over the strike's cell at maturity (Pooley, Vetzal & Forsyth 2003);
// - knock-outs on a grid that ends on the barriers (continuous monitoring), which hold the
//   rebate, or that reaches beyond them, knocked at each observation date (discrete
//   monitoring), with time steps graded towards maturity and each observation date;
// - knock-ins by parity, knock-in = vanilla - knock-out of (payoff - rebate) with no rebate,
//   the vanilla from the Fourier pricer (ContourPricer.h). American knock-ins are refused:
//   the holder's choice to exercise before knocking in breaks the parity.
//
// Greeks: delta, gamma and d/d v0 from the grid's differences at today's node, theta from the
// equation there (the time decay, with the observation dates of a discrete barrier fixed in
// calendar time); rho, dividend rho and the derivatives in theta, kappa, sigma and rho by
// central differences of re-solves on the same grid with bumped inputs, which all run at once
// on the runner. Every number is the same bit for bit whatever the runner.
//
// Errors: std::invalid_argument whose text names the input (spot, optionType, strike,
// maturity, rate, dividendYield, a model parameter, barrier, rebate, observations, exercise,
// grid), for an American knock-in too; a grid that needs more memory than a grid may use
// (kMaxGridBytes) is refused with a text. The stop request is polled at every time step
// (CalculationCancelled).
//
// Tested in tests/numerics/finite_difference_*_test.cpp.
#pragma once

#include <cstddef>

#include "execution/ParallelFor.h"
#include "execution/StopRequest.h"
#include "finitedifference/FiniteDifferenceOption.h"
#include "model/ModelParameters.h"
#include "model/PricingTypes.h"

namespace heston {

// The default grids (time steps, spot points, variance points) at maturities up to a year;
// DefaultGrid scales them with the maturity and the spread of ln S. Vanilla options (European or
// American) price Oosterlee's American puts within 1.4e-4, QuantLib's test put within 1e-3 and
// European options within 2e-5 S of the Fourier pricer; barrier options take more spot nodes and
// time steps for the values that bend sharply near a barrier when the variance is low (errors,
// times and convergence in bench/finite_difference_bench.cpp).
constexpr FiniteDifferenceGrid kVanillaGrid{50, 128, 64};
constexpr FiniteDifferenceGrid kBarrierGrid{100, 300, 40};

// Ranges of the grid's entries, and the memory one grid may take (a Greeks calculation runs
// up to one grid per thread at once).
constexpr int kMinTimeSteps = 1, kMaxTimeSteps = 100000;
constexpr int kMinSpotPoints = 8, kMaxSpotPoints = 100000;
constexpr int kMinVariancePoints = 5, kMaxVariancePoints = 100000;
constexpr std::size_t kMaxGridBytes = std::size_t{256} << 20;

double FiniteDifferencePrice(double spot, const FiniteDifferenceOption& option,
                             const ModelParameters& model,
                             const FiniteDifferenceGrid& grid = FiniteDifferenceGrid{},
                             const StopRequest& stop = StopRequest{});

Greeks FiniteDifferenceGreeks(double spot, const FiniteDifferenceOption& option,
                              const ModelParameters& model,
                              const FiniteDifferenceGrid& grid = FiniteDifferenceGrid{},
                              ParallelFor& runner = Serial(),
                              const StopRequest& stop = StopRequest{});

// The grid an option is priced on by default:
// - no barrier: kVanillaGrid, its time steps times sqrt(T) beyond a year (at most twice);
// - barriers: kBarrierGrid, its time steps times sqrt(T) (from half to twice), and at least two
//   steps per observation period of a discrete barrier (up to 1000 steps in all);
// - either: the spot points times s / 0.3 where the spread s = sqrt(max(v0, theta) T) of ln S
//   exceeds 0.3 (at most twice), for the wider spot axis of long or volatile options.
FiniteDifferenceGrid DefaultGrid(const FiniteDifferenceOption& option,
                                 const ModelParameters& model);

// Throws std::invalid_argument naming the grid when an entry is neither 0 (its default) nor in
// its range, or the grid (its default entries at their largest) would need more than
// kMaxGridBytes.
void CheckGrid(const FiniteDifferenceGrid& grid);

// The grid option is priced on: grid's entries, with DefaultGrid(option, model)'s for each
// zero entry, after CheckGrid(grid).
FiniteDifferenceGrid ResolveGrid(const FiniteDifferenceGrid& grid,
                                 const FiniteDifferenceOption& option,
                                 const ModelParameters& model);

}  // namespace heston
