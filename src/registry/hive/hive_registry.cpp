// The registry interface on the file-backed hives (paths.h tells which files,
// hive_file.h how each is read and replaced, hive/format.h its text form).
//
// The machine's hive and the caller's own make one registry, as Windows
// makes one of the machine's keys and a user's own store for an older
// program that a user without the right to write the machine's keys runs:
// - A value is read from the user's hive where it holds the key and the
//   value, else from the machine's. A key exists when either hive holds it.
// - A key is made, and a value written, in the user's hive when it already
//   holds the key: its values are the ones this user reads, so a write
//   anywhere else would not be seen. Otherwise in the machine's hive when
//   this caller may write it (check_writable(): root, or a member of a
//   group that shares the store); else, for a caller who is refused it for
//   want of permission (EACCES) and is not root, in the user's hive, which
//   is made the first time it is needed, for its owner alone. A machine's
//   hive that cannot be written for another reason (a read-only file
//   system, a link), or by root, gives its own status: root's writes are
//   the machine's, and never land unseen in some user's hive. So the
//   machine's hive is never written by who may not write it, and no one
//   reads another user's hive.
// - $VANTOR_WRITE_TO (paths.h) overrides this choice: every write goes to
//   the hive it names, the readers' seeding too, and fails where this
//   caller may not write that hive; it never goes to the other.
// - A user's hive is written only where its folders are the caller's own
//   (check_own()): never in, or through a link to, someone else's.
// - Every call reads both hives, and a hive that fails to read fails the
//   call with its status: a corrupt one (either) with ERROR_BADDB, never
//   hidden behind values of the other or a fresh copy in the user's hive.
//   One failure is not the call's: a machine's hive that this user may not
//   read (access denied, as an administrator may choose) holds nothing for
//   this user. A key the user's hive holds then has the user's values
//   alone; any other key is missing, so a reader seeds it in the user's
//   hive, where a write would go.
// With one hive (paths.h: $VANTOR_REGISTRY, a set-user-ID program, no home
// folder) all of this is that hive alone, which a caller who may not write
// it reads but never changes.
//
// A hive may be a Wine prefix's system.reg (wine.h): the game's keys are
// then read and written in the registry's 32-bit view, names and strings
// converted between the game's windows-1252 and Wine's UTF-16 as Wine's
// ANSI calls convert them, and nothing is written while the prefix's Wine
// server runs (ERROR_SHARING_VIOLATION).
//
// A key handle remembers the key's path, in its stored case, the hive its
// writes go to, and the key as each hive held it when it was opened: its
// queries answer from those copies, so a reader that opens a key and
// queries its twelve values reads (or checks, see read_key()) each file
// once, not thirteen times. Handles live inside one exported call, and each
// call opens its own, so every call sees the files as they are; what a
// handle does not see is a change made by another handle or process between
// its open and its queries. It then answers from the key as the whole,
// consistent hives it opened held it, as if those queries had come first: a
// key deleted meanwhile still answers, and a hive corrupted meanwhile is
// only noticed by the next open.
//
// Writes are staged in the handle and committed when it is closed, all in
// one atomic, durable replace of the hive they go to (hive_file.h's
// update(), which reads that hive afresh under the writers' lock): a call's
// changes to one key land together or not at all, and a close that changes
// nothing writes nothing. A key that the hive written did not hold when the
// handle was opened is added by that commit too. The handle's queries see
// its staged writes. Whatever makes the commit fail is reported by
// close_key(): a write through a handle whose key has since been deleted
// fails there with ERROR_KEY_DELETED. A handle made by create_new_key() for
// a key that neither hive held commits only if neither holds it still: one
// made meanwhile (in the hive written, checked under its writers' lock, or
// in the other) is left as it is, and the close returns
// ERROR_ALREADY_EXISTS. A handle is used by one thread at a time, as the
// settings code uses it.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "hive/format.h"
#include "registry/hive/hive_file.h"
#include "registry/hive/layers.h"
#include "registry/hive/paths.h"
#include "registry/hive/wine.h"
#include "registry/registry.h"

