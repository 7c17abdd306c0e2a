// toplusms-cli optout / inbox: the opt-out list ("Ret Listesi") and the received messages
// of the program's database.
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "store/inbox.h"
#include "store/optout_list.h"
#include "tools/cli/campaign_run.h"
#include "tools/cli/command.h"
#include "tools/cli/reception.h"

namespace cli {
namespace {

constexpr std::string_view kOptOutUsage = "[--db PATH] --list | --add NUMBER | --remove NUMBER";
constexpr std::string_view kInboxUsage = "[--db PATH]";

int usageOf(std::string_view name, std::string_view usage) {
    std::fprintf(stderr, "usage: toplusms-cli %.*s %.*s\n", int(name.size()), name.data(),
                 int(usage.size()), usage.data());
    return kExitUsage;
}

int runOptOut(std::span<const std::string_view> args) {
    std::vector<std::string_view> rest(args.begin(), args.end());
    const auto file = takeDatabaseOption(rest);
    const bool list = rest.size() == 1 && rest[0] == "--list";
    const bool add = rest.size() == 2 && rest[0] == "--add";
    const bool remove = rest.size() == 2 && rest[0] == "--remove";
    if (!file || !(list || add || remove)) {
        return usageOf("optout", kOptOutUsage);
    }
    const auto db = openDatabase(*file);
    if (!db) {
        return kExitFailed;
    }
    try {
        store::OptOutList optOuts(*db);
        if (list) {
            for (const store::OptOutEntry& e : optOuts.entries()) {
                std::printf("%s\n", e.number.c_str());
            }
            return kExitOk;
        }
        const std::string number = platform::cp1254::fromUtf8(rest[1]);
        if (add) {
            if (!optOuts.contains(number) && !optOuts.add(number, store::OptOutReason::Manual)) {
                std::fprintf(stderr, "Numara değil: %.*s\n", int(rest[1].size()), rest[1].data());
                return kExitFailed;
            }
            return kExitOk;
        }
        if (!optOuts.remove(number)) {
            std::fprintf(stderr, "Ret listesinde değil: %.*s\n", int(rest[1].size()),
                         rest[1].data());
            return kExitFailed;
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return kExitOk;
}

int runInbox(std::span<const std::string_view> args) {
    std::vector<std::string_view> rest(args.begin(), args.end());
    const auto file = takeDatabaseOption(rest);
    if (!file || !rest.empty()) {
        return usageOf("inbox", kInboxUsage);
    }
    const auto db = openDatabase(*file);
    if (!db) {
        return kExitFailed;
    }
    try {
        store::Inbox inbox(*db);
        try {
            inbox.expireIncomplete();
        } catch (const store::StoreError&) {
            // Another program is writing: what is whole already is shown all the same.
        }
        constexpr int kPage = 1024;
        for (int offset = 0;; offset += kPage) {
            const auto page = inbox.messages(offset, kPage);
            for (const store::InboxMessage& m : page) {
                const std::string text =
                    m.unreadable() ? "[okunamayan mesaj: " + m.problem + "] " + m.rawPdu : m.text;
                std::printf("%s\t%s\t%s\n", oneLine(m.sender).c_str(), m.sent.c_str(),
                            oneLine(text).c_str());
            }
            if (int(page.size()) < kPage) {
                break;
            }
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistration kOptOut(
    {"optout", kOptOutUsage,
     "the opt-out list (Ret Listesi): print it, one number per line, or add or remove a number",
     runOptOut});
const CommandRegistration kInbox(
    {"inbox", kInboxUsage,
     "the received messages, newest first: SENDER, TIME, TEXT (line breaks as \\n)", runInbox});

}  // namespace
}  // namespace cli
