#include "status.h"

#include <cerrno>

namespace winreg {

Status statusOfErrno(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return status::diskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return status::accessDenied;
    case ENOMEM:
        return status::outOfMemory;
    case EWOULDBLOCK:
        return status::lockViolation;
    default:
        return status::writeFault;
    }
}

} // namespace winreg
