// An owned file descriptor, closed through the I/O seam.
#pragma once

#include <cerrno>
#include <utility>

#include "registry/hive/io.h"

namespace vantor::store {

class Fd {
  public:
    explicit Fd(int fd = -1) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {  // leaves errno as it was: a failure's reason is read after
        if (fd_ < 0) return;
        const int error = errno;
        io::close(fd_);
        errno = error;
    }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd) noexcept {
        if (fd_ >= 0) io::close(fd_);
        fd_ = fd;
    }

    // Closes now, reporting the error close() may give for a written file.
    bool close() noexcept {
        const int fd = std::exchange(fd_, -1);
        return io::close(fd) == 0;
    }

  private:
    int fd_;
};

}  // namespace vantor::store
