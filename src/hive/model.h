// The hive's data model: keys under HKEY_LOCAL_MACHINE, each with its
// values. Its text form (format.h) is what the store keeps on disk and what
// vantorctl reads and writes as .reg files.
//
// Every key lies under HKEY_LOCAL_MACHINE (or the root a Wine file names);
// the model stores key paths without that root ("Software\QUORIX\Game").
// Read from REGEDIT4, names and data are the bytes of the file (the game's
// windows-1252); read from Wine's files, names and paths are UTF-8 and the
// data are what Wine holds, UTF-16LE for strings (charset.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::hive {

// ASCII case-insensitive equality, as the registry compares names.
bool iequals(std::string_view a, std::string_view b) noexcept;

// The registry's limits on keys and names, in characters (a byte of the
// game's text, a UTF-16 unit in Wine's files). Windows documents 512 levels
// of keys; Wine sets no limit on the depth, takes key names of up to 256
// characters and value names of up to 16,383, and refuses longer ones with
// ERROR_INVALID_PARAMETER. A hive that breaks them is corrupt.
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxKeyNameLength = 256;
inline constexpr std::size_t kMaxValueNameLength = 16383;

// True when `path` names a key the hive can hold: non-empty components
// separated by single backslashes, without NUL, CR or LF bytes, within the
// limits above (each byte a character).
bool valid_key_path(std::string_view path) noexcept;

// True when `name` can name a value: at most kMaxValueNameLength bytes, none
// of them NUL (empty: the default value).
bool valid_value_name(std::string_view name) noexcept;

struct Value {
    std::string name;  // empty for the default value; never holds NUL
    std::uint32_t type = 0;
    std::string data;  // the raw bytes

    bool operator==(const Value& other) const {
        return name == other.name && type == other.type && data == other.data;
    }
};

// A key as the hive stores it: its path and values. (An open key of the
// registry interface is a reg::Key, a handle to one of these.)
struct StoredKey {
    std::string path;  // below HKEY_LOCAL_MACHINE, as first created
    std::vector<Value> values;

    // The value called `name`, in any case, or nullptr.
    Value* find(std::string_view name) noexcept;
    const Value* find(std::string_view name) const noexcept;

    // Creates or replaces a value. A replaced value keeps the case of its
    // name. Returns false when the value already held this type and data.
    bool set(std::string_view name, std::uint32_t type, std::string_view data);

    bool operator==(const StoredKey& other) const {
        return path == other.path && values == other.values;
    }
};

struct Hive {
    std::vector<StoredKey> keys;  // in creation order, each parent before its children

    // The key at `path`, in any case, or nullptr.
    StoredKey* find(std::string_view path) noexcept;
    const StoredKey* find(std::string_view path) const noexcept;

    // Returns the key at `path`, first adding it and any missing parent (in
    // that order, parents first) to the end of the hive. `path` must be
    // valid. Sets *added to whether anything was added.
    StoredKey& ensure(std::string_view path, bool* added = nullptr);

    bool operator==(const Hive& other) const { return keys == other.keys; }
};

}  // namespace vantor::hive
