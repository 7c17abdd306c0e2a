#include "tools/phone-sim/received_pdu.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage_1254.h"
#include "sms/deliver_decoder.h"
#include "sms/status_report_decoder.h"

namespace phonesim {
namespace {

std::string compact(std::string_view spaced) {
    std::string out;
    for (char c : spaced) {
        if (c != ' ')
            out += c;
    }
    return out;
}

PduTime sentAt() {
    return PduTime{2026, 12, 1, 14, 5, 0, 12};
}

// Field by field, from TS 23.040 and 27.005.
TEST(ReceivedPdu, DeliverAndReportFields) {
    IncomingMessage m;
    m.sender = "+905321234567";
    m.text = "Tamam";
    m.time = sentAt();
    std::vector<BuiltPdu> parts = buildDeliver(m, 0);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].hex, compact("07 91 093502000000  04  0C 91 093512325476  00 00"
                                    "  62 21 10 41 50 00 21  05 D4703BDC06"));
    EXPECT_EQ(parts[0].tpduLength, 24);

    // A sender name, no service centre, a zone west of Greenwich.
    m.serviceCentre.clear();
    m.sender = "BANKA";
    m.time.zoneQuarters = -20;
    parts = buildDeliver(m, 0);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].hex,
              compact("00 04 09 D0 C2A0731904 00 00 62 21 10 41 50 00 0A 05 D4703BDC06"));

    StatusReport r;
    r.messageReference = 42;
    r.recipient = "05321234567";
    r.submitted = sentAt();
    r.discharged = sentAt();
    r.discharged.minute = 15;
    r.status = 0x43;
    const BuiltPdu report = buildStatusReport(r);
    EXPECT_EQ(report.hex, compact("07 91 093502000000  06 2A  0B 81 5023214365F7"
                                  "  62 21 10 41 50 00 21  62 21 10 41 51 00 21  43"));
    EXPECT_EQ(report.tpduLength, 25);

    // Not a number but letters of the default alphabet: a name; nothing, or too long a
    // name, gives no PDU.
    r.recipient = "05-32";
    EXPECT_EQ(buildStatusReport(r).hex.substr(20, 4), "09D0");
    r.recipient = "";
    EXPECT_TRUE(buildStatusReport(r).hex.empty());
    m.sender = "ÇokUzunGönderenAdı";
    EXPECT_TRUE(buildDeliver(m, 0).empty());
}

// What the simulator builds, the program's decoders read back; the two are written apart,
// so a mistake shared by both would have to be made twice.
TEST(ReceivedPdu, ProgramDecodersReadWhatTheSimulatorBuilds) {
    struct Case {
        const char* name;
        std::string text;
        bool turkish;
        sms::SmsCoding coding;
        std::size_t parts;
    };
    std::string longLatin;
    std::string longTurkish;
    std::string longEmoji;
    for (int i = 0; i < 40; ++i) {
        longLatin += "Kampanya [10] ";
        longTurkish += "şişe ığdır ";
        longEmoji += "\xF0\x9F\x98\x80";
    }
    const Case cases[] = {
        {"default alphabet", "Merhaba @£$ {~} \r\n", false, sms::SmsCoding::Gsm7, 1},
        {"Turkish letters as UCS-2", "Günaydın İstanbul", false, sms::SmsCoding::Ucs2, 1},
        {"Turkish tables", "Günaydın İstanbul çiçek €", true, sms::SmsCoding::Gsm7, 1},
        {"long with escapes", longLatin, false, sms::SmsCoding::Gsm7, 5},
        {"long Turkish", longTurkish, true, sms::SmsCoding::Gsm7, 4},
        {"long emoji", longEmoji, false, sms::SmsCoding::Ucs2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IncomingMessage m;
        m.sender = "+905321234567";
        m.text = c.text;
        m.turkishShift = c.turkish;
        m.time = sentAt();
        const std::vector<BuiltPdu> parts = buildDeliver(m, 0x31);
        ASSERT_EQ(parts.size(), c.parts);
        std::u16string joined;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            std::string error;
            const auto d = sms::decodeDeliver(parts[i].hex, &error, parts[i].tpduLength);
            ASSERT_TRUE(d) << platform::cp1254::toUtf8(error);
            EXPECT_EQ(d->sender.text, u"+905321234567");
            EXPECT_EQ(d->serviceCentreTime.iso8601(), "2026-12-01T14:05:00+03:00");
            EXPECT_EQ(d->content.coding, c.coding);
            if (c.parts > 1) {
                ASSERT_TRUE(d->content.concatenation);
                EXPECT_EQ(d->content.concatenation->reference, 0x31);
                EXPECT_EQ(d->content.concatenation->sequence, static_cast<int>(i + 1));
            }
            joined += d->content.text;
        }
        EXPECT_EQ(platform::cp1254::utf16ToUtf8(joined), c.text);
    }

    StatusReport r;
    r.messageReference = 7;
    r.recipient = "+905321234567";
    r.status = 0x22;
    const BuiltPdu pdu = buildStatusReport(r);
    const auto d = sms::decodeStatusReport(pdu.hex, nullptr, pdu.tpduLength);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->messageReference, 7);
    EXPECT_EQ(d->recipient.text, u"+905321234567");
    EXPECT_EQ(d->delivery.state, sms::DeliveryState::Pending);
}

}  // namespace
}  // namespace phonesim
