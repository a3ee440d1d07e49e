#include "registry/hive/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "registry/hive/errno_status.h"
#include "registry/hive/fd.h"
#include "registry/hive/io.h"

namespace vantor::store {

void Text::reserve(std::size_t room, std::size_t size) {
    if (room <= room_) return;
    std::unique_ptr<char[]> bytes(new char[room]);
    if (size != 0) std::memcpy(bytes.get(), data_, size);
    heap_ = std::move(bytes);
    data_ = heap_.get();
    room_ = room;
}

// The usual hive is read in one read() into the small buffer, without
// asking fstat() first: a regular file reads short only at its end, so a
// read that is neither empty nor full is the whole file. An empty or full
// read, or a failed one, is checked: only a regular file will do, and a
// larger one gets room for one byte more than fstat() gave, so that a file
// of unchanged size reads short, at its end, in a single read(). (A FIFO in
// the hive's place that a writer has just filled with a little text passes
// as a file of that text; the parser then judges it like any other.)
reg::Status read_file(int fd, Text* text) {
    std::size_t size = 0;
    ssize_t first = 0;
    do {
        first = io::read(fd, text->data(), text->room());
    } while (first < 0 && errno == EINTR);
    if (first > 0 && static_cast<std::size_t>(first) < text->room()) {
        text->set_size(static_cast<std::size_t>(first));
        return reg::kSuccess;
    }
    struct stat info {};
    if (io::fstat(fd, &info) != 0) return errno_status(errno, IoKind::kRead);
    if (!S_ISREG(info.st_mode)) return reg::kReadFault;
    if (first < 0) return errno_status(errno, IoKind::kRead);
    if (static_cast<std::size_t>(info.st_size) > kMaxHiveSize) return reg::kBadDb;
    size = static_cast<std::size_t>(first);
    text->reserve(static_cast<std::size_t>(info.st_size) + 1, size);
    while (first != 0) {
        if (size == text->room()) {
            // The file grew while being read: make room, up to the limit.
            if (size > kMaxHiveSize) return reg::kBadDb;
            text->reserve(std::min(size * 2, kMaxHiveSize + 1), size);
        }
        const std::size_t wanted = text->room() - size;
        const ssize_t got = io::read(fd, text->data() + size, wanted);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno_status(errno, IoKind::kRead);
        }
        size += static_cast<std::size_t>(got);
        // A regular file reads short only at its end: no need to ask again.
        if (static_cast<std::size_t>(got) < wanted) break;
    }
    text->set_size(size);
    return reg::kSuccess;
}

reg::Status read_file_against(int fd, std::string_view expected, Text* text, bool* same) {
    // Pieces of a size that stays in a core's cache between read() and
    // memcmp(). A hive of one piece is read as any other, then compared.
    constexpr std::size_t kPiece = std::size_t{128} << 10;
    *same = false;
    struct stat info {};
    if (expected.size() <= kPiece || io::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) != expected.size()) {
        const reg::Status status = read_file(fd, text);
        *same = status == reg::kSuccess && !expected.empty() && text->view() == expected;
        return status;
    }
    text->reserve(expected.size() + 1, 0);
    std::size_t size = 0;
    bool equal = true;
    for (;;) {
        if (size == text->room()) {
            // The file grew while being read: make room, up to the limit.
            if (size > kMaxHiveSize) return reg::kBadDb;
            text->reserve(std::min(size * 2, kMaxHiveSize + 1), size);
        }
        const ssize_t got =
            io::read(fd, text->data() + size, std::min(kPiece, text->room() - size));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno_status(errno, IoKind::kRead);
        }
        if (got == 0) break;
        const std::size_t piece = static_cast<std::size_t>(got);
        equal = equal && size + piece <= expected.size() &&
                std::memcmp(text->data() + size, expected.data() + size, piece) == 0;
        size += piece;
    }
    text->set_size(size);
    *same = equal && size == expected.size();
    return reg::kSuccess;
}

reg::Status read_path(const char* path, Text* text) {
    const Fd fd(io::open(path, kReadFlags));
    if (!fd) return errno_status(errno, IoKind::kRead);
    return read_file(fd.get(), text);
}

}  // namespace vantor::store
