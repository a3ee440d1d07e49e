// The hives as the library reads them, for a program that shows them
// (vantorctl): which hive each value comes from, and why a hive cannot be
// read. The answers are the library's own rules, not a copy of them.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/document.h"
#include "hive/format.h"
#include "registry/hive/paths.h"
#include "registry/registry.h"

namespace vantor::store {

// The part a hive plays.
enum class Role {
    kMachine,  // the machine's, or the one $VANTOR_REGISTRY names
    kUser,     // the caller's own
};

// Whether the library goes without a hive that failed to read with
// `status`, rather than fail the call: a machine's hive the user may not
// read, beside a hive of the user's own, holds nothing for that user. (A
// missing hive holds nothing either.)
bool goes_without(Role role, reg::Status status, bool layered) noexcept;

// Where a write of a key goes, and whether this process may make it there.
struct Target {
    Role role = Role::kMachine;
    std::string path;
    reg::Status refusal = reg::kSuccess;  // what the write fails with, or kSuccess
    int error = 0;         // the refusal's errno (EACCES, EROFS, ELOOP for a link, ...)
    bool foreign = false;  // refused: a user's hive in folders of someone else's
};

// The hive a write of a key goes to, given whether the user's hive holds
// it (`in_user`): the user's hive when it does; else the machine's, unless
// this process is denied that for want of permission (EACCES) and is not
// root, and there is a user's hive, which takes the write then. A machine's
// hive that cannot be written for another reason (a read-only file system,
// a link), or by root, is still the target: the write fails with its
// status, and a machine-wide change never lands unseen in a user's hive. A
// user's hive is written only in folders of the caller's own.
//
// With hives.write_to set, the hive it names, whatever the rule above: the
// write fails when this process may not write it (and, for kUser without a
// user's hive, with kAccessDenied and an empty path).
Target write_target(const Hives& hives, bool in_user);

// Removes the values `names` (in any case) of the key `key_path` from the
// caller's own hive, so that the machine's show through, and the key itself
// once it holds no value and no subkey: a user's hive that holds a key takes
// every write of it (write_target()), which must go back to the machine's.
// The hive is changed as the library changes it (hive_file.h's update():
// under the writers' lock, replaced whole), and only when it is the
// caller's own (check_own()). Sets *removed to the names removed, as the
// hive spelled them; a missing hive, key or value removes nothing. Returns
// kAccessDenied when there is no user's hive (one hive alone), else the
// write's status: kBadDb for a corrupt hive, which is never changed.
reg::Status remove_own_values(const Hives& hives, std::string_view key_path,
                              const std::vector<std::string>& names,
                              std::vector<std::string>* removed);

// Why the library cannot read a hive: every call then fails.
struct Problem {
    enum class Kind {
        kNone,
        kUnreadable,  // the system refused it: `error`
        kNotAFile,    // a folder, a FIFO, a device in the hive's place
        kTooLarge,    // over kMaxHiveSize
        kCorrupt,     // does not parse: at `line`, `message` says what
    };
    Kind kind = Kind::kNone;
    reg::Status status = reg::kSuccess;  // what the library's calls fail with
    int error = 0;
    std::size_t line = 0;
    std::string message;
};

// One hive file as it is now.
struct Layer {
    std::string path;
    Role role = Role::kMachine;
    bool exists = false;
    bool unreadable = false;  // there, but this user may not read it
    Problem problem;          // what stops the library here, if anything
    bool wine_file = false;   // a Wine prefix's registry file (wine.h)
    std::string arch_line;    // then its "#arch=" (win64, win32), when it has one
    std::shared_ptr<const hive::Document> document;  // null: missing, not read, or only checked

    // Where the game's key `key_path` is in this hive: in a Wine file, in
    // the 32-bit view.
    std::string stored_path(std::string_view key_path) const;
    // The game's key `key_path` as the library reads it, or null.
    const hive::StoredKey* key(std::string_view key_path) const;
    // The value `name` of that key as the game's ANSI calls read it (a Wine
    // file's strings in windows-1252), or nothing.
    std::optional<hive::Value> value(std::string_view key_path, std::string_view name) const;
};

class Layers {
  public:
    // The hives of find_hives(), each read now: whole, or with `whole`
    // false only checked for what stops the library (failing() then
    // tells; holder() and target_of() find nothing). May throw
    // std::bad_alloc.
    static Layers read(bool whole = true);
    static Layers read(const Hives& hives, bool whole = true);

    // The machine's first.
    const std::vector<Layer>& layers() const noexcept { return layers_; }

    // The hive a reader takes the value `name` of the key `key_path` from:
    // the user's where it holds the key and the value, else the machine's;
    // null when neither holds it.
    const Layer* holder(std::string_view key_path, std::string_view name) const;

    // The first hive that makes the library fail its calls, or null.
    const Layer* failing() const noexcept;

    // write_target() for the key `key_path`, as the hives are now.
    Target target_of(std::string_view key_path) const;

  private:
    Hives hives_;
    std::vector<Layer> layers_;
};

}  // namespace vantor::store
