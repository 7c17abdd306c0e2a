// toplusms-cli resume / resend: going on with a campaign that did not finish, and sending
// again to the recipients a campaign did not reach, as a new campaign that names it.
#include <charconv>
#include <cstdio>
#include <string>

#include "store/campaigns.h"
#include "tools/cli/campaign_run.h"
#include "tools/cli/command.h"
#include "tools/cli/recording_options.h"

namespace cli {
namespace {

constexpr std::string_view kResumeUsage =
    "[--trace] [--log] COM[,COM...]|--device PATH... [--baud N] [--db PATH] [--daily-limit N] "
    "[N]";
constexpr std::string_view kResendUsage =
    "[--trace] [--log] COM[,COM...]|--device PATH... [--baud N] [--db PATH] [--unknown] N";

bool parseId(std::string_view text, std::int64_t& id) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    return ec == std::errc() && end == text.data() + text.size() && id > 0;
}

struct Parsed {
    std::vector<PortChoice> ports;
    std::filesystem::path file;
    std::vector<std::string_view> rest;
};

std::optional<Parsed> parse(std::span<const std::string_view> args, std::string_view name,
                            std::string_view usage) {
    args = takeRecordingOptions(args);
    Parsed p;
    std::optional<std::vector<PortChoice>> choices = parsePortChoices(args, &p.rest, name, usage);
    if (!choices) {
        return std::nullopt;
    }
    p.ports = std::move(*choices);
    const auto file = takeDatabaseOption(p.rest);
    if (!file) {
        return std::nullopt;
    }
    p.file = *file;
    return p;
}

int usageOf(std::string_view name, std::string_view usage) {
    std::fprintf(stderr, "usage: toplusms-cli %.*s %.*s\n", int(name.size()), name.data(),
                 int(usage.size()), usage.data());
    return kExitUsage;
}

// Takes "--daily-limit N" out of `rest`; false when its value is no count.
bool takeDailyLimit(std::vector<std::string_view>& rest, int& limit) {
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != "--daily-limit") {
            continue;
        }
        if (i + 1 >= rest.size()) {
            return false;
        }
        const std::string_view v = rest[i + 1];
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), limit);
        if (ec != std::errc() || end != v.data() + v.size() || limit < 0) {
            return false;
        }
        rest.erase(rest.begin() + std::ptrdiff_t(i), rest.begin() + std::ptrdiff_t(i) + 2);
        --i;
    }
    return true;
}

int runResume(std::span<const std::string_view> args) {
    std::optional<Parsed> p = parse(args, "resume", kResumeUsage);
    std::int64_t id = 0;
    int dailyLimit = 0;
    if (p && !takeDailyLimit(p->rest, dailyLimit)) {
        return usageOf("resume", kResumeUsage);
    }
    if (!p || p->rest.size() > 1 || (p->rest.size() == 1 && !parseId(p->rest[0], id))) {
        return p ? usageOf("resume", kResumeUsage) : kExitUsage;
    }
    const auto db = openDatabase(p->file);
    if (!db) {
        return kExitFailed;
    }
    // Taken first: it also settles the rows a killed sender left on their way.
    const auto lock = takeSenderLock(*db);
    if (!lock) {
        return kExitFailed;
    }
    if (id == 0) {
        try {
            const auto latest = store::CampaignStore(*db).latestUnfinished();
            if (!latest) {
                std::fprintf(stderr, "Yarım kalan gönderim yok\n");
                return kExitOk;
            }
            id = latest->id;
        } catch (const store::StoreError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return kExitFailed;
        }
    }
    return runCampaign(
        p->ports, *db, *lock, [id] { return id; }, {}, dailyLimit);
}

int runResend(std::span<const std::string_view> args) {
    std::optional<Parsed> p = parse(args, "resend", kResendUsage);
    if (!p) {
        return kExitUsage;
    }
    bool includeUnknown = false;
    std::erase_if(p->rest, [&](std::string_view a) {
        const bool flag = a == "--unknown";
        includeUnknown |= flag;
        return flag;
    });
    std::int64_t old = 0;
    if (p->rest.size() != 1 || !parseId(p->rest[0], old)) {
        return usageOf("resend", kResendUsage);
    }
    const auto db = openDatabase(p->file);
    if (!db) {
        return kExitFailed;
    }
    const auto lock = takeSenderLock(*db);
    if (!lock) {
        return kExitFailed;
    }
    try {
        if (!store::CampaignStore(*db).campaign(old)) {
            std::fprintf(stderr, "Gönderim %lld yok\n", static_cast<long long>(old));
            return kExitFailed;
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    return runCampaign(p->ports, *db, *lock, [&] {
        const std::int64_t id = store::CampaignStore(*db).createResend(old, includeUnknown);
        if (id == 0) {
            std::fprintf(stderr, "Gönderim %lld: tekrar gönderilecek kimse yok\n",
                         static_cast<long long>(old));
        }
        return id;
    });
}

const CommandRegistration kResume(
    {"resume", kResumeUsage,
     "go on with campaign N, or the latest unfinished one, serving only its queued rows, "
     "printed as bulk prints, over one phone or several; exit 0 when every row it served was "
     "accepted",
     runResume});
const CommandRegistration kResend(
    {"resend", kResendUsage,
     "send campaign N's text again to its failed recipients (and with --unknown to those "
     "without an answer, who may have received it), as a new campaign",
     runResend});

}  // namespace
}  // namespace cli
