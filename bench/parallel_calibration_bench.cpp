// The calibrations of the DAX surface (8 maturities x 13 strikes) with their surface
// evaluations split by maturity over the add-in's thread pool: Differential Evolution with 50
// generations, Levenberg-Marquardt from a fixed guess and the contour calibration without an
// initial guess (its global phase's grid points and short runs are tasks too), each run
// alternately on the serial runner and on a pool of `threads` threads, with the same result
// checked bit for bit where the calibration repeats exactly.
//
// Counters, per calibration:
//   serial_ms, parallel_ms   wall-clock time of one calibration on 1 and on `threads` threads;
//   speedup_wall             their ratio (only meaningful on an otherwise idle machine);
//   speedup_cpu              the same ratio from thread CPU times, which other processes on a
//                            shared machine do not inflate: the serial calibration's CPU time
//                            over the parallel one's critical path (the calling thread's CPU
//                            outside batches plus, for every batch, the busiest thread's CPU
//                            inside tasks); it leaves out the time threads wait for each other;
//   model_2, model_8, model_32  the speed-up on 2, 8 and 32 threads that the serial run's task
//                            times allow: each batch's tasks scheduled greedily in the pool's
//                            order, without the cost of waking threads;
//   serial_cpu_ms, parallel_cpu_ms  the two CPU figures of speedup_cpu;
//   serial_task_cpu_ms, parallel_task_cpu_ms  CPU inside tasks, summed over threads;
//   worker_share             the share of the tasks' CPU that the pool's workers ran (low when
//                            other processes keep the workers from being scheduled);
//   heap_kb_1, heap_kb_N     peak heap in use during one calibration above its start.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "ThreadPool.h"
#include "calibration/Calibration.h"
#include "calibration/ContourCalibration.h"
#include "closedform/Heston.h"
#include "observation_csv.h"

