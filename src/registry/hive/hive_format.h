// The hive's data model and its text form. Pure: parsing and writing work on
// strings, the file handling lives in hive_file.h.
//
// The hive is a REGEDIT4 text file, so a person can read, diff and back it
// up. Every key lies under HKEY_LOCAL_MACHINE; the model stores key paths
// without that root ("Software\QUORIX\Game").
//
// Grammar read by parse() (lines end in LF or CRLF; the last may lack one):
//
//   file      := "REGEDIT4" EOL { line }
//   line      := blank | comment | section | value
//   blank     := spaces and tabs only
//   comment   := ";" or "#" first on the line, then anything
//   section   := "[HKEY_LOCAL_MACHINE\" path "]" [spaces]
//                (root name in any case; path components are non-empty and
//                 separated by single backslashes)
//   value     := name "=" data [spaces]          (only after a section)
//   name      := "@" (the default, unnamed value) | string
//   string    := '"' { byte | "\\" | "\"" | "\r" | "\n" } '"'
//                (a non-empty string: an empty name is written "@")
//   data      := string                           REG_SZ, the bytes as they are
//              | "dword:" 1-8 hex digits          REG_DWORD, 4 bytes little-endian
//              | "hex:" bytes                     REG_BINARY
//              | "hex(" 1-8 hex digits "):" bytes any type
//   bytes     := [ hh { "," hh } ] with "," "\" EOL continuing the list on the
//                next line, which may start with spaces or tabs
//
// Hex digits may be of either case. A REG_SZ string stands for exactly its
// bytes: no terminating NUL is stored or implied. Anything else makes the
// whole hive corrupt: an unknown escape, a missing quote, text after a value,
// a value before any section, another root, an empty path component, a NUL
// byte, a malformed hex list, two sections for the same key, or two values
// of the same name in one key (names compare case-insensitively).
//
// A section whose parent keys have no section of their own is accepted: the
// missing parents are added, without values, just before it, and a later
// section for such a parent fills it in.
//
// serialize() writes "REGEDIT4", a blank line, then one section per key in
// the hive's order, each followed by its values and a blank line. It writes
// an empty section for any parent not written before its child, so the file
// always lists every key on the way. Values use the shortest form that keeps
// type and bytes: a quoted string for REG_SZ without NUL bytes, dword: for a
// 4-byte REG_DWORD, hex: for REG_BINARY, hex(N): for everything else. Hex
// lists are broken after the comma that reaches column 76, continued on a
// line indented by two spaces. The output is deterministic and, for every
// hive in which each key follows its parent, parse(serialize(h)) == h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::hive {

// ASCII case-insensitive equality, as the registry compares names.
bool iequals(std::string_view a, std::string_view b) noexcept;

// True when `path` names a key the hive can hold: non-empty components
// separated by single backslashes, without NUL, CR or LF bytes.
bool valid_key_path(std::string_view path) noexcept;

struct Value {
    std::string name;  // empty for the default value; never holds NUL
    std::uint32_t type = 0;
    std::string data;  // the raw bytes

    bool operator==(const Value& other) const {
        return name == other.name && type == other.type && data == other.data;
    }
};

struct Key {
    std::string path;  // below HKEY_LOCAL_MACHINE, as first created
    std::vector<Value> values;

    // The value called `name`, in any case, or nullptr.
    Value* find(std::string_view name) noexcept;
    const Value* find(std::string_view name) const noexcept;

    // Creates or replaces a value. A replaced value keeps the case of its
    // name. Returns false when the value already held this type and data.
    bool set(std::string_view name, std::uint32_t type, std::string_view data);

    bool operator==(const Key& other) const { return path == other.path && values == other.values; }
};

struct Hive {
    std::vector<Key> keys;  // in creation order, each parent before its children

    // The key at `path`, in any case, or nullptr.
    Key* find(std::string_view path) noexcept;
    const Key* find(std::string_view path) const noexcept;

    // Returns the key at `path`, first adding it and any missing parent (in
    // that order, parents first) to the end of the hive. `path` must be
    // valid. Sets *added to whether anything was added.
    Key& ensure(std::string_view path, bool* added = nullptr);

    bool operator==(const Hive& other) const { return keys == other.keys; }
};

// Reads a hive; nullopt when the text does not follow the grammar in full.
std::optional<Hive> parse(std::string_view text);

// Where and why parse() stopped.
struct ParseError {
    std::size_t line = 0;  // 1-based: the first line found wrong
    std::string message;   // what is wrong with it, in a few words
};

// As parse(text); on failure also fills *error, when given.
std::optional<Hive> parse(std::string_view text, ParseError* error);

// Reads only the key at `path` (in any case) out of a hive, for a reader that
// wants one key: the whole text is still checked, line by line, exactly as
// parse() checks it, but only this key's values are kept. Returns false when
// parse(text, error) would fail, filling *error the same way; otherwise sets
// *key to what parse(text)->find(path) would give, or to nothing when the
// hive has no such key.
bool parse_key(std::string_view text, std::string_view path, std::optional<Key>* key,
               ParseError* error = nullptr);

// Writes a hive in its canonical text form.
std::string serialize(const Hive& hive);

}  // namespace vantor::hive
