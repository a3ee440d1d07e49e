#include "registry/hive/lock.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "registry/hive/errno_status.h"
#include "registry/hive/io.h"

namespace vantor::store {
namespace {

constexpr long kMillisecond = 1000 * 1000;
// How long a writer waits for the lock before giving up with
// ERROR_LOCK_VIOLATION: far longer than any write holds it.
constexpr long kLockWait = 10 * 1000 * kMillisecond;

reg::Status write_error() noexcept { return errno_status(errno, IoKind::kWrite); }

// The lock file's mode: read and write for each class of users that may
// write the hive, nothing for the others. Only who may change the hive can
// open the lock file, and so take its lock and hold up the writers.
mode_t lock_mode(mode_t hive) noexcept {
    mode_t mode = 0;
    for (const mode_t write : {S_IWUSR, S_IWGRP, S_IWOTH}) {
        if ((hive & write) != 0) mode |= write | write << 1;  // the read bit is next to it
    }
    return mode;
}

// The lock descriptors this process holds open, which a forked child
// closes. The mutex is held while a descriptor is opened and added, and
// while it is removed and closed, and by fork() itself (the prepare
// handler): a child never has a copy of a lock descriptor it does not know
// of, nor closes a number that has since been reused for another file.
class Held {
  public:
    Held() noexcept { ::pthread_atfork(&prepare, &parent, &child); }

    // Opens a descriptor with `open_fd` and adds it; -1 with errno set when
    // it fails.
    template <typename Open>
    int open(const Open& open_fd) {
        const std::lock_guard<std::mutex> lock(mutex_);
        fds_.reserve(fds_.size() + 1);  // may throw: nothing is open yet
        const int fd = open_fd();
        if (fd >= 0) fds_.push_back(fd);
        return fd;
    }

    void close(int fd) noexcept {
        const std::lock_guard<std::mutex> lock(mutex_);
        fds_.erase(std::remove(fds_.begin(), fds_.end(), fd), fds_.end());
        io::close(fd);
    }

  private:
    static void prepare() noexcept;
    static void parent() noexcept;
    static void child() noexcept;

    std::mutex mutex_;
    std::vector<int> fds_;
};

// Made when the library is loaded, and never destroyed: a thread may still
// write while the process exits.
Held* const held = new Held;

void Held::prepare() noexcept { held->mutex_.lock(); }
void Held::parent() noexcept { held->mutex_.unlock(); }

// The child's copies only: closing them leaves the parent's lock as it is,
// where an unlock would drop it for the parent too.
void Held::child() noexcept {
    for (const int fd : held->fds_) io::close(fd);
    held->fds_.clear();
    held->mutex_.unlock();
}

constexpr int kLockFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;

// Whether an existing lock file is owned as a lock of this hive is: by root,
// by this writer, or by whoever owns the hive (without one, its folder); or,
// where the hive (or its folder) is writable by its group, a store shared by
// that group, with the group's: made by another member.
bool owned_as_a_lock(const struct stat& lock, const struct stat& owner) noexcept {
    if (lock.st_uid == 0 || lock.st_uid == ::geteuid() || lock.st_uid == owner.st_uid) {
        return true;
    }
    return (owner.st_mode & S_IWGRP) != 0 && lock.st_gid == owner.st_gid;
}

}  // namespace

WritersLock::~WritersLock() {
    if (fd_ >= 0) held->close(fd_);
}

// Read-only is enough for flock(), and lets a writer whose rights come from
// the folder use a lock file made by another. O_NONBLOCK keeps a FIFO put in
// its place from blocking every writer in open().
reg::Status WritersLock::take(int folder, const std::string& name, const struct stat* hive,
                              mode_t new_hive) {
    const std::string lock_name = name + ".lock";
    const mode_t mode = lock_mode(hive != nullptr ? hive->st_mode : new_hive);
    // There already (the usual case), or else made here: tried again should
    // another writer make it, or someone remove it, between the two opens.
    bool created = false;
    for (int tries = 0; fd_ < 0 && tries < 3; ++tries) {
        fd_ = held->open([&] {
            const int found = io::openat(folder, lock_name.c_str(), kLockFlags);
            if (found >= 0 || errno != ENOENT) return found;
            const int made =
                io::openat(folder, lock_name.c_str(), kLockFlags | O_CREAT | O_EXCL, mode);
            created = made >= 0;
            return made;
        });
        if (fd_ < 0 && errno != EEXIST && errno != ENOENT) break;
    }
    if (fd_ < 0) return write_error();
    struct stat info {};
    if (io::fstat(fd_, &info) != 0) return write_error();
    if (!S_ISREG(info.st_mode) || info.st_nlink != 1) return reg::kAccessDenied;
    if (created) {
        // It follows the hive: its group (and owner, as root), and its mode
        // whatever the umask.
        if (hive != nullptr && (info.st_uid != hive->st_uid || info.st_gid != hive->st_gid) &&
            io::fchown(fd_, hive->st_uid, hive->st_gid) != 0) {
            io::fchown(fd_, static_cast<uid_t>(-1), hive->st_gid);
        }
        if ((info.st_mode & 07777) != mode) io::fchmod(fd_, mode);
    } else {
        struct stat owner {};
        if (hive != nullptr) {
            owner = *hive;
        } else if (io::fstat(folder, &owner) != 0) {
            return write_error();
        }
        if (!owned_as_a_lock(info, owner)) return reg::kAccessDenied;
    }
    long waited = 0;
    long delay = kMillisecond;
    while (io::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || waited >= kLockWait) return write_error();
        io::pause(delay);
        waited += delay;
        delay = std::min(delay * 2, 16 * kMillisecond);
    }
    return reg::kSuccess;
}

}  // namespace vantor::store
