// The system calls under the hive file.
//
// A link seam, like the registry interface: the library links io_posix.cpp,
// which calls the system, and clock_posix.cpp, its clock; a test may link an
// in-memory file system in place of both (tests/support/memfs.h), one that
// can fail any call or lose power after any call, or a clock of its own
// alone (tests/support/clock.h). Each function behaves as the system call of the same name:
// -1 (or nullptr) with errno set on failure, EINTR included.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vantor::store::io {

int open(const char* path, int flags, mode_t mode = 0) noexcept;
int openat(int dir, const char* name, int flags, mode_t mode = 0) noexcept;
int close(int fd) noexcept;
ssize_t read(int fd, void* data, std::size_t size) noexcept;
ssize_t write(int fd, const void* data, std::size_t size) noexcept;
int fsync(int fd) noexcept;
int fstat(int fd, struct stat* info) noexcept;
int stat(const char* path, struct stat* info) noexcept;  // follows symbolic links
int fstatat(int dir, const char* name, struct stat* info, int flags) noexcept;
int faccessat(int dir, const char* name, int mode, int flags) noexcept;
int mkdirat(int dir, const char* name, mode_t mode) noexcept;
int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept;
int unlinkat(int dir, const char* name, int flags) noexcept;
int fchmod(int fd, mode_t mode) noexcept;
int fchown(int fd, uid_t owner, gid_t group) noexcept;
int flock(int fd, int operation) noexcept;
// fcntl(fd, F_GETLK, lock): who holds a record lock (Wine's server does).
int getlk(int fd, struct flock* lock) noexcept;

// The names in the folder open as `dir`, without "." and "..". Returns 0,
// or -1 with errno set. May throw std::bad_alloc.
int list(int dir, std::vector<std::string>* names);

// The time of the clock that stamps files (CLOCK_REALTIME).
timespec now() noexcept;

// Waits about `nanoseconds`.
void pause(long nanoseconds) noexcept;

}  // namespace vantor::store::io
