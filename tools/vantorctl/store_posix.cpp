// Natively the stores are the stand-in registry's hive files, found by the
// library's own rule (src/registry/hive/paths.h).
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "files.h"
#include "hive/format.h"
#include "registry/codes.h"
#include "registry/hive/paths.h"
#include "store.h"

namespace vantorctl::store {
namespace {

// True when the library goes without `file` when it may not read it: a
// machine's hive beside the user's own.
bool may_go_without(const File& file) { return file.role == kMachineRole && files().size() > 1; }

bool one_file_named() {
    const char* named = std::getenv("VANTOR_REGISTRY");
    return named != nullptr && *named != '\0';
}

// What to do about a hive this user cannot use, by the part it plays.
std::string use_another(const File& file) {
    if (file.role == kUserRole)
        return "set VANTOR_USER_REGISTRY to a file in a folder you may write";
    if (one_file_named()) return "name a file you may write with --registry FILE";
    if (files().size() == 1) {
        return "run as root to change the machine's settings, or set VANTOR_USER_REGISTRY to a "
               "file of your own";
    }
    return "run as root to change the machine's settings";
}

// What to do about a hive that does not parse.
std::string mend(const File& file, std::size_t line) {
    const std::string& path = file.path;
    return (line != 0 ? "mend line " + std::to_string(line) + " of " + path + ", restore it"
                      : "restore " + path) +
           " from a backup, or move it aside (mv " + path + " " + path +
           ".bad) to start again from " +
           (file.role == kUserRole ? "the machine's values" : "the defaults");
}

// What stops the library at the hive `file`, or nothing; what to do about
// it in *next_step.
std::string hive_problem(const File& file, std::string* next_step) {
    const std::string& path = file.path;
    // The library reads only regular files (through links too); reading a
    // pipe here could wait for ever.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};  // created on first use
        if (errno == EACCES && may_go_without(file)) return {};
        *next_step = use_another(file);
        return "cannot read " + path + ": " + system_reason(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        *next_step = "move it aside: the hive is made again by the next change";
        return path + ": not a regular file";
    }
    if (unreadable(path) && may_go_without(file)) return {};
    std::string text;
    std::string error;
    switch (read_file(path, &text, &error)) {
        case ReadResult::kRead:
            break;
        case ReadResult::kMissing:
            return {};
        case ReadResult::kTooLarge:
            *next_step = mend(file, 0);
            return error + ": a corrupt store";
        case ReadResult::kFailed:
            *next_step = use_another(file);
            return error;
    }
    vantor::hive::ParseError parse_error;
    if (vantor::hive::parse(text, &parse_error)) return {};
    *next_step = mend(file, parse_error.line);
    return path + ":" + std::to_string(parse_error.line) +
           ": corrupt store: " + parse_error.message;
}

// The folder `path` is in.
std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Why this process may not write the hive `path` as the library does (a
// new file in its folder renamed over it, missing folders made, never
// through a link), with the system's reason; empty when it may.
std::string not_writable(const std::string& path) {
    struct stat info {};
    const bool exists = ::lstat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT && errno != ENOTDIR) {
        return "cannot write " + path + ": " + system_reason(errno);
    }
    if (exists && S_ISLNK(info.st_mode)) {
        return path + " is a symbolic link, which the store never writes through";
    }
    if (exists && ::access(path.c_str(), W_OK) != 0) {
        return "cannot write " + path + ": " + system_reason(errno);
    }
    const std::string verb = exists ? "cannot replace " : "cannot create ";
    const std::string folder = folder_of(path);
    if (::lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        return verb + path + ": its folder " + folder +
               " is a symbolic link, which the store never writes through";
    }
    // A missing folder is made: the nearest one above that exists must be a
    // folder this process may make it in.
    std::string missing;
    for (std::string at = folder;;) {
        int reason = 0;
        bool absent = false;
        if (::stat(at.c_str(), &info) != 0) {
            reason = errno;
            absent = reason == ENOENT || reason == ENOTDIR;
        } else if (!S_ISDIR(info.st_mode)) {
            reason = ENOTDIR;
        } else if (::access(at.c_str(), W_OK | X_OK) != 0) {
            reason = errno;
        } else {
            break;
        }
        std::string parent = folder_of(at);
        if (absent && parent != at) {
            missing = std::move(at);
            at = std::move(parent);
            continue;
        }
        if (missing.empty()) return verb + path + ": " + at + ": " + system_reason(reason);
        return verb + path + ": " + missing + " is missing and cannot be made in " + at + ": " +
               system_reason(reason);
    }
    return {};
}

// The hive a write of the key `key_path` goes to, by the library's rule:
// the user's when it holds the key, else the machine's when this process
// may write it, else the user's.
File write_target(std::string_view key_path) {
    const std::vector<File> found = files();
    if (found.size() == 1) return found[0];
    std::string text;
    std::string error;
    if (read_file(found[1].path, &text, &error) == ReadResult::kRead) {
        const std::optional<vantor::hive::Hive> hive = vantor::hive::parse(text);
        if (hive && hive->find(key_path) != nullptr) return found[1];
    }
    return not_writable(found[0].path).empty() ? found[0] : found[1];
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
    const vantor::hive::Hives hives = vantor::hive::find_hives();
    std::vector<File> found = {{hives.machine, kMachineRole}};
    if (!hives.user.empty()) found.push_back({hives.user, kUserRole});
    return found;
}

std::string problem(std::string* next_step) {
    for (const File& file : files()) {
        std::string step;
        std::string found = hive_problem(file, &step);
        if (found.empty()) continue;
        if (next_step != nullptr) *next_step = std::move(step);
        return found;
    }
    return {};
}

std::string write_failure(std::string_view key_path, std::int32_t status) {
    const File target = write_target(key_path);
    if (std::string cause = not_writable(target.path); !cause.empty()) {
        return cause + "; " + use_another(target);
    }
    switch (status) {
        case vantor::reg::kDiskFull:
            return "cannot write " + target.path + ": " + system_reason(ENOSPC) +
                   "; make room on its disk and try again";
        case vantor::reg::kLockViolation:
            return "another program held " + target.path +
                   ".lock for more than 10 seconds; try again when it is done";
        default:
            return {};
    }
}

bool unreadable(const std::string& path) {
    return ::access(path.c_str(), R_OK) != 0 && errno == EACCES;
}

std::string help() {
    return std::string("Stores: the machine's hive file, ") + vantor::hive::default_machine_hive() +
           ", and your own, which takes what you change when you may not write the machine's; "
           "your values show over the machine's.\n"
           "Environment:\n"
           "  VANTOR_REGISTRY       one hive file in place of both; --registry sets it.\n"
           "  VANTOR_USER_REGISTRY  your own hive file (default: "
           "${XDG_STATE_HOME:-$HOME/.local/state}/vantor/user.reg).\n";
}

}  // namespace vantorctl::store
