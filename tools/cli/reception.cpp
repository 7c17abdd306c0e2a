#include "tools/cli/reception.h"

#include <chrono>
#include <cstdio>

#include "phone/phone_state.h"
#include "phone/phone_texts.h"
#include "platform/codepage_1254.h"
#include "store/database.h"
#include "tools/cli/sending.h"

namespace cli {
namespace {

constexpr int kPollMs = 5000;  // the window's refresh tick
constexpr int kLookMs = 100;   // how often a stay looks at the clock and the signals

std::string reportLine(const store::StoredReport& r) {
    using platform::cp1254::fromUtf8;
    std::string state;
    if (!r.readable) {
        state = fromUtf8("okunamadı");
    } else if (r.recipient == 0) {
        state = fromUtf8("eşleşmedi");
    } else {
        state = fromUtf8(store::deliveryStateName(r.delivery));
    }
    const std::string reference = r.reference >= 0 ? std::to_string(r.reference) : "?";
    return "rapor\t" + r.number + "\tref " + reference + "\t" + state;
}

}  // namespace

std::string oneLine(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r') {
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') {
                ++i;
            }
            out += "\\n";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

void printWhatIsKept(store::ReceivedStore& keeper) {
    keeper.onReport = [](const store::StoredReport& r) {
        if (!r.duplicate) {
            printLine(reportLine(r));
        }
    };
    keeper.onMessage = [&keeper](const store::StoredPdu& p) {
        if (p.duplicate || p.message == 0) {
            return;  // seen before, or a part of a message still waiting for the rest
        }
        try {
            if (const auto m = keeper.inbox().message(p.message)) {
                const std::string text = m->unreadable()
                                             ? "[okunamayan mesaj: " + m->problem + "] " + m->rawPdu
                                             : m->text;
                std::printf("mesaj\t%s\t%s\t%s\n", oneLine(m->sender).c_str(), m->sent.c_str(),
                            oneLine(text).c_str());
                std::fflush(stdout);
            }
        } catch (const store::StoreError& e) {
            std::fprintf(stderr, "%s\n", e.what());  // it is kept; only the line is missing
        }
    };
}

void printKeepFailure(const std::string& reason) {
    std::fprintf(stderr, "%s\n", platform::cp1254::toUtf8(reason).c_str());
}

bool stayReceiving(int seconds, const std::function<void(int ms)>& wait,
                   const std::function<bool()>& connected) {
    const StopSignals stop;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!stop.requested() && connected() &&
           (seconds < 0 || std::chrono::steady_clock::now() < end)) {
        wait(kLookMs);
    }
    return connected();
}

Reception::Reception(PhoneSession& session, store::Database& db)
    : m_session(session), m_keeper(db), m_receiver(session.dialogue(), session.queue(), m_keeper) {
    printWhatIsKept(m_keeper);
    m_receiver.onKeepFailed = printKeepFailure;
}

Reception::~Reception() {
    if (m_poll != platform::kNoTimer) {
        m_session.queue().stopTimer(m_poll);
    }
}

void Reception::start() {
    for (const auto& [caption, value] : m_session.view().rows()) {
        if (caption == phone::texts::kImei) {
            m_keeper.setPhoneImei(value);
        }
    }
    m_receiver.connected();
    if (m_poll == platform::kNoTimer) {
        m_poll = m_session.queue().startTimer(kPollMs, [this] { m_receiver.poll(); });
    }
}

bool Reception::stay(int seconds) {
    phone::PhoneDialogue& dialogue = m_session.dialogue();
    // The signals end the stay only; what was handed over is still kept and deleted.
    stayReceiving(
        seconds, [&](int ms) { dialogue.pause(ms); }, [&] { return dialogue.state().IsConnected; });
    finish();
    return dialogue.state().IsConnected;
}

void Reception::finish(int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    phone::PhoneDialogue& dialogue = m_session.dialogue();
    while (!m_receiver.idle() && dialogue.state().IsConnected &&
           std::chrono::steady_clock::now() < end) {
        dialogue.pause(10);
    }
}

}  // namespace cli
