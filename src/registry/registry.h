// The five registry operations the settings code needs, under the
// machine-wide root. Every operation returns a Win32 status code.
//
// This is a link seam, not a runtime dispatch layer: exactly one
// implementation is linked into each binary (the Win32 registry on Windows,
// the file-backed hive elsewhere, an in-memory fault injector in tests).
#pragma once

#include <cstdint>

namespace vantor::reg {

using Status = std::int32_t;

// Win32 status codes the library produces or relies on.
inline constexpr Status kSuccess = 0;            // ERROR_SUCCESS
inline constexpr Status kFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr Status kAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr Status kNotEnoughMemory = 8;    // ERROR_NOT_ENOUGH_MEMORY
inline constexpr Status kWriteProtect = 19;      // ERROR_WRITE_PROTECT
inline constexpr Status kWriteFault = 29;        // ERROR_WRITE_FAULT
inline constexpr Status kReadFault = 30;         // ERROR_READ_FAULT
inline constexpr Status kLockViolation = 33;     // ERROR_LOCK_VIOLATION
inline constexpr Status kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr Status kDiskFull = 112;         // ERROR_DISK_FULL
inline constexpr Status kMoreData = 234;         // ERROR_MORE_DATA
inline constexpr Status kBadDb = 1009;           // ERROR_BADDB

// Registry value types.
inline constexpr std::uint32_t kTypeNone = 0;    // REG_NONE
inline constexpr std::uint32_t kTypeSz = 1;      // REG_SZ
inline constexpr std::uint32_t kTypeBinary = 3;  // REG_BINARY
inline constexpr std::uint32_t kTypeDword = 4;   // REG_DWORD

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

// RegQueryValueExA(key, name, nullptr, nullptr, data, size): copies at most
// *size bytes of the value's data. On success *size is the number of bytes
// returned; when the data are larger than *size the call fails with
// kMoreData and leaves data untouched.
Status query_value(Key* key, const char* name, void* data, std::uint32_t* size) noexcept;

// RegSetValueExA(key, name, 0, type, data, size): creates or replaces the value.
Status set_value(Key* key, const char* name, std::uint32_t type, const void* data,
                 std::uint32_t size) noexcept;

// RegCloseKey(key). An implementation may hold a handle's writes until it
// is closed (the hive commits them here, together, in one durable replace
// of its file); the status then tells whether they were stored.
Status close_key(Key* key) noexcept;

}  // namespace vantor::reg
