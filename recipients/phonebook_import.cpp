#include "recipients/phonebook_import.h"

#include <unordered_map>

#include "platform/codepage_1254.h"

namespace recipients {
namespace {

const std::string kOk = "\r\nOK";
// Locations that did not answer, one after the other, after which the phone is taken to
// have stopped answering altogether.
constexpr int kUnreadInARow = 3;

const std::string& readingText() {
    static const std::string text = platform::cp1254::fromUtf8("Telefon rehberi okunuyor !");
    return text;
}

const std::string& failedText() {
    static const std::string text =
        platform::cp1254::fromUtf8("Telefon rehberi okunamadı, liste değişmedi");
    return text;
}

// "148 numara alındı", and ", 2 konum okunamadı" when some could not be read.
std::string endText(std::size_t numbers, int unread) {
    std::string text = std::to_string(numbers) + platform::cp1254::fromUtf8(" numara alındı");
    if (unread > 0) {
        text += ", " + std::to_string(unread) + platform::cp1254::fromUtf8(" konum okunamadı");
    }
    return text;
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
    m_closing = false;
    m_result = Result::Running;
    m_before.clear();
    for (int i = 0; i < m_list.count(); ++i) {
        m_before.push_back(m_list.entry(i));
    }
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
    m_view.setStatusPanel(2, readingText());
    selectCharacterSet(generation);
    if (generation != m_generation) {
        return;
    }
    const std::string reply = m_dialogue.SendCommand("AT+CPBR=?\r", kOk);
    if (generation != m_generation) {
        return;
    }
    readRange(reply);
    m_numbers.clear();
    m_unread = 0;
    // The parser starts the reading when the reply names the phonebook, and puts the
    // first tick a full period away.
    m_dialogue.ParseReply(withoutLinesBeforeKeyword(reply));
    if (!state.PhonebookReading) {
        finish(false);
    }
}

void PhonebookImport::selectCharacterSet(unsigned generation) {
    m_ucs2 = false;
    for (const char* set : {"GSM", "IRA"}) {
        m_dialogue.SendCommand(std::string("AT+CSCS=\"") + set + "\"\r", kOk);
        if (generation != m_generation ||
            m_dialogue.lastOutcome() == phone::CommandOutcome::Completed) {
            return;
        }
    }
    // Refused both: a phone that insists on UCS2 gives its numbers in hexadecimal.
    const std::string reply = m_dialogue.SendCommand("AT+CSCS?\r", kOk);
    m_ucs2 = reply.find("\"UCS2\"") != std::string::npos;
}

void PhonebookImport::readRange(const std::string& reply) {
    const std::optional<LocationRange> range = phonebookRange(reply);
    m_lastLocation = range ? range->last : -1;
    m_dialogue.state().PhonebookIndex = range ? range->first - 1 : 0;
}

bool PhonebookImport::tick() {
    phone::PhoneState& state = m_dialogue.state();
    if (!state.PhonebookReading) {
        return false;
    }
    if (m_dialogue.lineBusy()) {
        return true;  // like a poll, the reading waits for a tick that finds the line free
    }
    m_view.setRefreshEnabled(false);
    const unsigned generation = m_generation;
    int unreadInARow = 0;
    for (;;) {
        ++state.PhonebookIndex;
        if (m_lastLocation >= 0 && state.PhonebookIndex > m_lastLocation) {
            finish(readSomething());
            return true;
        }
        std::string number;
        switch (readLocation(state.PhonebookIndex, generation, &number)) {
            case Read::Superseded:
                // A newer import sets panel 2 and the timer as it goes; the close
                // wants neither touched.
                if (!m_closing && state.IsConnected) {
                    m_view.setRefreshEnabled(true);
                }
                return true;
            case Read::Gone:
                finish(false);
                return true;
            case Read::Entry:
                unreadInARow = 0;
                if (!number.empty()) {  // a name without a number gives nothing to send to
                    m_numbers.push_back(std::move(number));
                }
                break;
            case Read::Empty:
                unreadInARow = 0;
                if (m_lastLocation < 0) {
                    finish(readSomething());  // without a range, the first gap is the end
                    return true;
                }
                break;
            case Read::Unread:
                ++m_unread;
                if (++unreadInARow >= kUnreadInARow) {
                    finish(false);  // the phone has stopped answering
                    return true;
                }
                break;
        }
    }
}

PhonebookImport::Read PhonebookImport::readLocation(int location, unsigned generation,
                                                    std::string* number) {
    const std::string command = "AT+CPBR=" + std::to_string(location) + "\r";
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string reply = m_dialogue.SendCommand(command, kOk);
        if (generation != m_generation) {
            return Read::Superseded;
        }
        if (!m_dialogue.state().IsConnected) {
            return Read::Gone;
        }
        LocationReply answer = ParsePhonebookEntry(reply, location);
        if (answer.kind == LocationReply::Kind::Unanswered &&
            m_dialogue.lastOutcome() != phone::CommandOutcome::TimedOut) {
            // The wait was ended by a ring or by the final result of an earlier, late
            // answer, so this command's own answer is still on its way. Asking again now
            // would put every later answer one command behind; take it as it comes.
            reply += awaitRestOfAnswer();
            if (generation != m_generation) {
                return Read::Superseded;
            }
            if (!m_dialogue.state().IsConnected) {
                return Read::Gone;
            }
            answer = ParsePhonebookEntry(reply, location);
        }
        if (answer.kind == LocationReply::Kind::Entry) {
            *number = std::move(answer.number);
            return Read::Entry;
        }
        if (answer.kind == LocationReply::Kind::Empty) {
            return Read::Empty;
        }
    }
    return Read::Unread;
}

bool PhonebookImport::readSomething() const {
    // Nothing but unread locations is no phonebook to put in the list's place.
    return !m_numbers.empty() || m_unread == 0;
}

std::string PhonebookImport::awaitRestOfAnswer() {
    phone::CommandTurn turn = m_dialogue.beginTurn(phone::CommandOrigin::User);
    return turn.send("", kOk);  // writes nothing: only the wait for the final result
}

void PhonebookImport::finish(bool read) {
    phone::PhoneState& state = m_dialogue.state();
    state.PhonebookReading = false;
    state.PhonebookIndex = 0;
    if (read) {
        const std::size_t numbers = m_numbers.size();
        // What was typed in or imported while the phone was read is not what the click
        // replaces: it stays, after the phonebook's numbers.
        std::unordered_map<std::string, int> replaced;
        for (std::string& entry : m_before) {
            ++replaced[std::move(entry)];
        }
        for (int i = 0; i < m_list.count(); ++i) {
            std::string entry = m_list.entry(i);
            if (int& n = replaced[entry]; n > 0) {
                --n;
            } else {
                m_numbers.push_back(std::move(entry));
            }
        }
        m_list.clear();
        m_list.appendAll(m_numbers);
        m_list.updateNumberCount();
        m_view.setStatusPanel(2, endText(numbers, m_unread));
    } else {
        m_view.setStatusPanel(2, failedText());
    }
    m_numbers.clear();
    m_before.clear();
    m_result = read ? Result::Read : Result::Failed;
    if (state.IsConnected) {
        m_view.setRefreshEnabled(true);
    }
}

void PhonebookImport::stop() {
    ++m_generation;
    m_closing = true;
    m_dialogue.state().PhonebookReading = false;
    m_dialogue.state().PhonebookIndex = 0;
}

LocationReply PhonebookImport::ParsePhonebookEntry(const std::string& reply, int location) const {
    if (!m_dialogue.state().IsConnected) {
        return {};
    }
    return parseLocationReply(reply, location, m_ucs2);
}

}  // namespace recipients
