#include "sms/deliver_decoder.h"

#include "sms/pdu_reader.h"

namespace sms {
namespace {

constexpr unsigned char kMessageTypeMask = 0x03;
constexpr unsigned char kDeliverType = 0x00;
constexpr unsigned char kNoMoreMessages = 0x04;
constexpr unsigned char kStatusReportIndication = 0x20;
constexpr unsigned char kHeaderIndicator = 0x40;
constexpr unsigned char kReplyPath = 0x80;

SmsDeliver read(std::string_view pdu, int tpduLength) {
    pdu::Reader reader(pdu);
    SmsDeliver m;
    m.serviceCentre = reader.serviceCentre(tpduLength);
    const unsigned char first = reader.octet("ilk sekizli");
    if ((first & kMessageTypeMask) != kDeliverType) {
        pdu::fail("Gelen mesaj (SMS-DELIVER) değil: ilk sekizli " + pdu::hexOctet(first));
    }
    m.moreMessagesToSend = (first & kNoMoreMessages) == 0;
    m.statusReportIndication = first & kStatusReportIndication;
    m.replyPath = first & kReplyPath;
    m.sender = pdu::readAddress(reader, "gönderen adresi");
    m.protocolId = reader.octet("protokol tanımlayıcı");
    const unsigned char dataCoding = reader.octet("veri kodlaması");
    m.serviceCentreTime = pdu::readTimestamp(reader, "SMS merkezi zaman damgası");
    m.content = pdu::readUserData(reader, dataCoding, first & kHeaderIndicator);
    return m;
}

}  // namespace

std::optional<SmsDeliver> decodeDeliver(std::string_view pdu, std::string* error, int tpduLength) {
    return pdu::decodeOrFail([&] { return read(pdu, tpduLength); }, error);
}

}  // namespace sms