struct vantor::reg::Key {
    // The key as one hive held it when the handle was opened (no key: that
    // hive had none), and the value after the last one queried there: likely
    // the next asked for.
    struct Layer {
        vantor::store::KeyView found;
        std::size_t next = 0;
    };

    // A write for the commit, as the caller gave it.
    struct Staged {
        std::string name;
        std::uint32_t type = 0;
        std::string data;
        bool nul_follows = true;  // a NUL byte came after the data (strings in Wine's files)
    };

    std::string path;    // below HKEY_LOCAL_MACHINE, in a hive's case; for a handle that writes
    std::string target;  // the hive the writes go to; empty for a handle opened to read
    bool target_wine = false;  // the target is a Wine file: strings are stored as Wine stores them
    vantor::store::Create create = vantor::store::Create::kNo;  // how the target is made
    bool in_target = false;  // the target held the key: the commit changes it, not adds it
    bool added = false;      // created where neither hive had it: the commit adds it
    bool only_new = false;   // made by create_new_key(): the commit adds it only if still missing
    std::string other;       // the hive besides the target, for such a commit; or empty
    Layer layers[2];         // the user's hive, then the machine's
    std::vector<Staged> staged;  // writes for the commit, one per name
};

namespace vantor::reg {
namespace {

constexpr int kUser = 0;
constexpr int kMachine = 1;

// The key path without one trailing backslash, or false when the hive
// cannot hold such a key (null, empty, an empty component, CR or LF).
bool key_path(const char* path, std::string_view* out) noexcept {
    if (path == nullptr) return false;
    std::string_view wanted = path;
    if (!wanted.empty() && wanted.back() == '\\') wanted.remove_suffix(1);
    if (!hive::valid_key_path(wanted)) return false;
    *out = wanted;
    return true;
}

// A null value name, like an empty one, names the key's default value.
std::string_view value_name(const char* name) noexcept { return name != nullptr ? name : ""; }

// The value called `name` (the game's, windows-1252) in one hive's copy
// of the key. Callers mostly ask for the values in the order they were
// stored, so the one after the last found is tried before the others.
const hive::Value* find_value(Key::Layer& layer, std::string_view name) {
    std::string converted;
    if (layer.found.dialect == hive::Dialect::kWine) {
        converted = store::wine::name(name);
        name = converted;
    }
    const std::vector<hive::Value>& values = layer.found.key->values;
    const hive::Value* value = nullptr;
    if (layer.next < values.size() && hive::iequals(values[layer.next].name, name)) {
        value = &values[layer.next];
    } else {
        value = layer.found.key->find(name);
        if (value == nullptr) return nullptr;
    }
    layer.next = static_cast<std::size_t>(value - values.data()) + 1;
    return value;
}

// The value `name` as staged in the handle, or nullptr.
Key::Staged* staged_value(Key* key, std::string_view name) noexcept {
    for (Key::Staged& value : key->staged) {
        if (hive::iequals(value.name, name)) return &value;
    }
    return nullptr;
}

// Reads the key from each hive into the handle's layers (`for_write`: see
// read_key()). A hive the library goes without (goes_without(): a missing
// one, a machine's hive this user may not read beside one of the user's
// own) holds nothing. Any other failure is returned.
Status read_layers(const store::Hives& hives, std::string_view wanted, Key* key, bool for_write) {
    const bool layered = !hives.user.empty();
    if (layered) {
        const Status status =
            store::read_key(hives.user.c_str(), wanted, &key->layers[kUser].found, for_write);
        if (status != kSuccess && !store::goes_without(store::Role::kUser, status, layered)) {
            return status;
        }
    }
    const Status status =
        store::read_key(hives.machine.c_str(), wanted, &key->layers[kMachine].found, for_write);
    if (status != kSuccess && !store::goes_without(store::Role::kMachine, status, layered)) {
        return status;
    }
    return kSuccess;
}

bool in_either(const Key& key) {
    return key.layers[kUser].found.key != nullptr || key.layers[kMachine].found.key != nullptr;
}

// Chooses the hive the handle's writes go to (see the top of this file and
// write_target()); the refusal's status when this process may not write it.
Status choose_target(const store::Hives& hives, Key* key) {
    const store::Target target =
        store::write_target(hives, key->layers[kUser].found.key != nullptr);
    const bool to_user = target.role == store::Role::kUser;
    const store::KeyView& found = key->layers[to_user ? kUser : kMachine].found;
    key->target = target.path;
    key->create = to_user ? store::Create::kPrivate : store::Create::kShared;
    key->in_target = found.key != nullptr;
    key->target_wine = found.dialect == hive::Dialect::kWine;
    return target.refusal;
}

// The key's path as the hive that holds it stores it (the user's first), or
// `wanted` when neither does.
std::string stored_path(const Key& key, std::string_view wanted) {
    for (const Key::Layer& layer : key.layers) {
        if (layer.found.key != nullptr) return layer.found.key->path;
    }
    return std::string(wanted);
}

// True when the hive at `path` holds the key now; a hive that cannot be
// read holds nothing here (the commit's own hive is judged by update()).
bool holds_now(const std::string& path, const std::string& key_path) {
    store::KeyView view;
    return !path.empty() && store::read_key(path.c_str(), key_path, &view) == kSuccess &&
           view.key != nullptr;
}

// Commits what the handle staged, in one replace of its target hive.
Status commit(const Key& key) {
    const Status updated = store::update(
        key.target, key.in_target ? store::Create::kNo : key.create, [&](hive::Document& document) {
            const bool wine = document.dialect() == hive::Dialect::kWine;
            const std::string path = store::wine::key_path(document, key.path);
            if (key.only_new &&
                (document.find(path) != nullptr || holds_now(key.other, key.path))) {
                return kAlreadyExists;  // made meanwhile: left as it is
            }
            if (key.in_target && document.find(path) == nullptr) return kKeyDeleted;
            document.add_key(path);
            for (const Key::Staged& value : key.staged) {
                if (wine) {
                    document.set_value(
                        path, store::wine::name(value.name), value.type,
                        store::wine::stored_data(value.type, value.data, value.nul_follows));
                } else {
                    document.set_value(path, value.name, value.type, value.data);
                }
            }
            return kSuccess;
        });
    // A missing hive (or folder) means the key went away since it was opened.
    return key.in_target && updated == kFileNotFound ? kKeyDeleted : updated;
}

// Runs `body`, turning anything it throws into a status.
template <typename Body>
Status guarded(Status fallback, const Body& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kNotEnoughMemory;
    } catch (...) {
        return fallback;
    }
}

// create_key(), or with `only_new` create_new_key().
Status create(const char* path, bool only_new, Key** key) noexcept {
    if (key == nullptr) return kInvalidParameter;
    *key = nullptr;
    return guarded(kWriteFault, [&]() -> Status {
        std::string_view wanted;
        if (!key_path(path, &wanted)) return kInvalidParameter;
        const store::Hives hives = store::find_hives();
        auto created = std::make_unique<Key>();
        Status status = read_layers(hives, wanted, created.get(), true);
        if (status != kSuccess) return status;
        created->added = !in_either(*created);
        if (only_new && !created->added) return kAlreadyExists;
        // Refused up front, as the registry refuses a caller who may not
        // write; a missing key is added by the handle's commit.
        status = choose_target(hives, created.get());
        if (status != kSuccess) return status;
        created->path = stored_path(*created, wanted);
        if (only_new) {
            created->only_new = true;
            created->other = created->target == hives.user ? hives.machine : hives.user;
        }
        *key = created.release();
        return kSuccess;
    });
}

}  // namespace

