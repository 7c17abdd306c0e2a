#include "serial/trace_log.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/text_file.h"
#include "serial/error_table.h"

namespace serial {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr int kLineWidth = 78;
constexpr int32_t kErrBadArgument = -1002;

// One byte as the files write it: the character itself when printable, else in brackets,
// in hex or in decimal.
std::string item(uint8_t b, bool inHex, bool allHex) {
    char buf[8];
    const uint8_t lowest = inHex ? 0x21 : 0x20;
    if (allHex || ((b < lowest || b > 0x7E) && inHex)) {
        std::snprintf(buf, sizeof buf, "[%02X]", b);
    } else if (b >= lowest && b <= 0x7E) {
        buf[0] = char(b);
        buf[1] = '\0';
    } else {
        std::snprintf(buf, sizeof buf, "[%u]", b);
    }
    return buf;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Trace

int32_t TraceRecorder::Init(uint32_t n) {
    if (!m_queue.empty()) {
        Clear();
    } else {
        if (n > kTraceLimit) {
            return kErrBadArgument;
        }
        m_queue.assign(n == 0 ? 1 : n, Entry{0, 0});
        m_head = 0;
        m_wrapped = false;
    }
    m_active = true;
    return 0;
}

void TraceRecorder::Clear() {
    m_head = 0;
    m_wrapped = false;
}

void TraceRecorder::Drop() {
    m_active = false;
    m_queue.clear();
    m_queue.shrink_to_fit();
}

void TraceRecorder::Add(char kind, uint8_t byte) {
    if (!m_active || m_queue.empty()) {
        return;
    }
    m_queue[m_head] = Entry{kind, byte};
    if (++m_head == m_queue.size()) {
        m_head = 0;
        m_wrapped = true;
    }
}

std::string TraceRecorder::TakeText(bool inHex, bool allHex) {
    m_active = false;
    std::string out;
    if (m_queue.empty() || (!m_wrapped && m_head == 0)) {
        Drop();
        return out;
    }
    const uint32_t size = uint32_t(m_queue.size());
    const uint32_t start = m_wrapped ? m_head : 0;
    const uint32_t count = m_wrapped ? size : m_head;
    char previous = 0;
    bool first = true;
    int column = 0;
    for (uint32_t k = 0; k < count; ++k) {
        const Entry& e = m_queue[(start + k) % size];
        if (first || e.kind != previous) {
            if (!first) {
                out += kLineEnd;
                out += kLineEnd;
                column = 0;
            }
            if (e.kind == 'T') {
                out += "Transmit: ";
            } else if (e.kind == 'R') {
                out += "Receive: ";
            } else {
                out += std::string("Special-") + e.kind + ": ";
            }
            out += kLineEnd;
            previous = e.kind;
        }
        std::string it = item(e.data, inHex, allHex);
        column += int(it.size());
        if (column > kLineWidth) {
            out += kLineEnd;
            column = int(it.size());
        }
        out += it;
        first = false;
    }
    Drop();
    return out;
}

// ---------------------------------------------------------------------------------------
// Dispatch log

void DispatchLog::Init(uint32_t n) {
    if (!m_buffer.empty()) {
        Clear();
        return;
    }
    m_buffer.assign(n == 0 ? kHeaderSize : n, 0);
    Clear();
    m_active = true;
}

void DispatchLog::Clear() {
    m_head = m_tail = 0;
    m_free = uint32_t(m_buffer.size());
}

void DispatchLog::Drop() {
    m_active = false;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_head = m_tail = m_free = 0;
}

bool DispatchLog::read(LogEntry& e, uint32_t& tail, uint32_t& free) const {
    const uint32_t size = uint32_t(m_buffer.size());
    if (free == size) {
        return false;
    }
    auto copyOut = [&](uint8_t* to, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            to[i] = m_buffer[tail];
            tail = (tail + 1) % size;
        }
        free += n;
    };
    uint8_t h[kHeaderSize];
    copyOut(h, kHeaderSize);
    e.kind = h[0];
    e.subkind = h[1];
    uint32_t length;
    std::memcpy(&e.timeMs, h + 4, 4);
    std::memcpy(&e.data, h + 8, 4);
    std::memcpy(&length, h + 12, 4);
    e.extra.resize(length);
    copyOut(e.extra.data(), length);
    return true;
}

bool DispatchLog::put(const uint8_t* bytes, uint32_t n) {
    const uint32_t size = uint32_t(m_buffer.size());
    if (n >= size) {
        return false;
    }
    LogEntry dropped;
    while (m_free < n && take(dropped)) {
    }
    for (uint32_t i = 0; i < n; ++i) {
        m_buffer[m_head] = bytes[i];
        m_head = (m_head + 1) % size;
    }
    m_free -= n;
    return true;
}

void DispatchLog::Add(uint8_t kind, uint8_t subkind, uint32_t timeMs, uint32_t data,
                      const uint8_t* extra, uint32_t extraLength) {
    if (!m_active) {
        return;
    }
    // An entry must fit whole, or the header would claim bytes that are not there.
    if (kHeaderSize + uint64_t(extraLength) >= m_buffer.size()) {
        extraLength = 0;
    }
    uint8_t h[kHeaderSize] = {kind, subkind};
    std::memcpy(h + 4, &timeMs, 4);
    std::memcpy(h + 8, &data, 4);
    std::memcpy(h + 12, &extraLength, 4);
    // Header and extra bytes go in as one, so that making room never splits them.
    std::vector<uint8_t> whole(h, h + kHeaderSize);
    whole.insert(whole.end(), extra, extra + extraLength);
    put(whole.data(), uint32_t(whole.size()));
}

std::vector<LogEntry> DispatchLog::Peek() const {
    std::vector<LogEntry> out;
    uint32_t tail = m_tail;
    uint32_t free = m_free;
    LogEntry e;
    while (read(e, tail, free)) {
        out.push_back(std::move(e));
        e = LogEntry{};
    }
    return out;
}

std::string DispatchLog::FormatEntries(const std::vector<LogEntry>& entries, bool inHex,
                                       bool allHex) {
    static const char* const kStatusTypes[] = {"(Not active)",         "(Modem status)",
                                               "(Line status)",        "(Output buffer free)",
                                               "(Output buffer used)", "(Output sent)"};
    static const char* const kModemBits[] = {"DCTS", "DDSR", "TERI", "DDCD",
                                             "CTS",  "DSR",  "RI",   "DCD"};
    std::string out;
    char buf[128];
    for (const LogEntry& e : entries) {
        std::snprintf(buf, sizeof buf, "%07u", e.timeMs);
        std::string time = buf;
        time.insert(time.size() - 3, ".");
        std::string kind = LookupMessage(uint16_t(15001 + e.kind));
        std::string subkind = e.subkind == 0 ? "" : LookupMessage(uint16_t(15100 + e.subkind));
        std::snprintf(buf, sizeof buf, "%8s  %-8s  %-12s  %08X  ", time.c_str(), kind.c_str(),
                      subkind.c_str(), e.data);
        out += buf;
        if (e.extra.empty()) {
            if (e.kind == 10) {
                out += "[" + (e.data <= 42 ? LookupMessage(uint16_t(15700 + e.data)) : "") + "]";
            }
        } else if (e.subkind == 15 && (e.kind == 5 || e.kind == 6)) {
            if (e.extra[0] < std::size(kStatusTypes)) {
                out += kStatusTypes[e.extra[0]];
            }
        } else {
            int column = 45;
            for (uint8_t b : e.extra) {
                std::string it =
                    allHex && e.kind == 19 ? std::string(1, char(b)) : item(b, inHex, allHex);
                column += int(it.size());
                if (column > kLineWidth) {
                    out += kLineEnd;
                    out += std::string(44, ' ');
                    column = int(it.size()) + 45;
                }
                out += it;
            }
        }
        if (e.subkind == 4 && !e.extra.empty()) {
            std::string names;
            for (int bit = 0; bit < 8; ++bit) {
                if (e.data & (1u << bit)) {
                    names += (names.empty() ? "" : " ") + std::string(kModemBits[bit]);
                }
            }
            out += "(" + names + ")";
        }
        out += kLineEnd;
    }
    return out;
}

std::string LogFileHeader(const std::string& deviceName) {
    char date[81];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%d/%m/%y, %H:%M:%S", &local);
    std::string os = platform::describeOs().substr(0, 80);
    std::string out;
    for (const std::string& line :
         {std::string("SERIAL v4.06"), std::string("Compiler : GNU C++ ") + __VERSION__,
          "Operating System : " + os, "Device: " + deviceName, std::string("Date/time: ") + date,
          std::string("Time      Type      SubType       Data      OtherData"),
          std::string("--------  --------  ------------  --------  ---------")}) {
        out += line;
        out += kLineEnd;
    }
    return out;
}

}  // namespace serial
