// toplusms-cli pdu NUMBER TEXT: the SMS-SUBMIT PDU the program would send, and the
// length that goes into AT+CMGS.
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "sms/pdu_encoder.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "NUMBER TEXT";

bool isValidUtf8(std::string_view s) {
    using namespace platform::cp1254;
    return utf16ToUtf8(utf8ToUtf16(s)) == s;
}

int runPdu(std::span<const std::string_view> args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: toplusms-cli pdu %.*s\n", int(kUsage.size()), kUsage.data());
        return kExitUsage;
    }
    if (!isValidUtf8(args[0]) || !isValidUtf8(args[1])) {
        std::fprintf(stderr, "toplusms-cli pdu: arguments must be UTF-8\n");
        return kExitUsage;
    }
    // The program's settings: the number as typed, the coding chosen from the text.
    sms::TSMS message;
    message.Number = platform::cp1254::fromUtf8(args[0]);
    message.Text = platform::cp1254::utf8ToUtf16(args[1]);
    message.Coding = sms::SmsCoding::Auto;
    try {
        const std::string pdu = message.EncodePdu();
        std::printf("%s\n%d\n", pdu.c_str(), int(message.TpduLength));
    } catch (const sms::EPduError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistration kRegistration({"pdu", kUsage,
                                         "print the SMS-SUBMIT PDU for a number and a UTF-8 "
                                         "text, then its length in octets (for AT+CMGS)",
                                         runPdu});

}  // namespace
}  // namespace cli
