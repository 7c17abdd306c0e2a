// toplusms-cli numbers FILE: FILE read as rehber.txt is read, one line per entry with its
// normal form and kind (ENTRY<TAB>NORMAL<TAB>KIND, UTF-8), then "N tekrar": how many
// entries "Tekrarları Sil" would take out as repeats of an earlier one.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/codepage_1254.h"
#include "recipients/phone_number.h"
#include "recipients/recipient_file.h"
#include "recipients/repeated_numbers.h"
#include "tools/cli/command.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "FILE";

int runNumbers(std::span<const std::string_view> args) {
    if (args.size() != 1 || (args[0].starts_with("-") && args[0].size() > 1)) {
        std::fprintf(stderr, "usage: toplusms-cli numbers %.*s\n", int(kUsage.size()),
                     kUsage.data());
        return kExitUsage;
    }
    std::vector<std::string> entries;
    try {
        entries = recipients::loadLines(std::string(args[0]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    std::string out;
    for (const std::string& entry : entries) {
        const recipients::NumberForm form = recipients::readEntry(entry);
        out += platform::cp1254::toUtf8(entry);
        out += '\t';
        out += form.e164;
        out += '\t';
        out += recipients::kindName(form.kind);
        out += '\n';
    }
    int repeats = 0;
    recipients::withoutRepeats(entries, &repeats);
    out += std::to_string(repeats) + " tekrar\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kExitOk;
}

const CommandRegistration kRegistration({"numbers", kUsage,
                                         "print every entry of FILE (read as rehber.txt) with "
                                         "its E.164 form and kind, then the count of repeats",
                                         runNumbers});

}  // namespace
}  // namespace cli
