// Reports and incoming messages on the engine itself, with times given, so that delays,
// acknowledgement waits and resends are checked without waiting for them. What the
// simulator sends is read back with the program's decoders.
#include "tools/phone-sim/sms_service.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage_1254.h"
#include "sms/deliver_decoder.h"
#include "sms/status_report_decoder.h"

namespace phonesim {
namespace {

using Clock = SmsService::Clock;
using Kind = SmsEvent::Kind;
using std::chrono::milliseconds;

const std::string kOk = "\r\nOK\r\n";
const std::string kCentre = "+905320000000";

std::string run(SmsService& s, const std::string& command, Clock::time_point now = {}) {
    const auto a = s.command(command, false, false, now);
    return a ? a->info + a->final : "<not an SMS command>";
}

SubmitPdu submission(const std::string& destination, bool asksForReport) {
    SubmitPdu p;
    p.destination = destination;
    p.statusReport = asksForReport;
    return p;
}

// The PDU line of "\r\n+CDS: 25\r\n<pdu>\r\n", "\r\n+CMGR: 0,,24\r\n<pdu>\r\n..." and the
// length on the line before it.
std::pair<int, std::string> pduOf(const std::string& text) {
    const std::size_t colon = text.find(':');
    const std::size_t lineEnd = text.find("\r\n", colon);
    const std::size_t comma = text.rfind(',', lineEnd);
    const std::size_t lengthAt =
        comma != std::string::npos && comma > colon ? comma + 1 : colon + 2;
    const std::size_t pduEnd = text.find("\r\n", lineEnd + 2);
    return {std::stoi(text.substr(lengthAt, lineEnd - lengthAt)),
            text.substr(lineEnd + 2, pduEnd - lineEnd - 2)};
}

sms::SmsStatusReport reportOf(const std::string& text) {
    const auto [length, pdu] = pduOf(text);
    std::string error;
    const auto r = sms::decodeStatusReport(pdu, &error, length);
    EXPECT_TRUE(r) << platform::cp1254::toUtf8(error) << " in " << text;
    return r.value_or(sms::SmsStatusReport{});
}

sms::SmsDeliver deliverOf(const std::string& text) {
    const auto [length, pdu] = pduOf(text);
    std::string error;
    const auto d = sms::decodeDeliver(pdu, &error, length);
    EXPECT_TRUE(d) << platform::cp1254::toUtf8(error) << " in " << text;
    return d.value_or(sms::SmsDeliver{});
}

std::vector<Kind> kinds(const SmsService& s) {
    std::vector<Kind> out;
    for (const SmsEvent& e : s.events()) {
        out.push_back(e.kind);
    }
    return out;
}

TEST(SmsService, ReportsGoTheWayTheSettingAsksOnePerAskingPart) {
    struct Case {
        const char* name;
        Route route;
        const char* cnmi;
        const char* form;  // what the phone sends; empty: stored silently
    };
    const Case cases[] = {
        {"routed", Route::Routed, "2,0,0,1,0", "\r\n+CDS: 25\r\n"},
        {"stored with a notice", Route::Routed, "2,0,0,2,0", "\r\n+CDSI: \"SM\",1\r\n"},
        {"setting routes nothing", Route::Routed, "2,0,0,0,0", ""},
        {"mode 0 keeps it in the phone", Route::Routed, "0,0,0,1,0", ""},
        {"phone without routing", Route::Notified, "1,0,0,2,0", "\r\n+CDSI: \"SM\",1\r\n"},
        {"phone that only stores", Route::Stored, "0,0,0,0,0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageSettings settings;
        settings.reports = ReportOutcome::Delivered;
        settings.reportDelayMs = 1000;
        settings.reportRoute = c.route;
        SmsService s(settings, kCentre);
        ASSERT_EQ(run(s, std::string("+CNMI=") + c.cnmi), kOk);
        const Clock::time_point t0 = Clock::now();
        s.submitted(7, submission("+905321234567", true), t0);
        s.submitted(8, submission("05321234567", false), t0);  // asked for none
        s.submitted(9, submission("05321234567", true), t0);
        EXPECT_EQ(s.due(t0 + milliseconds(999)), "");
        const std::string text = s.due(t0 + milliseconds(1000));
        EXPECT_FALSE(s.nextDue());
        if (*c.form == '\0') {
            EXPECT_EQ(text, "");
        } else {
            EXPECT_TRUE(text.starts_with(c.form)) << text;
        }
        const bool routed = std::string(c.form).find("+CDS:") != std::string::npos;
        EXPECT_EQ(run(s, "+CPMS?"),
                  routed ? "\r\n+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30\r\n" + kOk
                         : "\r\n+CPMS: \"SM\",2,30,\"SM\",2,30,\"SM\",2,30\r\n" + kOk);
        // Each report names its part's reference and the number as the submission gave it.
        const std::string first = routed ? text : run(s, "+CMGR=1");
        const std::string second =
            routed ? text.substr(text.find("+CDS:", 5) - 2) : run(s, "+CMGR=2");
        const sms::SmsStatusReport a = reportOf(first);
        const sms::SmsStatusReport b = reportOf(second);
        EXPECT_EQ(a.messageReference, 7);
        EXPECT_EQ(a.recipient.text, u"+905321234567");
        EXPECT_EQ(a.delivery.state, sms::DeliveryState::Delivered);
        EXPECT_EQ(b.messageReference, 9);
        EXPECT_EQ(b.recipient.text, u"05321234567");
    }
}

TEST(SmsService, ReportOutcomes) {
    MessageSettings settings;
    settings.reportDelayMs = 100;
    settings.cnmi = "2,0,0,1,0";
    const Clock::time_point t0 = Clock::now();

    settings.reports = ReportOutcome::PendingThenDelivered;
    SmsService pending(settings, kCentre);
    pending.submitted(3, submission("+905321234567", true), t0);
    const sms::SmsStatusReport still = reportOf(pending.due(t0 + milliseconds(100)));
    EXPECT_EQ(still.delivery.state, sms::DeliveryState::Pending);
    EXPECT_EQ(pending.nextDue(), t0 + milliseconds(200));
    const sms::SmsStatusReport final = reportOf(pending.due(t0 + milliseconds(200)));
    EXPECT_EQ(final.messageReference, 3);
    EXPECT_EQ(final.delivery.state, sms::DeliveryState::Delivered);

    settings.reports = ReportOutcome::Failed;
    settings.reportsUnasked = true;
    SmsService failed(settings, kCentre);
    failed.submitted(4, submission("+905321234567", false), t0);
    const sms::SmsStatusReport f = reportOf(failed.due(t0 + milliseconds(100)));
    EXPECT_EQ(f.status, 0x46);
    EXPECT_EQ(f.delivery.state, sms::DeliveryState::Failed);

    // Spoilt on purpose: what the program's decoder must survive.
    settings.reports = ReportOutcome::Delivered;
    settings.brokenReports = BrokenReport::NoPdu;
    SmsService noPdu(settings, kCentre);
    noPdu.submitted(6, submission("+905321234567", true), t0);
    EXPECT_EQ(noPdu.due(t0 + milliseconds(100)), "\r\n+CDS: 25\r\n");
    for (const BrokenReport how : {BrokenReport::Truncated, BrokenReport::BadStatus}) {
        settings.brokenReports = how;
        SmsService broken(settings, kCentre);
        broken.submitted(6, submission("+905321234567", true), t0);
        const auto [length, pdu] = pduOf(broken.due(t0 + milliseconds(100)));
        EXPECT_EQ(length, 25);
        EXPECT_FALSE(sms::decodeStatusReport(pdu, nullptr, length)) << pdu;
    }
    settings.brokenReports = BrokenReport::None;

    settings.reports = ReportOutcome::None;
    SmsService none(settings, kCentre);
    none.submitted(5, submission("+905321234567", true), t0);
    EXPECT_FALSE(none.nextDue());
}

TEST(SmsService, StoredMessagesAreListedReadAndDeleted) {
    MessageSettings settings;
    settings.incomingRoute = Route::Stored;  // there before anyone connected
    settings.incoming = {{"+905321234567", "Tamam"}, {"BANKA", "Kampanya"}};
    SmsService s(settings, kCentre);
    EXPECT_EQ(run(s, "+CPMS?"), "\r\n+CPMS: \"SM\",2,30,\"SM\",2,30,\"SM\",2,30\r\n" + kOk);
    EXPECT_EQ(run(s, "+CPMS=\"SM\",\"SM\",\"SM\""), "\r\n+CPMS: 2,30,2,30,2,30\r\n" + kOk);
    EXPECT_EQ(run(s, "+CPMS=\"ME\""), "\r\n+CMS ERROR: 302\r\n");

    const std::string unread = run(s, "+CMGL=0");
    EXPECT_TRUE(unread.starts_with("\r\n+CMGL: 1,0,,24\r\n07")) << unread;
    EXPECT_NE(unread.find("\r\n+CMGL: 2,0,,"), std::string::npos) << unread;
    EXPECT_TRUE(unread.ends_with("\r\n" + kOk));
    EXPECT_EQ(deliverOf(unread).sender.text, u"+905321234567");
    EXPECT_EQ(run(s, "+CMGL=0"), kOk);  // listed once, read since
    EXPECT_TRUE(run(s, "+CMGL=4").starts_with("\r\n+CMGL: 1,1,,24\r\n"));
    const std::string second = run(s, "+CMGR=2");
    EXPECT_TRUE(second.starts_with("\r\n+CMGR: 1,,")) << second;
    EXPECT_EQ(deliverOf(second).sender.text, u"BANKA");
    EXPECT_EQ(run(s, "+CMGR=3"), "\r\n+CMS ERROR: 321\r\n");
    EXPECT_EQ(run(s, "+CMGD=?"), "\r\n+CMGD: (1,2),(0-4)\r\n" + kOk);

    EXPECT_EQ(run(s, "+CMGD=1"), kOk);
    EXPECT_EQ(run(s, "+CMGD=1"), kOk);  // already empty
    EXPECT_EQ(run(s, "+CMGD=31"), "\r\n+CMS ERROR: 321\r\n");
    EXPECT_EQ(run(s, "+CMGD=1,4"), kOk);  // all
    EXPECT_EQ(run(s, "+CMGL=4"), kOk);
    EXPECT_EQ(kinds(s), (std::vector<Kind>{Kind::Stored, Kind::Stored, Kind::Listed, Kind::Listed,
                                           Kind::Listed, Kind::Listed, Kind::Read, Kind::Deleted,
                                           Kind::Deleted}));
    EXPECT_EQ(s.events()[7].index, 1);
    EXPECT_EQ(s.events()[8].index, 2);
    EXPECT_EQ(s.events()[8].detail, "message from BANKA: Kampanya");

    EXPECT_EQ(run(s, "+CMGL"), kOk);  // no <stat>: the unread ones
    EXPECT_EQ(run(s, "+CSQ"), "<not an SMS command>");
    const auto locked = s.command("+CMGL=4", false, true, {});
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->final, "\r\n+CMS ERROR: 311\r\n");
}

TEST(SmsService, CnmiOffersWhatThePhoneCanAndRefusesTheRest) {
    MessageSettings settings;
    SmsService full(settings, kCentre);
    EXPECT_EQ(run(full, "+CNMI=?"), "\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n" + kOk);
    settings.reportRoute = Route::Notified;
    settings.incomingRoute = Route::Stored;
    SmsService s(settings, kCentre);
    EXPECT_EQ(run(s, "+CNMI=?"), "\r\n+CNMI: (0-2),(0),(0,2),(0,2),(0,1)\r\n" + kOk);
    EXPECT_EQ(run(s, "+CNMI=2,0,0,1,0"), "\r\n+CMS ERROR: 303\r\n");
    EXPECT_EQ(run(s, "+CNMI=2,1,0,2,0"), "\r\n+CMS ERROR: 303\r\n");
    EXPECT_EQ(run(s, "+CNMI?"), "\r\n+CNMI: 0,0,0,0,0\r\n" + kOk);  // refused: unchanged
    EXPECT_EQ(run(s, "+CNMI=2,0,0,2"), kOk);                        // bfr left as it was
    EXPECT_EQ(run(s, "+CNMI?"), "\r\n+CNMI: 2,0,0,2,0\r\n" + kOk);
    EXPECT_EQ(run(s, "+CNMI=x"), "\r\nERROR\r\n");
    ASSERT_EQ(s.events().size(), 2u);
    EXPECT_EQ(s.events()[0].kind, Kind::Refused);
    EXPECT_EQ(s.events()[0].detail, "AT+CNMI=2,0,0,1,0");

    settings = {};
    settings.refusedCnmi = {"2,2,0,1,0"};
    SmsService chosen(settings, kCentre);
    EXPECT_EQ(run(chosen, "+CNMI=2,2,0,1,0"), "\r\n+CMS ERROR: 303\r\n");
    EXPECT_EQ(run(chosen, "+CNMI=2,1,0,2,0"), kOk);
    // A phone that refuses every value still keeps the reports, for AT+CMGL to find.
    settings.refuseCnmi = true;
    settings.reports = ReportOutcome::Delivered;
    settings.reportDelayMs = 0;
    SmsService none(settings, kCentre);
    EXPECT_EQ(run(none, "+CNMI=0,0,0,0,0"), "\r\n+CMS ERROR: 303\r\n");
    EXPECT_EQ(run(none, "+CNMI=?"), "\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n" + kOk);
    const Clock::time_point t0 = Clock::now();
    none.submitted(12, submission("+905321234567", true), t0);
    EXPECT_EQ(none.due(t0), "");
    const std::string listed = run(none, "+CMGL=4");
    EXPECT_TRUE(listed.starts_with("\r\n+CMGL: 1,0,,25\r\n")) << listed;
    EXPECT_EQ(reportOf(listed).messageReference, 12);
}

TEST(SmsService, ServiceOneWaitsForEachAcknowledgementAndResends) {
    MessageSettings settings;
    settings.service = 1;
    settings.cnmi = "2,2,0,1,0";
    settings.ackTimeoutMs = 1000;
    settings.resends = 1;
    SmsService s(settings, kCentre);
    EXPECT_EQ(run(s, "+CSMS?"), "\r\n+CSMS: 1,1,1,1\r\n" + kOk);
    EXPECT_EQ(run(s, "+CNMA"), "\r\n+CMS ERROR: 340\r\n");  // nothing to acknowledge
    const Clock::time_point t0 = Clock::now();
    ASSERT_TRUE(s.incoming({"+905321234567", "Bir"}, t0));
    ASSERT_TRUE(s.incoming({"+905321234567", "Iki"}, t0));

    const std::string first = s.due(t0);
    EXPECT_TRUE(first.starts_with("\r\n+CMT: ,")) << first;
    EXPECT_EQ(first.find("+CMT:", 5), std::string::npos);  // the second waits its turn
    EXPECT_EQ(s.due(t0 + milliseconds(999)), "");
    EXPECT_EQ(s.due(t0 + milliseconds(1000)), first);  // not acknowledged: again
    EXPECT_EQ(run(s, "+CNMA", t0 + milliseconds(1100)), kOk);
    const std::string second = s.due(t0 + milliseconds(1100));
    EXPECT_EQ(deliverOf(second).content.text, u"Iki");

    // Never acknowledged: sent once more, then the phone stops routing and stores it.
    EXPECT_EQ(s.due(t0 + milliseconds(2100)), second);
    EXPECT_EQ(s.due(t0 + milliseconds(3100)), "");
    EXPECT_EQ(run(s, "+CNMI?"), "\r\n+CNMI: 2,0,0,0,0\r\n" + kOk);
    EXPECT_EQ(run(s, "+CNMA"), "\r\n+CMS ERROR: 340\r\n");
    EXPECT_EQ(kinds(s),
              (std::vector<Kind>{Kind::Routed, Kind::Resent, Kind::Acknowledged, Kind::Routed,
                                 Kind::Resent, Kind::RoutingOff, Kind::Stored}));
    EXPECT_TRUE(run(s, "+CMGL=4").starts_with("\r\n+CMGL: 1,0,,"));
}

TEST(SmsService, LongMessageInTheChosenOrderIntoAFullStorage) {
    MessageSettings settings;
    settings.incomingRoute = Route::Notified;
    settings.cnmi = "1,1,0,0,0";
    settings.partsOrder = {2, 1, 3};
    settings.storageSize = 2;
    SmsService s(settings, kCentre);
    const Clock::time_point t0 = Clock::now();
    ASSERT_TRUE(s.incoming({"+905321234567", std::string(400, 'a')}, t0));  // three parts
    EXPECT_EQ(s.due(t0), "\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n");
    EXPECT_EQ(run(s, "+CPMS?"), "\r\n+CPMS: \"SM\",2,2,\"SM\",2,2,\"SM\",2,2\r\n" + kOk);
    EXPECT_EQ(deliverOf(run(s, "+CMGR=1")).content.concatenation->sequence, 2);
    EXPECT_EQ(deliverOf(run(s, "+CMGR=2")).content.concatenation->sequence, 1);

    // The third waited for room; it comes as soon as a location is free.
    EXPECT_EQ(run(s, "+CMGD=1", t0), kOk);
    EXPECT_EQ(s.due(t0), "\r\n+CMTI: \"SM\",1\r\n");
    const sms::SmsDeliver third = deliverOf(run(s, "+CMGR=1"));
    ASSERT_TRUE(third.content.concatenation);
    EXPECT_EQ(third.content.concatenation->sequence, 3);
    EXPECT_EQ(third.content.concatenation->total, 3);
    EXPECT_EQ(kinds(s),
              (std::vector<Kind>{Kind::Stored, Kind::Notified, Kind::Stored, Kind::Notified,
                                 Kind::Waiting, Kind::Read, Kind::Read, Kind::Deleted, Kind::Stored,
                                 Kind::Notified, Kind::Read}));
}

}  // namespace
}  // namespace phonesim
