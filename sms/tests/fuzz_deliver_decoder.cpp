// Any text either fails with a reason or decodes to fields that lie in their ranges; a
// decoded PDU decodes the same in lower case, with its own length given, and fails with
// any octet cut off or added. PDUs shaped from the bytes as 23.040 allows always decode,
// to the sender, time and text they were made of.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sms/deliver_decoder.h"
#include "sms/tests/fuzz_pdu_shapes.h"

namespace {

constexpr const char* kTarget = "fuzz-deliver-decoder";

using fuzzpdu::check;

// Cuts are tried at every octet of the fields before the user data, then at every seventh
// (inside the user data one length check decides them all).
constexpr std::size_t kEveryCutBelow = 48;

bool same(const sms::SmsDeliver& a, const sms::SmsDeliver& b) {
    return a.serviceCentre.text == b.serviceCentre.text && a.sender.text == b.sender.text &&
           a.sender.kind == b.sender.kind && a.protocolId == b.protocolId &&
           a.serviceCentreTime == b.serviceCentreTime &&
           a.content.dataCoding == b.content.dataCoding && a.content.text == b.content.text &&
           a.content.concatenation == b.content.concatenation;
}

// The checks for a PDU text that decoded.
void checkDecoded(const std::string& pdu, const sms::SmsDeliver& m) {
    fuzzpdu::checkAddress(m.serviceCentre, kTarget);
    fuzzpdu::checkAddress(m.sender, kTarget);
    fuzzpdu::checkTimestamp(m.serviceCentreTime, kTarget);
    fuzzpdu::checkContent(m.content, kTarget);

    const auto again = sms::decodeDeliver(fuzzpdu::lowerCase(pdu));
    check(again && same(*again, m), kTarget, "lower case decodes differently");

    const fuzzpdu::DecodedSize size = fuzzpdu::decodedSize(pdu);
    const std::string& digits = size.digits;
    const std::size_t octets = size.octets;
    const int tpdu = size.tpduLength;
    check(sms::decodeDeliver(pdu, nullptr, tpdu).has_value(), kTarget, "own length refused");
    check(!sms::decodeDeliver(pdu, nullptr, tpdu + 1), kTarget, "wrong length accepted");
    for (std::size_t cut = 1; cut < octets; cut += cut < kEveryCutBelow ? 1 : 7) {
        std::string error;
        check(!sms::decodeDeliver(digits.substr(0, cut * 2), &error), kTarget, "a cut PDU decoded");
        check(!error.empty(), kTarget, "failure without a reason");
    }
    check(!sms::decodeDeliver(digits.substr(0, octets * 2) + "00"), kTarget,
          "a PDU with an octet added decoded");
}

void decodeText(const std::string& pdu) {
    std::string error;
    const auto m = sms::decodeDeliver(pdu, &error);
    if (m) {
        checkDecoded(pdu, *m);
    } else {
        check(!error.empty(), kTarget, "failure without a reason");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input as the phone's text, and its bytes as octets.
    decodeText(std::string(reinterpret_cast<const char*>(data), size));
    decodeText(fuzzpdu::toHex(fuzzpdu::Octets(data, data + size), false));

    // A DELIVER shaped from the bytes.
    fuzzpdu::Bytes b{data, size};
    const unsigned flags = b.next();
    fuzzpdu::Octets pdu;
    fuzzpdu::serviceCentre(b, pdu);
    const bool header = flags & 0x40;
    pdu.push_back(static_cast<unsigned char>(flags & 0xE4));  // TP-MTI SMS-DELIVER
    std::u16string sender;
    fuzzpdu::address(b, pdu, sender);
    pdu.push_back(static_cast<unsigned char>(b.next()));  // TP-PID
    const std::size_t dcsAt = pdu.size();
    pdu.push_back(0);
    sms::SmsTimestamp time;
    fuzzpdu::timestamp(b, pdu, time);
    fuzzpdu::ExpectedContent expected;
    fuzzpdu::userData(b, pdu, header, expected);
    pdu[dcsAt] = expected.dataCoding;

    const std::string hex = fuzzpdu::toHex(pdu, flags & 0x01);
    std::string error;
    const auto m = sms::decodeDeliver(hex, &error);
    check(m.has_value(), kTarget, "a well-formed DELIVER was refused");
    check(m->sender.text == sender, kTarget, "sender");
    check(m->serviceCentreTime == time, kTarget, "time stamp");
    check(m->content.coding == expected.coding, kTarget, "coding");
    check(m->content.text == expected.text, kTarget, "text");
    check(m->content.concatenation.has_value() == expected.concatenated, kTarget, "concatenation");
    checkDecoded(hex, *m);
    return 0;
}
