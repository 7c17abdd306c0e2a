#pragma once
// SMS-STATUS-REPORT (3GPP TS 23.040 9.2.2.3): what the service centre says about a message
// this phone sent with TP-SRR, from the hexadecimal text the phone gives in PDU mode after
// +CDS, +CMGR or +CMGL (27.005 3.1), the service-centre field first; and what its status
// code means for the recipient. Pure: no state, no input or output.

#include <optional>
#include <string>
#include <string_view>

#include "sms/pdu_fields.h"

namespace sms {

enum class DeliveryState {
    Delivered,  // TP-ST 0x00-0x1F: the transaction is complete
    Pending,    // 0x20-0x3F: a temporary error, the centre keeps trying
    Failed,     // 0x40-0x7F: a permanent error, or a temporary one it gave up on
};

struct DeliveryStatus {
    DeliveryState state = DeliveryState::Pending;
    std::string meaning;  // Windows-1254 Turkish, e.g. "Alıcıya teslim edildi"
};

// The class and meaning of a TP-ST value; the reserved and centre-specific values of a
// range take that range's class. Nothing from 0x80 on, which 23.040 leaves reserved:
// such a report says nothing the program can act on.
std::optional<DeliveryStatus> deliveryStatus(int tpSt);

struct SmsStatusReport {
    SmsAddress serviceCentre;         // empty text when the PDU names none
    bool moreMessagesToSend = false;  // TP-MMS clear: the centre has more for this phone
    bool reportsCommand = false;      // TP-SRQ: the report is for an SMS-COMMAND
    int messageReference = 0;         // TP-MR of the submitted message
    SmsAddress recipient;             // TP-RA
    SmsTimestamp serviceCentreTime;   // TP-SCTS: when the centre took the message
    SmsTimestamp dischargeTime;       // TP-DT: when it was delivered or the status arose
    unsigned char status = 0;         // TP-ST, below 0x80
    DeliveryStatus delivery;          // deliveryStatus(status)
    // What the optional parameter indicator (TP-PI) announces; absent ones stay empty.
    std::optional<unsigned char> protocolId;
    std::optional<UserDataContent> content;  // TP-DCS (0x00 when not given) with TP-UD
};

// The report of `pdu`; `tpduLength`, when 0 or more, is the length the phone gave on the
// line before it and must match. A PDU that is not a whole SMS-STATUS-REPORT, or whose
// status is reserved, gives nothing and, in *error, the reason in Windows-1254.
std::optional<SmsStatusReport> decodeStatusReport(std::string_view pdu,
                                                  std::string* error = nullptr,
                                                  int tpduLength = -1);

}  // namespace sms
