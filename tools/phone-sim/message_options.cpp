#include "tools/phone-sim/message_options.h"

#include <cerrno>
#include <cstdlib>

#include "tools/phone-sim/received_pdu.h"

namespace phonesim {

const char kMessageHelp[] = R"(
Reports and incoming messages (AT+CSMS, AT+CNMI, AT+CNMA, AT+CPMS; AT+CMGL, AT+CMGR and
AT+CMGD in PDU mode):
  --csms N               message service 0 (default) or 1; in service 1 every routed +CMT
                         and +CDS waits for AT+CNMA ...
  --ack-timeout MS       ... this long (default 10000), then comes again ...
  --resends N            ... at most N times (default 2); then routing is switched off
                         (AT+CNMI mt and ds 0) and it is stored
  --cnmi VALUES          the AT+CNMI setting at start (default 0,0,0,0,0: nothing routed,
                         everything stored silently; mode 0 also stores)
  --refuse-cnmi          answer every AT+CNMI=... with +CMS ERROR: 303
  --refuse-cnmi-value V  refuse AT+CNMI=V only, e.g. 2,1,0,1,0 (repeatable)
  --storage-size N       locations of the storage "SM" (default 30); a message or report
                         for a full storage waits until AT+CMGD frees a location
  --reports OUTCOME      delivered, failed, pending-then-delivered or none (default): a
                         status report per accepted part whose SMS-SUBMIT asked for one
  --reports-unasked      reports also for parts that did not ask
  --report-delay MS      report this long after the submission (default 1000; the final
                         one of pending-then-delivered twice as long)
  --failed-status N      TP-ST of a failed delivery (default 70, 0x46: validity expired)
  --broken-reports HOW   spoil every report: no-pdu (+CDS: <length> without its PDU
                         line; stored, an empty one), truncated (two octets short of its
                         length), bad-status (TP-ST 0xFF, reserved)
  --report-route R       cds (default): AT+CNMI ds 0-2, ds 1 routes +CDS: <length> and
                         the PDU; cdsi: ds 0 or 2, stored with +CDSI: "SM",<index>;
                         store: ds 0 only, stored silently. Reports the setting does not
                         route are stored (ds 2: with the notice).
  --report-during CMD    the next pending report comes inside the answer to CMD, right
                         after its echo, whatever its delay (repeatable); CMD "PDU" is
                         the wait after a PDU, before its +CMGS
  --incoming NUMBER:TEXT a message from NUMBER (or a sender name); with --incoming-route
                         store it is in the storage at start, otherwise it arrives
                         --incoming-delay after the first command (repeatable)
  --incoming-route R     cmt (default): AT+CNMI mt 0-3, mt 2 routes +CMT: ,<length> and
                         the PDU; cmti: mt 0 or 1, stored with +CMTI: "SM",<index>;
                         store: mt 0 only, stored silently
  --incoming-delay MS    see --incoming (default 1000)
  --incoming-during CMD  the next pending message (one part) comes inside the answer to
                         CMD, right after its echo (repeatable)
  --parts-order 2,1,3    the order in which the parts of a long message arrive
  --turkish              Turkish letters in 7 bits with the Turkish shift tables; without
                         it such a text comes in UCS-2
  The event "sms NUMBER TEXT" on standard input: a message from NUMBER arrives now.
  Each report and message is printed as "sms: ..." when it is stored, routed, notified,
  acknowledged, resent, listed, read or deleted.
)";

namespace {

bool toInt(const std::string& text, int* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < 0 || v > 1000000) {
        return false;
    }
    *out = static_cast<int>(v);
    return true;
}

bool toRoute(const std::string& text, const char* routed, const char* notified, Route* out) {
    if (text == routed) {
        *out = Route::Routed;
    } else if (text == notified) {
        *out = Route::Notified;
    } else if (text == "store") {
        *out = Route::Stored;
    } else {
        return false;
    }
    return true;
}

// "NUMBER:TEXT" of --incoming.
bool parseIncoming(const std::string& text, IncomingText* out) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    *out = {text.substr(0, colon), text.substr(colon + 1)};
    return true;
}

}  // namespace

