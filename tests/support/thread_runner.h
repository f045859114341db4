// ThreadRunner: a heston::ParallelFor for the tests that runs each batch on a given number of
// threads started for it, thread t taking tasks t, t + threads, ... from the last down, so
// that tasks run in another order and on other threads than the serial runner's.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "execution/ParallelFor.h"

namespace test_support {

class ThreadRunner final : public heston::ParallelFor {
  public:
    explicit ThreadRunner(int threads) : threads_(threads) {}

    void Run(int count, Task task, void* context) override {
        ++batches_;
        std::exception_ptr error;
        std::mutex errorMutex;
        auto work = [&](int t) {
            {
                std::lock_guard<std::mutex> lock(errorMutex);
                ids_.insert(std::this_thread::get_id());
            }
            const int last = count - 1 - (count - 1 - t) % threads_;
            for (int i = last; i >= t; i -= threads_) {
                try {
                    task(context, i);
                } catch (...) {
                    std::lock_guard<std::mutex> lock(errorMutex);
                    if (!error) error = std::current_exception();
                }
            }
        };
        std::vector<std::thread> started;
        for (int t = 1; t < threads_ && t < count; ++t) started.emplace_back(work, t);
        if (count > 0) work(0);
        for (std::thread& thread : started) thread.join();
        if (error) std::rethrow_exception(error);
    }

    // Batches run, and the distinct threads that ran tasks, since construction.
    int Batches() const { return batches_; }
    std::size_t DistinctThreads() const { return ids_.size(); }

  private:
    const int threads_;
    std::atomic<int> batches_{0};
    std::set<std::thread::id> ids_;
};

}  // namespace test_support
