// ParallelFor: how the library runs a batch of independent tasks. The library never starts a
// thread of its own; a caller that owns threads (the add-in's pool) hands in a runner, and
// everything else runs on the calling thread through SerialRunner.
//
// Tasks of one batch write disjoint results and share only read-only inputs, so the order in
// which they run never changes a result. Whatever combines their results (a sum of squared
// errors) does so after the batch, in index order, on the calling thread: every number is the
// same whatever runner ran the batch.
#pragma once

namespace heston {

class ParallelFor {
  public:
    // One task: task(context, index).
    using Task = void (*)(void* context, int index);

    // Calls task(context, i) once for every i in [0, count) and returns when all have returned,
    // on any threads and in any order. When a task throws, tasks not yet started are skipped
    // and one of the exceptions is rethrown once every started task has returned.
    virtual void Run(int count, Task task, void* context) = 0;

    // The batch with a callable: f(i) for i in [0, count).
    template <class F>
    void ForEach(int count, F& f) {
        Run(
            count, [](void* c, int i) { (*static_cast<F*>(c))(i); }, &f);
    }

  protected:
    ~ParallelFor() = default;
};

// Runs the tasks one after another, in index order, on the calling thread.
class SerialRunner final : public ParallelFor {
  public:
    void Run(int count, Task task, void* context) override;
};

// The process's serial runner, the default of every function that takes a runner.
ParallelFor& Serial();

}  // namespace heston
