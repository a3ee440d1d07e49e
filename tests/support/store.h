// What the settings suite needs to know of the store it runs against: how to
// start from an empty one, and raw access to values through the same registry
// operations the library uses. reset_store() is implemented once per platform
// (a fresh hive file natively, Wine's registry on Windows).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "hive/model.h"
#include "registry/registry.h"

namespace vantor::test {

// Removes every key and value the library may have stored.
void reset_store();

// What the store holds, for comparing with a hive written by hand: natively
// the hive file as parsed, every key and value in the file's order; on
// Windows each key of `like` that exists, with its values in the order the
// registry lists them. Nothing when the store cannot be read.
std::optional<hive::Hive> stored_keys(const hive::Hive& like);

// Stores exactly `data`. The Windows registry takes a NUL that follows a
// REG_SZ's data in memory into the value; the copy ends in a byte that is
// not a NUL, so that no registry stores more than was asked for.
inline bool put_raw(const char* path, const char* name, std::uint32_t type,
                    const std::string& data) {
    reg::Key* key = nullptr;
    if (reg::create_key(path, &key) != reg::kSuccess) return false;
    const std::string source = data + '#';
    const auto status =
        reg::set_value(key, name, type, source.data(), static_cast<std::uint32_t>(data.size()));
    const auto closed = reg::close_key(key);  // where a store may commit the write
    return status == reg::kSuccess && closed == reg::kSuccess;
}

// The value's data as a read of at most `limit` bytes returns them, or
// nothing when the key or value is missing or larger than the limit.
inline std::optional<std::string> get_raw(const char* path, const char* name,
                                          std::uint32_t limit = 4096) {
    reg::Key* key = nullptr;
    if (reg::open_key(path, reg::Access::kRead, &key) != reg::kSuccess) return std::nullopt;
    std::string data(limit, '\0');
    std::uint32_t size = limit;
    const auto status = reg::query_value(key, name, data.data(), &size);
    reg::close_key(key);
    if (status != reg::kSuccess) return std::nullopt;
    data.resize(size);
    return data;
}

inline bool key_exists(const char* path) {
    reg::Key* key = nullptr;
    if (reg::open_key(path, reg::Access::kRead, &key) != reg::kSuccess) return false;
    reg::close_key(key);
    return true;
}

}  // namespace vantor::test
