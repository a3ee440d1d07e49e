#include "store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "files.h"
#include "hive/format.h"
#ifndef _WIN32
#include "registry/hive/paths.h"
#endif

namespace vantorctl::store {
#ifndef _WIN32
namespace {

constexpr const char* kVariable = "VANTOR_REGISTRY";

// What is wrong with the hive at `path`, or nothing.
std::string hive_problem(const std::string& path) {
    // The library reads only regular files (through links too); reading a
    // pipe here could wait for ever.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};  // created on first use
        return "cannot read " + path + ": " + system_reason(errno);
    }
    if (!S_ISREG(info.st_mode)) return path + ": not a regular file";
    std::string text;
    std::string error;
    switch (read_file(path, &text, &error)) {
        case ReadResult::kRead:
            break;
        case ReadResult::kMissing:
            return {};
        case ReadResult::kTooLarge:
            return error + ": a corrupt store";
        case ReadResult::kFailed:
            return error;
    }
    vantor::hive::ParseError parse_error;
    if (vantor::hive::parse(text, &parse_error)) return {};
    return path + ":" + std::to_string(parse_error.line) + ": corrupt store: " +
           parse_error.message;
}

}  // namespace
#endif

bool use_file(const std::string& path, std::string* error) {
#ifdef _WIN32
    static_cast<void>(path);
    *error =
        "--registry names the hive file of the stand-in registry, which Windows does not have: "
        "there the settings are in the Windows registry";
    return false;
#else
    if (path.empty()) {
        *error = "--registry needs a file name";
        return false;
    }
    if (::setenv(kVariable, path.c_str(), 1) != 0) {
        *error = "cannot set " + std::string(kVariable) + ": " + system_reason(errno);
        return false;
    }
    return true;
#endif
}

std::vector<std::string> files() {
#ifdef _WIN32
    return {};
#else
    return {vantor::hive::find_hives().machine};
#endif
}

std::string problem() {
#ifndef _WIN32
    for (const std::string& file : files()) {
        std::string found = hive_problem(file);
        if (!found.empty()) return found;
    }
#endif
    return {};
}

}  // namespace vantorctl::store
