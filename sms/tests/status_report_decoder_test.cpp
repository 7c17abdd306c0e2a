#include "sms/status_report_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage_1254.h"

namespace sms {
namespace {

using platform::cp1254::toUtf8;

std::string compact(std::string_view spaced) {
    std::string out;
    for (char c : spaced) {
        if (c != ' ')
            out += c;
    }
    return out;
}

SmsStatusReport decodeOk(std::string_view spaced) {
    std::string error;
    const std::optional<SmsStatusReport> r = decodeStatusReport(compact(spaced), &error);
    EXPECT_TRUE(r.has_value()) << spaced << ": " << toUtf8(error);
    return r.value_or(SmsStatusReport{});
}

TEST(DeliveryStatus, ClassByRangeWithTurkishMeaning) {
    struct Case {
        int tpSt;
        std::optional<DeliveryState> state;  // nothing: outside the table
        const char* meaning;                 // UTF-8; empty: only the class is checked
    };
    const Case cases[] = {
        {0x00, DeliveryState::Delivered, "Alıcıya teslim edildi"},
        {0x01, DeliveryState::Delivered, "Alıcıya iletildi, teslim doğrulanamadı"},
        {0x03, DeliveryState::Delivered, ""},  // reserved
        {0x1F, DeliveryState::Delivered, "Teslim edildi (SMS merkezine özgü durum)"},
        {0x20, DeliveryState::Pending, "Şebeke yoğun, tekrar deneniyor"},
        {0x22, DeliveryState::Pending, "Alıcı ulaşılamıyor, tekrar deneniyor"},
        {0x2A, DeliveryState::Pending, "Geçici hata, tekrar deneniyor"},
        {0x3F, DeliveryState::Pending, ""},
        {0x40, DeliveryState::Failed, "Uzak işlem hatası"},
        {0x43, DeliveryState::Failed, "Numara yok"},
        {0x46, DeliveryState::Failed, "Geçerlilik süresi doldu"},
        {0x4F, DeliveryState::Failed, "Kalıcı hata"},
        {0x5A, DeliveryState::Failed, "Kalıcı hata (SMS merkezine özgü durum)"},
        {0x62, DeliveryState::Failed, "Alıcı ulaşılamıyor, artık denenmiyor"},
        {0x6B, DeliveryState::Failed, "Geçici hata, artık denenmiyor"},
        {0x7F, DeliveryState::Failed, ""},
        {0x80, std::nullopt, ""},
        {0xFF, std::nullopt, ""},
        {-1, std::nullopt, ""},
        {0x100, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tpSt);
        const std::optional<DeliveryStatus> s = deliveryStatus(c.tpSt);
        ASSERT_EQ(s.has_value(), c.state.has_value());
        if (!s)
            continue;
        EXPECT_EQ(s->state, *c.state);
        EXPECT_FALSE(s->meaning.empty());
        if (*c.meaning != '\0') {
            EXPECT_EQ(toUtf8(s->meaning), c.meaning);
        }
    }
}

TEST(StatusReportDecoder, FieldsOfPhoneLikeReports) {
    // As after +CDS: reference 42 to an international number, delivered ten minutes later.
    SmsStatusReport r = decodeOk(
        "07 91 093502000000  06  2A  0C 91 093512325476  62 21 10 41 50 00 21"
        "  62 21 10 41 51 00 21  00");
    EXPECT_EQ(r.serviceCentre.text, u"+905320000000");
    EXPECT_EQ(r.messageReference, 42);
    EXPECT_EQ(r.recipient.kind, AddressKind::International);
    EXPECT_EQ(r.recipient.text, u"+905321234567");
    EXPECT_EQ(r.serviceCentreTime.iso8601(), "2026-12-01T14:05:00+03:00");
    EXPECT_EQ(r.dischargeTime.iso8601(), "2026-12-01T14:15:00+03:00");
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.delivery.state, DeliveryState::Delivered);
    EXPECT_FALSE(r.moreMessagesToSend);
    EXPECT_FALSE(r.protocolId);
    EXPECT_FALSE(r.content);

    // A national number that does not exist, the report for a command, more to come.
    r = decodeOk("00 22 FF 0B A1 5023214365F7 62211041500021 62211041500021 43");
    EXPECT_EQ(r.messageReference, 255);
    EXPECT_EQ(r.recipient.kind, AddressKind::National);
    EXPECT_EQ(r.recipient.text, u"05321234567");
    EXPECT_TRUE(r.reportsCommand);
    EXPECT_TRUE(r.moreMessagesToSend);
    EXPECT_EQ(r.delivery.state, DeliveryState::Failed);
    EXPECT_EQ(toUtf8(r.delivery.meaning), "Numara yok");

