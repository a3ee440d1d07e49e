// The I/O seam on the system: each function is the system call itself.
// The clock is in clock_posix.cpp, which a test may replace alone.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "registry/hive/io.h"

namespace vantor::store::io {

int open(const char* path, int flags, mode_t mode) noexcept { return ::open(path, flags, mode); }

int openat(int dir, const char* name, int flags, mode_t mode) noexcept {
    return ::openat(dir, name, flags, mode);
}

int close(int fd) noexcept { return ::close(fd); }

ssize_t read(int fd, void* data, std::size_t size) noexcept { return ::read(fd, data, size); }

ssize_t write(int fd, const void* data, std::size_t size) noexcept {
    return ::write(fd, data, size);
}

int fsync(int fd) noexcept { return ::fsync(fd); }

int fstat(int fd, struct stat* info) noexcept { return ::fstat(fd, info); }

int stat(const char* path, struct stat* info) noexcept { return ::stat(path, info); }

int fstatat(int dir, const char* name, struct stat* info, int flags) noexcept {
    return ::fstatat(dir, name, info, flags);
}

int faccessat(int dir, const char* name, int mode, int flags) noexcept {
    return ::faccessat(dir, name, mode, flags);
}

int mkdirat(int dir, const char* name, mode_t mode) noexcept { return ::mkdirat(dir, name, mode); }

int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept {
    return ::renameat(from_dir, from, to_dir, to);
}

int unlinkat(int dir, const char* name, int flags) noexcept { return ::unlinkat(dir, name, flags); }

int fchmod(int fd, mode_t mode) noexcept { return ::fchmod(fd, mode); }

int fchown(int fd, uid_t owner, gid_t group) noexcept { return ::fchown(fd, owner, group); }

int flock(int fd, int operation) noexcept { return ::flock(fd, operation); }

int getlk(int fd, struct flock* lock) noexcept { return ::fcntl(fd, F_GETLK, lock); }

int list(int dir, std::vector<std::string>* names) {
    // A descriptor of its own: closedir() closes it, and the caller's
    // descriptor keeps its position.
    const int own = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return -1;
    DIR* folder = ::fdopendir(own);
    if (folder == nullptr) {
        const int error = errno;
        ::close(own);
        errno = error;
        return -1;
    }
    int error = 0;
    try {
        errno = 0;
        while (const dirent* entry = ::readdir(folder)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names->emplace_back(entry->d_name);
            }
        }
        error = errno;
    } catch (...) {
        ::closedir(folder);
        throw;
    }
    ::closedir(folder);
    errno = error;
    return error == 0 ? 0 : -1;
}

}  // namespace vantor::store::io
