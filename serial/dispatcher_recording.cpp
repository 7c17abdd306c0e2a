// The dispatcher's trace and dispatch log: recording, and writing them to their files.

#include "platform/clock.h"
#include "platform/text_file.h"
#include "serial/dispatcher.h"

namespace serial {

int32_t TBaseDispatcher::RecorderInit(Recorder which, uint32_t n) {
    std::lock_guard state(m_stateLock);
    if (which == Recorder::Trace) {
        return m_trace.Init(n);
    }
    m_log.Init(n);
    return 0;
}

void TBaseDispatcher::RecorderClear(Recorder which) {
    std::lock_guard state(m_stateLock);
    which == Recorder::Trace ? m_trace.Clear() : m_log.Clear();
}

void TBaseDispatcher::RecorderDrop(Recorder which) {
    std::lock_guard state(m_stateLock);
    which == Recorder::Trace ? m_trace.Drop() : m_log.Drop();
}

void TBaseDispatcher::RecorderResume(Recorder which) {
    std::lock_guard state(m_stateLock);
    which == Recorder::Trace ? m_trace.Resume() : m_log.Resume();
}

void TBaseDispatcher::RecorderPause(Recorder which) {
    std::lock_guard state(m_stateLock);
    which == Recorder::Trace ? m_trace.Pause() : m_log.Pause();
}

int32_t TBaseDispatcher::RecorderWrite(Recorder which, const std::string& name, bool append,
                                       bool inHex, bool allHex) {
    std::string text;
    {
        // Recording stops for the dump; what was recorded is taken under the lock and
        // written after it, so that the other threads do not wait for the disk.
        std::lock_guard state(m_stateLock);
        if (which == Recorder::Trace) {
            text = m_trace.TakeText(inHex, allHex);
        } else {
            if (!m_log.Exists() || m_log.Empty()) {
                m_log.Drop();
                return 0;
            }
            m_log.Pause();
            // Formatted before the file is tried: a failure to write keeps the entries.
            text = LogFileHeader(m_deviceName) +
                   DispatchLog::FormatEntries(m_log.Peek(), inHex, allHex);
        }
    }
    if (text.empty()) {
        return 0;
    }
    int r = platform::writeWholeTextFile(name, append, text);
    if (which == Recorder::Log && r == 0) {
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
