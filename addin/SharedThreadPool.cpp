// The add-in's one thread pool: sized from the processor count and HESTON_THREADS when first
// asked for, its workers joined when Excel closes the add-in.
#include "SharedThreadPool.h"

#include <mutex>
#include <thread>

#include "CloseHooks.h"
#include "WindowsApi.h"

namespace addin {

namespace {

std::mutex sharedMutex;
ThreadPool* shared = nullptr;

int SharedPoolSize() {
    char setting[32] = {};
    const DWORD length = GetEnvironmentVariableA("HESTON_THREADS", setting, sizeof(setting));
    const bool present = length > 0 && length < sizeof(setting);
    return PoolSize(present ? setting : nullptr, std::thread::hardware_concurrency());
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
