// toplusms-cli pdu [--turkish] NUMBER TEXT: the SMS-SUBMIT PDUs the program would send,
// each followed by the length that goes into its AT+CMGS; one pair per part of a long text.
// --turkish allows the Turkish shift tables, as the check box of the sending tabs does.
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "sms/message_parts.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "[--turkish] NUMBER TEXT";

bool isValidUtf8(std::string_view s) {
    using namespace platform::cp1254;
    return utf16ToUtf8(utf8ToUtf16(s)) == s;
}

int runPdu(std::span<const std::string_view> args) {
    sms::EncodeOptions options;
    if (!args.empty() && args[0] == "--turkish") {
        options.TurkishTables = true;
        args = args.subspan(1);
    }
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
        for (const sms::PduPart& part : sms::EncodeMessage(message, options)) {
            std::printf("%s\n%d\n", part.Pdu.c_str(), int(part.TpduLength));
        }
    } catch (const sms::EPduError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistration kRegistration({"pdu", kUsage,
                                         "print the SMS-SUBMIT PDUs for a number and a UTF-8 "
                                         "text, each followed by its length in octets (for "
                                         "AT+CMGS); --turkish allows the Turkish shift tables",
                                         runPdu});

}  // namespace
}  // namespace cli
