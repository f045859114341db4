// ThreadPool: the add-in's threads for the calibrations' independent tasks (the maturities of
// one surface evaluation), handed to the numerical library as its heston::ParallelFor runner.
//
// Policy against oversubscription: the process has one shared pool of threads - 1 workers, and
// a batch runs on its calling thread plus those workers. Only one batch uses the workers at a
// time; a batch that finds them busy (another cell's calibration on another of Excel's
// recalculation threads) runs serially on its own calling thread, and so does a batch started
// from inside a task. However many cells calibrate at once, the tasks run on at most the
// calling threads plus threads - 1 workers; the pool never starts a thread per call.
//
// The workers start on the first batch of more than one task and stop, joined, in Stop(); a
// batch after Stop() starts them again. SharedThreadPool.h holds the add-in's one instance.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "execution/ParallelFor.h"

namespace addin {

// Threads a pool uses on a machine with `cores` logical processors: all of them, capped by
// the setting HESTON_THREADS when that is a positive whole number (1 turns the pool off).
// No cores reported counts as one; anything else in the setting is ignored.
int PoolSize(const char* setting, unsigned cores);

class ThreadPool final : public heston::ParallelFor {
  public:
    // A pool of `threads` threads in all: the caller of a batch and threads - 1 workers.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    void Run(int count, Task task, void* context) override;

    int Threads() const { return threads_; }
    // Workers running now (0 before the first batch and after Stop).
    int Workers();

    // Waits for the batch in progress, then stops and joins every worker. Not from a task.
    void Stop();

  private:
    struct Batch;
    void StartWorkers();
    void WorkerLoop();

    const int threads_;
    std::mutex busy_;  // held by the one batch that has the workers
    std::mutex mutex_;
    std::condition_variable wake_;      // a new batch, or stop
    std::condition_variable finished_;  // the last worker left the batch
    Batch* batch_ = nullptr;
    std::atomic<std::uint64_t> generation_{0};  // changed under mutex_, watched without it
    int active_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace addin
