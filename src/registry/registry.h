// The five registry operations the settings code needs, under the
// machine-wide root. Every operation returns a Win32 status code (codes.h).
//
// This is a link seam, not a runtime dispatch layer: exactly one
// implementation is linked into each binary (the Win32 registry on Windows,
// the file-backed hive elsewhere, an in-memory fault injector in tests).
#pragma once

#include <cstdint>

#include "registry/codes.h"

namespace vantor::reg {

// An open key. Opaque: each implementation defines the struct.
struct Key;

enum class Access {
    kRead,  // KEY_READ: query only
    kAll,   // KEY_ALL_ACCESS: query and set
};

// No operation throws: an implementation reports running out of memory as
// kNotEnoughMemory, so nothing can cross the exported C functions.

// RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key).
// Fails (without creating anything) when the key is missing.
Status open_key(const char* path, Access access, Key** key) noexcept;

// RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS,
// nullptr, key, nullptr): opens the key, creating it and any missing key
// above it first.
Status create_key(const char* path, Key** key) noexcept;

// As create_key(), but only for a key that is missing, for a reader that
// seeds it: kAlreadyExists, with nothing made or opened, when the key is
// there (RegCreateKeyExA's disposition tells). A store that commits its
// writes when the key is closed checks again then: when the key has been
// made meanwhile, close_key() writes nothing and returns kAlreadyExists.
Status create_new_key(const char* path, Key** key) noexcept;

// RegQueryValueExA(key, name, nullptr, nullptr, data, size): copies at most
// *size bytes of the value's data. On success *size is the number of bytes
// returned; when the data are larger than *size the call fails with
// kMoreData and leaves data untouched.
Status query_value(Key* key, const char* name, void* data, std::uint32_t* size) noexcept;

// RegSetValueExA(key, name, 0, type, data, size): creates or replaces the
// value. As RegSetValueExA does, for a string type (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) whose last byte is not NUL an implementation may read the
// byte after the data, to store a NUL the caller did not count when that
// byte is one: the caller's buffer must hold it.
Status set_value(Key* key, const char* name, std::uint32_t type, const void* data,
                 std::uint32_t size) noexcept;

// RegCloseKey(key). An implementation may hold a handle's writes until it
// is closed (the hive commits them here, together, in one durable replace
// of its file); the status then tells whether they were stored.
Status close_key(Key* key) noexcept;

}  // namespace vantor::reg
