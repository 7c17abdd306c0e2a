#pragma once
// The two diagnostic recorders of an open port: the trace (every byte sent and taken, in
// order) and the dispatch log (time-stamped events of the dispatcher). The dispatcher
// keeps one of each and uses them under its StateLock; they hold no lock of their own.

#include <cstdint>
#include <string>
#include <vector>

namespace serial {

constexpr uint32_t kTraceLimit = 4000000;  // entries
constexpr uint32_t kLogLimit = 16000000;   // bytes

class TraceRecorder {
public:
    // A new queue of n entries (-1002 above the limit), or the existing one emptied; on.
    int32_t Init(uint32_t n);
    void Clear();
    void Drop();
    void Resume() { m_active = !m_queue.empty(); }
    void Pause() { m_active = false; }
    bool Active() const { return m_active; }
    bool Exists() const { return !m_queue.empty(); }
    // 'T' for a byte sent, 'R' for a byte taken; only while active.
    void Add(char kind, uint8_t byte);
    // The file's text (empty when nothing was recorded); the queue goes with it.
    std::string TakeText(bool inHex, bool allHex);

private:
    struct Entry {
        char kind;
        uint8_t data;
    };
    std::vector<Entry> m_queue;
    uint32_t m_head = 0;
    bool m_wrapped = false;
    bool m_active = false;
};

// Header fields of a log entry: kind, subkind (texts 15001 + kind, 15100 + subkind).
struct LogEntry {
    uint8_t kind = 0;
    uint8_t subkind = 0;
    uint32_t timeMs = 0;
    uint32_t data = 0;
    std::vector<uint8_t> extra;
};

class DispatchLog {
public:
    static constexpr uint32_t kHeaderSize = 16;

    // A new buffer of n bytes, on; or the existing one emptied (its state kept).
    void Init(uint32_t n);
    void Clear();
    void Drop();
    void Resume() { m_active = !m_buffer.empty(); }
    void Pause() { m_active = false; }
    bool Active() const { return m_active; }
    bool Exists() const { return !m_buffer.empty(); }
    bool Empty() const { return m_free == m_buffer.size(); }
    // Only while active. The oldest entries make room, whole; an entry larger than the
    // whole buffer is kept without its extra bytes, and says so (its length 0).
    void Add(uint8_t kind, uint8_t subkind, uint32_t timeMs, uint32_t data, const uint8_t* extra,
             uint32_t extraLength);
    // The entries, oldest first; the buffer keeps them.
    std::vector<LogEntry> Peek() const;

    // The file's text for the entries, after the header lines.
    static std::string FormatEntries(const std::vector<LogEntry>& entries, bool inHex, bool allHex);

private:
    bool put(const uint8_t* bytes, uint32_t n);
    // Reads the entry at *tail and moves *tail and *free past it (the buffer's own
    // positions when taking, copies when peeking).
    bool read(LogEntry& e, uint32_t& tail, uint32_t& free) const;
    bool take(LogEntry& e) { return read(e, m_tail, m_free); }

    std::vector<uint8_t> m_buffer;
    uint32_t m_head = 0;
    uint32_t m_tail = 0;
    uint32_t m_free = 0;
    bool m_active = false;
};

// The log file's header lines, ending with the two column heading lines.
std::string LogFileHeader(const std::string& deviceName);

}  // namespace serial
