// Arbitrary bytes on the line and arbitrary PDUs: the simulator answers or refuses,
// never crashes or grows without bound.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/phone-sim/modem.h"
#include "tools/phone-sim/submit_pdu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    phonesim::decodeSubmitPdu(bytes);

    // The same bytes as hexadecimal, so that most inputs get past the digit check.
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kHex[c >> 4];
        hex += kHex[c & 0x0F];
    }
    phonesim::decodeSubmitPdu(hex);

    // A phone with a message and a report stored, so that the storage commands among
    // the bytes find something to list, read and delete.
    phonesim::Config config;
    config.messaging.incomingRoute = phonesim::Route::Stored;
    config.messaging.incoming = {{"+905321234567", "Tamam"}};
    config.messaging.reports = phonesim::ReportOutcome::Delivered;
    config.messaging.reportsUnasked = true;
    config.messaging.reportDelayMs = 0;
    phonesim::Modem modem(config);
    modem.receive(bytes);
    modem.receive("AT+CMGS=" + std::to_string(size % 170) + "\r" + hex + "\x1A");
    modem.unsolicited(std::chrono::steady_clock::now() + std::chrono::hours(1));
    modem.receive(bytes);
    return 0;
}