    // An alphanumeric recipient, still trying.
    r = decodeOk("00 06 01 09 D0 C2A0731904 62211041500021 62211041500021 21");
    EXPECT_EQ(r.recipient.kind, AddressKind::Alphanumeric);
    EXPECT_EQ(r.recipient.text, u"BANKA");
    EXPECT_EQ(r.delivery.state, DeliveryState::Pending);
}

TEST(StatusReportDecoder, OptionalParameters) {
    const std::string head = "00 06 2A 0C91093512325476 62211041500021 62211041510021 00 ";
    // Everything announced: protocol id, coding and the user data.
    SmsStatusReport r = decodeOk(head + "07 00 00 05 D4703BDC06");
    EXPECT_EQ(r.protocolId, 0x00);
    ASSERT_TRUE(r.content);
    EXPECT_EQ(r.content->text, u"Tamam");

    // User data without a coding is read as the default alphabet.
    r = decodeOk(head + "04 05 D4703BDC06");
    EXPECT_FALSE(r.protocolId);
    ASSERT_TRUE(r.content);
    EXPECT_EQ(r.content->text, u"Tamam");

    // A further indicator octet is skipped; a coding without user data gives no text.
    r = decodeOk(head + "83 00 7F 08");
    EXPECT_EQ(r.protocolId, 0x7F);
    EXPECT_FALSE(r.content);

    // An indicator that announces nothing.
    r = decodeOk(head + "00");
    EXPECT_FALSE(r.protocolId);
    EXPECT_FALSE(r.content);

    // A header in the report's user data (TP-UDHI in the first octet).
    r = decodeOk(
        "00 46 2A 0C91093512325476 62211041500021 62211041510021 00 06 08"
        " 08 0500032A0201 0041");
    ASSERT_TRUE(r.content);
    EXPECT_EQ(r.content->concatenation, (Concatenation{0x2A, 2, 1, false}));
    EXPECT_EQ(r.content->text, u"A");
}

TEST(StatusReportDecoder, BadInputGivesAReason) {
    struct Case {
        std::string pdu;
        int tpduLength;
        const char* reason;  // part of the UTF-8 reason
    };
    const std::string times = " 62211041500021 62211041510021 ";
    const std::string head = "00 06 2A 0C91093512325476" + times + "00 ";
    const std::vector<Case> cases = {
        {"", -1, "PDU boş"},
        {"00 04 2A 0C91093512325476" + times + "00", -1, "SMS-STATUS-REPORT"},
        {"00 06", -1, "mesaj numarası yarım"},
        {"00 06 2A 0C91 09351232", -1, "alıcı adresi yarım"},
        {"00 06 2A 0C91 0935123254F6" + times + "00", -1, "yerinde olmayan F"},
        {"00 06 2A 16 91 0935123254760935123254", -1, "22 hane"},
        {"00 06 2A 0C91093512325476 62211041500021 622110415100", -1, "teslim zamanı yarım"},
        {"00 06 2A 0C91093512325476 62211041500021 62211041510621 00", -1,
         "teslim zamanı geçersiz"},
        {"00 06 2A 0C91093512325476" + times, -1, "teslim durumu yarım"},
        {"00 06 2A 0C91093512325476" + times + "80", -1, "TP-ST 0x80"},
        {"00 06 2A 0C91093512325476" + times + "FF", -1, "TP-ST 0xFF"},
        {head, 30, "30 sekizli bildirildi, 25 geldi"},
        {head + "01", -1, "protokol tanımlayıcı yarım"},
        {head + "80", -1, "parametre göstergesi yarım"},
        {head + "02", -1, "veri kodlaması yarım"},
        {head + "04", -1, "uzunluğu yarım"},
        {head + "04 05 D4703BDC", -1, "5 sekizli bildirildi, 4 geldi"},
        {head + "00 00", -1, "sonunda 1 sekizli fazla"},
        {head + "02 0C 00", -1, "sonunda 1 sekizli fazla"},
        {head + "06 0C 01 41", -1, "DCS 0x0C"},
        {head + "06 08 02 D83D", -1, "vekil"},
        {"00 46 2A 0C91093512325476" + times + "00 04 03 050003", -1, "başlığı mesajdan uzun"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pdu);
        std::string error;
        EXPECT_FALSE(decodeStatusReport(compact(c.pdu), &error, c.tpduLength));
        EXPECT_NE(toUtf8(error).find(c.reason), std::string::npos) << toUtf8(error);
    }
}

}  // namespace
}  // namespace sms
