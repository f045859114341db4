// NamedMutexLock: holds a system-wide named mutex for the lifetime of the object.
//
// The mutex is created (or opened) by name with no initial owner, waited for without time
// limit, and released and closed when the lock goes out of scope, on an exception too.
// Being named, it serialises every module of every process that uses the same name.
#pragma once

namespace xlf {

class NamedMutexLock {
  public:
    explicit NamedMutexLock(const char* name);
    ~NamedMutexLock();

    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;

  private:
    void* handle_;  // the mutex handle; null when it could not be created
    bool owned_;
};

}  // namespace xlf
