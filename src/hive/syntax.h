// What the hive's reader and writer share: the fixed parts of the text form
// and the case folding by which the registry matches names. Private to the
// codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hive/model.h"
#include "registry/codes.h"

namespace vantor::hive::syntax {

using reg::kTypeBinary;
using reg::kTypeDword;
using reg::kTypeSz;

inline constexpr std::string_view kHeader = "REGEDIT4";
inline constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE\\";
// Bytes a quoted string escapes, and the letter after the backslash for each.
inline constexpr std::string_view kEscapedBytes = "\\\"\r\n";
inline constexpr std::string_view kEscapeLetters = "\\\"rn";

constexpr char lower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value of each byte as a hex digit, or -1.
inline constexpr auto kHexDigits = [] {
    struct Table {
        signed char value[256] = {};
    } table;
    for (int c = 0; c < 256; ++c) {
        table.value[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                         : -1);
    }
    return table;
}();

constexpr int hex_digit(char c) noexcept { return kHexDigits.value[static_cast<unsigned char>(c)]; }

// Hashing and comparing key paths in any case, as the registry matches them.
struct FoldedHash {
    std::size_t operator()(std::string_view text) const noexcept {
        std::uint32_t hash = 2166136261u;  // 32-bit FNV-1a
        for (const char c : text) hash = (hash ^ static_cast<unsigned char>(lower(c))) * 16777619u;
        return hash;
    }
};

struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const noexcept { return iequals(a, b); }
};

}  // namespace vantor::hive::syntax
