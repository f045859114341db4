// The add-in's thread pool: its size and the running of batches on its workers.
#include "ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <exception>
#include <thread>

namespace addin {

namespace {

// More threads than this would only add overhead to batches of a few dozen maturities.
constexpr int kMostThreads = 256;

// How long a worker waits for the next batch, and the caller for the workers to finish, by
// spinning before it sleeps: a calibration starts its next batch within microseconds, while
// waking a sleeping thread (in a virtual machine especially) can take as long as a task. With
// 0.1 ms the second thread of a 2-core machine took under half the DAX surface's tasks; with
// 0.5 ms it took its full share.
constexpr std::chrono::microseconds kSpinTime(500);

inline void Pause() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

// Spins until done() or kSpinTime has passed; true when done.
template <class Done>
bool SpinUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + kSpinTime;
    for (;;) {
        for (int round = 0; round < 64; ++round) {
            if (done()) return true;
            Pause();
        }
        if (std::chrono::steady_clock::now() > end) return done();
        // Lets a thread waiting for this core run: the caller's, or another cell's.
        std::this_thread::yield();
    }
}

// True on a pool's workers, and on a thread while it runs a batch on the workers: a batch
// started there runs serially instead of waiting for workers that may be its own callers.
thread_local bool insidePool = false;

struct InsidePool {
    InsidePool() { insidePool = true; }
    ~InsidePool() { insidePool = false; }
};

}  // namespace

int PoolSize(const char* setting, unsigned cores) {
    int size = static_cast<int>(std::min<unsigned>(std::max(cores, 1u), kMostThreads));
    if (setting != nullptr && *setting != '\0') {
        char* end = nullptr;
        errno = 0;
        const long cap = std::strtol(setting, &end, 10);
        if (errno == 0 && *end == '\0' && cap >= 1) {
            size = std::min<long>(size, std::min<long>(cap, INT_MAX));
        }
    }
    return size;
}

struct ThreadPool::Batch {
    Task task;
    void* context;
    int count;
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    std::exception_ptr error;

    // Claims and runs tasks until none is left; after a failure the rest are only counted.
    void Work() {
        for (;;) {
            const int i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count) return;
            if (!failed.load(std::memory_order_acquire)) {
                try {
                    task(context, i);
                } catch (...) {
                    std::lock_guard<std::mutex> lock(errorMutex);
                    if (!error) error = std::current_exception();
                    failed.store(true, std::memory_order_release);
                }
            }
            done.fetch_add(1, std::memory_order_acq_rel);
        }
    }
};

ThreadPool::ThreadPool(int threads) : threads_(std::max(1, threads)) {}

ThreadPool::~ThreadPool() {
    Stop();
}

int ThreadPool::Workers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(workers_.size());
}

void ThreadPool::StartWorkers() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!workers_.empty()) return;
    // A thread the system refuses leaves the pool with fewer workers (none at worst): the
    // caller still runs every task the workers do not take.
    try {
        workers_.reserve(static_cast<std::size_t>(threads_ - 1));
        for (int w = 1; w < threads_; ++w) workers_.emplace_back([this] { WorkerLoop(); });
    } catch (...) {
    }
}

void ThreadPool::WorkerLoop() {
    insidePool = true;
    std::unique_lock<std::mutex> lock(mutex_);
    std::uint64_t seen = generation_;
    for (;;) {
        lock.unlock();
        SpinUntil([&] { return generation_.load() != seen; });
        lock.lock();
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        Batch* batch = batch_;
        if (batch == nullptr) continue;  // finished before this worker woke
        ++active_;
        lock.unlock();
        batch->Work();
        lock.lock();
        if (--active_ == 0) finished_.notify_all();
    }
}

void ThreadPool::Run(int count, Task task, void* context) {
    if (count <= 0) return;
    if (count == 1 || threads_ == 1 || insidePool || !busy_.try_lock()) {
        heston::Serial().Run(count, task, context);
        return;
    }
    std::lock_guard<std::mutex> busy(busy_, std::adopt_lock);
    StartWorkers();

    Batch batch;
    batch.task = task;
    batch.context = context;
    batch.count = count;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch_ = &batch;
        ++generation_;
    }
    wake_.notify_all();
    {
        InsidePool inside;
        batch.Work();
    }
    SpinUntil([&] { return batch.done.load() == count; });
    {
        // Every task is done and no worker still holds the batch, which lives on this stack.
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [&] { return active_ == 0 && batch.done.load() == count; });
        batch_ = nullptr;
    }
    if (batch.error) std::rethrow_exception(batch.error);
}

void ThreadPool::Stop() {
    std::lock_guard<std::mutex> busy(busy_);
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        workers.swap(workers_);
    }
    wake_.notify_all();
    for (std::thread& worker : workers) worker.join();
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
}

}  // namespace addin
