#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vantorctl {

std::string system_reason(int error_number) {
    return error_number != 0 ? std::strerror(error_number) : "input/output error";
}

ReadResult read_file(const std::string& path, std::string* bytes, std::string* error) {
    const bool from_stdin = path == "-";
    const std::string shown = from_stdin ? "<stdin>" : path;
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        from_stdin ? nullptr : std::fopen(path.c_str(), "rb"), std::fclose);
    std::FILE* stream = from_stdin ? stdin : file.get();
    if (stream == nullptr) {
        const int reason = errno;
        *error = "cannot read " + shown + ": " + system_reason(reason);
        return reason == ENOENT || reason == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
    }
    bytes->clear();
    char buffer[1 << 16];
    for (;;) {
        errno = 0;
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, stream);
        // One byte past the limit tells a file that is too large.
        bytes->append(buffer, count);
        if (bytes->size() > kMaxFileSize) {
            *error = shown + " is larger than 16 MiB";
            return ReadResult::kTooLarge;
        }
        if (count < sizeof buffer) break;
    }
    if (std::ferror(stream)) {
        *error = "cannot read " + shown + ": " + system_reason(errno);
        return ReadResult::kFailed;
    }
    return ReadResult::kRead;
}

}  // namespace vantorctl
