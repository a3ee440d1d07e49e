// The one table that turns a failed system call's errno into the Win32
// status the registry interface reports.
#pragma once

#include "registry/registry.h"

namespace vantor::store {

enum class IoKind {
    kRead,   // reading an existing hive
    kWrite,  // creating or replacing the hive, its folder or lock file
};

// ENOSPC, EDQUOT -> kDiskFull; EROFS -> kWriteProtect; EACCES, EPERM and
// ELOOP (a refused symbolic link) -> kAccessDenied; ENOENT, ENOTDIR ->
// kFileNotFound; ENOMEM -> kNotEnoughMemory; EWOULDBLOCK (the writers' lock
// held past the wait) -> kLockViolation; anything else -> kReadFault or
// kWriteFault by `kind`.
reg::Status errno_status(int error, IoKind kind) noexcept;

}  // namespace vantor::store
