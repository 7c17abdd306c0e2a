#include "app/send_controller.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "app/bulk_progress_panel.h"
#include "app/code_page_text.h"
#include "app/main_window.h"
#include "app/phone_controller.h"

namespace app {

// The send buttons and the list are off while a send runs, whichever way it ends.
struct SendController::Sending {
    explicit Sending(SendController& c) : controller(c) {
        controller.m_sending = true;
        controller.setSendingControlsEnabled(false);
    }
    ~Sending() {
        controller.m_sending = false;
        controller.setSendingControlsEnabled(true);
    }
    SendController& controller;
};

SendController::SendController(TMainForm& form, PhoneController& phone,
                               platform::MessageQueue& queue, sms::SendLimits limits)
    : m_form(form),
      m_dialogue(phone.dialogue()),
      m_sender(phone.dialogue(), phone, limits),
      m_run(m_sender, *this, sms::queuePause(queue)),
      // A window closed during a run: the run ends after the message in flight, then the
      // port closes as before.
      m_closing(form.hooks().closing, [this](const HookWrap::Hook& inner) {
          stop();
          HookWrap::callInner(inner);
      }) {
    m_panel = new BulkProgressPanel(form.cxTabSheet3);
    m_panel->setGeometry(form.cxGroupBox3->geometry());
    m_panel->hide();
    QObject::connect(m_panel->stopButton, &QPushButton::clicked, m_panel, [this] { stop(); });
    QObject::connect(m_panel->resendButton, &QPushButton::clicked, m_panel,
                     [this] { whenLineFree([this] { resendFailed(); }); });
    QObject::connect(m_panel->closeButton, &QPushButton::clicked, m_panel,
                     [this] { m_panel->hide(); });

    MainFormHooks& hooks = form.hooks();
    hooks.sendSms = [this](const QString& text) { whenLineFree([this, text] { SendSms(text); }); };
    hooks.bulkSendClicked = [this] { whenLineFree([this] { Button1Click(); }); };
}

SendController::~SendController() {
    MainFormHooks& hooks = m_form.hooks();
    hooks.sendSms = nullptr;
    hooks.bulkSendClicked = nullptr;
}

sms::SendOutcome SendController::SendSms(const QString& text) {
    if (m_sending) {
        return {};
    }
    Sending sending(*this);
    return m_sender.SendSms(toCodePage(m_form.Edit1->text()), text.toStdU16String(),
                            encodeOptions());
}

void SendController::whenLineFree(std::function<void()> send) {
    // A click that comes while a command holds the line has its turn after it. Until
    // then the send buttons are off: a second click would send everything twice.
    if (m_sending || m_clickWaiting) {
        return;
    }
    m_clickWaiting = true;
    setSendingControlsEnabled(false);
    m_dialogue.runWhenLineFree([this, send = std::move(send)] {
        m_clickWaiting = false;
        setSendingControlsEnabled(true);
        m_form.guarded(send);
    });
}

sms::EncodeOptions SendController::encodeOptions() const {
    sms::EncodeOptions options;
    options.TurkishTables = m_form.turkishSevenBit();
    return options;
}

void SendController::Button1Click() {
    recipients::RecipientList& list = m_form.recipientList();
    std::vector<std::string> numbers;
    numbers.reserve(size_t(list.count()));
    for (int i = 0; i < list.count(); ++i) {
        numbers.push_back(list.entry(i));
    }
    runBulk(std::move(numbers), memoText(m_form.Memo3).toStdU16String(), encodeOptions());
}

void SendController::resendFailed() {
    runBulk(m_unreached, m_lastText, m_lastOptions);
}

void SendController::runBulk(std::vector<std::string> numbers, std::u16string text,
                             const sms::EncodeOptions& options) {
    if (m_sending || numbers.empty()) {
        return;
    }
    sms::BulkRequest request;
    request.numbers = std::move(numbers);
    request.text = std::move(text);
    request.pauseSeconds = m_form.edtSure->value();
    request.options = options;
    request.resultsFolder = m_form.listFile().parent_path() / "gonderimler";

    sms::BulkSummary summary;
    {
        Sending sending(*this);
        summary = m_run.run(request);
    }
    if (summary.started) {
        m_lastText = request.text;
        m_lastOptions = request.options;
    }
}

void SendController::setSendingControlsEnabled(bool enabled) {
    m_form.cxGroupBox3->setEnabled(enabled);
    m_form.Button1->setEnabled(enabled);
    m_form.btnSMS->setEnabled(enabled);
    if (!enabled) {
        m_panel->resendButton->setEnabled(false);
        m_panel->closeButton->setEnabled(false);
    }
}

void SendController::runStarted(int total) {
    m_total = total;
    m_unreached.clear();
    m_panel->start(total);
}

void SendController::recipientStarted(int position, const std::string& number) {
    m_form.Edit1->setText(fromCodePage(number));
    m_panel->showPosition(position + 1, m_total);
}

void SendController::recipientFinished(const sms::RecipientResult& r) {
    const sms::SendOutcome& o = r.outcome;
    const bool sent = o.status == sms::SendStatus::Sent;
    // An unknown outcome is not resent unasked: the network may have the message.
    if (!sent && o.status != sms::SendStatus::Unknown) {
        m_unreached.push_back(r.number);
    }
    QString outcome;
    switch (o.status) {
        case sms::SendStatus::Sent:
            outcome = QStringLiteral("gönderildi");
            break;
        case sms::SendStatus::Failed:
            outcome = QStringLiteral("başarısız");
            break;
        case sms::SendStatus::NotSent:
            outcome = QStringLiteral("gönderilmedi");
            break;
        case sms::SendStatus::Unknown:
            outcome = QStringLiteral("belirsiz");
            break;
        case sms::SendStatus::Skipped:
            outcome = QStringLiteral("atlandı");
            break;
    }
    const QString time = fromCodePage(r.time).section(QLatin1Char('T'), 1);
    const QString detail = sent ? QStringLiteral("ref ") + fromCodePage(o.referencesText())
                                : fromCodePage(o.errorText());
    m_panel->addResult(fromCodePage(r.number), time, outcome, detail, sent);
}

void SendController::runFinished(const sms::BulkSummary& summary) {
    m_lastSummary = summary;
    m_panel->showPosition(summary.sent + summary.failed, m_total);
    m_panel->finish(int(m_unreached.size()));
}

}  // namespace app
