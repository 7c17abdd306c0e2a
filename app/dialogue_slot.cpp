#include "app/dialogue_slot.h"

#include <QTableWidget>

#include <exception>
#include <stdexcept>
#include <utility>

#include "app/code_page_text.h"
#include "phone/phone_dialogue.h"
#include "phone/phone_texts.h"
#include "phone/phone_view.h"
#include "serial/com_port.h"
#include "sms/sms_sender.h"

namespace app {

std::string imeiOfInfoRows(const QTableWidget& info) {
    const QString caption = fromCodePage(std::string(phone::texts::kImei));
    for (int row = 0; row < info.rowCount(); ++row) {
        const QTableWidgetItem* c = info.item(row, 0);
        const QTableWidgetItem* v = info.item(row, 1);
        if (c != nullptr && v != nullptr && c->text() == caption) {
            return toCodePage(v->text().trimmed());
        }
    }
    return {};
}

DialogueSlot::DialogueSlot(phone::PhoneDialogue& dialogue, sms::SmsSender& sender,
                           const serial::TComPort& port, const QTableWidget& info,
                           platform::MessageQueue& queue)
    : m_dialogue(dialogue), m_sender(sender), m_port(port), m_info(info), m_queue(queue) {
    m_handler = m_queue.addHandler([this](const platform::Message& m) { return onSubmit(m); });
}

DialogueSlot::~DialogueSlot() {
    m_queue.removeHandler(m_handler);
}

sms::PhoneIdentity DialogueSlot::identity() const {
    return {imeiOfInfoRows(m_info), "Com" + std::to_string(m_port.ComNumber())};
}

bool DialogueSlot::available() const {
    return !m_busy && m_dialogue.connected();
}

void DialogueSlot::submit(const std::string& number, const std::u16string& text,
                          const sms::EncodeOptions& options, Done done) {
    m_busy = true;
    m_pending = Pending{number, text, options, std::move(done)};
    if (!m_queue.post(m_handler, {})) {
        m_busy = false;
        m_pending.reset();
        throw std::runtime_error("the window's phone cannot be reached");
    }
}

intptr_t DialogueSlot::onSubmit(const platform::Message&) {
    if (!m_pending) {
        return 0;
    }
    Pending p = std::move(*m_pending);
    m_pending.reset();
    sms::SendOutcome outcome;
    try {
        outcome = m_sender.submit(p.number, p.text, p.options);
    } catch (const std::exception& e) {
        // A serial error under a write, as over one phone: this recipient failed.
        outcome = sms::SendOutcome{};
        outcome.status = sms::SendStatus::Failed;
        outcome.error = e.what();
        m_sender.view().setStatusPanel(1, outcome.statusLine());
    }
    // A phone gone meanwhile leaves the run; the others go on.
    outcome.lineLost = outcome.lineLost || !m_sender.line().connected();
    m_busy = false;
    p.done(outcome);
    return 0;
}

}  // namespace app
