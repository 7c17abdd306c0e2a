#pragma once
// SMS-DELIVER (3GPP TS 23.040 9.2.2.1): a message received by the phone, from the
// hexadecimal text it gives in PDU mode after +CMT, +CMGR or +CMGL (27.005 3.1), the
// service-centre field first. Pure: no state, no input or output.

#include <optional>
#include <string>
#include <string_view>

#include "sms/pdu_fields.h"

namespace sms {

struct SmsDeliver {
    SmsAddress serviceCentre;             // empty text when the PDU names none
    bool moreMessagesToSend = false;      // TP-MMS clear: the centre has more for this phone
    bool statusReportIndication = false;  // TP-SRI: the sender asked for a status report
    bool replyPath = false;               // TP-RP
    SmsAddress sender;                    // TP-OA
    unsigned char protocolId = 0;         // TP-PID
    SmsTimestamp serviceCentreTime;       // TP-SCTS
    UserDataContent content;              // coding, header elements and the text
};

// The message of `pdu`; `tpduLength`, when 0 or more, is the length the phone gave on the
// line before it (octets after the service-centre field) and must match. A PDU that is
// not a whole SMS-DELIVER gives nothing and, in *error, the reason in Windows-1254.
std::optional<SmsDeliver> decodeDeliver(std::string_view pdu, std::string* error = nullptr,
                                        int tpduLength = -1);

}  // namespace sms