// Heap accounting for the whole benchmark program: bytes in use and their peak.
namespace {
std::atomic<long long> heapInUse{0};
std::atomic<long long> heapPeak{0};

void* Allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const long long now = heapInUse += static_cast<long long>(malloc_usable_size(p));
    long long peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void Release(void* p) {
    if (p == nullptr) return;
    heapInUse -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

namespace {

using Vector = std::vector<double>;

double ThreadCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double WallSeconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Runs batches on another runner and times every task in thread CPU.
class TaskTimer final : public heston::ParallelFor {
  public:
    explicit TaskTimer(ParallelFor& runner) : runner_(runner) {}

    void Run(int count, Task task, void* context) override {
        times_.assign(static_cast<std::size_t>(count), 0.0);
        owners_.assign(static_cast<std::size_t>(count), std::thread::id());
        struct Call {
            TaskTimer* self;
            Task task;
            void* context;
        } call{this, task, context};
        const double before = ThreadCpuSeconds();
        runner_.Run(
            count,
            [](void* c, int i) {
                Call& call = *static_cast<Call*>(c);
                const double start = ThreadCpuSeconds();
                call.task(call.context, i);
                call.self->times_[i] = ThreadCpuSeconds() - start;
                call.self->owners_[i] = std::this_thread::get_id();
            },
            &call);
        // The caller's CPU in the batch, its own tasks and any spinning while it waited.
        callerInRuns_ += ThreadCpuSeconds() - before;
        // Per thread of this batch: its CPU inside tasks; the busiest is the critical path.
        std::vector<std::pair<std::thread::id, double>> perThread;
        const std::thread::id caller = std::this_thread::get_id();
        for (int i = 0; i < count; ++i) {
            inTasks_ += times_[i];
            if (owners_[i] != caller) byWorkers_ += times_[i];
            auto slot = std::find_if(perThread.begin(), perThread.end(),
                                     [&](const auto& e) { return e.first == owners_[i]; });
            if (slot == perThread.end()) {
                perThread.emplace_back(owners_[i], times_[i]);
            } else {
                slot->second += times_[i];
            }
        }
        double busiest = 0.0;
        for (const auto& e : perThread) busiest = std::max(busiest, e.second);
        critical_ += busiest;
        for (int k = 0; k < 3; ++k) modelled_[k] += Makespan(kModelThreads[k]);
    }

    // Clears the totals; the calling thread's CPU is read from here on.
    void Start() {
        critical_ = callerInRuns_ = 0.0;
        modelled_[0] = modelled_[1] = modelled_[2] = 0.0;
        inTasks_ = byWorkers_ = 0.0;
        callerStart_ = ThreadCpuSeconds();
    }
    // The critical path since Start, in CPU seconds.
    double CriticalPath() const {
        return (ThreadCpuSeconds() - callerStart_ - callerInRuns_) + critical_;
    }
    // The share of the tasks' CPU that threads other than the caller ran.
    double WorkerShare() const { return inTasks_ > 0.0 ? byWorkers_ / inTasks_ : 0.0; }
    // CPU seconds in all tasks.
    double InTasks() const { return inTasks_; }
    // The same on kModelThreads[k] threads, from the tasks' times.
    double Modelled(int k) const {
        return (ThreadCpuSeconds() - callerStart_ - callerInRuns_) + modelled_[k];
    }

    static constexpr int kModelThreads[3] = {2, 8, 32};

  private:
    double Makespan(int threads) const {
        std::vector<double> freeAt(static_cast<std::size_t>(threads), 0.0);
        for (double t : times_) *std::min_element(freeAt.begin(), freeAt.end()) += t;
        return *std::max_element(freeAt.begin(), freeAt.end());
    }

    ParallelFor& runner_;
    std::vector<double> times_;
    std::vector<std::thread::id> owners_;
    double critical_ = 0.0, callerInRuns_ = 0.0, callerStart_ = 0.0;
    double modelled_[3] = {0.0, 0.0, 0.0};
    double inTasks_ = 0.0, byWorkers_ = 0.0;
};

const test_support::QuoteTable& Dax() {
    static const test_support::QuoteTable table = test_support::ReadObservationCsv(
        HESTON_SOURCE_DIR "/examples/dax-surface.csv", test_support::kDaxSpot);
    return table;
}

const Vector kLower{0.001, 0.001, 0.1, 0.05, -0.99};
const Vector kUpper{0.5, 0.5, 10.0, 1.5, 0.99};
const Vector kGuess{0.04, 0.05, 2.0, 0.5, -0.6};

// One calibration on a runner: its result, wall time, critical path and modelled times.
struct Timing {
    Vector result;
    double wall = 0.0, critical = 0.0, modelled[3] = {0.0, 0.0, 0.0}, workerShare = 0.0,
           inTasks = 0.0;
    long long heap = 0;
};

template <class Calibrate>
Timing Timed(heston::ParallelFor& runner, Calibrate calibrate) {
    TaskTimer timer(runner);
    Timing t;
    const long long heapStart = heapInUse.load();
    heapPeak.store(heapStart);
    const double start = WallSeconds();
    timer.Start();
    t.result = calibrate(timer);
    t.critical = timer.CriticalPath();
    t.wall = WallSeconds() - start;
    for (int k = 0; k < 3; ++k) t.modelled[k] = timer.Modelled(k);
    t.workerShare = timer.WorkerShare();
    t.inTasks = timer.InTasks();
    t.heap = heapPeak.load() - heapStart;
    return t;
}

// Serial and parallel calibrations alternately; the Differential Evolution's random stream
// goes on from search to search, so for it each pair of searches restarts nothing and both
// members of a pair face the same kind of work (50 x 50 trials of the same surface), not the
// same candidates; the Levenberg-Marquardt runs repeat exactly and are checked bit for bit.
template <class Calibrate>
void SerialAgainstPool(benchmark::State& state, Calibrate calibrate, bool sameResult) {
    const int threads = static_cast<int>(state.range(0));
    addin::ThreadPool pool(threads);
    double serialWall = 0, poolWall = 0, serialCpu = 0, poolCpu = 0, m2 = 0, m8 = 0, m32 = 0;
    double share = 0, serialTasks = 0, poolTasks = 0;
    long long heapSerial = 0, heapPool = 0;
    for (auto _ : state) {
        const Timing serial = Timed(heston::Serial(), calibrate);
        const Timing parallel = Timed(pool, calibrate);
        if (sameResult && serial.result != parallel.result) {
            state.SkipWithError("results differ between thread counts");
            return;
        }
        serialWall += serial.wall;
        poolWall += parallel.wall;
        serialCpu += serial.critical;
        poolCpu += parallel.critical;
        m2 += serial.critical / serial.modelled[0];
        m8 += serial.critical / serial.modelled[1];
        m32 += serial.critical / serial.modelled[2];
        share += parallel.workerShare;
        serialTasks += serial.inTasks;
        poolTasks += parallel.inTasks;
        heapSerial = std::max(heapSerial, serial.heap);
        heapPool = std::max(heapPool, parallel.heap);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["serial_ms"] = 1e3 * serialWall / n;
    state.counters["parallel_ms"] = 1e3 * poolWall / n;
    state.counters["speedup_wall"] = serialWall / poolWall;
    state.counters["speedup_cpu"] = serialCpu / poolCpu;
    state.counters["model_2"] = m2 / n;
    state.counters["model_8"] = m8 / n;
    state.counters["worker_share"] = share / n;
    state.counters["serial_cpu_ms"] = 1e3 * serialCpu / n;
    state.counters["parallel_cpu_ms"] = 1e3 * poolCpu / n;
    state.counters["serial_task_cpu_ms"] = 1e3 * serialTasks / n;
    state.counters["parallel_task_cpu_ms"] = 1e3 * poolTasks / n;
    state.counters["model_32"] = m32 / n;
    state.counters["heap_kb_1"] = static_cast<double>(heapSerial) / 1024.0;
    state.counters["heap_kb_N"] = static_cast<double>(heapPool) / 1024.0;
}

void BM_DaxDifferentialEvolution50(benchmark::State& state) {
    const test_support::QuoteTable& t = Dax();
    SerialAgainstPool(
        state,
        [&](heston::ParallelFor& runner) {
            return heston_CalibrateDE(kLower, kUpper, t.strike, t.maturity, t.type, t.observed,
                                      t.spot, t.rate, t.weight, 50, heston::StopRequest(), runner);
        },
        false);
}
BENCHMARK(BM_DaxDifferentialEvolution50)
    ->Arg(2)
    ->Arg(7)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_DaxLevenbergMarquardt(benchmark::State& state) {
    const test_support::QuoteTable& t = Dax();
    SerialAgainstPool(
        state,
        [&](heston::ParallelFor& runner) {
            return heston_CalibrateLevMar(kLower, kUpper, kGuess, t.strike, t.maturity, t.type,
                                          t.observed, t.spot, t.rate, t.weight, 200,
                                          heston::StopRequest(), runner);
        },
        true);
}
BENCHMARK(BM_DaxLevenbergMarquardt)
    ->Arg(2)
    ->Arg(7)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_DaxContourCalibration(benchmark::State& state) {
    const test_support::QuoteTable& t = Dax();
    const std::vector<heston::CalibrationQuote> quotes = test_support::ContourQuotes(t, 0.0);
    SerialAgainstPool(
        state,
        [&](heston::ParallelFor& runner) {
            const heston::ContourCalibrationResult r =
                heston::CalibrateAccurately(t.spot, quotes, {}, runner);
            return Vector{r.parameters.v0,    r.parameters.theta, r.parameters.kappa,
                          r.parameters.sigma, r.parameters.rho,   r.rmse};
        },
        true);
}
BENCHMARK(BM_DaxContourCalibration)
    ->Arg(2)
    ->Arg(7)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
