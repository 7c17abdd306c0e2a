#include "platform/fake_serial_device.h"

#include "platform/system_error.h"

#include <chrono>

namespace platform {

void FakeLine::send(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(m_mutex);
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    ++m_arrivals;
    m_changed.notify_all();
}

void FakeLine::send(const std::string& text) {
    send(std::vector<uint8_t>(text.begin(), text.end()));
}

void FakeLine::setRs485Supported(bool supported) {
    std::lock_guard lock(m_mutex);
    m_rs485Supported = supported;
}

bool FakeLine::rs485() const {
    std::lock_guard lock(m_mutex);
    return m_rs485;
}

void FakeLine::onRs485Request(std::function<void(bool on)> hook) {
    std::lock_guard lock(m_mutex);
    m_rs485Hook = std::move(hook);
}

void FakeLine::setWriteChunk(size_t bytes) {
    std::lock_guard lock(m_mutex);
    m_writeChunk = bytes;
}

void FakeLine::setModemLines(uint32_t lines) {
    std::lock_guard lock(m_mutex);
    m_modemLines = lines & (kMsCtsOn | kMsDsrOn | kMsRingOn | kMsRlsdOn);
    m_changed.notify_all();
}

void FakeLine::hangUp() {
    std::lock_guard lock(m_mutex);
    m_hungUp = true;
    m_changed.notify_all();
}

std::vector<uint8_t> FakeLine::received() const {
    std::lock_guard lock(m_mutex);
    return m_output;
}

std::vector<size_t> FakeLine::writeSizes() const {
    std::lock_guard lock(m_mutex);
    return m_writeSizes;
}

size_t FakeLine::pendingInput() const {
    std::lock_guard lock(m_mutex);
    return m_input.size();
}

void FakeLine::holdWrites(bool hold) {
    std::lock_guard lock(m_mutex);
    m_holdWrites = hold;
    m_changed.notify_all();
}

void FakeLine::setOpenError(int sysError) {
    std::lock_guard lock(m_mutex);
    m_openError = sysError;
}

void FakeLine::setSetStateResult(int result) {
    std::lock_guard lock(m_mutex);
    m_setStateResult = result;
}

int FakeLine::getStateCalls() const {
    std::lock_guard lock(m_mutex);
    return m_getStateCalls;
}

int FakeLine::setStateCalls() const {
    std::lock_guard lock(m_mutex);
    return m_setStateCalls;
}

int FakeLine::escapeCalls() const {
    std::lock_guard lock(m_mutex);
    return int(m_escapes.size());
}

std::vector<int> FakeLine::escapes() const {
    std::lock_guard lock(m_mutex);
    return m_escapes;
}

int FakeLine::purgeCalls() const {
    std::lock_guard lock(m_mutex);
    return m_purgeCalls;
}

DeviceState FakeLine::state() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

void FakeLine::setState(const DeviceState& state) {
    std::lock_guard lock(m_mutex);
    m_state = state;
}

bool FakeLine::isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

void FakeLine::setLineErrors(uint32_t ceBits) {
    std::lock_guard lock(m_mutex);
    m_errors |= ceBits;
    m_changed.notify_all();
}

FakeSerialDevice::FakeSerialDevice(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {
    std::lock_guard lock(m_line->m_mutex);
    m_line->m_open = true;
    m_line->m_reported = m_line->m_arrivals;
}

FakeSerialDevice::~FakeSerialDevice() {
    close();
}

int FakeSerialDevice::close() {
    std::lock_guard lock(m_line->m_mutex);
    m_line->m_open = false;
    m_line->m_mask = 0;
    m_line->m_changed.notify_all();
    return 0;
}

int FakeSerialDevice::getState(DeviceState& state) {
    std::lock_guard lock(m_line->m_mutex);
    ++m_line->m_getStateCalls;
    state = m_line->m_state;
    return 0;
}

int FakeSerialDevice::setState(const DeviceState& state) {
    std::lock_guard lock(m_line->m_mutex);
    ++m_line->m_setStateCalls;
    if (m_line->m_setStateResult < 0) {
        return m_line->m_setStateResult;
    }
    m_line->m_state = state;
    return 0;
}

int FakeSerialDevice::status(DeviceQueueStatus& status) {
    std::lock_guard lock(m_line->m_mutex);
    status.errors = m_line->m_errors;
    m_line->m_errors = 0;
    status.inQueue = uint32_t(m_line->m_input.size());
    status.outQueue = 0;
    return 0;
}

int FakeSerialDevice::setQueues(uint32_t, uint32_t) {
    return 0;
}

int FakeSerialDevice::read(uint8_t* buffer, size_t n) {
    std::lock_guard lock(m_line->m_mutex);
    size_t k = 0;
    while (k < n && !m_line->m_input.empty()) {
        buffer[k++] = m_line->m_input.front();
        m_line->m_input.pop_front();
    }
    if (k == 0 && m_line->m_hungUp) {
        return -kErrorDeviceRemoved;
    }
    return int(k);
}

int FakeSerialDevice::write(const uint8_t* buffer, size_t n) {
    std::lock_guard lock(m_line->m_mutex);
    if (m_line->m_hungUp) {
        return -kErrorDeviceRemoved;
    }
    if (m_line->m_holdWrites) {
        return 0;
    }
    if (m_line->m_writeChunk != 0 && n > m_line->m_writeChunk) {
        n = m_line->m_writeChunk;
    }
    m_line->m_output.insert(m_line->m_output.end(), buffer, buffer + n);
    m_line->m_writeSizes.push_back(n);
    return int(n);
}

int FakeSerialDevice::waitWritable(int timeoutMs) {
    std::unique_lock lock(m_line->m_mutex);
    auto ready = [&] { return !m_line->m_holdWrites || m_line->m_writeCancel || m_line->m_hungUp; };
    if (timeoutMs < 0) {
        m_line->m_changed.wait(lock, ready);
    } else {
        m_line->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    if (m_line->m_writeCancel) {
        m_line->m_writeCancel = false;
        return 0;
    }
    if (m_line->m_hungUp) {
        return -kErrorDeviceRemoved;
    }
    return m_line->m_holdWrites ? 0 : 1;
}

void FakeSerialDevice::cancelWriteWait() {
    std::lock_guard lock(m_line->m_mutex);
    m_line->m_writeCancel = true;
    m_line->m_changed.notify_all();
}

int FakeSerialDevice::purge(bool input, bool) {
    std::lock_guard lock(m_line->m_mutex);
    ++m_line->m_purgeCalls;
    if (input) {
        m_line->m_input.clear();
    }
    return 0;
}

int FakeSerialDevice::escape(int function) {
    std::lock_guard lock(m_line->m_mutex);
    m_line->m_escapes.push_back(function);
    return 0;
}

int FakeSerialDevice::modemStatus(uint32_t& lines) {
    std::lock_guard lock(m_line->m_mutex);
    lines = m_line->m_modemLines;
    return 0;
}

int FakeSerialDevice::setRs485(bool on) {
    std::function<void(bool)> hook;
    {
        std::lock_guard lock(m_line->m_mutex);
        hook = m_line->m_rs485Hook;
    }
    if (hook) {
        hook(on);
    }
    std::lock_guard lock(m_line->m_mutex);
    if (!m_line->m_rs485Supported) {
        return -kErrorNotSupported;
    }
    m_line->m_rs485 = on;
    return 0;
}

void FakeSerialDevice::setEventMask(uint32_t mask) {
    std::lock_guard lock(m_line->m_mutex);
    m_line->m_mask = mask;
    m_line->m_changed.notify_all();
}

int FakeSerialDevice::waitEvent(uint32_t& events) {
    events = 0;
    std::unique_lock lock(m_line->m_mutex);
    FakeLine& l = *m_line;
    l.m_changed.wait(lock, [&] {
        return l.m_mask == 0 || l.m_hungUp || l.m_arrivals != l.m_reported ||
               l.m_modemLines != l.m_reportedLines;
    });
    if (l.m_mask == 0) {
        return -kErrorOperationAborted;
    }
    if (uint32_t changed = l.m_modemLines ^ l.m_reportedLines) {
        // The lines as a driver reports them: one event bit per line that changed, a
        // ring when the ring indicator goes off again.
        l.m_reportedLines = l.m_modemLines;
        events = (changed & kMsCtsOn ? kEvCts : 0) | (changed & kMsDsrOn ? kEvDsr : 0) |
                 (changed & kMsRlsdOn ? kEvRlsd : 0) |
                 ((changed & kMsRingOn) && !(l.m_modemLines & kMsRingOn) ? kEvRing : 0);
        if (l.m_arrivals != l.m_reported) {
            l.m_reported = l.m_arrivals;
            events |= kEvRxChar;
        }
        if (events != 0) {
            return 0;
        }
    }
    if (l.m_arrivals != l.m_reported) {
        l.m_reported = l.m_arrivals;
        events = kEvRxChar;
        return 0;
    }
    return -kErrorDeviceRemoved;
}

SerialDeviceOpener fakeOpener(std::map<std::string, std::shared_ptr<FakeLine>> lines) {
    return [lines = std::move(lines)](const std::string& path,
                                      int& sysError) -> std::unique_ptr<SerialDevice> {
        auto it = lines.find(path);
        if (it == lines.end()) {
            sysError = 2;
            return nullptr;
        }
        {
            std::lock_guard lock(it->second->m_mutex);
            if (it->second->m_openError != 0) {
                sysError = it->second->m_openError;
                return nullptr;
            }
            if (it->second->m_open) {
                sysError = 5;
                return nullptr;
            }
        }
        sysError = 0;
        return std::make_unique<FakeSerialDevice>(it->second);
    };
}

}  // namespace platform
