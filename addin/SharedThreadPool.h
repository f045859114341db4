// The add-in's one thread pool, the runner of every calibration's surface evaluations.
#pragma once

#include "ThreadPool.h"

namespace addin {

// The shared pool, sized when first asked for from the processor count and HESTON_THREADS
// (PoolSize); its workers start with the first batch that needs them. The object lives as long
// as the add-in's module.
ThreadPool& SharedPool();

// Stops and joins the shared pool's workers; xlAutoClose calls it through the layer's close
// hooks, so that an add-in Excel has closed leaves no thread behind.
void StopSharedPool();

}  // namespace addin
