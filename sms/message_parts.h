#pragma once
// A message text as the SMS-SUBMIT PDUs that carry it: one part for a text that fits one
// message, several concatenated parts for a longer one. Each part goes out as its own
// AT+CMGS turn, in order.

#include <cstdint>
#include <string>
#include <vector>

#include "sms/pdu_encoder.h"

namespace sms {

struct PduPart {
    std::string Pdu;              // upper-case hexadecimal, service-centre field first
    std::int32_t TpduLength = 0;  // the length AT+CMGS takes for this part
};

struct EncodeOptions {
    // Allow the Turkish national language shift tables (3GPP TS 23.038) for 7-bit text.
    bool TurkishTables = false;
};

// The parts of `sms`'s text for its number, in sending order. Throws EPduError when the
// fields cannot make a message a phone would accept.
std::vector<PduPart> EncodeMessage(TSMS& sms, const EncodeOptions& options = {});

}  // namespace sms
