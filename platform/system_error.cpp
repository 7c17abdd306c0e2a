#include "platform/system_error.h"

#include <errno.h>

namespace platform {

int systemErrorFromErrno(int err) {
    switch (err) {
        case 0:
        case EINTR:
            return 0;
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return kErrorFileNotFound;
        case EBUSY:
        case EACCES:
        case EPERM:
        case EAGAIN:
        case EROFS:
            return kErrorAccessDenied;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case EBADF:
            return kErrorInvalidHandle;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case ENOTTY:
        case EOPNOTSUPP:
            return kErrorNotSupported;
        case EINVAL:
            return kErrorInvalidParameter;
        case ECANCELED:
            return kErrorOperationAborted;
        case EIO:
        case EPIPE:
        case ESHUTDOWN:
        case ENOLINK:
        case EHOSTDOWN:
            return kErrorDeviceRemoved;
        default:
            return kErrorGenFailure;
    }
}

const char* systemErrorText(int code) {
    switch (code) {
        case kErrorFileNotFound:
            return "The system cannot find the file specified.";
        case kErrorTooManyOpenFiles:
            return "The system cannot open the file.";
        case kErrorAccessDenied:
            return "Access is denied.";
        case kErrorInvalidHandle:
            return "The handle is invalid.";
        case kErrorNotEnoughMemory:
            return "Not enough memory resources are available to process this command.";
        case kErrorGenFailure:
            return "A device attached to the system is not functioning.";
        case kErrorNotSupported:
            return "The request is not supported.";
        case kErrorInvalidParameter:
            return "The parameter is incorrect.";
        case kErrorOperationAborted:
            return "The I/O operation has been aborted because of either a thread exit or an "
                   "application request.";
        case kErrorDeviceRemoved:
            return "The device has been removed.";
        default:
            return nullptr;
    }
}

}  // namespace platform
