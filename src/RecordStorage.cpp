#include "RecordStorage.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "CloseHooks.h"
#include "XlfExcel.h"

namespace xlf {

namespace {

constexpr std::size_t kFirstBlockSize = 4096;

std::size_t RoundedUp(std::size_t bytes) {
    if (bytes > SIZE_MAX - 7) throw std::bad_alloc();
    return (bytes + 7) & ~std::size_t(7);
}

// One thread's blocks. A result that outgrows the newest block gets a new one and keeps the
// old, so that nothing already written moves; BeginResult keeps only the newest (and largest)
// block, which a thread's results then settle into.
struct ThreadBlocks {
    struct Block {
        std::size_t size;
        std::unique_ptr<unsigned char[]> start;
    };
    std::vector<Block> blocks;  // newest last
    std::size_t offset = 0;

    void* Allocate(std::size_t bytes) {
        const std::size_t size = RoundedUp(bytes);
        if (blocks.empty() || size > blocks.back().size - offset) {
            std::size_t grown = blocks.empty() ? kFirstBlockSize : 2 * blocks.back().size;
            if (grown < size) grown = size;
            blocks.push_back(
                Block{grown, std::unique_ptr<unsigned char[]>(new unsigned char[grown])});
            offset = 0;
        }
        void* start = blocks.back().start.get() + offset;
        offset += size;
        return start;
    }

    void Reclaim() {
        if (blocks.size() > 1) blocks.erase(blocks.begin(), blocks.end() - 1);
        offset = 0;
    }
};

void DeleteBlocks(void* blocks) {
    delete static_cast<ThreadBlocks*>(blocks);
}

// Each thread's blocks live on the heap, found through a thread key whose destructor is
// handed the blocks themselves when the thread ends. A thread_local object with a destructor
// does not serve here: in the Windows build it left the add-in's host hanging at exit once
// several threads had written results.
std::mutex keyMutex;
pthread_key_t key;
std::atomic<bool> keyMade{false};

pthread_key_t BlocksKey() {
    if (!keyMade.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(keyMutex);
        if (!keyMade.load(std::memory_order_relaxed)) {
            if (pthread_key_create(&key, &DeleteBlocks) != 0) throw std::bad_alloc();
            keyMade.store(true, std::memory_order_release);
        }
    }
    return key;
}

ThreadBlocks& ThisThreadsBlocks() {
    const pthread_key_t blocksKey = BlocksKey();
    auto* blocks = static_cast<ThreadBlocks*>(pthread_getspecific(blocksKey));
    if (blocks == nullptr) {
        std::unique_ptr<ThreadBlocks> made(new ThreadBlocks);
        if (pthread_setspecific(blocksKey, made.get()) != 0) throw std::bad_alloc();
        blocks = made.release();
    }
    return *blocks;
}

// When Excel closes the add-in (no worksheet call runs then), the closing thread's blocks and
// the key go: a module unloaded after its close leaves no destructor behind for threads that
// outlive it, and a module loaded again makes a key of its own instead of using up the
// process's keys. The blocks of other threads still alive then are not freed.
void DeleteKeyAtClose() {
    std::lock_guard<std::mutex> lock(keyMutex);
    if (!keyMade.load(std::memory_order_relaxed)) return;
    DeleteBlocks(pthread_getspecific(key));
    pthread_key_delete(key);
    keyMade.store(false, std::memory_order_release);
}

const CloseHook deleteKeyAtClose(&DeleteKeyAtClose);

}  // namespace

void* TemporaryPool::Allocate(std::size_t bytes) {
    if (bytes > 0xFFFFFFF0u) throw std::bad_alloc();
    return XlfExcel::Current().AllocateTemporary(static_cast<std::uint32_t>(bytes));
}

void* ThreadStorage::Allocate(std::size_t bytes) {
    return ThisThreadsBlocks().Allocate(bytes);
}

void ThreadStorage::BeginResult() {
    ThisThreadsBlocks().Reclaim();
}

}  // namespace xlf
