#include "platform/system_error.h"

#include <errno.h>
#include <gtest/gtest.h>

namespace platform::testing {

// Every errno the serial device code can meet, and what the serial layer is told.
TEST(SystemError, EveryErrnoOfTheDeviceCodeHasItsNumber) {
    struct Case {
        int err;
        int code;
    };
    const Case cases[] = {
        {0, 0},
        {EINTR, 0},  // retried by the device code, never reported
        // No such port.
        {ENOENT, kErrorFileNotFound},
        {ENXIO, kErrorFileNotFound},
        {ENODEV, kErrorFileNotFound},
        {ENOTDIR, kErrorFileNotFound},
        {ENAMETOOLONG, kErrorFileNotFound},
        {ELOOP, kErrorFileNotFound},
        // In use or not permitted: access denied, as a port held elsewhere reports it.
        {EBUSY, kErrorAccessDenied},
        {EACCES, kErrorAccessDenied},
        {EPERM, kErrorAccessDenied},
        {EWOULDBLOCK, kErrorAccessDenied},
        {EROFS, kErrorAccessDenied},
        // Gone away: unplugged, link lost, far side closed.
        {EIO, kErrorDeviceRemoved},
        {EPIPE, kErrorDeviceRemoved},
        {ESHUTDOWN, kErrorDeviceRemoved},
        {ENOLINK, kErrorDeviceRemoved},
        {EHOSTDOWN, kErrorDeviceRemoved},
        // The rest of what open, ioctl, read, write and poll give.
        {EMFILE, kErrorTooManyOpenFiles},
        {ENFILE, kErrorTooManyOpenFiles},
        {EBADF, kErrorInvalidHandle},
        {ENOMEM, kErrorNotEnoughMemory},
        {ENOTTY, kErrorNotSupported},
        {EOPNOTSUPP, kErrorNotSupported},
        {EINVAL, kErrorInvalidParameter},
        {ECANCELED, kErrorOperationAborted},
        {EFAULT, kErrorGenFailure},
        {ENOSPC, kErrorGenFailure},
        {ETIMEDOUT, kErrorGenFailure},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(systemErrorFromErrno(c.err), c.code) << "errno " << c.err;
        if (c.code != 0) {
            EXPECT_NE(systemErrorText(c.code), nullptr) << c.code;
        }
    }
    // The numbers that meant something else as errno: 4 (EINTR) and 8 (ENOEXEC) are
    // never passed through as they are.
    EXPECT_EQ(systemErrorFromErrno(ENOEXEC), kErrorGenFailure);
    EXPECT_STREQ(systemErrorText(kErrorDeviceRemoved), "The device has been removed.");
    EXPECT_EQ(systemErrorText(121), nullptr);
}

}  // namespace platform::testing
