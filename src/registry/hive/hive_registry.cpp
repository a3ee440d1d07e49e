// The registry interface on the file-backed hive (see hive_file.h for how the
// file is read and replaced, hive/format.h for its text form).
//
// A key handle remembers the key's path, in its stored case, whether it may
// write, and the key as read when it was opened: its queries answer from
// that copy, so a reader that opens a key and queries its twelve values
// reads (or checks, see read_key()) the file once, not thirteen times.
// Handles live inside one exported call, and each call opens its own, so
// every call sees the file as it is; what a handle does not see is a change
// made by another handle or process between its open and its queries. It
// then answers from the key as the whole, consistent hive it opened held
// it, as if those queries had come first: a key deleted meanwhile still
// answers, and a hive corrupted meanwhile is only noticed by the next open.
//
// Writes are staged in the handle and committed when it is closed, all in
// one atomic, durable replace of the hive (hive_file.h's update(), which
// reads the hive afresh under the writers' lock): a call's changes to one
// key land together or not at all, and a close that changes nothing writes
// nothing. A key that create_key() did not find is added by that commit
// too. The handle's queries see its staged writes. Whatever makes the
// commit fail is reported by close_key(): a write through a handle whose key
// has since been deleted fails there with ERROR_KEY_DELETED. A handle is
// used by one thread at a time, as the settings code uses it.
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/format.h"
#include "registry/hive/hive_file.h"
#include "registry/registry.h"

struct vantor::reg::Key {
    std::string path;  // below HKEY_LOCAL_MACHINE, in the case stored in the hive
    bool writable;     // opened with Access::kAll or created
    bool added;        // created where the hive had no such key: the commit adds it
    vantor::hive::KeyView found;  // what queries answer from; no key: no such key
    std::size_t next = 0;  // the value after the last one queried: likely the next asked for
    std::vector<vantor::hive::Value> staged;  // writes for the commit, one per name
};

namespace vantor::reg {
namespace {

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

// The value called `name` in the handle's copy. Callers mostly ask for the
// values in the order they were stored, so the one after the last found is
// tried before the others.
const hive::Value* find_value(Key* key, std::string_view name) noexcept {
    const std::vector<hive::Value>& values = key->found.key->values;
    const hive::Value* value = nullptr;
    if (key->next < values.size() && hive::iequals(values[key->next].name, name)) {
        value = &values[key->next];
    } else {
        value = key->found.key->find(name);
        if (value == nullptr) return nullptr;
    }
    key->next = static_cast<std::size_t>(value - values.data()) + 1;
    return value;
}

// The value `name` as staged in the handle, or nullptr.
hive::Value* staged_value(Key* key, std::string_view name) noexcept {
    for (hive::Value& value : key->staged) {
        if (hive::iequals(value.name, name)) return &value;
    }
    return nullptr;
}

// Commits what the handle staged, in one replace of the hive.
Status commit(const Key& key) {
    const Status updated =
        hive::update(hive::hive_path(), key.added, [&](hive::Hive& hive, hive::Change& change) {
            bool added = false;
            hive::StoredKey* found = key.added ? &hive.ensure(key.path, &added) : hive.find(key.path);
            if (found == nullptr) return kKeyDeleted;
            change.changed = added;
            for (const hive::Value& value : key.staged) {
                if (found->set(value.name, value.type, value.data)) change.changed = true;
            }
            if (!added) change.only = found;
            return kSuccess;
        });
    // A missing hive (or folder) means the key went away since it was opened.
    return !key.added && updated == kFileNotFound ? kKeyDeleted : updated;
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

}  // namespace

Status open_key(const char* path, Access access, Key** key) noexcept {
    if (key == nullptr) return kInvalidParameter;
    *key = nullptr;
    return guarded(kReadFault, [&]() -> Status {
        std::string_view wanted;
        if (!key_path(path, &wanted)) return kInvalidParameter;
        const char* file = hive::hive_path();
        hive::KeyView found;
        const Status loaded = hive::read_key(file, wanted, &found);
        if (loaded != kSuccess) return loaded;
        if (found.key == nullptr) return kFileNotFound;
        // A write-access handle is refused up front, as the registry refuses
        // KEY_ALL_ACCESS to a caller who may not write the key.
        const bool writable = access == Access::kAll;
        if (writable) {
            const Status refused = hive::check_writable(file);
            if (refused != kSuccess) return refused;
        }
        *key = new Key{found.key->path, writable, false, std::move(found), 0, {}};
        return kSuccess;
    });
}

Status create_key(const char* path, Key** key) noexcept {
    if (key == nullptr) return kInvalidParameter;
    *key = nullptr;
    return guarded(kWriteFault, [&]() -> Status {
        std::string_view wanted;
        if (!key_path(path, &wanted)) return kInvalidParameter;
        const std::string file = hive::hive_path();

        hive::KeyView found;
        const Status loaded = hive::read_key(file.c_str(), wanted, &found);
        if (loaded != kSuccess && loaded != kFileNotFound) return loaded;
        // Refused up front, as the registry refuses a caller who may not
        // write; a missing key is added by the handle's commit.
        const Status refused = hive::check_writable(file);
        if (refused != kSuccess) return refused;
        const bool added = found.key == nullptr;
        std::string stored = added ? std::string(wanted) : found.key->path;
        *key = new Key{std::move(stored), true, added, std::move(found), 0, {}};
        return kSuccess;
    });
}

Status query_value(Key* key, const char* name, void* data, std::uint32_t* size) noexcept {
    if (key == nullptr || (data != nullptr && size == nullptr)) return kInvalidParameter;
    return guarded(kReadFault, [&]() -> Status {
        const hive::Value* value = staged_value(key, value_name(name));
        if (value == nullptr && key->found.key != nullptr) value = find_value(key, value_name(name));
        if (value == nullptr) return kFileNotFound;
        // The hive's size limit keeps every value well below 4 GiB.
        const auto needed = static_cast<std::uint32_t>(value->data.size());
        if (data != nullptr) {
            if (needed > *size) {
                *size = needed;
                return kMoreData;
            }
            std::memcpy(data, value->data.data(), needed);
        }
        if (size != nullptr) *size = needed;
        return kSuccess;
    });
}

Status set_value(Key* key, const char* name, std::uint32_t type, const void* data,
                 std::uint32_t size) noexcept {
    if (key == nullptr || (data == nullptr && size != 0)) return kInvalidParameter;
    if (!key->writable) return kAccessDenied;
    if (size > hive::kMaxHiveSize) return kDiskFull;  // could never be stored
    return guarded(kNotEnoughMemory, [&]() -> Status {
        const std::string_view bytes(static_cast<const char*>(data), size);
        if (hive::Value* staged = staged_value(key, value_name(name))) {
            staged->type = type;
            staged->data.assign(bytes);
        } else {
            key->staged.push_back({std::string(value_name(name)), type, std::string(bytes)});
        }
        return kSuccess;
    });
}

Status close_key(Key* key) noexcept {
    if (key == nullptr) return kInvalidParameter;
    const std::unique_ptr<Key> closed(key);
    if (!key->added && key->staged.empty()) return kSuccess;
    // Let go of the hive the handle read: the commit may then edit the kept
    // one rather than copy it.
    key->found = {};
    return guarded(kWriteFault, [&] { return commit(*key); });
}

}  // namespace vantor::reg
