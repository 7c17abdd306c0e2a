#pragma once
// Operations on one open serial device, behind an interface so that tests can put a
// fake device in place of the real one.
//
// Results follow the serial layer's rule: 0 or more is success, a negative value is minus
// a system error number of platform/system_error.h (never an errno).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Line settings of a device (what the serial layer keeps as its device settings record).
struct DeviceState {
    uint32_t baud = 0;
    uint8_t parity = 0;      // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t byteSize = 8;    // 5 to 8
    uint8_t stopBits = 0;    // kOneStopBit, kOne5StopBits, kTwoStopBits
    uint8_t dtrControl = 1;  // kDtrControl*
    uint8_t rtsControl = 1;  // kRtsControl*
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    bool outX = false;  // XON/XOFF on transmit
    bool inX = false;   // XON/XOFF on receive
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
    uint8_t xonChar = 17;
    uint8_t xoffChar = 19;

    bool operator==(const DeviceState&) const = default;
};

constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kOne5StopBits = 1;
constexpr uint8_t kTwoStopBits = 2;

constexpr uint8_t kDtrControlDisable = 0;
constexpr uint8_t kDtrControlEnable = 1;
constexpr uint8_t kDtrControlHandshake = 2;
constexpr uint8_t kRtsControlDisable = 0;
constexpr uint8_t kRtsControlEnable = 1;
constexpr uint8_t kRtsControlHandshake = 2;
constexpr uint8_t kRtsControlToggle = 3;

// Line error bits (read and cleared by status()).
constexpr uint32_t kCeRxOver = 0x01;
constexpr uint32_t kCeOverrun = 0x02;
constexpr uint32_t kCeRxParity = 0x04;
constexpr uint32_t kCeFrame = 0x08;
constexpr uint32_t kCeBreak = 0x10;

// Event bits of waitEvent().
constexpr uint32_t kEvRxChar = 0x0001;
constexpr uint32_t kEvCts = 0x0008;
constexpr uint32_t kEvDsr = 0x0010;
constexpr uint32_t kEvRlsd = 0x0020;
constexpr uint32_t kEvBreak = 0x0040;
constexpr uint32_t kEvErr = 0x0080;
constexpr uint32_t kEvRing = 0x0100;

// Modem line bits of modemStatus().
constexpr uint32_t kMsCtsOn = 0x10;
constexpr uint32_t kMsDsrOn = 0x20;
constexpr uint32_t kMsRingOn = 0x40;
constexpr uint32_t kMsRlsdOn = 0x80;

// Escape function codes.
constexpr int kSetRts = 3;
constexpr int kClrRts = 4;
constexpr int kSetDtr = 5;
constexpr int kClrDtr = 6;

struct DeviceQueueStatus {
    uint32_t errors = 0;    // kCe* bits since the last call
    uint32_t inQueue = 0;   // bytes waiting in the driver to be read
    uint32_t outQueue = 0;  // bytes waiting in the driver to be sent
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Closes the device; later calls return 0 and do nothing.
    virtual int close() = 0;

    virtual int getState(DeviceState& state) = 0;
    virtual int setState(const DeviceState& state) = 0;
    // Queue counts and the line errors since the last call.
    virtual int status(DeviceQueueStatus& status) = 0;
    virtual int setQueues(uint32_t inSize, uint32_t outSize) = 0;

    // Never blocks: the bytes the driver holds now, up to n (0 when none), or minus the
    // error. A hang-up (the far side gone) gives -kErrorDeviceRemoved.
    virtual int read(uint8_t* buffer, size_t n) = 0;
    // Never blocks: the bytes the driver took (0 when its queue is full), or minus the
    // error (-kErrorDeviceRemoved after a hang-up).
    virtual int write(const uint8_t* buffer, size_t n) = 0;
    // Waits until write() can take bytes: 1 when it can, 0 when the time ran out or
    // cancelWriteWait() was called, minus the error on failure. timeoutMs -1: no limit.
    virtual int waitWritable(int timeoutMs) = 0;
    virtual void cancelWriteWait() = 0;

    // Discards what the driver holds in either queue.
    virtual int purge(bool input, bool output) = 0;
    // kSetRts, kClrRts, kSetDtr, kClrDtr. Devices without modem lines accept them.
    virtual int escape(int function) = 0;
    // kMs* bits; 0 on devices without modem lines.
    virtual int modemStatus(uint32_t& lines) = 0;
    // RTS as an RS-485 transmitter enable, driven by the driver around each write.
    // -kErrorNotSupported where the driver has no RS-485 mode.
    virtual int setRs485(bool on) = 0;

    // The events waitEvent() reports. A mask of 0 ends a wait in progress (and every
    // later one) at once.
    virtual void setEventMask(uint32_t mask) = 0;
    // Blocks until an event of the mask: 0 with the kEv* bits in events;
    // -kErrorOperationAborted when the mask is 0; -kErrorDeviceRemoved when the device
    // has hung up. Received data is reported
    // when new bytes have arrived, not again and again for bytes still unread.
    virtual int waitEvent(uint32_t& events) = 0;
};

// Opens a device by path. On failure returns null and sets sysError: 2 for a device
// that does not exist, 5 for one held by another program or not permitted, 8 when the
// device's own wake-up objects cannot be made, 1617 for one that has gone away, and
// otherwise the system error number of platform/system_error.h.
using SerialDeviceOpener =
    std::function<std::unique_ptr<SerialDevice>(const std::string& path, int& sysError)>;

// The opener the serial layer uses (the POSIX one unless a test replaced it).
SerialDeviceOpener serialDeviceOpener();
// Replaces it; an empty function restores the POSIX one. Returns the previous opener.
SerialDeviceOpener setSerialDeviceOpener(SerialDeviceOpener opener);

std::unique_ptr<SerialDevice> openPosixSerialDevice(const std::string& path, int& sysError);

}  // namespace platform
