// FiniteDifferenceOption: what the finite-difference pricer prices: a call or a put with
// European or American exercise, optionally with one or two barriers and a rebate, and the
// size of the grid it is priced on.
#pragma once

namespace heston {

enum class ExerciseStyle { European, American };

enum class BarrierType { None, DownOut, DownIn, UpOut, UpIn, DoubleOut, DoubleIn };

// Barriers and rebate. Down types use lower, up types upper, double types both
// (lower < upper). A knock-out pays the rebate when it knocks out (at the hit, or at the
// observation date that knocks it); a knock-in pays the rebate at maturity when it never
// knocked in.
//
// observations = 0: continuous monitoring; a spot already on or beyond a barrier has knocked
// (a knock-out is worth its rebate, a knock-in is the vanilla option).
// observations = n > 0: the barriers are observed at T/n, 2T/n, ..., T only, so today's spot
// alone never knocks. A spot exactly on a barrier at an observation has knocked.
struct Barrier {
    BarrierType type = BarrierType::None;
    double lower = 0.0;
    double upper = 0.0;
    double rebate = 0.0;
    int observations = 0;
};

struct FiniteDifferenceOption {
    int optionType = 0;  // kCall or kPut
    double strike = 0.0;
    double maturity = 0.0;
    double rate = 0.0;           // continuously compounded, per year
    double dividendYield = 0.0;  // continuously compounded, per year
    ExerciseStyle exercise = ExerciseStyle::European;
    Barrier barrier;
};

// The grid: time steps over the option's life, nodes along the spot axis and along the
// variance axis. A zero entry takes the default.
struct FiniteDifferenceGrid {
    int timeSteps = 0;
    int spotPoints = 0;
    int variancePoints = 0;
};

}  // namespace heston
