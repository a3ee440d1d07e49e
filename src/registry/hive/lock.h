// The writers' lock: an flock() of "<hive>.lock" beside the hive, opened
// afresh by each write, so that threads of one process exclude each other as
// well as other processes, and the kernel drops the lock of a process that
// dies. The lock file stays: removing it could let two writers lock two
// different files.
//
// The lock file follows the hive: its group (and owner, as root) and a mode
// derived from the hive's, read and write for whoever may write the hive,
// nothing for the others, so no one else can open it and hold the writers
// up. It is never followed when it is a link, and one that is not a
// regular file (a FIFO, a device) is refused.
#pragma once

#include <sys/stat.h>

#include <string>

#include "registry/registry.h"

namespace vantor::store {

class WritersLock {
  public:
    WritersLock() noexcept = default;
    WritersLock(const WritersLock&) = delete;
    WritersLock& operator=(const WritersLock&) = delete;
    ~WritersLock();  // releases the lock

    // Takes the lock of the hive `name` in the folder open as `folder`;
    // `hive` is the hive's status, or null when there is none yet and it
    // will be made with mode `new_hive`. A writer waits for the lock a
    // bounded time; a lock held longer, by a writer stuck on a dying disk or
    // by someone holding it on purpose, gives kLockViolation. A lock file
    // that is a link or not a regular file gives kAccessDenied.
    reg::Status take(int folder, const std::string& name, const struct stat* hive, mode_t new_hive);

  private:
    int fd_ = -1;
};

}  // namespace vantor::store
