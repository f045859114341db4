#include "ExerciseArguments.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "finitedifference/FiniteDifferencePricer.h"

namespace addin {

namespace {

// The argument's one text, in lower case, or "" when it is not a single text.
std::string SingleText(const GridArgument& argument) {
    if (!argument.IsSingle()) return "";
    const xlf::MatrixCell& cell = argument.Element(0);
    if (!cell.IsText() && !cell.IsWideText()) return "";
    return cell.LowerCaseText();
}

// The numbers of the argument, row by row; empty cells are passed over, anything else is
// refused with message.
std::vector<double> Numbers(const GridArgument& argument, const char* message) {
    std::vector<double> numbers;
    for (std::size_t k = 0; k < argument.Count(); ++k) {
        const xlf::MatrixCell& cell = argument.Element(k);
        if (cell.IsEmpty()) continue;
        double value = 0.0;
        std::string problem;
        if (!ReadNumber(cell, argument.name, value, problem)) throw std::invalid_argument(message);
        numbers.push_back(value);
    }
    return numbers;
}

bool IsWhole(double x, double lowest, double highest) {
    return std::isfinite(x) && x == std::floor(x) && x >= lowest && x <= highest;
}

}  // namespace

heston::ExerciseStyle ReadExercise(const GridArgument& argument) {
    if (IsOmitted(argument)) return heston::ExerciseStyle::European;
    const std::string text = SingleText(argument);
    if (text == "european") return heston::ExerciseStyle::European;
    if (text == "american") return heston::ExerciseStyle::American;
    throw std::invalid_argument(
        "Exercise: use \"European\" or \"American\", or leave it out for \"European\"");
}

heston::BarrierType ReadBarrierType(const GridArgument& argument) {
    const std::string text = SingleText(argument);
    if (text == "downout") return heston::BarrierType::DownOut;
    if (text == "downin") return heston::BarrierType::DownIn;
    if (text == "upout") return heston::BarrierType::UpOut;
    if (text == "upin") return heston::BarrierType::UpIn;
    if (text == "doubleout") return heston::BarrierType::DoubleOut;
    if (text == "doublein") return heston::BarrierType::DoubleIn;
    throw std::invalid_argument(
        "BarrierType: use \"DownOut\", \"DownIn\", \"UpOut\", \"UpIn\", \"DoubleOut\" or "
        "\"DoubleIn\"");
}

void ReadBarrierLevels(const GridArgument& argument, heston::Barrier& barrier) {
    const bool isDouble = barrier.type == heston::BarrierType::DoubleOut ||
                          barrier.type == heston::BarrierType::DoubleIn;
    const std::vector<double> levels =
        Numbers(argument, isDouble ? "Barrier: two numbers, the lower and the upper barrier"
                                   : "Barrier: one number, the barrier level");
    if (isDouble) {
        if (levels.size() != 2)
            throw std::invalid_argument(
                "Barrier: a double barrier needs two numbers, the lower and the upper barrier");
        if (!(levels[0] > 0.0) || !std::isfinite(levels[1]))
            throw std::invalid_argument("Barrier: the barriers must be positive numbers");
        if (!(levels[0] < levels[1]))
            throw std::invalid_argument(
                "Barrier: the lower barrier must be below the upper barrier");
        barrier.lower = levels[0];
        barrier.upper = levels[1];
        return;
    }
    if (levels.size() != 1)
        throw std::invalid_argument("Barrier: a single barrier needs exactly one number");
    if (!(levels[0] > 0.0) || !std::isfinite(levels[0]))
        throw std::invalid_argument("Barrier: the barrier must be a positive number");
    barrier.lower = barrier.upper = levels[0];
}

double ReadRebate(const GridArgument& argument) {
    if (IsOmitted(argument)) return 0.0;
    const std::vector<double> values = Numbers(argument, "Rebate: one number, at least 0");
    if (values.size() != 1 || !(values[0] >= 0.0) || !std::isfinite(values[0]))
        throw std::invalid_argument("Rebate: one number, at least 0");
    return values[0];
}

int ReadMonitoring(const GridArgument& argument) {
    constexpr const char* kMessage =
        "Monitoring: 0 or left out for continuous monitoring, or a whole number of observations "
        "from 1 to 100000";
    if (IsOmitted(argument)) return 0;
    const std::vector<double> values = Numbers(argument, kMessage);
    if (values.size() != 1 || !IsWhole(values[0], 0, 100000)) throw std::invalid_argument(kMessage);
    return static_cast<int>(values[0]);
}

heston::FiniteDifferenceGrid ReadFiniteDifferenceGrid(const GridArgument& argument) {
    constexpr const char* kMessage =
        "Grid: three whole numbers, time steps, spot points and variance points (0 for a "
        "default)";
    if (IsOmitted(argument)) return heston::FiniteDifferenceGrid{};
    const std::vector<double> values = Numbers(argument, kMessage);
    if (values.size() != 3) throw std::invalid_argument(kMessage);
    for (double x : values) {
        if (!IsWhole(x, 0, 1e9)) throw std::invalid_argument(kMessage);
    }
    const heston::FiniteDifferenceGrid grid{
        static_cast<int>(values[0]), static_cast<int>(values[1]), static_cast<int>(values[2])};
    try {
        heston::CheckGrid(grid);
        return grid;
    } catch (const std::invalid_argument& e) {
        // The library's "grid: ..." under the argument's name.
        std::string text = e.what();
        if (text.rfind("grid", 0) == 0) text[0] = 'G';
        throw std::invalid_argument(text);
    }
}

struct CallerThreadStop::State {
    heston::StopRequest request;
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> stopped{false};
};

CallerThreadStop::CallerThreadStop(heston::StopRequest request)
    : state_(std::make_shared<State>()) {
    state_->request = std::move(request);
}

heston::StopRequest CallerThreadStop::Request() {
    heston::StopRequest task;
    task.interval = state_->request.interval;
    if (!state_->request.shouldStop) return task;
    std::shared_ptr<State> state = state_;
    task.shouldStop = [state] {
        if (std::this_thread::get_id() == state->caller && state->request.shouldStop())
            state->stopped.store(true);
        return state->stopped.load();
    };
    return task;
}

}  // namespace addin
