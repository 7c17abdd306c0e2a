#pragma once
// The serial layer's system error numbers and their texts.
//
// The serial layer reports a failed system call as minus a system error number, and its
// message table and the device-open rules (2: no such port, 5: held by another program)
// speak in the numbers of the system it was first written for. The device code turns
// every errno into one of these numbers here, once, so that nothing above platform/ ever
// sees an errno.

namespace platform {

constexpr int kErrorFileNotFound = 2;        // no such port
constexpr int kErrorTooManyOpenFiles = 4;    // the process or the system is out of files
constexpr int kErrorAccessDenied = 5;        // held by another program, or not permitted
constexpr int kErrorInvalidHandle = 6;       // the device is not open
constexpr int kErrorNotEnoughMemory = 8;     // out of memory (also: a thread cannot start)
constexpr int kErrorGenFailure = 31;         // any other failure of the device
constexpr int kErrorNotSupported = 50;       // the driver has no such operation
constexpr int kErrorInvalidParameter = 87;   // settings the driver refuses
constexpr int kErrorOperationAborted = 995;  // a wait ended on purpose
constexpr int kErrorDeviceRemoved = 1617;    // hang-up: the device has gone away

// The system error number for an errno. EINTR is never an error: the device code retries
// the call, so it gives 0 here. EAGAIN/EWOULDBLOCK count as "held by another program",
// which is what they mean when a lock on the device is refused (the data calls, where
// they mean "nothing now", never pass them on).
int systemErrorFromErrno(int err);

// The text of a system error number this layer produces, or null for others.
const char* systemErrorText(int code);

}  // namespace platform
