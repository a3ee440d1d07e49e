// The Win32 numbers the registry layer speaks: the status codes its
// operations return and the types of the values it stores. Everything that
// names a status (the registry interface and its implementations, the hive,
// vantorctl's messages) takes it from the table below.
#pragma once

#include <cstdint>

// VANTOR_STATUS_MAP(XX) calls XX(constant, code, win32_name, text) for each
// status the library produces or relies on.
#define VANTOR_STATUS_MAP(XX)                                                 \
    XX(kSuccess, 0, "ERROR_SUCCESS", "success")                               \
    XX(kFileNotFound, 2, "ERROR_FILE_NOT_FOUND", "not found")                 \
    XX(kAccessDenied, 5, "ERROR_ACCESS_DENIED", "access denied")              \
    XX(kNotEnoughMemory, 8, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory")   \
    XX(kWriteProtect, 19, "ERROR_WRITE_PROTECT", "write-protected")           \
    XX(kWriteFault, 29, "ERROR_WRITE_FAULT", "write fault")                   \
    XX(kReadFault, 30, "ERROR_READ_FAULT", "read fault")                      \
    XX(kSharingViolation, 32, "ERROR_SHARING_VIOLATION", "Wine is running") \
    XX(kLockViolation, 33, "ERROR_LOCK_VIOLATION", "another writer holds the lock") \
    XX(kInvalidParameter, 87, "ERROR_INVALID_PARAMETER", "invalid parameter") \
    XX(kDiskFull, 112, "ERROR_DISK_FULL", "disk full")                        \
    XX(kAlreadyExists, 183, "ERROR_ALREADY_EXISTS", "the key exists already") \
    XX(kMoreData, 234, "ERROR_MORE_DATA", "more data than the buffer holds")  \
    XX(kBadDb, 1009, "ERROR_BADDB", "the registry store is corrupt")          \
    XX(kKeyDeleted, 1018, "ERROR_KEY_DELETED", "the key was deleted meanwhile")

namespace vantor::reg {

using Status = std::int32_t;

#define VANTOR_STATUS_CONSTANT(constant, code, win32_name, text) \
    inline constexpr Status constant = code;
VANTOR_STATUS_MAP(VANTOR_STATUS_CONSTANT)
#undef VANTOR_STATUS_CONSTANT

struct StatusInfo {
    Status code;
    const char* win32_name;  // "ERROR_BADDB"
    const char* text;        // "the registry store is corrupt"
};

#define VANTOR_STATUS_INFO(constant, code, win32_name, text) StatusInfo{code, win32_name, text},
inline constexpr StatusInfo kStatuses[] = {VANTOR_STATUS_MAP(VANTOR_STATUS_INFO)};
#undef VANTOR_STATUS_INFO

// The table's entry for `code`, or nullptr for a status it does not list.
constexpr const StatusInfo* find_status(Status code) {
    for (const StatusInfo& info : kStatuses) {
        if (info.code == code) return &info;
    }
    return nullptr;
}

// Registry value types.
inline constexpr std::uint32_t kTypeNone = 0;    // REG_NONE
inline constexpr std::uint32_t kTypeSz = 1;      // REG_SZ
inline constexpr std::uint32_t kTypeBinary = 3;  // REG_BINARY
inline constexpr std::uint32_t kTypeDword = 4;   // REG_DWORD

}  // namespace vantor::reg
