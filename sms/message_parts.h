#pragma once
// A message text as the SMS-SUBMIT PDUs that carry it: one part for a text that fits one
// message, several concatenated parts for a longer one (3GPP TS 23.040 9.2.3.24.1). Each
// part goes out as its own AT+CMGS turn, in order.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sms/coded_text.h"
#include "sms/pdu_encoder.h"

namespace sms {

// The most parts one text may take: the concatenation element counts them in one octet.
inline constexpr int kMaxParts = 255;

struct PduPart {
    std::string Pdu;              // upper-case hexadecimal, service-centre field first
    std::int32_t TpduLength = 0;  // the length AT+CMGS takes for this part
};

struct EncodeOptions {
    // Allow the Turkish national language shift tables (3GPP TS 23.038) for 7-bit text.
    // Applies to the automatic coding only; a text without Turkish letters is unaffected
    // except that it is taken by the real default alphabet (ü, é, € stay 7-bit).
    bool TurkishTables = false;
    // Reference number of a concatenated message, 0-255; -1 takes the next value of a
    // counter that changes from one message to the next.
    int ConcatReference = -1;
    // Ask the service centre for a delivery report of every part (TP-SRR).
    bool StatusReport = false;
};

// How a text goes out: its coding, the shift tables and how many parts it takes.
struct MessageLayout {
    SmsCoding Coding = SmsCoding::Gsm7;  // Gsm7, Data8 or Ucs2
    ShiftTables Shift = ShiftTables::None;
    int Parts = 1;  // above kMaxParts the text cannot be sent
};

// The layout EncodeMessage would use for `text` with the requested coding; cheap enough to
// run on every keystroke.
MessageLayout PlanMessage(std::u16string_view text, SmsCoding coding = SmsCoding::Auto,
                          const EncodeOptions& options = {});

// The parts of `sms`'s text for its number, in sending order; sets sms.TpduLength to the
// first part's length, and sms.StatusReport when the options ask for reports. A text that fits one
// message gives exactly EncodePdu's PDU unless the Turkish tables are used; a message with its own
// UserDataHeader is never split. Throws EPduError when the fields cannot make a message a phone
// would accept, or the text needs more than kMaxParts parts.
std::vector<PduPart> EncodeMessage(TSMS& sms, const EncodeOptions& options = {});

}  // namespace sms
