#include "serial/error_table.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "platform/system_error.h"

namespace serial {

namespace {

constexpr size_t kMaxText = 255;

struct Range {
    int32_t first;
    int32_t last;
};

// Codes of the table, as ranges (zero and the error codes below it, then the status and
// event codes above zero).
constexpr Range kNegative[] = {
    {0, 0},           {-2, -6},         {-8, -8},         {-15, -15},       {-18, -18},
    {-100, -105},     {-150, -162},     {-1001, -1009},   {-1617, -1617},   {-2001, -2012},
    {-3001, -3010},   {-4001, -4017},   {-4020, -4021},   {-5001, -5003},   {-5501, -5506},
    {-6001, -6016},   {-7001, -7014},   {-7500, -7502},   {-8001, -8005},   {-8050, -8055},
    {-8060, -8075},   {-8080, -8083},   {-8085, -8085},   {-8087, -8092},   {-8100, -8103},
    {-8300, -8305},   {-8310, -8318},   {-8320, -8322},   {-8330, -8332},   {-8340, -8340},
    {-8500, -8500},   {-13801, -13803}, {-13805, -13848}, {-13850, -13886}, {-13928, -13932},
    {-13934, -13945}, {-13950, -13959}, {-13980, -13980},
};
constexpr Range kPositive[] = {
    {4101, 4101},   {4200, 4213},   {4301, 4312},   {4401, 4403},   {4500, 4523},   {4550, 4553},
    {4599, 4611},   {4630, 4633},   {4660, 4671},   {4700, 4728},   {4730, 4730},   {4801, 4808},
    {4820, 4828},   {4830, 4832},   {4840, 4843},   {9001, 9007},   {10000, 10000}, {10004, 10004},
    {10009, 10009}, {10013, 10014}, {10022, 10022}, {10024, 10024}, {10035, 10071}, {10091, 10093},
    {10101, 10101}, {11001, 11004}, {13501, 13516}, {13533, 13557}, {13565, 13565}, {13597, 13601},
    {13650, 13670}, {13933, 13933}, {15001, 15021}, {15100, 15351}, {15501, 15502}, {15601, 15608},
    {15700, 15742},
};

const std::map<int32_t, const char*>& knownTexts() {
    static const std::map<int32_t, const char*> kTexts = {
        {0, "OK"},
        {-2, "File not found"},
        {-3, "Path not found"},
        {-4, "Too many open files"},
        {-5, "File access denied"},
        {-6, "Invalid file handle"},
        {-8, "Insufficient memory"},
        {-15, "Invalid drive"},
        {-18, "No more files"},
        {-100, "Attempt to read beyond end of file"},
        {-101, "Disk is full"},
        {-102, "File/device not assigned"},
        {-103, "File/device not open"},
        {-104, "File/device not open for input"},
        {-105, "File/device not open for output"},
        {-150, "Disk is write-protected"},
        {-151, "Unknown disk unit"},
        {-152, "Drive is not ready"},
        {-153, "Unknown command"},
        {-154, "Data error"},
        {-155, "Bad request structure length"},
        {-156, "Seek error"},
        {-157, "Unknown media type"},
        {-158, "Disk sector not found"},
        {-159, "Printer is out of paper"},
        {-160, "Device write error"},
        {-161, "Device read error"},
        {-162, "General failure"},
        {-1002, "Bad argument passed to function"},
        {-1003, "Got quit message"},
        {-1004, "Terminal buffer greater than 65521"},
        {-1005, "ComPort component not assigned"},
        {-1006, "Internal error creating window class"},
        {-1007, "Modem component not assigned"},
        {-1008, "Phonebook component not assigned"},
        {-1009, "Component not compatible with WinSock"},
        // A device that has gone away (unplugged, link lost), as the system says it.
        {-1617, "The device has been removed."},
        {-2001, "ie_BadId - Specified comport doesn't exist"},
        {-2002, "ie_Baudrate - unsupported baud rate"},
        {-2003, "ie_Bytesize - invalid byte size"},
        {-2004, "ie_Default - error in default parameters"},
        {-2005, "ie_Hardware - Specified comport in use"},
        {-2006, "ie_Memory - unable to allocate queues"},
        {-2007, "ie_NOpen - device not open"},
        {-2008, "ie_Open - device already open"},
        {-2009, "No more handles, can't open port"},
        {-2010, "No timers available"},
        {-2011, "The ComNumber property of the TComPort has not been set"},
        {-2012, "Comport was not opened by Tapi"},
        {-3001, "No device layer specified"},
        {-3003, "EnableCommNotification failed"},
        {-3004, "Failed to put entire block"},
        {-3005, "Failed to get entire block"},
        {-3006, "Output buffer too small for block"},
        {-3007, "Buffer is empty"},
        {-3008, "Tracing not enabled"},
        {-3009, "Logging not enabled"},
        {-3010, "Base address not set"},
        {-5001, "No more trigger slots"},
        {-5002, "Data trigger too long"},
        {-5003, "Bad trigger handle"},
        // Dispatch log kinds (15001 + kind) and subkinds (15100 + subkind).
        {15001, "No event"},
        {15002, "Dispatch"},
        {15003, "Trigger"},
        {15004, "Error"},
        {15005, "Thread"},
        {15006, "TrigAllc"},
        {15007, "TrigDisp"},
        {15008, "TrgHdAlc"},
        {15009, "TrgHdDsp"},
        {15010, "TrDatChg"},
        {15011, "Telnet"},
        {15012, "Fax"},
        {15013, "XModem"},
        {15014, "YModem"},
        {15015, "ZModem"},
        {15016, "Kermit"},
        {15017, "Ascii"},
        {15018, "BPlus"},
        {15019, "Packet"},
        {15020, "User"},
        {15021, "Script"},
        {15101, "ReadCom"},
        {15102, "WriteCom"},
        {15103, "Line status"},
        {15104, "Modem status"},
        {15105, "Avail"},
        {15106, "Timer"},
        {15107, "Data"},
        {15108, "Status"},
        {15109, "Start"},
        {15110, "Exit"},
        {15111, "Sleep"},
        {15112, "Wake"},
        {15113, "Data"},
        {15114, "Timer"},
        {15115, "Status"},
        {15116, "Avail"},
        {15117, "Window"},
        {15118, "Procedure"},
        {15119, "Method"},
    };
    return kTexts;
}

bool emptyRecord(int32_t code) {
    switch (code) {
        case 4200:
        case 4600:
        case 4630:
        case 4660:
        case 4725:
        case 4726:
        case 4727:
        case 4728:
        case 4730:
        case 10000:
        case 15100:
            return true;
        default:
            return false;
    }
}

// Records whose wording belongs to components this program does not contain carry the
// name of their group and the code, so that a log or a message still says what it is.
std::string groupText(int32_t code) {
    int32_t m = code < 0 ? -code : code;
    const char* group = "Status";
    if (code < 0) {
        if (m < 2000) {
            group = "General error";
        } else if (m < 3000) {
            group = "Port open error";
        } else if (m < 4000) {
            group = "Serial I/O error";
        } else if (m < 5000) {
            group = "Modem error";
        } else if (m < 5500) {
            group = "Trigger error";
        } else if (m < 6000) {
            group = "Packet error";
        } else if (m < 7000) {
            group = "Protocol error";
        } else if (m < 8000) {
            group = "Database error";
        } else if (m < 9000) {
            group = "Fax error";
        } else if (m < 13980) {
            group = "TAPI error";
        } else {
            group = "RAS error";
        }
    } else if (m >= 10000 && m < 11000) {
        group = "Winsock error";
    } else if (m >= 15001) {
        group = "Log text";
    }
    return std::string(group) + " " + std::to_string(m);
}

std::vector<MessageNumberLookupRecord> buildTable() {
    std::vector<MessageNumberLookupRecord> records;
    const auto& known = knownTexts();
    auto add = [&](int32_t code) {
        std::string text;
        if (auto it = known.find(code); it != known.end()) {
            text = it->second;
        } else if (!emptyRecord(code)) {
            text = groupText(code);
        }
        records.push_back({code, std::move(text)});
    };
    for (const auto& r : kNegative) {
        for (int32_t c = r.first; c >= r.last; --c) {
            add(c);
        }
    }
    for (const auto& r : kPositive) {
        for (int32_t c = r.first; c <= r.last; ++c) {
            add(c);
        }
    }
    auto magnitude = [](int32_t c) { return c < 0 ? -c : c; };
    std::sort(records.begin(), records.end(),
              [&](const auto& a, const auto& b) { return magnitude(a.code) < magnitude(b.code); });
    return records;
}

std::string cleanSystemText(std::string t) {
    for (char& c : t) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    std::string out;
    for (char c : t) {
        if (c == ' ' && !out.empty() && out.back() == ' ') {
            continue;
        }
        out += c;
    }
    if (out.size() > kMaxText) {
        out.resize(kMaxText);
    }
    return out;
}

}  // namespace

const std::vector<MessageNumberLookupRecord>& MessageTable() {
    static const std::vector<MessageNumberLookupRecord> kTable = buildTable();
    return kTable;
}

std::string LookupMessage(uint16_t magnitude) {
    const auto& table = MessageTable();
    int low = 0;
    int high = int(table.size()) - 1;
    while (low <= high) {
        int m = (low + high + 1) / 2;  // the middle, rounded to the nearest integer
        int32_t c = table[size_t(m)].code;
        int32_t mag = c < 0 ? -c : c;
        if (mag == magnitude) {
            const std::string& t = table[size_t(m)].text;
            return t.size() > kMaxText ? t.substr(0, kMaxText) : t;
        }
        if (mag > magnitude) {
            high = m - 1;
        } else {
            low = m + 1;
        }
    }
    return {};
}

std::string ErrorMessage(uint16_t magnitude) {
    std::string t = LookupMessage(magnitude);
    if (!t.empty()) {
        return t;
    }
    // The system's text: the device layer gives its own error numbers, never errno.
    if (const char* sys = platform::systemErrorText(magnitude)) {
        return cleanSystemText(sys);
    }
    return {};
}

}  // namespace serial
