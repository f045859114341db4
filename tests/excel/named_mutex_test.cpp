// The named mutex of the temporary memory: it must exclude other processes as well as
// other threads, survive an owner that dies holding it, and allow recursive ownership.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "WindowsApi.h"

namespace {

// A name of this process, and the lock file the native mutex keeps for it (removed after).
class NamedMutex : public ::testing::Test {
  protected:
    void SetUp() override {
        name_ = "xlf_test_mutex_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override {
        std::remove(("/dev/shm/xlf-mutex-" + name_).c_str());
        std::remove(("/tmp/xlf-mutex-" + name_).c_str());
    }
    std::string name_;
};

// True when a byte arrives on fd within the time; the byte goes to *byte.
bool ReadWithin(int fd, int milliseconds, char* byte) {
    pollfd wait{fd, POLLIN, 0};
    return poll(&wait, 1, milliseconds) == 1 && read(fd, byte, 1) == 1;
}

TEST_F(NamedMutex, SecondProcessBlocksUntilTheFirstReleases) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name_.c_str());
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);

    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child opens the mutex by name as another module would.
        HANDLE mine = CreateMutexA(nullptr, FALSE, name_.c_str());
        if (mine == nullptr) _exit(2);
        if (WaitForSingleObject(mine, 50) != WAIT_TIMEOUT) _exit(3);
        if (write(toParent[1], "w", 1) != 1) _exit(4);  // now waiting without limit
        if (WaitForSingleObject(mine, INFINITE) != WAIT_OBJECT_0) _exit(5);
        if (write(toParent[1], "a", 1) != 1) _exit(6);  // acquired
        if (!ReleaseMutex(mine) || !CloseHandle(mine)) _exit(7);
        _exit(0);
    }
    char byte = 0;
    ASSERT_TRUE(ReadWithin(toParent[0], 10000, &byte));
    EXPECT_EQ(byte, 'w');
    EXPECT_FALSE(ReadWithin(toParent[0], 300, &byte)) << "the child got in while we held it";
    ASSERT_TRUE(ReleaseMutex(mutex));
    ASSERT_TRUE(ReadWithin(toParent[0], 10000, &byte)) << "the child never got in";
    EXPECT_EQ(byte, 'a');
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Free again for this process.
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));
    close(toParent[0]);
    close(toParent[1]);
}

TEST_F(NamedMutex, AnOwnerThatDiesLeavesItAbandonedNotLocked) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE mine = CreateMutexA(nullptr, FALSE, name_.c_str());
        _exit(mine != nullptr && WaitForSingleObject(mine, INFINITE) == WAIT_OBJECT_0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name_.c_str());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_ABANDONED) << "granted, and reported so";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_OBJECT_0) << "a clean release this time";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(NamedMutex, ThreadsExcludeEachOtherAndTheOwnerMayReenter) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name_.c_str());
    ASSERT_NE(mutex, nullptr);
    HANDLE second = CreateMutexA(nullptr, FALSE, name_.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "the owner waits again";
    DWORD otherWait = 0;
    BOOL otherRelease = TRUE;
    DWORD otherError = 0;
    std::thread([&] {
        otherRelease = ReleaseMutex(mutex);
        otherError = GetLastError();
        otherWait = WaitForSingleObject(second, 20);
    }).join();
    EXPECT_FALSE(otherRelease);
    EXPECT_EQ(otherError, ERROR_NOT_OWNER);
    EXPECT_EQ(otherWait, WAIT_TIMEOUT);

    EXPECT_TRUE(ReleaseMutex(mutex));
    std::thread([&] { otherWait = WaitForSingleObject(second, 20); }).join();
    EXPECT_EQ(otherWait, WAIT_TIMEOUT) << "held once more until the second release";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));

    // Released for good: another thread takes it (and keeps it past its end, as Windows
    // would abandon it; here the close of the last handle drops it).
    std::thread([&] {
        otherWait = WaitForSingleObject(second, INFINITE);
        ReleaseMutex(second);
    }).join();
    EXPECT_EQ(otherWait, WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(mutex));
    EXPECT_FALSE(CloseHandle(mutex));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

}  // namespace
