// Counting this process's threads from /proc/self/task, for tests that check that a pool starts
// its workers only when needed and leaves none behind.
//
// A joined thread can still be listed for a moment: the kernel wakes the joiner when it clears
// the thread's id, before it removes the thread from /proc. So a count that should have gone
// down is read until it does, for at most two seconds, and the baseline is taken only once a
// finished thread has really gone.
#pragma once

#include <dirent.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace test_support {

// Threads of this process now.
inline int ProcessThreads() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] != '.') ++count;
        }
        closedir(tasks);
    }
    return count;
}

// The thread count once it has come down to `expected` or two seconds have passed.
inline int ProcessThreadsSettledAt(int expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int count = ProcessThreads();
    while (count != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        count = ProcessThreads();
    }
    return count;
}

// The thread count before a test starts threads: after one thread has come and gone, so that
// a sanitizer's helper thread, started with the program's first thread, is already counted.
inline int ThreadsBefore() {
    long id = 0;
    std::thread([&id] { id = syscall(SYS_gettid); }).join();
    const std::string entry = "/proc/self/task/" + std::to_string(id);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (access(entry.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ProcessThreads();
}

}  // namespace test_support
