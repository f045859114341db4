// The path simulation on the add-in's thread pool: pools of 1, 2 and 7 threads give the prices
// and standard errors of the serial runner bit for bit, the second run on a pool (its workers
// started) included, with and without Bates jumps.
#include <gtest/gtest.h>

#include <vector>

#include "ThreadPool.h"
#include "pathsimulation/AsianOption.h"

namespace {

TEST(PathSimulationOnThePool, SameBitsAsTheSerialRunnerOnOneTwoAndSevenThreads) {
    const heston::ModelParameters diffusion{0.0175, 0.0398, 1.5768, 0.5751, -0.5711};
    const std::vector<heston::StrikeOption> options = {
        {heston::kCall, 80}, {heston::kCall, 100}, {heston::kPut, 120}};
    const std::vector<double> fixings = {1, 2, 3, 4, 5};
    heston::SimulationSettings settings;
    settings.paths = 20001;
    for (const heston::BatesParameters& model :
         {heston::BatesParameters{diffusion, heston::kNoJumps},
          heston::BatesParameters{diffusion, {0.5, -0.2, 0.15}}}) {
        const auto serial = heston::AsianPrices(100, options, fixings, 0.03, 0.0, model,
                                                heston::AsianAverage::kArithmetic, settings);
        for (int threads : {1, 2, 7}) {
            addin::ThreadPool pool(threads);
            for (int run = 0; run < 2; ++run) {
                const auto pooled =
                    heston::AsianPrices(100, options, fixings, 0.03, 0.0, model,
                                        heston::AsianAverage::kArithmetic, settings, pool);
                for (std::size_t i = 0; i < options.size(); ++i) {
                    EXPECT_EQ(pooled[i].price, serial[i].price) << threads;
                    EXPECT_EQ(pooled[i].standardError, serial[i].standardError) << threads;
                }
            }
        }
    }
}

}  // namespace
