// The add-in's one thread pool: sized from the processor count and HESTON_THREADS when first
// asked for, its workers joined when Excel closes the add-in.
#include "SharedThreadPool.h"

#include <cstdlib>
#include <mutex>
#include <thread>

#include "CloseHooks.h"

namespace addin {

namespace {

std::mutex sharedMutex;
ThreadPool* shared = nullptr;

// Read once, while the pool is made under sharedMutex; nothing in the add-in sets variables.
int SharedPoolSize() {
    return PoolSize(std::getenv("HESTON_THREADS"), std::thread::hardware_concurrency());
}

// xlAutoClose stops the workers through the layer's close hooks.
const xlf::CloseHook stopAtClose(&StopSharedPool);

}  // namespace

ThreadPool& SharedPool() {
    std::lock_guard<std::mutex> lock(sharedMutex);
    // Never destroyed: a module being unloaded cannot join threads, so the workers are joined
    // at close instead, and the object stays valid for any caller still holding it.
    if (shared == nullptr) shared = new ThreadPool(SharedPoolSize());
    return *shared;
}

void StopSharedPool() {
    ThreadPool* pool = nullptr;
    {
        std::lock_guard<std::mutex> lock(sharedMutex);
        pool = shared;
    }
    if (pool != nullptr) pool->Stop();
}

}  // namespace addin
