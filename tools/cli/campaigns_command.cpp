// toplusms-cli campaigns / results: what the database holds of past runs, one line per
// campaign or per recipient, fields separated by one TAB. These only read, so they work
// while another program sends from the same database.
#include <charconv>
#include <cstdio>
#include <string>

#include "platform/codepage_1254.h"
#include "sms/bulk_run.h"
#include "sms/sms_sender.h"
#include "store/campaigns.h"
#include "tools/cli/campaign_run.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

using store::RecipientState;

constexpr std::string_view kCampaignsUsage = "[--db PATH]";
constexpr std::string_view kResultsUsage = "[--db PATH] N";

// A field never holds the separator or a line break, whatever the list held.
std::string field(std::string utf8) {
    for (char& c : utf8) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return utf8;
}

int usageOf(std::string_view name, std::string_view usage) {
    std::fprintf(stderr, "usage: toplusms-cli %.*s %.*s\n", int(name.size()), name.data(),
                 int(usage.size()), usage.data());
    return kExitUsage;
}

int runCampaigns(std::span<const std::string_view> args) {
    std::vector<std::string_view> rest(args.begin(), args.end());
    const auto file = takeDatabaseOption(rest);
    if (!file || !rest.empty()) {
        return usageOf("campaigns", kCampaignsUsage);
    }
    const auto db = openDatabase(*file);
    if (!db) {
        return kExitFailed;
    }
    try {
        std::printf(
            "gönderim\tbaşlangıç\tdurum\tsırada\tgönderildi\tbaşarısız\tbelirsiz\tatlandı\n");
        for (const store::CampaignSummary& c : store::CampaignStore(*db).campaigns()) {
            std::printf("%lld\t%s\t%s", static_cast<long long>(c.id),
                        sms::isoLocalTime(c.started).c_str(), c.finished() ? "bitti" : "yarım");
            for (RecipientState s :
                 {RecipientState::Queued, RecipientState::Sent, RecipientState::Failed,
                  RecipientState::Unknown, RecipientState::Skipped}) {
                std::printf("\t%d", c.counts.of(s));
            }
            std::printf("\n");
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return kExitOk;
}

int runResults(std::span<const std::string_view> args) {
    std::vector<std::string_view> rest(args.begin(), args.end());
    const auto file = takeDatabaseOption(rest);
    std::int64_t id = 0;
    if (!file || rest.size() != 1 ||
        std::from_chars(rest[0].data(), rest[0].data() + rest[0].size(), id).ptr !=
            rest[0].data() + rest[0].size()) {
        return usageOf("results", kResultsUsage);
    }
    const auto db = openDatabase(*file);
    if (!db) {
        return kExitFailed;
    }
    using platform::cp1254::toUtf8;
    try {
        store::CampaignStore campaigns(*db);
        if (!campaigns.campaign(id)) {
            std::fprintf(stderr, "Gönderim %lld yok\n", static_cast<long long>(id));
            return kExitFailed;
        }
        std::printf("sıra\tnumara\tdurum\tzaman\treferanslar\thata\tteslim\tteslim zamanı\n");
        constexpr int kPage = 4096;
        for (int offset = 0;; offset += kPage) {
            const auto rows = campaigns.recipients(id, offset, kPage);
            for (const store::RecipientRow& r : rows) {
                sms::SendOutcome refs;
                refs.references = r.references;
                std::printf("%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", r.position + 1,
                            field(toUtf8(r.entry)).c_str(), std::string(stateName(r.state)).c_str(),
                            sms::isoLocalTime(r.changed).c_str(), refs.referencesText().c_str(),
                            field(toUtf8(r.error)).c_str(),
                            std::string(deliveryStateName(r.delivery)).c_str(),
                            r.deliveryTime != 0 ? sms::isoLocalTime(r.deliveryTime).c_str() : "");
            }
            if (int(rows.size()) < kPage) {
                break;
            }
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistration kCampaigns(
    {"campaigns", kCampaignsUsage,
     "list the campaigns of the database: number, start, bitti or yarım, and the counts "
     "of sırada, gönderildi, başarısız, belirsiz, atlandı",
     runCampaigns});
const CommandRegistration kResults(
    {"results", kResultsUsage,
     "one line per recipient of campaign N in list order: position, entry, state, time of the "
     "last change, references, error, delivery state (teslim edildi, teslim edilemedi, bekliyor or "
     "empty) and its time",
     runResults});

}  // namespace
}  // namespace cli
