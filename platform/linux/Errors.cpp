// The thread's last Win32 error and its source in errno.
#include "../VxWin32.h"

#include "../../plugin/contracts/VxResults.h"

#include <cerrno>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

extern "C" DWORD GetLastError()
{
    return t_lastError;
}

extern "C" void SetLastError(DWORD error)
{
    t_lastError = error;
}

DWORD VxPlatform_Win32ErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case EOVERFLOW:
        return ERROR_ARITHMETIC_OVERFLOW;
    case ESPIPE:
        return ERROR_SEEK_ON_DEVICE;
    case EPIPE:
        return ERROR_BROKEN_PIPE;
    case EFAULT:
        return ERROR_NOACCESS;
    case ENXIO:
    case ENODEV:
        return ERROR_DEV_NOT_EXIST;
    case EINVAL:
    case ESRCH:
        return ERROR_INVALID_PARAMETER;
    case ENOSYS:
    case EOPNOTSUPP:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

void VxPlatform_SetLastErrorFromErrno(int error)
{
    SetLastError(VxPlatform_Win32ErrorFromErrno(error));
}