Status open_key(const char* path, Access access, Key** key) noexcept {
    if (key == nullptr) return kInvalidParameter;
    *key = nullptr;
    return guarded(kReadFault, [&]() -> Status {
        std::string_view wanted;
        if (!key_path(path, &wanted)) return kInvalidParameter;
        const store::Hives hives = store::find_hives(access == Access::kAll);
        auto opened = std::make_unique<Key>();
        Status status = read_layers(hives, wanted, opened.get(), access == Access::kAll);
        if (status != kSuccess) return status;
        if (!in_either(*opened)) return kFileNotFound;
        // A write-access handle is refused up front, as the registry refuses
        // KEY_ALL_ACCESS to a caller who may not write the key. Only such a
        // handle needs the key's path, for its commit.
        if (access == Access::kAll) {
            status = choose_target(hives, opened.get());
            if (status != kSuccess) return status;
            opened->path = stored_path(*opened, wanted);
        }
        *key = opened.release();
        return kSuccess;
    });
}

Status create_key(const char* path, Key** key) noexcept { return create(path, false, key); }

Status create_new_key(const char* path, Key** key) noexcept { return create(path, true, key); }

Status query_value(Key* key, const char* name, void* data, std::uint32_t* size) noexcept {
    if (key == nullptr || (data != nullptr && size == nullptr)) return kInvalidParameter;
    return guarded(kReadFault, [&]() -> Status {
        // What the game's ANSI call gives: a Wine file's strings converted.
        std::string converted;
        std::string_view found;
        bool any = false;
        const std::string_view wanted = value_name(name);
        if (const Key::Staged* staged = staged_value(key, wanted)) {
            any = true;
            found = staged->data;
            if (key->target_wine && store::wine::is_string(staged->type)) {
                converted = store::wine::game_data(
                    staged->type,
                    store::wine::stored_data(staged->type, staged->data, staged->nul_follows));
                found = converted;
            }
        }
        for (Key::Layer& layer : key->layers) {
            if (any || layer.found.key == nullptr) continue;
            const hive::Value* value = find_value(layer, wanted);
            if (value == nullptr) continue;
            any = true;
            found = value->data;
            if (layer.found.dialect == hive::Dialect::kWine) {
                converted = store::wine::game_data(value->type, value->data);
                found = converted;
            }
        }
        if (!any) return kFileNotFound;
        // The hive's size limit keeps every value well below 4 GiB.
        const auto needed = static_cast<std::uint32_t>(found.size());
        if (data != nullptr) {
            if (needed > *size) {
                *size = needed;
                return kMoreData;
            }
            std::memcpy(data, found.data(), needed);
        }
        if (size != nullptr) *size = needed;
        return kSuccess;
    });
}

