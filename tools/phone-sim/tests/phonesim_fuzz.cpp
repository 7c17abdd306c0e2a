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

    phonesim::Modem modem(phonesim::Config{});
    modem.receive(bytes);
    modem.receive("AT+CMGS=" + std::to_string(size % 170) + "\r" + hex + "\x1A");
    return 0;
}
