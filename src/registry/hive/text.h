// A hive file's bytes, read whole and bounded: the one read every part of
// the store (readers, writers, the questions vantorctl asks) goes through.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <memory>
#include <string_view>

#include "registry/registry.h"

namespace vantor::store {

// A hive file larger than this is corrupt; no more than one byte past it is
// ever read. A change that would make the hive larger fails with kDiskFull.
inline constexpr std::size_t kMaxHiveSize = std::size_t{16} << 20;

// How a hive is opened for reading. O_NONBLOCK keeps a FIFO put in the
// hive's place from blocking the call.
inline constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// A file's bytes, in a buffer that is not zeroed before the read fills it:
// a small one inside the object (on the caller's stack) for the usual hive
// of a few keys, the heap for larger ones.
class Text {
  public:
    static constexpr std::size_t kSmall = 8192;

    Text() noexcept : data_(small_) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    std::string_view view() const noexcept { return {data_, size_}; }

    // Room for `room` bytes, keeping the first `size` ones.
    void reserve(std::size_t room, std::size_t size);

    char* data() noexcept { return data_; }
    std::size_t room() const noexcept { return room_; }
    void set_size(std::size_t size) noexcept { size_ = size; }

  private:
    char small_[kSmall];
    std::unique_ptr<char[]> heap_;
    char* data_;
    std::size_t room_ = kSmall;
    std::size_t size_ = 0;
};

// Reads the whole file open as `fd` into `text`: kSuccess; kBadDb when it
// is larger than kMaxHiveSize; kReadFault when it is not a regular file
// (a folder, or a FIFO with nothing in it); or the read error's status.
reg::Status read_file(int fd, Text* text);

// read_file() of a file expected to hold `expected`, comparing each piece
// with it as it is read, while the piece is still in the processor's cache:
// *same tells whether the file holds exactly those bytes. Cheaper than a
// read and a comparison of the whole for a large hive.
reg::Status read_file_against(int fd, std::string_view expected, Text* text, bool* same);

// Opens `path` (following links) and reads it as read_file() does;
// kFileNotFound when there is no such file.
reg::Status read_path(const char* path, Text* text);

}  // namespace vantor::store
