// The port component's trace and dispatch log: the fourteen operations on the open port's
// dispatcher, and the Tracing, Logging, TraceSize and LogSize setters built on them.

#include <algorithm>

#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/trace_log.h"

namespace serial {

// The dispatcher the operations act on; none while the port is closing, when they do
// nothing.
TBaseDispatcher* TCustomComPort::recordingDispatcher() {
    return m_lifeState == PortLifeState::Closing ? nullptr : ValidDispatcher();
}

// ---------------------------------------------------------------------------------------
// Trace

void TCustomComPort::TraceInit(uint32_t n) {
    TBaseDispatcher* d = recordingDispatcher();
    if (!d) {
        return;
    }
    // The size is kept once the queue is there, and within the limit: a refused size must
    // not make every later start fail as well.
    CheckResult(d->InitTraceQueue(n != 0 ? n : m_traceSize));
    if (n != 0) {
        m_traceSize = std::min(n, kTraceLimit);
    }
    m_tracing = tlOn;
}

void TCustomComPort::writeTrace(const std::string& name, bool append, bool inHex) {
    TBaseDispatcher* d = recordingDispatcher();
    if (!d) {
        return;
    }
    // Off whatever the file says: the queue is spent either way.
    m_tracing = tlOff;
    CheckResult(d->WriteTraceFile(name, append, inHex, m_traceAllHex));
}

void TCustomComPort::TraceDump(const std::string& name, bool inHex) {
    writeTrace(name, false, inHex);
}

void TCustomComPort::TraceAppend(const std::string& name, bool inHex) {
    writeTrace(name, true, inHex);
}

void TCustomComPort::TraceClear() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->ClearTraceQueue();
    }
}

void TCustomComPort::TraceAbort() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->DropTraceQueue();
        m_tracing = tlOff;
    }
}

// Start and Stop say "on" or "paused" only when there is a queue: without one nothing
// would be recorded whatever Tracing said.
void TCustomComPort::TraceStart() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->ResumeTrace();
        if (d->HasTraceQueue()) {
            m_tracing = tlOn;
        }
    }
}

void TCustomComPort::TraceStop() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->PauseTrace();
        if (d->HasTraceQueue()) {
            m_tracing = tlPause;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Dispatch log

void TCustomComPort::LogInit(uint32_t n) {
    TBaseDispatcher* d = recordingDispatcher();
    if (!d) {
        return;
    }
    if (n != 0) {
        m_logSize = std::min(n, kLogLimit);
    }
    d->InitLogBuffer(m_logSize);
    m_logging = tlOn;
}

void TCustomComPort::writeLog(const std::string& name, bool append, bool inHex) {
    TBaseDispatcher* d = recordingDispatcher();
    if (!d) {
        return;
    }
    const int32_t r = d->WriteLogFile(name, append, inHex, m_logAllHex);
    // A file that could not be written keeps the entries, paused, for another try.
    m_logging = d->HasLogBuffer() ? tlPause : tlOff;
    CheckResult(r);
}

void TCustomComPort::LogDump(const std::string& name, bool inHex) {
    writeLog(name, false, inHex);
}

void TCustomComPort::LogAppend(const std::string& name, bool inHex) {
    writeLog(name, true, inHex);
}

void TCustomComPort::LogClear() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->ClearLogBuffer();
    }
}

void TCustomComPort::LogAbort() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->DropLogBuffer();
        m_logging = tlOff;
    }
}

void TCustomComPort::LogStart() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->ResumeLog();
        if (d->HasLogBuffer()) {
            m_logging = tlOn;
        }
    }
}

void TCustomComPort::LogStop() {
    if (TBaseDispatcher* d = recordingDispatcher()) {
        d->PauseLog();
        if (d->HasLogBuffer()) {
            m_logging = tlPause;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Setters: one algorithm for Tracing and Logging, over the operations of each.

void TCustomComPort::setRecordingState(bool trace, TTraceLogState value) {
    TTraceLogState& state = trace ? m_tracing : m_logging;
    if (value == state && !m_forceApply) {
        return;
    }
    if (m_lifeState != PortLifeState::Opened) {
        state = value == tlOn ? tlOn : tlOff;  // commands and pauses are not kept
        return;
    }
    const bool on = state == tlOn;
    const bool paused = state == tlPause;
    const std::string& name = trace ? m_traceName : m_logName;
    const bool inHex = trace ? m_traceHex : m_logHex;
    switch (value) {
        case tlOff:
            if (on || paused) {
                trace ? TraceAbort() : LogAbort();
            }
            break;
        case tlOn:
            if (paused) {
                trace ? TraceStart() : LogStart();
            } else {
                trace ? TraceInit(m_traceSize) : LogInit(m_logSize);
            }
            break;
        case tlDump:
        case tlAppend:
            if (on || paused) {
                trace ? TraceStart() : LogStart();
                if (value == tlDump) {
                    trace ? TraceDump(name, inHex) : LogDump(name, inHex);
                } else {
                    trace ? TraceAppend(name, inHex) : LogAppend(name, inHex);
                }
            }
            break;
        case tlClear:
            if (on || paused) {
                trace ? TraceClear() : LogClear();
            }
            break;
        case tlPause:
            if (on) {
                trace ? TraceStop() : LogStop();
            }
            break;
    }
}

void TCustomComPort::SetTracing(TTraceLogState value) {
    setRecordingState(true, value);
}

void TCustomComPort::SetLogging(TTraceLogState value) {
    setRecordingState(false, value);
}

void TCustomComPort::setRecordingSize(bool trace, uint32_t value) {
    uint32_t& size = trace ? m_traceSize : m_logSize;
    if (value == size) {
        return;
    }
    size = std::min(value, trace ? kTraceLimit : kLogLimit);
    const TTraceLogState state = trace ? m_tracing : m_logging;
    if (m_lifeState == PortLifeState::Opened && (state == tlOn || state == tlPause)) {
        // A running recording starts again, empty, at the new size; a paused one ends.
        trace ? TraceAbort() : LogAbort();
        setRecordingState(trace, state);
    }
}

void TCustomComPort::SetTraceSize(uint32_t value) {
    setRecordingSize(true, value);
}

void TCustomComPort::SetLogSize(uint32_t value) {
    setRecordingSize(false, value);
}

}  // namespace serial
