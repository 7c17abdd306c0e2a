#pragma once
// A serial device in memory, for tests: the test plays the far side of the line
// (FakeLine), the serial layer gets a FakeSerialDevice through the opener.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace platform {

class FakeLine {
public:
    // The far side sends bytes; they wait in the device's receive queue.
    void send(const std::vector<uint8_t>& bytes);
    void send(const std::string& text);
    // The far side goes away: waits and reads report a hang-up.
    void hangUp();
    // The far side's modem lines (kMs* bits); a change is reported as a device event.
    void setModemLines(uint32_t lines);

    // Everything the device was given to send, in order, and the size of each write.
    std::vector<uint8_t> received() const;
    std::vector<size_t> writeSizes() const;
    size_t pendingInput() const;

    // While held, writes take nothing (the driver's queue is full).
    void holdWrites(bool hold);
    // Each write takes at most this many bytes (0: all).
    void setWriteChunk(size_t bytes);
    // Whether the driver has an RS-485 mode (it has, unless told otherwise), and whether
    // it is on.
    void setRs485Supported(bool supported);
    bool rs485() const;
    // Called with every request to switch RS-485 mode, before the device acts on it, on
    // the requesting thread (without the line's lock, so it may look at the caller).
    void onRs485Request(std::function<void(bool on)> hook);

    // Failures to simulate.
    void setOpenError(int sysError);  // 0: open succeeds
    void setSetStateResult(int result);

    int getStateCalls() const;
    int setStateCalls() const;
    int escapeCalls() const;
    std::vector<int> escapes() const;
    int purgeCalls() const;
    DeviceState state() const;
    void setState(const DeviceState& state);
    bool isOpen() const;
    void setLineErrors(uint32_t ceBits);

private:
    friend class FakeSerialDevice;
    friend SerialDeviceOpener fakeOpener(std::map<std::string, std::shared_ptr<FakeLine>>);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;             // waits on m_mutex
    std::deque<uint8_t> m_input;                   // m_mutex
    std::vector<uint8_t> m_output;                 // m_mutex
    std::vector<size_t> m_writeSizes;              // m_mutex
    uint64_t m_arrivals = 0;                       // m_mutex: sends so far
    uint64_t m_reported = 0;                       // m_mutex: sends reported by waitEvent
    bool m_hungUp = false;                         // m_mutex
    bool m_holdWrites = false;                     // m_mutex
    size_t m_writeChunk = 0;                       // m_mutex
    bool m_rs485Supported = true;                  // m_mutex
    bool m_rs485 = false;                          // m_mutex
    std::function<void(bool)> m_rs485Hook;         // m_mutex
    bool m_writeCancel = false;                    // m_mutex
    bool m_open = false;                           // m_mutex
    uint32_t m_mask = 0;                           // m_mutex
    uint32_t m_errors = 0;                         // m_mutex
    uint32_t m_modemLines = 0;                     // m_mutex: kMs* bits
    uint32_t m_reportedLines = 0;                  // m_mutex: as waitEvent last told them
    int m_openError = 0;                           // m_mutex
    int m_setStateResult = 0;                      // m_mutex
    int m_getStateCalls = 0;                       // m_mutex
    int m_setStateCalls = 0;                       // m_mutex
    std::vector<int> m_escapes;                    // m_mutex
    int m_purgeCalls = 0;                          // m_mutex
    DeviceState m_state{9600, 0, 8, kOneStopBit};  // m_mutex
};

class FakeSerialDevice : public SerialDevice {
public:
    explicit FakeSerialDevice(std::shared_ptr<FakeLine> line);
    ~FakeSerialDevice() override;

    int close() override;
    int getState(DeviceState& state) override;
    int setState(const DeviceState& state) override;
    int status(DeviceQueueStatus& status) override;
    int setQueues(uint32_t inSize, uint32_t outSize) override;
    int read(uint8_t* buffer, size_t n) override;
    int write(const uint8_t* buffer, size_t n) override;
    int waitWritable(int timeoutMs) override;
    void cancelWriteWait() override;
    int purge(bool input, bool output) override;
    int escape(int function) override;
    int modemStatus(uint32_t& lines) override;
    int setRs485(bool on) override;
    void setEventMask(uint32_t mask) override;
    int waitEvent(uint32_t& events) override;

private:
    std::shared_ptr<FakeLine> m_line;
};

// An opener that knows only the given paths (others are missing devices).
SerialDeviceOpener fakeOpener(std::map<std::string, std::shared_ptr<FakeLine>> lines);

// Puts an opener in place for the life of the guard.
class ScopedSerialDeviceOpener {
public:
    explicit ScopedSerialDeviceOpener(SerialDeviceOpener opener)
        : m_previous(setSerialDeviceOpener(std::move(opener))) {}
    ~ScopedSerialDeviceOpener() { setSerialDeviceOpener(m_previous); }
    ScopedSerialDeviceOpener(const ScopedSerialDeviceOpener&) = delete;
    ScopedSerialDeviceOpener& operator=(const ScopedSerialDeviceOpener&) = delete;

private:
    SerialDeviceOpener m_previous;
};

}  // namespace platform
