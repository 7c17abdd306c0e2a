// The dispatcher's trace and dispatch log: recording, and writing them to their files.

#include "platform/clock.h"
#include "platform/text_file.h"
#include "serial/dispatcher.h"

namespace serial {

int32_t TBaseDispatcher::InitTraceQueue(uint32_t n) {
    std::lock_guard state(m_stateLock);
    return m_trace.Init(n);
}

void TBaseDispatcher::ClearTraceQueue() {
    std::lock_guard state(m_stateLock);
    m_trace.Clear();
}

void TBaseDispatcher::DropTraceQueue() {
    std::lock_guard state(m_stateLock);
    m_trace.Drop();
}

void TBaseDispatcher::ResumeTrace() {
    std::lock_guard state(m_stateLock);
    m_trace.Resume();
}

void TBaseDispatcher::PauseTrace() {
    std::lock_guard state(m_stateLock);
    m_trace.Pause();
}

bool TBaseDispatcher::HasTraceQueue() const {
    std::lock_guard state(m_stateLock);
    return m_trace.Exists();
}

void TBaseDispatcher::InitLogBuffer(uint32_t n) {
    std::lock_guard state(m_stateLock);
    m_log.Init(n);
}

void TBaseDispatcher::ClearLogBuffer() {
    std::lock_guard state(m_stateLock);
    m_log.Clear();
}

void TBaseDispatcher::DropLogBuffer() {
    std::lock_guard state(m_stateLock);
    m_log.Drop();
}

void TBaseDispatcher::ResumeLog() {
    std::lock_guard state(m_stateLock);
    m_log.Resume();
}

void TBaseDispatcher::PauseLog() {
    std::lock_guard state(m_stateLock);
    m_log.Pause();
}

bool TBaseDispatcher::HasLogBuffer() const {
    std::lock_guard state(m_stateLock);
    return m_log.Exists();
}

// Recording stops for a dump; what was recorded is taken under the lock and written after
// it, so that the other threads do not wait for the disk.

int32_t TBaseDispatcher::WriteTraceFile(const std::string& name, bool append, bool inHex,
                                        bool allHex) {
    std::string text;
    {
        std::lock_guard state(m_stateLock);
        text = m_trace.TakeText(inHex, allHex);
    }
    return text.empty() ? 0 : platform::writeWholeTextFile(name, append, text);
}

int32_t TBaseDispatcher::WriteLogFile(const std::string& name, bool append, bool inHex,
                                      bool allHex) {
    std::string text;
    {
        std::lock_guard state(m_stateLock);
        if (!m_log.Exists() || m_log.Empty()) {
            m_log.Drop();
            return 0;
        }
        m_log.Pause();
        // Formatted before the file is tried: a failure to write keeps the entries.
        text =
            LogFileHeader(m_deviceName) + DispatchLog::FormatEntries(m_log.Peek(), inHex, allHex);
    }
    const int32_t r = platform::writeWholeTextFile(name, append, text);
    if (r == 0) {
        std::lock_guard state(m_stateLock);
        m_log.Drop();
    }
    return r;
}

void TBaseDispatcher::AddTraceEntry(char kind, const uint8_t* bytes, uint32_t n) {
    std::lock_guard state(m_stateLock);
    if (m_trace.Active()) {
        for (uint32_t i = 0; i < n; ++i) {
            m_trace.Add(kind, bytes[i]);
        }
    }
}

void TBaseDispatcher::AddLogEntry(uint8_t kind, uint8_t subkind, uint32_t data,
                                  const uint8_t* extra, uint32_t extraLength) {
    std::lock_guard state(m_stateLock);
    if (m_log.Active()) {
        m_log.Add(kind, subkind, platform::ClockMs() - m_openTimeMs, data, extra, extraLength);
    }
}

}  // namespace serial
