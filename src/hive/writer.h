// The lines the codec writes, in each dialect. Private to the codec.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hive/model.h"

namespace vantor::hive::writer {

// REGEDIT4: "[HKEY_LOCAL_MACHINE\<path>]" and a line end.
void regedit4_key_line(std::string_view path, std::string* out);
// REGEDIT4: a value's line (or lines, for a long hex list) in the shortest
// form that keeps its type and bytes (format.h), ending in a line end.
void regedit4_value(const Value& value, std::string* out);

// Wine: "[<path>] <seconds>" and "#time=<FILETIME>" lines for a key last
// modified at `time` (a FILETIME), path names escaped as Wine escapes them.
void wine_key_lines(std::string_view path, std::uint64_t time, std::string* out);
// Wine: " <seconds>" as a key line ends with it, and the "#time=" line.
std::string wine_seconds(std::uint64_t time);
std::string wine_time_line(std::uint64_t time);
// Wine: a value's line or lines as Wine writes them: a string type with its
// terminating NUL as quoted text ("str(2):" and "str(7):" before the others
// than REG_SZ), a 4-byte REG_DWORD as "dword:", anything else as hex,
// broken after the comma that takes a line past 76 characters.
void wine_value(const Value& value, std::string* out);

// Orders two key paths as Wine orders its keys: name by name, in any case,
// a parent before its children. Negative, zero or positive.
int wine_compare_paths(std::string_view a, std::string_view b) noexcept;
// Orders two value names as Wine orders a key's values.
int wine_compare_names(std::string_view a, std::string_view b) noexcept;

}  // namespace vantor::hive::writer
