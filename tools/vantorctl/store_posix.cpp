// Natively the stores are the stand-in registry's hive files, found by the
// library's own rule (src/registry/hive/paths.h).
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files.h"
#include "hive/format.h"
#include "registry/hive/paths.h"
#include "store.h"

namespace vantorctl::store {
namespace {

// True when the library goes without `file` when it may not read it: a
// machine's hive beside the user's own.
bool may_go_without(const File& file) { return file.role == kMachineRole && files().size() > 1; }

// What stops the library at the hive `file`, or nothing.
std::string hive_problem(const File& file) {
    const std::string& path = file.path;
    // The library reads only regular files (through links too); reading a
    // pipe here could wait for ever.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};  // created on first use
        if (errno == EACCES && may_go_without(file)) return {};
        return "cannot read " + path + ": " + system_reason(errno);
    }
    if (!S_ISREG(info.st_mode)) return path + ": not a regular file";
    if (unreadable(path) && may_go_without(file)) return {};
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
    return path + ":" + std::to_string(parse_error.line) +
           ": corrupt store: " + parse_error.message;
}

}  // namespace

bool use_file(const std::string& path, std::string* error) {
    if (path.empty()) {
        *error = "--registry needs a file name";
        return false;
    }
    if (::setenv("VANTOR_REGISTRY", path.c_str(), 1) != 0) {
        *error = "cannot set VANTOR_REGISTRY: " + system_reason(errno);
        return false;
    }
    return true;
}

std::vector<File> files() {
    const vantor::store::Hives hives = vantor::store::find_hives();
    std::vector<File> found = {{hives.machine, kMachineRole}};
    if (!hives.user.empty()) found.push_back({hives.user, kUserRole});
    return found;
}

std::string problem() {
    for (const File& file : files()) {
        std::string found = hive_problem(file);
        if (!found.empty()) return found;
    }
    return {};
}

bool unreadable(const std::string& path) {
    return ::access(path.c_str(), R_OK) != 0 && errno == EACCES;
}

std::string help() {
    return std::string("Stores: the machine's hive file, ") +
           vantor::store::default_machine_hive() +
           ", and your own, which takes what you change when you may not write the machine's; "
           "your values show over the machine's.\n"
           "Environment:\n"
           "  VANTOR_REGISTRY       one hive file in place of both; --registry sets it.\n"
           "  VANTOR_USER_REGISTRY  your own hive file (default: "
           "${XDG_STATE_HOME:-$HOME/.local/state}/vantor/user.reg).\n";
}

}  // namespace vantorctl::store
