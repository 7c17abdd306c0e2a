// Any text either fails with a reason or decodes to fields that lie in their ranges, with
// the delivery class of its status; a decoded report decodes the same in lower case and
// with its own length given, and cut before its status it fails. Reports shaped from the
// bytes as 23.040 allows always decode, to the reference, recipient, times, status and
// optional parameters they were made of.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sms/status_report_decoder.h"
#include "sms/tests/fuzz_pdu_shapes.h"

namespace {

constexpr const char* kTarget = "fuzz-status-report-decoder";

using fuzzpdu::check;

// Cuts are tried at every octet of the fields before the user data, then at every seventh
// (inside the user data one length check decides them all).
constexpr std::size_t kEveryCutBelow = 48;

bool same(const sms::SmsStatusReport& a, const sms::SmsStatusReport& b) {
    const bool sameContent = a.content.has_value() == b.content.has_value() &&
                             (!a.content || (a.content->text == b.content->text &&
                                             a.content->concatenation == b.content->concatenation));
    return a.messageReference == b.messageReference && a.recipient.text == b.recipient.text &&
           a.serviceCentreTime == b.serviceCentreTime && a.dischargeTime == b.dischargeTime &&
           a.status == b.status && a.protocolId == b.protocolId && sameContent;
}

void checkDecoded(const std::string& pdu, const sms::SmsStatusReport& r) {
    fuzzpdu::checkAddress(r.serviceCentre, kTarget);
    fuzzpdu::checkAddress(r.recipient, kTarget);
    fuzzpdu::checkTimestamp(r.serviceCentreTime, kTarget);
    fuzzpdu::checkTimestamp(r.dischargeTime, kTarget);
    check(r.messageReference >= 0 && r.messageReference <= 255, kTarget, "TP-MR");
    const auto status = sms::deliveryStatus(r.status);
    check(status && status->state == r.delivery.state && status->meaning == r.delivery.meaning,
          kTarget, "delivery status differs from the table");
    check(r.status < 0x80 && !r.delivery.meaning.empty(), kTarget, "reserved status accepted");
    const auto expectedState = r.status < 0x20   ? sms::DeliveryState::Delivered
                               : r.status < 0x40 ? sms::DeliveryState::Pending
                                                 : sms::DeliveryState::Failed;
    check(r.delivery.state == expectedState, kTarget, "status class");
    if (r.content)
        fuzzpdu::checkContent(*r.content, kTarget);

    const auto again = sms::decodeStatusReport(fuzzpdu::lowerCase(pdu));
    check(again && same(*again, r), kTarget, "lower case decodes differently");

    const fuzzpdu::DecodedSize size = fuzzpdu::decodedSize(pdu);
    const std::string& digits = size.digits;
    const std::size_t octets = size.octets;
    const int tpdu = size.tpduLength;
    check(sms::decodeStatusReport(pdu, nullptr, tpdu).has_value(), kTarget, "own length refused");
    check(!sms::decodeStatusReport(pdu, nullptr, tpdu + 1), kTarget, "wrong length accepted");
    // Cut anywhere, it fails, or (cut after the status or inside what the indicator
    // announces) still reads the same mandatory fields.
    for (std::size_t cut = 1; cut < octets; cut += cut < kEveryCutBelow ? 1 : 7) {
        std::string error;
        const auto part = sms::decodeStatusReport(digits.substr(0, cut * 2), &error);
        if (part) {
            check(part->messageReference == r.messageReference && part->status == r.status &&
                      part->recipient.text == r.recipient.text,
                  kTarget, "a cut report reads other fields");
        } else {
            check(!error.empty(), kTarget, "failure without a reason");
        }
    }
}

void decodeText(const std::string& pdu) {
    std::string error;
    const auto r = sms::decodeStatusReport(pdu, &error);
    if (r) {
        checkDecoded(pdu, *r);
    } else {
        check(!error.empty(), kTarget, "failure without a reason");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeText(std::string(reinterpret_cast<const char*>(data), size));
    decodeText(fuzzpdu::toHex(fuzzpdu::Octets(data, data + size), false));

    // A STATUS-REPORT shaped from the bytes.
    fuzzpdu::Bytes b{data, size};
    const unsigned flags = b.next();
    fuzzpdu::Octets pdu;
    fuzzpdu::serviceCentre(b, pdu);
    const bool header = flags & 0x40;
    pdu.push_back(static_cast<unsigned char>((flags & 0x64) | 0x02));  // TP-MTI STATUS-REPORT
    const auto reference = static_cast<unsigned char>(b.next());
    pdu.push_back(reference);
    std::u16string recipient;
    fuzzpdu::address(b, pdu, recipient);
    sms::SmsTimestamp sent;
    sms::SmsTimestamp discharged;
    fuzzpdu::timestamp(b, pdu, sent);
    fuzzpdu::timestamp(b, pdu, discharged);
    const auto status = static_cast<unsigned char>(b.next() % 0x80);
    pdu.push_back(status);

    // The indicator and what it announces, or none at all. User data without TP-DCS is
    // in the default alphabet.
    const unsigned char indicator =
        (flags & 0x10) ? static_cast<unsigned char>(b.next() & 0x87) : 0;
    fuzzpdu::ExpectedContent expected;
    if (flags & 0x10) {
        pdu.push_back(indicator);
        if (indicator & 0x80)
            pdu.push_back(0x00);  // a further indicator octet that announces nothing
        if (indicator & 0x01)
            pdu.push_back(static_cast<unsigned char>(b.next()));  // TP-PID
        fuzzpdu::Octets userData;
        if (indicator & 0x04)
            fuzzpdu::userData(b, userData, header, expected, (indicator & 0x02) ? -1 : 0x00);
        if (indicator & 0x02)
            pdu.push_back((indicator & 0x04) ? expected.dataCoding : 0x08);
        pdu.insert(pdu.end(), userData.begin(), userData.end());
    }

    const std::string hex = fuzzpdu::toHex(pdu, flags & 0x01);
    std::string error;
    const auto r = sms::decodeStatusReport(hex, &error);
    check(r.has_value(), kTarget, "a well-formed STATUS-REPORT was refused");
    check(r->messageReference == reference, kTarget, "TP-MR");
    check(r->recipient.text == recipient, kTarget, "recipient");
    check(r->serviceCentreTime == sent && r->dischargeTime == discharged, kTarget, "times");
    check(r->status == status, kTarget, "TP-ST");
    check(r->protocolId.has_value() == ((indicator & 0x01) != 0), kTarget, "TP-PID");
    check(r->content.has_value() == ((indicator & 0x04) != 0), kTarget, "user data");
    if (r->content) {
        check(r->content->text == expected.text, kTarget, "text");
        check(r->content->concatenation.has_value() == expected.concatenated, kTarget,
              "concatenation");
    }
    checkDecoded(hex, *r);
    return 0;
}
