// The writers' lock: an flock() of "<hive>.lock" beside the hive, opened
// afresh by each write, so that threads of one process exclude each other as
// well as other processes, and the kernel drops the lock of a process that
// dies. The lock file stays: removing it could let two writers lock two
// different files.
//
// The lock file is only ever one this store made. It is created exclusively
// (never through a link) and only then given the hive's group (and owner, as
// root) and a mode derived from the hive's: read and write for whoever may
// write the hive, nothing for the others, so no one else can open it and
// hold the writers up. An existing lock file is opened without following a
// link and used only when it is a regular file with no other name, owned as
// a lock of this hive would be; its owner and mode are never changed. So a
// writer, root included, never changes or locks a file that only poses as
// the lock: a hard link to some other file, a link, a FIFO, someone else's.
//
// An flock() belongs to the open file description, which a child forked
// without exec shares: such a child of a host whose other thread was
// writing would hold the lock until it exits, and hold up every writer,
// its parent too. So a forked child closes its copies of the lock
// descriptors held in the process (pthread_atfork()), which leaves the lock
// its parent's alone.
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
    // that is not this store's (see above) gives kAccessDenied.
    reg::Status take(int folder, const std::string& name, const struct stat* hive, mode_t new_hive);

  private:
    int fd_ = -1;
};

}  // namespace vantor::store
