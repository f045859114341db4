// The add-in's thread pool: its size from the processor count and HESTON_THREADS, every task
// run once with exceptions passed on, workers started lazily and joined at Stop, the policy
// against oversubscription under many concurrent callers, and the calibrations' numbers on
// pools of 1, 2 and 7 threads, bit for bit those of the serial runner.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ThreadPool.h"
#include "calibration/Calibration.h"
#include "closedform/ClosedFormGrid.h"
#include "closedform/Heston.h"
#include "observation_csv.h"
#include "process_threads.h"

namespace {

using addin::PoolSize;
using addin::ThreadPool;
using test_support::ProcessThreads;
using test_support::ProcessThreadsSettledAt;
using test_support::QuoteTable;
using test_support::ThreadsBefore;
using Vector = std::vector<double>;

QuoteTable Dax() {
    return test_support::ReadObservationCsv(HESTON_EXAMPLES_DIR "/dax-surface.csv",
                                            test_support::kDaxSpot);
}

bool SameBits(const Vector& a, const Vector& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(ThreadPoolSize, AllCoresCappedByTheSetting) {
    EXPECT_EQ(PoolSize(nullptr, 8), 8);
    EXPECT_EQ(PoolSize("", 8), 8);
    EXPECT_EQ(PoolSize("3", 8), 3);
    EXPECT_EQ(PoolSize("1", 8), 1);      // off
    EXPECT_EQ(PoolSize("32", 8), 8);     // a cap, never more threads than cores
    EXPECT_EQ(PoolSize(nullptr, 0), 1);  // no processor count known
    // Anything but a positive whole number is ignored.
    for (const char* ignored : {"0", "-2", "four", "4x", " ", "99999999999999999999"}) {
        EXPECT_EQ(PoolSize(ignored, 8), 8) << ignored;
    }
}

TEST(ThreadPool, RunsEveryTaskOnceAndStartsWorkersOnlyWhenNeeded) {
    const int before = ThreadsBefore();
    ThreadPool pool(3);
    EXPECT_EQ(pool.Threads(), 3);
    EXPECT_EQ(pool.Workers(), 0);
    std::vector<std::atomic<int>> hits(200);
    auto hit = [&](int i) { ++hits[i]; };
    pool.ForEach(1, hit);  // one task: the caller runs it alone
    pool.ForEach(0, hit);
    EXPECT_EQ(pool.Workers(), 0);
    EXPECT_EQ(ProcessThreads(), before);

    pool.ForEach(200, hit);
    EXPECT_EQ(pool.Workers(), 2);
    EXPECT_EQ(ProcessThreads(), before + 2);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(hits[i], i == 0 ? 2 : 1) << i;

    pool.Stop();
    EXPECT_EQ(pool.Workers(), 0);
    EXPECT_EQ(ProcessThreadsSettledAt(before), before);
    // A batch after Stop starts the workers again.
    pool.ForEach(200, hit);
    EXPECT_EQ(pool.Workers(), 2);
    EXPECT_EQ(hits[199], 2);
    pool.Stop();
    pool.Stop();  // twice is harmless
    EXPECT_EQ(ProcessThreadsSettledAt(before), before);

    ThreadPool off(1);
    std::set<std::thread::id> ran;
    auto record = [&](int) { ran.insert(std::this_thread::get_id()); };
    off.ForEach(50, record);
    EXPECT_EQ(off.Workers(), 0);
    EXPECT_EQ(ran, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(ThreadPool, PassesAnExceptionOnAndStaysUsable) {
    ThreadPool pool(4);
    std::atomic<int> ran{0};
    auto failing = [&](int i) {
        ++ran;
        if (i == 3) throw std::runtime_error("task 3 failed");
    };
    try {
        pool.ForEach(64, failing);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "task 3 failed");
    }
    EXPECT_GE(ran.load(), 4);
    EXPECT_LE(ran.load(), 64);
    // The library's plain character strings pass through as well.
    auto text = [](int) { throw "Mismatch in the observation data"; };
    EXPECT_THROW(pool.ForEach(8, text), const char*);

    std::atomic<int> after{0};
    auto count = [&](int) { ++after; };
    pool.ForEach(64, count);
    EXPECT_EQ(after.load(), 64);
}

// The policy: one batch at a time has the workers; a batch from inside a task, or one that
// finds the workers busy, runs serially on its own calling thread.
TEST(ThreadPool, BusyOrNestedBatchesRunOnTheirCallingThread) {
    ThreadPool pool(3);

    std::mutex mutex;
    std::set<std::thread::id> outer;
    bool nestedInline = true;
    auto nested = [&](int) {
        const std::thread::id self = std::this_thread::get_id();
        std::set<std::thread::id> inner;
        auto innerTask = [&](int) { inner.insert(std::this_thread::get_id()); };
        pool.ForEach(6, innerTask);
        std::lock_guard<std::mutex> lock(mutex);
        outer.insert(self);
        nestedInline = nestedInline && inner == std::set<std::thread::id>{self};
    };
    pool.ForEach(30, nested);
    EXPECT_TRUE(nestedInline);

    // Batch A holds the workers until batch B, from another thread, has finished.
    std::condition_variable changed;
    bool aStarted = false;
    bool bDone = false;
    auto blocking = [&](int i) {
        std::unique_lock<std::mutex> lock(mutex);
        if (i == 0) {
            aStarted = true;
            changed.notify_all();
        }
        changed.wait(lock, [&] { return bDone; });
    };
    std::thread a([&] { pool.ForEach(3, blocking); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return aStarted; });
    }
    std::set<std::thread::id> ranB;
    auto recordB = [&](int) { ranB.insert(std::this_thread::get_id()); };
    pool.ForEach(8, recordB);
    EXPECT_EQ(ranB, std::set<std::thread::id>{std::this_thread::get_id()});
    {
        std::lock_guard<std::mutex> lock(mutex);
        bDone = true;
    }
    changed.notify_all();
    a.join();
}

// Wraps the pool and records, from inside every task, which threads ran tasks and how many
// threads the process had.
class Watching final : public heston::ParallelFor {
  public:
    explicit Watching(ParallelFor& runner) : runner_(runner) {}

    void Run(int count, Task task, void* context) override {
        struct Call {
            Watching* self;
            Task task;
            void* context;
        } call{this, task, context};
        runner_.Run(
            count,
            [](void* c, int i) {
                Call& call = *static_cast<Call*>(c);
                call.self->Record();
                call.task(call.context, i);
            },
            &call);
    }

    void Record() {
        const int threads = ProcessThreads();
        std::lock_guard<std::mutex> lock(mutex_);
        ids_.insert(std::this_thread::get_id());
        mostThreads_ = std::max(mostThreads_, threads);
    }

    std::size_t DistinctThreads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ids_.size();
    }
    int MostThreads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return mostThreads_;
    }

