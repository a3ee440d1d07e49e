// Where the settings live under the machine-wide root, and the two ways the
// settings code touches a key: the reader (open, or else seed) and the
// writer (create, then write by mask).
#pragma once

#include <cstddef>
#include <cstdint>

#include "registry/registry.h"

namespace vantor::reg {

inline constexpr const char* kGameKeyPath = "Software\\QUORIX\\Game";
inline constexpr const char* kKeyboardKeyPath = "Software\\QUORIX\\Keyboard";

inline constexpr std::uint32_t kMaskAll = 0xFFF;
inline constexpr std::uint32_t kTextLimit = 256;  // a text field, NUL included
inline constexpr std::uint32_t kNumberSize = 4;

enum class Encoding {
    kText,    // REG_SZ: the field's characters up to its first NUL, no NUL stored
    kNumber,  // REG_DWORD: the field's 4 bytes as held in memory
};

// One registry value of a record: its name, encoding, mask bit and the
// offset of its field inside the record.
struct Value {
    const char* name;
    Encoding encoding;
    std::uint32_t bit;
    std::size_t offset;
};

// Reader pattern. Opens `path` for reading; when that fails returns false
// and touches nothing. Otherwise reads each value of `order` into its field
// of `record` (a value that cannot be read leaves its field as it was),
// closes the key and returns true.
bool read_values(const char* path, void* record, const Value* order, std::size_t count) noexcept;

// Writer pattern. Creates `path`; when that fails returns its status and
// writes nothing. Otherwise stores, in `order`, each value whose bit is set
// in `mask` (every selected write is attempted), closes the key (which may
// be where the store commits the writes) and returns the first failing
// status, the close's included, or kSuccess.
Status write_values(const char* path, const void* record, std::uint32_t mask, const Value* order,
                    std::size_t count) noexcept;

template <std::size_t N>
bool read_values(const char* path, void* record, const Value (&order)[N]) {
    return read_values(path, record, order, N);
}

template <std::size_t N>
Status write_values(const char* path, const void* record, std::uint32_t mask,
                    const Value (&order)[N]) {
    return write_values(path, record, mask, order, N);
}

}  // namespace vantor::reg
