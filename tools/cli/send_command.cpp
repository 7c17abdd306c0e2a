// toplusms-cli send COM NUMBER TEXT: one message through the phone, as the single send
// button sends it.
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "sms/sms_sender.h"
#include "tools/cli/command.h"
#include "tools/cli/recording_options.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "[--trace] [--log] COM|--device PATH [--baud N] NUMBER TEXT";

int runSend(std::span<const std::string_view> args) {
    args = takeRecordingOptions(args);
    std::vector<std::string_view> rest;
    const std::optional<PortChoice> choice = parsePortChoice(args, &rest, "send", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    if (rest.size() != 2) {
        std::fprintf(stderr, "usage: toplusms-cli send %.*s\n", int(kUsage.size()), kUsage.data());
        return kExitUsage;
    }
    PhoneSession session(*choice);
    if (!connectQuietly(session)) {
        return kExitFailed;
    }
    sms::SmsSender sender(session.dialogue(), session.view());
    const sms::SendOutcome outcome =
        sender.SendSms(platform::cp1254::fromUtf8(rest[0]), platform::cp1254::utf8ToUtf16(rest[1]));
    printLine(outcome.statusLine());
    return outcome.status == sms::SendStatus::Sent ? kExitOk : kExitFailed;
}

const CommandRegistration kRegistration(
    {"send", kUsage,
     "send the UTF-8 TEXT to NUMBER and print \"Gönderildi: ref N\" or \"Gönderilemedi: "
     "REASON\"; exit 0 when the phone accepted it",
     runSend});

}  // namespace
}  // namespace cli
