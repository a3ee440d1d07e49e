#include "registry/hive/errno_status.h"

#include <cerrno>

namespace vantor::store {

reg::Status errno_status(int error, IoKind kind) noexcept {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return reg::kDiskFull;
        case EROFS:
            return reg::kWriteProtect;
        case EACCES:
        case EPERM:
        case ELOOP:
            return reg::kAccessDenied;
        case ENOENT:
        case ENOTDIR:
            return reg::kFileNotFound;
        case ENOMEM:
            return reg::kNotEnoughMemory;
        case EWOULDBLOCK:
            return reg::kLockViolation;
        default:
            return kind == IoKind::kRead ? reg::kReadFault : reg::kWriteFault;
    }
}

}  // namespace vantor::store
