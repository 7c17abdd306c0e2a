#pragma once
// The messages and status reports stored in the phone, as AT+CMGL and AT+CMGR list them
// in PDU mode (3GPP TS 27.005 3.4.2, 3.4.3):
//
//   +CMGL: <index>,<stat>,[<alpha>],<length>   CR LF <pdu>   one per stored item
//   +CMGR: <stat>,[<alpha>],<length>           CR LF <pdu>
//
// Pure: the reply text in, the items out. Decoding the PDUs is the decoders' work.

#include <optional>
#include <string>
#include <vector>

namespace phone {

struct StoredPdu {
    int index = -1;      // the storage location; -1 from AT+CMGR, which names none
    int stat = -1;       // 0 received unread, 1 received read, 2 stored unsent, 3 stored sent
    int length = 0;      // octets of the TPDU as the phone gives it
    std::string pduHex;  // as sent, hexadecimal digits only
};

// Every whole entry of an AT+CMGL reply, in the order listed. An entry whose fields do not
// read, or whose next line is no PDU, is left out; that next line is then read as what
// it is.
std::vector<StoredPdu> parseMessageList(const std::string& reply);

// The item of an AT+CMGR reply; none when the reply holds no whole one (an empty
// location answers only OK).
std::optional<StoredPdu> parseMessageRead(const std::string& reply);

}  // namespace phone