OptionResult takeMessageOption(const std::string& option, const std::function<std::string()>& value,
                               MessageSettings& s, std::string* error) {
    auto bad = [&](const std::string& why) {
        *error = option + ": " + why;
        return OptionResult::Bad;
    };
    const std::pair<const char*, int*> numbers[] = {
        {"--csms", &s.service},
        {"--ack-timeout", &s.ackTimeoutMs},
        {"--resends", &s.resends},
        {"--storage-size", &s.storageSize},
        {"--report-delay", &s.reportDelayMs},
        {"--failed-status", &s.failedStatus},
        {"--incoming-delay", &s.incomingDelayMs},
    };
    for (const auto& [name, field] : numbers) {
        if (option == name) {
            const std::string v = value();
            if (!toInt(v, field)) {
                return bad("needs a whole number, not '" + v + "'");
            }
            if (option == "--csms" && *field > 1) {
                return bad("is 0 or 1");
            }
            if (option == "--failed-status" && *field > 255) {
                return bad("is a TP-ST octet, 0-255");
            }
            return OptionResult::Taken;
        }
    }
    if (option == "--cnmi") {
        s.cnmi = value();
        if (s.cnmi.empty() || s.cnmi.find_first_not_of("0123456789,") != std::string::npos) {
            return bad("needs values such as 2,1,0,2,0");
        }
    } else if (option == "--refuse-cnmi") {
        s.refuseCnmi = true;
    } else if (option == "--refuse-cnmi-value") {
        s.refusedCnmi.insert(value());
    } else if (option == "--reports") {
        const std::string v = value();
        if (v == "delivered") {
            s.reports = ReportOutcome::Delivered;
        } else if (v == "failed") {
            s.reports = ReportOutcome::Failed;
        } else if (v == "pending-then-delivered") {
            s.reports = ReportOutcome::PendingThenDelivered;
        } else if (v == "none") {
            s.reports = ReportOutcome::None;
        } else {
            return bad("is delivered, failed, pending-then-delivered or none");
        }
    } else if (option == "--broken-reports") {
        const std::string v = value();
        if (v == "no-pdu") {
            s.brokenReports = BrokenReport::NoPdu;
        } else if (v == "truncated") {
            s.brokenReports = BrokenReport::Truncated;
        } else if (v == "bad-status") {
            s.brokenReports = BrokenReport::BadStatus;
        } else {
            return bad("is no-pdu, truncated or bad-status");
        }
    } else if (option == "--reports-unasked") {
        s.reportsUnasked = true;
    } else if (option == "--report-route") {
        if (!toRoute(value(), "cds", "cdsi", &s.reportRoute)) {
            return bad("is cds, cdsi or store");
        }
    } else if (option == "--report-during") {
        s.reportDuring.insert(value());
    } else if (option == "--incoming") {
        IncomingText m;
        if (!parseIncoming(value(), &m)) {
            return bad("needs NUMBER:TEXT");
        }
        IncomingMessage probe;
        probe.sender = m.sender;
        probe.text = m.text;
        if (buildDeliver(probe, 0).empty()) {
            return bad("no message can come from '" + m.sender + "' with that text");
        }
        s.incoming.push_back(m);
    } else if (option == "--incoming-route") {
        if (!toRoute(value(), "cmt", "cmti", &s.incomingRoute)) {
            return bad("is cmt, cmti or store");
        }
    } else if (option == "--incoming-during") {
        s.incomingDuring.insert(value());
    } else if (option == "--parts-order") {
        s.partsOrder.clear();
        std::string item;
        for (const char c : value() + ",") {
            if (c != ',') {
                item += c;
                continue;
            }
            int n = 0;
            if (!toInt(item, &n) || n < 1 || n > 255) {
                return bad("needs part numbers such as 2,1,3");
            }
            s.partsOrder.push_back(n);
            item.clear();
        }
    } else if (option == "--turkish") {
        s.turkishShift = true;
    } else {
        return OptionResult::NotMine;
    }
    return OptionResult::Taken;
}

}  // namespace phonesim
