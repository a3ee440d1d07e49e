// Natively the stores are the stand-in registry's hive files: the store
// (src/registry/hive/layers.h) names them by the library's own rule, tells
// which one holds each value, which one a write goes to and why one cannot
// be read. This file says so in words, with what to do about it.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "files.h"
#include "hive/format.h"
#include "registry/codes.h"
#include "registry/hive/folders.h"
#include "registry/hive/layers.h"
#include "registry/hive/paths.h"
#include "store.h"
#include "values.h"

namespace vantorctl::store {
namespace {

using vantor::store::Layer;
using vantor::store::Layers;
using vantor::store::Problem;

std::string_view role_of(vantor::store::Role role) {
    return role == vantor::store::Role::kUser ? kUserRole : kMachineRole;
}

bool one_file_named() {
    const char* named = std::getenv("VANTOR_REGISTRY");
    return named != nullptr && *named != '\0';
}

// What to do about a hive this user cannot use, by the part it plays.
std::string use_another(const File& file) {
    if (file.role == kUserRole && ::geteuid() == 0 && std::getenv("VANTOR_USER_REGISTRY")) {
        // As sudo -E gives it: a user's variable, naming that user's hive.
        return "VANTOR_USER_REGISTRY names this file: unset it for root (sudo without -E), or "
               "use --machine";
    }
    if (file.role == kUserRole)
        return "set VANTOR_USER_REGISTRY to a file in a folder you may write";
    if (wine_prefix()) return "run vantorctl as the user the prefix belongs to";
    if (one_file_named()) return "name a file you may write with --registry FILE";
    if (files().size() == 1) {
        return "run as root to change the machine's settings, or set VANTOR_USER_REGISTRY to a "
               "file of your own";
    }
    return "run as root to change the machine's settings";
}

// What to do about a hive that does not parse: by one who may replace it
// (write its folder), or else by them.
std::string mend(const File& file, std::size_t line) {
    const std::string& path = file.path;
    if (wine_prefix()) {
        // The whole registry of the prefix's Windows: never to be moved aside.
        return std::string(line != 0 ? "Wine may read what vantorctl cannot"
                                     : "vantorctl reads a Wine registry of at most 16 MiB") +
               "; leave " + path +
               " as it is and change the settings from inside the prefix (vantor-setup.exe, or "
               "wine reg add \"HKLM\\Software\\QUORIX\\Game\" ... /reg:32)";
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    if (::access(folder.c_str(), W_OK) != 0) {
        return "ask the administrator to " +
               (line != 0 ? "mend line " + std::to_string(line) + " of " + path + " or restore it"
                          : "restore " + path) +
               " from a backup";
    }
    return (line != 0 ? "mend line " + std::to_string(line) + " of " + path + ", restore it"
                      : "restore " + path) +
           " from a backup, or move it aside (mv " + path + " " + path +
           ".bad) to start again from " +
           (file.role == kUserRole ? "the machine's values" : "the defaults");
}

// What stops the library at the hive `layer`, naming the file; what to do
// about it in *next_step.
std::string described(const Layer& layer, std::string* next_step) {
    const File file{layer.path, role_of(layer.role)};
    const std::string& path = file.path;
    switch (layer.problem.kind) {
        case Problem::Kind::kNone:
            break;
        case Problem::Kind::kUnreadable:
            *next_step = use_another(file);
            return "cannot read " + path + ": " + system_reason(layer.problem.error);
        case Problem::Kind::kNotAFile:
            *next_step = "move it aside: the hive is made again by the next change";
            return path + ": not a regular file";
        case Problem::Kind::kTooLarge:
            *next_step = mend(file, 0);
            return path + " is larger than 16 MiB: a corrupt store";
        case Problem::Kind::kCorrupt:
            *next_step = mend(file, layer.problem.line);
            return path + ":" + std::to_string(layer.problem.line) +
                   ": corrupt store: " + layer.problem.message;
    }
    return {};
}

// "status 5 (access denied)".
std::string status_words(std::int32_t status) {
    std::string text = "status " + std::to_string(status);
    if (const vantor::reg::StatusInfo* info = vantor::reg::find_status(status)) {
        text += std::string(" (") + info->text + ")";
    }
    return text;
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

// Why a write to `file` failed with `status`, as far as can be told, with
// what to do; `foreign` when the store refused it as a user's hive in
// someone else's folders.
std::string failure_at(const File& file, bool foreign, std::int32_t status) {
    if (std::string cause = not_writable(file.path); !cause.empty()) {
        return cause + "; " + use_another(file);
    }
    if (foreign) {
        return "cannot write " + file.path +
               ": its folder belongs to another user, and a hive of your own is only ever "
               "written in yours; " +
               use_another(file);
    }
    if (status == vantor::reg::kSharingViolation || status == vantor::reg::kAccessDenied ||
        status == 0) {
        std::string next_step;
        if (std::string running = wine_running(&next_step); !running.empty()) {
            return running + ": a change now would be lost when Wine saves its registry; " +
                   next_step + "; then try again";
        }
    }
    switch (status) {
        case vantor::reg::kDiskFull:
            return "cannot write " + file.path + ": " + system_reason(ENOSPC) +
                   "; make room on its disk and try again";
        case vantor::reg::kLockViolation:
            return "another program held " + file.path +
                   ".lock for more than 10 seconds; try again when it is done";
        default:
            return {};
    }
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

std::string problem(std::string* next_step) {
    const Layers layers = Layers::read(false);
    const Layer* failing = layers.failing();
    if (failing == nullptr) return {};
    std::string step;
    std::string found = described(*failing, &step);
    if (next_step != nullptr) *next_step = std::move(step);
    return found;
}

std::string write_failure(std::string_view key_path, std::int32_t status) {
    const vantor::store::Target target = Layers::read().target_of(key_path);
    if (target.path.empty()) return {};
    return failure_at({target.path, role_of(target.role)}, target.foreign, status);
}

bool has_user_store() { return files().size() > 1; }

bool write_to(Scope scope, std::string* error) {
    if (scope == Scope::kEither) return true;
    if (!has_user_store()) {
        const std::optional<WinePrefix> prefix = wine_prefix();
        *error = std::string(scope_option(scope)) +
                 " chooses between the machine's store and your own, and here there is one: " +
                 files().front().path +
                 (prefix             ? ", the Wine prefix's registry"
                  : one_file_named() ? " (VANTOR_REGISTRY)"
                                     : "") +
                 ", which takes every change";
        return false;
    }
    if (::setenv("VANTOR_WRITE_TO", scope == Scope::kMachine ? "machine" : "user", 1) != 0) {
        *error = "cannot set VANTOR_WRITE_TO: " + system_reason(errno);
        return false;
    }
    return true;
}

std::string write_refusal() {
    const std::string_view key_path = record_key_path(Record::kGame);
    const vantor::store::Target target = Layers::read().target_of(key_path);
    if (target.refusal == vantor::reg::kSuccess) return {};
    if (target.path.empty()) return "there is no store of your own here";
    const File file{target.path, role_of(target.role)};
    if (std::string why = failure_at(file, target.foreign, target.refusal); !why.empty()) {
        return why;
    }
    return "cannot write " + file.path + ": " + status_words(target.refusal);
}

bool may_write_machine() {
    vantor::store::Hives hives = vantor::store::find_hives();
    hives.write_to = vantor::store::WriteTo::kMachine;
    return vantor::store::write_target(hives, false).refusal == vantor::reg::kSuccess;
}

bool remove_own(Record record, const std::vector<const Setting*>& fields,
                std::vector<const Setting*>* removed, std::string* error) {
    const vantor::store::Hives hives = vantor::store::find_hives();
    std::vector<std::string> names;
    for (const Setting* field : fields) names.emplace_back(field->name);
    std::vector<std::string> gone;
    const std::int32_t status =
        vantor::store::remove_own_values(hives, record_key_path(record), names, &gone);
    removed->clear();
    for (const std::string& name : gone) {
        if (const Setting* field = find_field(name)) removed->push_back(field);
    }
    if (status == vantor::reg::kSuccess) return true;
    const File file{hives.user, kUserRole};
    const bool foreign = status == vantor::reg::kAccessDenied && !file.path.empty() &&
                         vantor::store::check_own(file.path) != vantor::reg::kSuccess;
    *error = failure_at(file, foreign, status);
    if (error->empty()) *error = "cannot change " + file.path + ": " + status_words(status);
    return false;
}

Sources Sources::read() {
    Sources sources;
    auto layers = std::make_shared<const Layers>(Layers::read());
    const std::optional<WinePrefix> prefix = wine_prefix();
    for (const Layer& layer : layers->layers()) {
        sources.stores_.push_back({{layer.path, role_of(layer.role)},
                                   layer.unreadable,
                                   layer.wine_file ? prefix : std::nullopt});
    }
    sources.layers_ = std::move(layers);
    return sources;
}

Source Sources::of(const Setting& field) const {
    if (layers_ == nullptr) return Source::kUnknown;
    const Layer* holder = layers_->holder(record_key_path(field.record), field.name);
    if (holder == nullptr) return Source::kNone;
    return holder->role == vantor::store::Role::kUser ? Source::kUser : Source::kMachine;
}

std::optional<Sources::Machine> Sources::hidden(const Setting& field,
                                                const Records& records) const {
    if (!layered() || of(field) != Source::kUser) return std::nullopt;
    const Layer& machine = layers_->layers().front();
    if (machine.unreadable) return std::nullopt;
    std::optional<Assignment> value;
    if (const std::optional<vantor::hive::Value> stored =
            machine.value(record_key_path(field.record), field.name)) {
        std::string problem;
        value = check_stored_value(field, stored->type, stored->data, &problem);
    }
    const bool held = value.has_value();
    if (!value) value = Assignment{&field, field.default_text, field.default_number};
    const bool differs = field.kind == Kind::kText ? get_text(records, field) != value->text
                                                   : get_number(records, field) != value->number;
    if (!differs) return std::nullopt;
    return Machine{value->text, value->number, held};
}

std::string Sources::user_file() const {
    return layered() ? layers_->layers().back().path : std::string();
}

std::string help() {
    return std::string("Stores: the machine's hive file, ") +
           vantor::store::default_machine_hive() +
           ", and your own, which takes what you change when you may not write the machine's; "
           "your values show over the machine's.\n"
           "Environment:\n"
           "  VANTOR_REGISTRY       one hive file in place of both; --registry sets it.\n"
           "  VANTOR_USER_REGISTRY  your own hive file (default: "
           "${XDG_STATE_HOME:-$HOME/.local/state}/vantor/user.reg;\n"
           "                        root's is in its home folder in the password database).\n"
           "  VANTOR_WRITE_TO       machine or user: every change goes to that store alone;\n"
           "                        --machine and --user set it.\n";
}

}  // namespace vantorctl::store
