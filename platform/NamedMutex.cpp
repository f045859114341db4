// NamedMutex.cpp - native CreateMutexA, WaitForSingleObject, ReleaseMutex and CloseHandle.
//
// A named mutex excludes threads of this process through an in-process owner record and
// other processes through flock on a file named from the mutex name (under /dev/shm, else
// /tmp). The kernel drops an flock when its holder dies, so a crashed owner never blocks the
// others; its process id, left in the file, makes the next wait report WAIT_ABANDONED as
// Windows does. As on Windows the owning thread may wait again (recursive ownership).
#ifndef _WIN32

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "WindowsApi.h"

namespace {

struct MutexObject {
    std::string name;  // empty: unnamed, this process only
    int fd = -1;       // the lock file of a named mutex
    int handles = 0;
    std::mutex guard;
    std::condition_variable released;
    bool owned = false;
    std::thread::id owner;
    unsigned recursion = 0;
};

struct Registry {
    std::mutex guard;
    std::map<std::string, MutexObject*> named;
    std::set<MutexObject*> handles;  // a handle is the object's address; one per CreateMutexA
};

// Handles are counted per object: CreateMutexA of an existing name returns the same address
// again and counts it, CloseHandle uncounts it and destroys the object with the last one.
Registry*& TheRegistry() {
    static Registry* registry = new Registry;
    return registry;
}

void ForgetInheritedMutexes() {
    // A forked child shares the parent's open lock files, and with them the parent's locks:
    // drop them (without unlocking) and leak the old registry, whose locks may be held.
    Registry* old = TheRegistry();
    for (auto& entry : old->named) {
        if (entry.second->fd >= 0) close(entry.second->fd);
    }
    TheRegistry() = new Registry;
}

void LockRegistryForFork() {
    TheRegistry()->guard.lock();
}
void UnlockRegistryAfterFork() {
    TheRegistry()->guard.unlock();
}

Registry& GetRegistry() {
    static const bool forkHandlers = [] {
        pthread_atfork(LockRegistryForFork, UnlockRegistryAfterFork, [] {
            UnlockRegistryAfterFork();
            ForgetInheritedMutexes();
        });
        return true;
    }();
    (void)forkHandlers;
    return *TheRegistry();
}

std::string LockFilePath(const std::string& name) {
    static const std::string directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string file = directory + "/xlf-mutex-";
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '_' || c == '-' || c == '.') {
            file += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof(escaped), "%%%02X", c);
            file += escaped;
        }
    }
    return file;
}

MutexObject* ObjectOf(HANDLE handle) {
    Registry& registry = GetRegistry();
    std::lock_guard<std::mutex> lock(registry.guard);
    auto* object = static_cast<MutexObject*>(handle);
    return registry.handles.count(object) != 0 ? object : nullptr;
}

// Takes the process-wide lock of a named mutex; -1 on timeout, 0 when taken, 1 when taken
// from an owner that died holding it.
int LockFile(int fd, DWORD milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const int operation = milliseconds == INFINITE ? LOCK_EX : LOCK_EX | LOCK_NB;
        if (flock(fd, operation) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pid_t previous = 0;
    const bool abandoned = pread(fd, &previous, sizeof(previous), 0) == sizeof(previous) &&
                           previous != 0 && previous != getpid();
    const pid_t self = getpid();
    if (pwrite(fd, &self, sizeof(self), 0) != sizeof(self)) return abandoned ? 1 : 0;
    return abandoned ? 1 : 0;
}

void UnlockFile(int fd) {
    const pid_t none = 0;
    // Mark a clean release, so that the next owner does not take the mutex as abandoned.
    if (pwrite(fd, &none, sizeof(none), 0) != sizeof(none)) {
        // Nothing to do: the next owner then reports WAIT_ABANDONED, which still grants it.
    }
    flock(fd, LOCK_UN);
}

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    Registry& registry = GetRegistry();
    MutexObject* object = nullptr;
    bool existed = false;
    {
        std::lock_guard<std::mutex> lock(registry.guard);
        const std::string key = name != nullptr ? name : "";
        auto found = key.empty() ? registry.named.end() : registry.named.find(key);
        if (found != registry.named.end()) {
            object = found->second;
            existed = true;
        } else {
            std::unique_ptr<MutexObject> created(new MutexObject);
            created->name = key;
            if (!key.empty()) {
                const std::string path = LockFilePath(key);
                created->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
                // Another user's lock file may be read-only for us; flock works on it all the
                // same, only the abandoned-owner mark cannot be kept.
                if (created->fd < 0) created->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (created->fd < 0) {
                    SetLastError(ERROR_ACCESS_DENIED);
                    return nullptr;
                }
                registry.named[key] = created.get();
            }
            object = created.release();
            registry.handles.insert(object);
        }
        ++object->handles;
    }
    if (initialOwner && !existed) WaitForSingleObject(object, INFINITE);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return object;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    MutexObject* object = ObjectOf(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(object->guard);
    if (object->owned && object->owner == self) {
        ++object->recursion;
        return WAIT_OBJECT_0;
    }
    const auto isFree = [object] { return !object->owned; };
    if (milliseconds == INFINITE) {
        object->released.wait(lock, isFree);
    } else if (!object->released.wait_for(lock, std::chrono::milliseconds(milliseconds), isFree)) {
        return WAIT_TIMEOUT;
    }
    // Claim the mutex within the process first, then across processes without holding the
    // guard, so that other threads can still ask and wait.
    object->owned = true;
    object->owner = self;
    object->recursion = 1;
    int taken = 0;
    if (object->fd >= 0) {
        lock.unlock();
        taken = LockFile(object->fd, milliseconds);
        lock.lock();
        if (taken < 0) {
            object->owned = false;
            object->owner = std::thread::id();
            object->recursion = 0;
            object->released.notify_one();
            return WAIT_TIMEOUT;
        }
    }
    return taken == 1 ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE handle) {
    MutexObject* object = ObjectOf(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(object->guard);
    if (!object->owned || object->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--object->recursion == 0) {
        if (object->fd >= 0) UnlockFile(object->fd);
        object->owned = false;
        object->owner = std::thread::id();
        object->released.notify_one();
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    Registry& registry = GetRegistry();
    MutexObject* doomed = nullptr;
    {
        std::lock_guard<std::mutex> lock(registry.guard);
        auto* object = static_cast<MutexObject*>(handle);
        if (registry.handles.count(object) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--object->handles == 0) {
            registry.handles.erase(object);
            if (!object->name.empty()) registry.named.erase(object->name);
            doomed = object;
        }
    }
    if (doomed != nullptr) {
        // Closing the lock file also drops its lock, should the last handle be closed while
        // the mutex is still owned.
        if (doomed->fd >= 0) close(doomed->fd);
        delete doomed;
    }
    return TRUE;
}

#endif  // _WIN32
