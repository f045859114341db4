// FiniteDifferencePricing: the worksheet side of the finite-difference pricer, shared by
// heston_Price and heston_Greeks (Exercise "American") and by heston_BarrierPrice and
// heston_BarrierGreeks.
//
// One option is priced on the calling thread (its Greeks' re-solves on the shared pool); an
// array of options runs one option per task on the shared pool. Esc is polled through the
// calling thread. An option that cannot be read or priced is #NUM! in an array; a single
// option shows the text of its problem.
#pragma once

#include "CellMatrix.h"
#include "OptionArguments.h"
#include "finitedifference/FiniteDifferenceOption.h"
#include "model/BatesParameters.h"
#include "model/ModelParameters.h"

namespace addin {

struct FiniteDifferenceTerms {
    heston::ExerciseStyle exercise = heston::ExerciseStyle::European;
    heston::Barrier barrier;
    heston::FiniteDifferenceGrid grid;
};

// The grid carries the Heston model only: jumps of a positive intensity are refused with a
// text naming the Jumps argument (std::invalid_argument). lambda = 0 is the Heston model and
// passes.
void RefuseJumps(const heston::JumpParameters& jumps);

// Prices in the grid's shape.
xlf::CellMatrix FiniteDifferencePrices(const OptionGrid& options, double spot,
                                       const heston::ModelParameters& model,
                                       const FiniteDifferenceTerms& terms);

// The Greeks table: names, then one column per option of the grid, row by row.
xlf::CellMatrix FiniteDifferenceGreeksTable(const OptionGrid& options, double spot,
                                            const heston::ModelParameters& model,
                                            const FiniteDifferenceTerms& terms);

}  // namespace addin
