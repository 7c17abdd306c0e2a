#pragma once
// Unsolicited result codes of the SMS service (3GPP TS 27.005 3.4.1): a message or a
// status report routed to the program with its PDU on the next line, or the notice that
// one was stored. They come whenever the network hands something over, also between a
// command's echo and its final result; they are taken out of the received text, so the
// command completes as it would have, and handed up through UnsolicitedSink.
//
//   +CMT: [<alpha>],<length>   CR LF <pdu>   an SMS-DELIVER routed to us
//   +CMTI: <mem>,<index>                     an SMS-DELIVER stored
//   +CDS: <length>             CR LF <pdu>   an SMS-STATUS-REPORT routed to us
//   +CDSI: <mem>,<index>                     an SMS-STATUS-REPORT stored

#include <cstddef>
#include <string>
#include <string_view>

namespace phone {

// Called from the data-available handler, on the user-interface thread: an
// implementation must not wait for the phone there (it posts its AT+CNMA or AT+CMGR to
// the message queue instead). Texts are as the phone sent them: the PDU in hexadecimal,
// the storage without its double quotes ("SM", "ME", "SR"); `tpduLength` the length on
// the line before a routed PDU (octets after the service-centre field), -1 when it does
// not read.
class UnsolicitedSink {
public:
    virtual ~UnsolicitedSink() = default;
    virtual void messageRouted(const std::string& pduHex, int tpduLength) = 0;
    virtual void messageStored(const std::string& mem, int index) = 0;
    virtual void reportRouted(const std::string& pduHex, int tpduLength) = 0;
    virtual void reportStored(const std::string& mem, int index) = 0;
};

// Takes every whole unsolicited result out of `buffer`, from the line that begins at
// `from` on, with the blank line that frames it, and hands each to `sink`. A +CMT or
// +CDS line whose next line is no PDU is dropped alone: that line stays, it may be a
// command's answer. A notice whose fields do not read is dropped too. Returns where the
// first line not yet ended begins: the next scan starts there.
size_t takeUnsolicited(std::string& buffer, size_t from, UnsolicitedSink& sink);

// Whether `tail`, the start of a line not yet ended, is or may become an unsolicited
// result: kept across the start of a command, which empties the receive buffer.
bool mayBeUnsolicited(std::string_view tail);

}  // namespace phone
