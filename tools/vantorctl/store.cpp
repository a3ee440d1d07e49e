#include "store.h"

#include <stdlib.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>

#include "files.h"
#include "hive/format.h"
#ifndef _WIN32
#include "registry/hive/paths.h"
#endif

namespace vantorctl::store {
namespace {

constexpr const char* kMachine = "machine";
constexpr const char* kUser = "user";

#ifndef _WIN32
// True when the library goes without `file` when it may not read it: a
// machine's hive beside the user's own.
bool may_go_without(const File& file) { return file.role == kMachine && files().size() > 1; }

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
    if (::access(path.c_str(), R_OK) != 0 && errno == EACCES && may_go_without(file)) return {};
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
#endif

}  // namespace

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
    if (::setenv("VANTOR_REGISTRY", path.c_str(), 1) != 0) {
        *error = "cannot set VANTOR_REGISTRY: " + system_reason(errno);
        return false;
    }
    return true;
#endif
}

std::vector<File> files() {
#ifdef _WIN32
    return {};
#else
    const vantor::hive::Hives hives = vantor::hive::find_hives();
    std::vector<File> found = {{hives.machine, kMachine}};
    if (!hives.user.empty()) found.push_back({hives.user, kUser});
    return found;
#endif
}

std::string problem() {
#ifndef _WIN32
    for (const File& file : files()) {
        std::string found = hive_problem(file);
        if (!found.empty()) return found;
    }
#endif
    return {};
}

std::string named() {
    const std::vector<File> found = files();
    if (found.size() == 1) return "; store " + found[0].path;
    std::string text;
    for (const File& file : found) {
        text += (text.empty() ? "; " : ", ") + std::string(file.role) + " store " + file.path;
    }
    return text;
}

const char* source_name(Source source) {
    switch (source) {
        case Source::kMachine:
            return kMachine;
        case Source::kUser:
            return kUser;
        case Source::kNone:
        case Source::kUnknown:
            break;
    }
    return nullptr;
}

Sources Sources::read() {
    Sources sources;
    for (File& file : files()) {
        Store store{std::move(file), std::nullopt, false};
        std::string text;
        std::string error;
        if (read_file(store.file.path, &text, &error) == ReadResult::kRead) {
            store.hive = vantor::hive::parse(text);
        }
#ifndef _WIN32
        store.unreadable = ::access(store.file.path.c_str(), R_OK) != 0 && errno == EACCES;
#endif
        sources.stores_.push_back(std::move(store));
    }
    return sources;
}

Source Sources::of(const Setting& field) const {
    if (stores_.empty()) return Source::kUnknown;
    // The user's hive first.
    for (auto store = stores_.rbegin(); store != stores_.rend(); ++store) {
        if (!store->hive) continue;
        const vantor::hive::StoredKey* key = store->hive->find(record_key_path(field.record));
        if (key != nullptr && key->find(field.name) != nullptr) {
            return store->file.role == kUser ? Source::kUser : Source::kMachine;
        }
    }
    return Source::kNone;
}

}  // namespace vantorctl::store