  private:
    ParallelFor& runner_;
    std::mutex mutex_;
    std::set<std::thread::id> ids_;
    int mostThreads_ = 0;
};

// Many cells pricing the DAX surface at once through one pool of 3: the tasks run on the 16
// callers and the pool's 2 workers only, the process never holds more threads than those, and
// every price is the serial one.
TEST(ThreadPool, ManyConcurrentCallersShareTheWorkersWithoutAddingThreads) {
    const QuoteTable t = Dax();
    const int n = static_cast<int>(t.Size());
    const heston::ModelParameters p{0.04, 0.05, 1.8, 0.5, -0.7};
    Vector serial(n);
    heston::closedform::ClosedFormPrices(t.spot, t.strike.data(), t.maturity.data(), t.rate.data(),
                                         t.type.data(), n, p, 0.0, 1e-6, serial.data());

    const int before = ThreadsBefore();
    constexpr int kCallers = 16;
    constexpr int kCallsEach = 6;
    ThreadPool pool(3);
    Watching watching(pool);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) {
        callers.emplace_back([&] {
            for (int call = 0; call < kCallsEach; ++call) {
                Vector prices(n);
                heston::closedform::ClosedFormPrices(t.spot, t.strike.data(), t.maturity.data(),
                                                     t.rate.data(), t.type.data(), n, p, 0.0, 1e-6,
                                                     prices.data(), watching);
                if (!SameBits(prices, serial)) ++mismatches;
            }
        });
    }
    for (std::thread& caller : callers) caller.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_LE(watching.DistinctThreads(), static_cast<std::size_t>(kCallers + 2));
    EXPECT_LE(watching.MostThreads(), before + kCallers + 2);
    EXPECT_LE(pool.Workers(), 2);
    pool.Stop();
    EXPECT_EQ(ProcessThreadsSettledAt(before), before);
}

TEST(ThreadPool, CalibrationsAreTheSameOnPoolsOf1_2And7Threads) {
    const QuoteTable t = Dax();
    const int n = static_cast<int>(t.Size());
    const heston::ModelParameters p{0.05, 0.04, 1.2, 0.6, -0.5};
    const Vector lower{0.001, 0.001, 0.1, 0.05, -0.99};
    const Vector upper{0.5, 0.5, 10.0, 1.5, 0.99};
    const Vector guess{0.04, 0.05, 2.0, 0.5, -0.6};

    Vector serialPrices(n);
    heston::closedform::ClosedFormPrices(t.spot, t.strike.data(), t.maturity.data(), t.rate.data(),
                                         t.type.data(), n, p, 0.0, 1e-13, serialPrices.data());
    const Vector serialFit =
        heston_CalibrateLevMar(lower, upper, guess, t.strike, t.maturity, t.type, t.observed,
                               t.spot, t.rate, t.weight, 30);
    for (int threads : {1, 2, 7}) {
        ThreadPool pool(threads);
        Vector prices(n);
        heston::closedform::ClosedFormPrices(t.spot, t.strike.data(), t.maturity.data(),
                                             t.rate.data(), t.type.data(), n, p, 0.0, 1e-13,
                                             prices.data(), pool);
        EXPECT_TRUE(SameBits(prices, serialPrices)) << threads << " threads";
        const Vector fit =
            heston_CalibrateLevMar(lower, upper, guess, t.strike, t.maturity, t.type, t.observed,
                                   t.spot, t.rate, t.weight, 30, heston::StopRequest(), pool);
        EXPECT_TRUE(SameBits(fit, serialFit)) << threads << " threads";
        EXPECT_EQ(pool.Workers(), threads - 1);
    }
}

}  // namespace