Status set_value(Key* key, const char* name, std::uint32_t type, const void* data,
                 std::uint32_t size) noexcept {
    if (key == nullptr || (data == nullptr && size != 0)) return kInvalidParameter;
    if (key->target.empty()) return kAccessDenied;
    if (!hive::valid_value_name(value_name(name))) return kInvalidParameter;
    if (size > store::kMaxHiveSize) return kDiskFull;  // could never be stored
    return guarded(kNotEnoughMemory, [&]() -> Status {
        const auto* bytes = static_cast<const char*>(data);
        // As RegSetValueExA does, a string not counted with its NUL is
        // stored with one when the byte after it is NUL: in a Wine file,
        // where strings carry their NUL.
        bool nul_follows = true;
        if (key->target_wine && store::wine::is_string(type) && size != 0 &&
            bytes[size - 1] != '\0') {
            nul_follows = bytes[size] == '\0';
        }
        const std::string_view stored(bytes, size);
        if (Key::Staged* staged = staged_value(key, value_name(name))) {
            staged->type = type;
            staged->data.assign(stored);
            staged->nul_follows = nul_follows;
        } else {
            key->staged.push_back(
                {std::string(value_name(name)), type, std::string(stored), nul_follows});
        }
        return kSuccess;
    });
}

Status close_key(Key* key) noexcept {
    if (key == nullptr) return kInvalidParameter;
    const std::unique_ptr<Key> closed(key);
    if (!key->added && key->staged.empty()) return kSuccess;
    // Let go of the hives the handle read: the commit may then edit the kept
    // one rather than copy it.
    for (Key::Layer& layer : key->layers) layer.found = {};
    return guarded(kWriteFault, [&] { return commit(*key); });
}

}  // namespace vantor::reg
