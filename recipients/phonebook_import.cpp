#include "recipients/phonebook_import.h"

#include <charconv>

#include "phone/FunctionsUnit.h"
#include "phone/reply_classifier.h"
#include "platform/codepage_1254.h"

namespace recipients {
namespace {

constexpr int kPhonebookKeyword = 6;  // "+CPBR:"
const std::string kOk = "\r\nOK";

int toInt(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

PhonebookImport::PhonebookImport(phone::PhoneDialogue& dialogue, phone::PhoneView& view,
                                 RecipientList& list)
    : m_dialogue(dialogue), m_view(view), m_list(list) {}

void PhonebookImport::start(const std::string& storage) {
    if (!m_dialogue.state().IsConnected) {
        return;
    }
    // A reading that runs now ends when its current location's reply is in; the new
    // import waits for the line like any click.
    ++m_generation;
    m_dialogue.state().PhonebookReading = false;
    m_dialogue.runWhenLineFree([this, storage] { startNow(storage); });
}

void PhonebookImport::startNow(const std::string& storage) {
    phone::PhoneState& state = m_dialogue.state();
    if (!state.IsConnected) {
        return;
    }
    const unsigned generation = ++m_generation;
    m_dialogue.SendCommand("AT+CPBS=\"" + storage + "\"\r", kOk);
    if (generation != m_generation) {
        return;
    }
    m_view.setStatusPanel(2, "Telefon rehberi okunuyor !");
    m_list.clear();
    m_list.updateNumberCount();
    const std::string reply = m_dialogue.SendCommand("AT+CPBR=?\r", kOk);
    if (generation != m_generation) {
        return;
    }
    phone::StringList fields;
    phone::SplitFields(',', reply, fields);
    if (fields.count() > 1 &&
        phone::ClassifyReply(std::string_view(fields[1])) == kPhonebookKeyword) {
        state.PhonebookIndex = 0;
        readRange(reply);
        // The first tick, and with it the reading, comes a full period later.
        m_view.setRefreshEnabled(false);
        state.PhonebookReading = true;
        m_view.setRefreshEnabled(true);
    }
}

void PhonebookImport::readRange(const std::string& reply) {
    m_lastLocation = 0;
    const std::size_t open = reply.find('(', reply.find("+CPBR:"));
    const std::size_t dash = reply.find('-', open);
    const std::size_t close = reply.find(')', dash);
    if (open == std::string::npos || dash == std::string::npos || close == std::string::npos) {
        return;
    }
    const int first = toInt(std::string_view(reply).substr(open + 1, dash - open - 1));
    const int last = toInt(std::string_view(reply).substr(dash + 1, close - dash - 1));
    if (first >= 1 && last >= first) {
        m_lastLocation = last;
        m_dialogue.state().PhonebookIndex = first - 1;
    }
}

bool PhonebookImport::tick() {
    phone::PhoneState& state = m_dialogue.state();
    if (!state.PhonebookReading) {
        return false;
    }
    m_view.setRefreshEnabled(false);
    const unsigned generation = m_generation;
    bool ended = false;
    while (!ended) {
        ++state.PhonebookIndex;
        if (m_lastLocation > 0 && state.PhonebookIndex > m_lastLocation) {
            break;
        }
        const std::string reply =
            m_dialogue.SendCommand("AT+CPBR=" + std::to_string(state.PhonebookIndex) + "\r", kOk);
        if (generation != m_generation) {
            return true;  // stopped, or a newer import took over
        }
        const phone::CommandOutcome outcome = m_dialogue.lastOutcome();
        if (outcome == phone::CommandOutcome::Disconnected ||
            outcome == phone::CommandOutcome::TimedOut) {
            break;  // the phone is gone or no longer answers: keep what was read
        }
        // Without a known range, an empty location ends the reading.
        ended = !ParsePhonebookEntry(reply) && m_lastLocation == 0;
    }
    state.PhonebookReading = false;
    state.PhonebookIndex = 0;
    m_view.setStatusPanel(2, platform::cp1254::fromUtf8("Hazır !"));
    if (state.IsConnected) {
        m_view.setRefreshEnabled(true);
    }
    return true;
}

void PhonebookImport::stop() {
    ++m_generation;
    m_dialogue.state().PhonebookReading = false;
    m_dialogue.state().PhonebookIndex = 0;
}

bool PhonebookImport::ParsePhonebookEntry(const std::string& reply) {
    if (!m_dialogue.state().IsConnected) {
        return false;
    }
    phone::StringList fields;
    phone::SplitFields(',', reply, fields);
    if (fields.count() < 5 ||
        phone::ClassifyReply(std::string_view(fields[1])) != kPhonebookKeyword) {
        return false;
    }
    std::string number = fields[3];
    // An international number (type 145) that the phone gives without its '+' would
    // later go out as a national one.
    if (fields[4] == "145" && !number.empty() && number[0] != '+') {
        number.insert(number.begin(), '+');
    }
    m_list.append(number);
    m_list.updateNumberCount();
    return true;
}

}  // namespace recipients
