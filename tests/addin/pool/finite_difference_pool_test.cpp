// The finite-difference pricer on the add-in's thread pool: the Greeks' bumped re-solves and a
// batch of options priced one per task (as heston_Price and heston_BarrierPrice price an array)
// give bit for bit the serial numbers on pools of 1, 2 and 7 threads.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ThreadPool.h"
#include "finitedifference/FiniteDifferencePricer.h"

namespace {

using addin::ThreadPool;
using heston::FiniteDifferenceOption;

const heston::ModelParameters kModel{0.04, 0.05, 2.0, 0.5, -0.6};
// Small grids: the thread count, not the accuracy, is under test.
const heston::FiniteDifferenceGrid kGrid{20, 48, 12};

std::vector<FiniteDifferenceOption> Batch() {
    std::vector<FiniteDifferenceOption> options;
    for (double strike : {80.0, 95.0, 100.0, 105.0, 120.0}) {
        for (int type : {heston::kCall, heston::kPut}) {
            FiniteDifferenceOption o;
            o.optionType = type;
            o.strike = strike;
            o.maturity = 0.75;
            o.rate = 0.03;
            o.dividendYield = 0.01;
            o.exercise = heston::ExerciseStyle::American;
            o.barrier.type =
                type == heston::kCall ? heston::BarrierType::UpOut : heston::BarrierType::DownOut;
            o.barrier.lower = 70.0;
            o.barrier.upper = 140.0;
            o.barrier.rebate = 0.5;
            options.push_back(o);
        }
    }
    return options;
}

TEST(FiniteDifferencePool, BatchesAndGreeksAreTheSameOnPoolsOf1_2And7Threads) {
    const std::vector<FiniteDifferenceOption> options = Batch();
    const int count = static_cast<int>(options.size());
    std::vector<double> serial(count);
    for (int i = 0; i < count; ++i)
        serial[i] = heston::FiniteDifferencePrice(100.0, options[i], kModel, kGrid);
    const heston::Greeks serialGreeks =
        heston::FiniteDifferenceGreeks(100.0, options[3], kModel, kGrid);

    for (int threads : {1, 2, 7}) {
        ThreadPool pool(threads);
        std::vector<double> prices(count);
        auto price = [&](int i) {
            prices[i] = heston::FiniteDifferencePrice(100.0, options[i], kModel, kGrid);
        };
        pool.ForEach(count, price);
        EXPECT_EQ(std::memcmp(prices.data(), serial.data(), count * sizeof(double)), 0)
            << threads << " threads";
        const heston::Greeks greeks =
            heston::FiniteDifferenceGreeks(100.0, options[3], kModel, kGrid, pool);
        EXPECT_EQ(std::memcmp(&greeks, &serialGreeks, sizeof greeks), 0) << threads << " threads";
        pool.Stop();
    }
}

}  // namespace
