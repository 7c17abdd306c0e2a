#include "sms/status_report_decoder.h"

#include "platform/codepage_1254.h"
#include "sms/pdu_reader.h"

namespace sms {
namespace {

constexpr unsigned char kMessageTypeMask = 0x03;
constexpr unsigned char kStatusReportType = 0x02;
constexpr unsigned char kNoMoreMessages = 0x04;
constexpr unsigned char kCommandReport = 0x20;  // TP-SRQ
constexpr unsigned char kHeaderIndicator = 0x40;

// TP-PI (23.040 9.2.3.27): which optional fields follow; the reserved bits are ignored.
constexpr unsigned char kHasProtocolId = 0x01;
constexpr unsigned char kHasDataCoding = 0x02;
constexpr unsigned char kHasUserData = 0x04;
constexpr unsigned char kMoreIndicators = 0x80;

struct StatusText {
    int first;
    int last;
    DeliveryState state;
    const char* meaning;  // UTF-8
};

// 23.040 9.2.3.15; a range without values of its own is one row, after the named values.
constexpr StatusText kStatusTexts[] = {
    {0x00, 0x00, DeliveryState::Delivered, "Alıcıya teslim edildi"},
    {0x01, 0x01, DeliveryState::Delivered, "Alıcıya iletildi, teslim doğrulanamadı"},
    {0x02, 0x02, DeliveryState::Delivered, "SMS merkezi mesajı yenisiyle değiştirdi"},
    {0x03, 0x0F, DeliveryState::Delivered, "Teslim edildi"},
    {0x10, 0x1F, DeliveryState::Delivered, "Teslim edildi (SMS merkezine özgü durum)"},
    {0x20, 0x20, DeliveryState::Pending, "Şebeke yoğun, tekrar deneniyor"},
    {0x21, 0x21, DeliveryState::Pending, "Alıcı meşgul, tekrar deneniyor"},
    {0x22, 0x22, DeliveryState::Pending, "Alıcı ulaşılamıyor, tekrar deneniyor"},
    {0x23, 0x23, DeliveryState::Pending, "Hizmet reddedildi, tekrar deneniyor"},
    {0x24, 0x24, DeliveryState::Pending, "Hizmet kalitesi sağlanamıyor, tekrar deneniyor"},
    {0x25, 0x25, DeliveryState::Pending, "Alıcının telefonunda hata, tekrar deneniyor"},
    {0x26, 0x2F, DeliveryState::Pending, "Geçici hata, tekrar deneniyor"},
    {0x30, 0x3F, DeliveryState::Pending,
     "Geçici hata, tekrar deneniyor (SMS merkezine özgü durum)"},
    {0x40, 0x40, DeliveryState::Failed, "Uzak işlem hatası"},
    {0x41, 0x41, DeliveryState::Failed, "Alıcı bu mesajı alamıyor"},
    {0x42, 0x42, DeliveryState::Failed, "Alıcı bağlantıyı reddetti"},
    {0x43, 0x43, DeliveryState::Failed, "Numara yok"},
    {0x44, 0x44, DeliveryState::Failed, "Hizmet kalitesi sağlanamıyor"},
    {0x45, 0x45, DeliveryState::Failed, "Şebekeler arası aktarım yok"},
    {0x46, 0x46, DeliveryState::Failed, "Geçerlilik süresi doldu"},
    {0x47, 0x47, DeliveryState::Failed, "Gönderen tarafından silindi"},
    {0x48, 0x48, DeliveryState::Failed, "SMS merkezi yönetimince silindi"},
    {0x49, 0x49, DeliveryState::Failed, "Mesaj SMS merkezinde yok"},
    {0x4A, 0x4F, DeliveryState::Failed, "Kalıcı hata"},
    {0x50, 0x5F, DeliveryState::Failed, "Kalıcı hata (SMS merkezine özgü durum)"},
    {0x60, 0x60, DeliveryState::Failed, "Şebeke yoğun, artık denenmiyor"},
    {0x61, 0x61, DeliveryState::Failed, "Alıcı meşgul, artık denenmiyor"},
    {0x62, 0x62, DeliveryState::Failed, "Alıcı ulaşılamıyor, artık denenmiyor"},
    {0x63, 0x63, DeliveryState::Failed, "Hizmet reddedildi, artık denenmiyor"},
    {0x64, 0x64, DeliveryState::Failed, "Hizmet kalitesi sağlanamıyor, artık denenmiyor"},
    {0x65, 0x65, DeliveryState::Failed, "Alıcının telefonunda hata, artık denenmiyor"},
    {0x66, 0x6F, DeliveryState::Failed, "Geçici hata, artık denenmiyor"},
    {0x70, 0x7F, DeliveryState::Failed, "Geçici hata, artık denenmiyor (SMS merkezine özgü durum)"},
};

SmsStatusReport read(std::string_view pdu, int tpduLength) {
    pdu::Reader reader(pdu);
    SmsStatusReport r;
    r.serviceCentre = reader.serviceCentre(tpduLength);
    const unsigned char first = reader.octet("ilk sekizli");
    if ((first & kMessageTypeMask) != kStatusReportType) {
        pdu::fail("Teslim raporu (SMS-STATUS-REPORT) değil: ilk sekizli " + pdu::hexOctet(first));
    }
    r.moreMessagesToSend = (first & kNoMoreMessages) == 0;
    r.reportsCommand = first & kCommandReport;
    r.messageReference = reader.octet("mesaj numarası");
    r.recipient = pdu::readAddress(reader, "alıcı adresi");
    r.serviceCentreTime = pdu::readTimestamp(reader, "SMS merkezi zaman damgası");
    r.dischargeTime = pdu::readTimestamp(reader, "teslim zamanı");
    r.status = reader.octet("teslim durumu");
    const std::optional<DeliveryStatus> delivery = deliveryStatus(r.status);
    if (!delivery) {
        pdu::fail("Bilinmeyen teslim durumu (TP-ST " + pdu::hexOctet(r.status) + ")");
    }
    r.delivery = *delivery;
    if (reader.remaining() == 0) {
        return r;  // no parameter indicator: nothing optional follows
    }
    const unsigned char indicator = reader.octet("parametre göstergesi");
    for (unsigned char more = indicator; more & kMoreIndicators;) {
        more = reader.octet("parametre göstergesi");
    }
    if (indicator & kHasProtocolId) {
        r.protocolId = reader.octet("protokol tanımlayıcı");
    }
    const unsigned char dataCoding =
        (indicator & kHasDataCoding) ? reader.octet("veri kodlaması") : 0x00;
    if (indicator & kHasUserData) {
        r.content = pdu::readUserData(reader, dataCoding, first & kHeaderIndicator);
    } else {
        reader.expectEnd();
    }
    return r;
}

}  // namespace

std::optional<DeliveryStatus> deliveryStatus(int tpSt) {
    for (const StatusText& s : kStatusTexts) {
        if (tpSt >= s.first && tpSt <= s.last) {
            return DeliveryStatus{s.state, platform::cp1254::fromUtf8(s.meaning)};
        }
    }
    return std::nullopt;
}

std::optional<SmsStatusReport> decodeStatusReport(std::string_view pdu, std::string* error,
                                                  int tpduLength) {
    return pdu::decodeOrFail([&] { return read(pdu, tpduLength); }, error);
}

}  // namespace sms
