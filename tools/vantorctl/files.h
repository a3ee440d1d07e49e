// Whole files in and out for the tool: bounded reads, and writes that leave
// either the old file or the whole new one. Errors name the file and carry
// the system's reason.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantorctl {

// The largest .reg file the tool reads: as large as a hive may be (the
// store reads the hives themselves).
inline constexpr std::size_t kMaxFileSize = std::size_t{16} << 20;

enum class ReadResult {
    kRead,
    kMissing,   // no such file (or a missing folder on its path)
    kTooLarge,  // more than kMaxFileSize bytes
    kFailed,    // any other error
};

// Reads `path`, or standard input for "-", whole. Unless it returns kRead,
// *error says what went wrong, naming the file ("<stdin>" for "-").
ReadResult read_file(const std::string& path, std::string* bytes, std::string* error);

// The system's reason for `error_number` (an errno value).
std::string system_reason(int error_number);

}  // namespace vantorctl
