// toplusms-cli phonebook COM|--device PATH [--baud N] ME|SM: connects and prints the
// numbers of the phone's ("ME") or the SIM card's ("SM") phonebook, one per line, read
// as the window's phonebook import reads them. Status texts go to stderr.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/codepage_1254.h"
#include "recipients/phonebook_import.h"
#include "tools/cli/command.h"
#include "tools/cli/phone_session.h"
#include "tools/cli/recording_options.h"

namespace cli {
namespace {

constexpr std::string_view kUsage = "[--trace] [--log] COM|--device PATH [--baud N] ME|SM";

class PrintedList : public recipients::RecipientList {
public:
    int count() const override { return static_cast<int>(m_entries.size()); }
    std::string entry(int index) const override {
        return m_entries.at(static_cast<std::size_t>(index));
    }
    void append(const std::string& entry) override { m_entries.push_back(entry); }
    void clear() override { m_entries.clear(); }
    void updateNumberCount() override {}
    const std::vector<std::string>& entries() const { return m_entries; }

private:
    std::vector<std::string> m_entries;
};

int runPhonebook(std::span<const std::string_view> args) {
    args = takeRecordingOptions(args);
    std::vector<std::string_view> rest;
    const std::optional<PortChoice> choice = parsePortChoice(args, &rest, "phonebook", kUsage);
    if (!choice) {
        return kExitUsage;
    }
    std::string storage = rest.size() == 1 ? std::string(rest[0]) : std::string();
    for (char& c : storage) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (storage != "ME" && storage != "SM") {
        std::fprintf(stderr, "usage: toplusms-cli phonebook %.*s\n", int(kUsage.size()),
                     kUsage.data());
        return kExitUsage;
    }
    PhoneSession session(*choice);
    session.view().out = stderr;
    if (!session.connect()) {
        return kExitFailed;
    }
    PrintedList list;
    recipients::PhonebookImport import(session.dialogue(), session.view(), list);
    import.start(storage);
    if (!session.dialogue().state().PhonebookReading) {
        std::fprintf(stderr,
                     "Telefon rehberi okunamadı: telefon AT+CPBR=? sorusunu yanıtlamadı.\n");
        session.disconnect();
        return kExitFailed;
    }
    import.tick();
    if (import.result() != recipients::PhonebookImport::Result::Read) {
        // The status texts on stderr have said why.
        if (!session.dialogue().state().IsConnected) {
            std::fprintf(stderr, "Telefon rehberi okunurken bağlantı koptu.\n");
            return kExitFailed;
        }
        session.disconnect();
        return kExitFailed;
    }
    for (const std::string& number : list.entries()) {
        std::printf("%s\n", platform::cp1254::toUtf8(number).c_str());
    }
    std::fflush(stdout);
    session.disconnect();
    return kExitOk;
}

const CommandRegistration kRegistration({"phonebook", kUsage,
                                         "connect and print the numbers of the phone's (ME) or "
                                         "the SIM card's (SM) phonebook, one per line",
                                         runPhonebook});

}  // namespace
}  // namespace cli
