// The registry interface on the file-backed hive (see hive_file.h for how the
// file is read and replaced, hive_format.h for its text form).
//
// A key handle remembers the key's path, in its stored case, whether it may
// write, and the key's values as read when it was opened: its queries answer
// from that copy, so a reader that opens a key and queries its twelve values
// reads and parses the file once, not thirteen times. Reading checks the
// whole hive, as every operation does, but keeps only the handle's key.
// Handles live inside one exported call, and each call opens its own, so
// every call sees the file as it is (read afresh, or as kept by
// hive_file.h's read_key() while a stat() shows it unchanged); what a
// handle does not see is a
// change made by another handle or process between its open and its
// queries. It then answers from the key as the whole, consistent hive it
// opened held it, as if those queries had come first: a key deleted
// meanwhile still answers, and a hive corrupted meanwhile is only noticed by
// the next open. A write through the handle drops the copy, so the handle's
// next query reads the file again and sees the write.
//
// Writes never use the copy: each one reads, changes and replaces the file
// under the writers' lock, so a write through a handle whose key has since
// been deleted fails with ERROR_KEY_DELETED. A handle is used by one thread
// at a time, as the settings code uses it.
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/hive/hive_file.h"
#include "registry/hive/hive_format.h"
#include "registry/registry.h"

struct vantor::reg::Key {
    std::string path;   // below HKEY_LOCAL_MACHINE, in the case stored in the hive
    bool writable;      // opened with Access::kAll or created
    bool read = false;  // `found` holds what the file held
    vantor::hive::KeyView found;  // what queries answer from; no key: no such key
    std::size_t next = 0;  // the value after the last one queried: likely the next asked for
};

namespace vantor::reg {
namespace {

constexpr Status kKeyDeleted = 1018;  // ERROR_KEY_DELETED

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

// Makes `found` (the key as read, or nothing) the copy the handle's queries
// answer from.
void keep(Key* key, hive::KeyView&& found) {
    key->found = std::move(found);
    key->read = true;
    key->next = 0;
}

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
        // The handle takes the stored path; its copy of the key needs only the values.
        *key = new Key{found.key->path, writable, false, {}};
        keep(*key, std::move(found));
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

        // The usual case, an existing key, needs no lock and no write.
        hive::KeyView found;
        const Status loaded = hive::read_key(file.c_str(), wanted, &found);
        if (loaded != kSuccess && loaded != kFileNotFound) return loaded;
        if (found.key != nullptr) {
            const Status refused = hive::check_writable(file);
            if (refused != kSuccess) return refused;
            *key = new Key{found.key->path, true, false, {}};
            keep(*key, std::move(found));
            return kSuccess;
        }

        std::string stored;
        const Status updated = hive::update(file, true, [&](hive::Hive& current, bool& changed) {
            stored = current.ensure(wanted, &changed).path;
            return kSuccess;
        });
        if (updated != kSuccess) return updated;
        *key = new Key{stored, true, false, {}};
        return kSuccess;
    });
}

Status query_value(Key* key, const char* name, void* data, std::uint32_t* size) noexcept {
    if (key == nullptr || (data != nullptr && size == nullptr)) return kInvalidParameter;
    return guarded(kReadFault, [&]() -> Status {
        if (!key->read) {
            hive::KeyView found;
            const Status loaded = hive::read_key(hive::hive_path(), key->path, &found);
            if (loaded != kSuccess) return loaded;
            keep(key, std::move(found));
        }
        if (key->found.key == nullptr) return kFileNotFound;
        const hive::Value* value = find_value(key, value_name(name));
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
    // The next query reads what this write left.
    key->read = false;
    key->found = {};
    return guarded(kWriteFault, [&]() -> Status {
        const std::string_view bytes(static_cast<const char*>(data), size);
        const Status updated =
            hive::update(hive::hive_path(), false, [&](hive::Hive& hive, bool& changed) {
                hive::Key* found = hive.find(key->path);
                if (found == nullptr) return kKeyDeleted;
                changed = found->set(value_name(name), type, bytes);
                return kSuccess;
            });
        // A missing hive (or folder) means the key went away since it was opened.
        return updated == kFileNotFound ? kKeyDeleted : updated;
    });
}

void close_key(Key* key) noexcept { delete key; }

}  // namespace vantor::reg
