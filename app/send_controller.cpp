#include "app/send_controller.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>

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
      m_line(phone.dialogue()),
      m_sender(m_line, phone, limits),
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
    m_panel->openFolder = [this](const QString& folder) {
        m_form.openUrl(QUrl::fromLocalFile(folder));
    };

    MainFormHooks& hooks = form.hooks();
    hooks.sendSms = [this](const QString& text) { whenLineFree([this, text] { SendSms(text); }); };
    hooks.bulkSendClicked = [this] { whenLineFree([this] { Button1Click(); }); };
    hooks.mayClose = [this] { return mayClose(); };
}

SendController::~SendController() {
    MainFormHooks& hooks = m_form.hooks();
    hooks.sendSms = nullptr;
    hooks.bulkSendClicked = nullptr;
    hooks.mayClose = nullptr;
}

sms::SendOutcome SendController::SendSms(const QString& text) {
    if (m_sending) {
        return {};
    }
    sms::SendOutcome outcome;
    {
        Sending sending(*this);
        outcome = m_sender.SendSms(toCodePage(m_form.Edit1->text()), text.toStdU16String(),
                                   encodeOptions());
    }
    closeIfAsked();
    return outcome;
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
    std::u16string text = memoText(m_form.Memo3).toStdU16String();
    // Nothing to ask about when the run would not start: the run says why.
    if (!numbers.empty() && !text.empty() && !confirmRun(numbers, text, encodeOptions())) {
        return;
    }
    runBulk(std::move(numbers), std::move(text), encodeOptions());
}

void SendController::resendFailed() {
    std::vector<std::string> numbers = m_unreached;
    ListCheck unknown;
    if (!m_unknown.empty()) {
        // Their message may well have arrived: they are offered, never taken unasked.
        unknown.notes.push_back(
            QStringLiteral("%1 kişinin mesajına yanıt gelmedi (belirsiz): ağ onları iletmiş "
                           "olabilir, tekrar gönderilirse iki kez alabilirler. İşaretlerseniz "
                           "onlar da eklenir.")
                .arg(m_unknown.size()));
        unknown.choices.push_back({QStringLiteral("Belirsizleri de gönder"), false});
        unknown.apply = [this](const std::vector<Asker::Choice>& answered,
                               std::vector<std::string>& list) {
            if (answered.front().checked) {
                list.insert(list.end(), m_unknown.begin(), m_unknown.end());
            }
        };
    }
    if (!confirmRun(numbers, m_lastText, m_lastOptions, std::move(unknown))) {
        return;
    }
    runBulk(std::move(numbers), m_lastText, m_lastOptions);
}

bool SendController::confirmRun(std::vector<std::string>& numbers, const std::u16string& text,
                                const sms::EncodeOptions& options, ListCheck own) {
    RunQuestion q = planRunQuestion(int(numbers.size()), QString::fromStdU16String(text),
                                    options.TurkishTables, m_form.edtSure->value());
    // Each check's choices follow one another in the box; each gets its own back.
    std::vector<ListCheck> checks;
    if (m_checkList) {
        checks.push_back(m_checkList(numbers));
    }
    checks.push_back(std::move(own));
    for (const ListCheck& c : checks) {
        q.notes.insert(q.notes.end(), c.notes.begin(), c.notes.end());
        q.choices.insert(q.choices.end(), c.choices.begin(), c.choices.end());
    }
    const Asker::Icon icon =
        q.placeholder || !q.notes.empty() ? Asker::Icon::Warning : Asker::Icon::Information;
    if (!m_form.asker().askWithChoices(&m_form, QStringLiteral("Toplu Sms Gönderme"), q.text(),
                                       icon, q.choices)) {
        return false;
    }
    size_t first = 0;
    for (const ListCheck& c : checks) {
        const std::vector<Asker::Choice> answered(
            q.choices.begin() + std::ptrdiff_t(first),
            q.choices.begin() + std::ptrdiff_t(first + c.choices.size()));
        first += c.choices.size();
        if (c.apply) {
            c.apply(answered, numbers);
        }
    }
    return true;
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
    closeIfAsked();
}

bool SendController::mayClose() {
    if (!m_sending) {
        return true;
    }
    if (m_closeWhenDone) {
        return false;  // asked already; the window closes when the send is over
    }
    if (running()) {
        const QString question =
            QStringLiteral(
                "Toplu gönderim sürüyor (%1 / %2 kişi). Kapatırsanız gönderim, "
                "yoldaki mesajın sonucu alındıktan sonra durur ve program kapanır. "
                "Kapatılsın mı?")
                .arg(m_sent + m_failed + m_unanswered)
                .arg(m_total);
        if (!m_form.asker().askYesNo(&m_form, QStringLiteral("Uyarı"), question,
                                     Asker::Icon::Warning)) {
            return false;
        }
        stop();
    }
    // A single send, or the message in flight of a run: its outcome is waited for, so
    // that no close leaves unknown what a wait would have told.
    m_closeWhenDone = true;
    m_form.setStatusPanel(1,
                          QStringLiteral("Mesajın sonucu bekleniyor; program ardından kapanacak"));
    return false;
}

void SendController::closeIfAsked() {
    if (!m_closeWhenDone) {
        return;
    }
    // From the event loop, once the click that ran the send has returned.
    QMetaObject::invokeMethod(
        &m_form,
        [this] {
            m_closeWhenDone = false;
            m_form.close();
        },
        Qt::QueuedConnection);
}

void SendController::setSendingControlsEnabled(bool enabled) {
    m_form.cxGroupBox3->setEnabled(enabled);
    m_form.Button1->setEnabled(enabled);
    m_form.btnSMS->setEnabled(enabled);
    // The panel's buttons come back as the last run left them, also after a single send.
    m_panel->setLocked(!enabled);
}

void SendController::runStarted(int total) {
    m_total = total;
    m_unreached.clear();
    m_unknown.clear();
    m_sent = m_failed = m_unanswered = 0;
    m_runStart = std::chrono::steady_clock::now();
    // The file's name is known when the run ends; until then its folder is shown.
    const std::filesystem::path folder = m_form.listFile().parent_path() / "gonderimler";
    m_panel->start(total, QString::fromStdString(folder.string()));
}

void SendController::recipientStarted(int position, const std::string& number) {
    m_form.Edit1->setText(fromCodePage(number));
    m_panel->showPosition(position + 1, m_total);
}

void SendController::recipientFinished(const sms::RecipientResult& r) {
    const sms::SendOutcome& o = r.outcome;
    const bool sent = o.status == sms::SendStatus::Sent;
    bool served = true;
    QString outcome;
    switch (o.status) {
        case sms::SendStatus::Sent:
            outcome = QStringLiteral("gönderildi");
            ++m_sent;
            break;
        case sms::SendStatus::Failed:
            outcome = QStringLiteral("başarısız");
            ++m_failed;
            m_unreached.push_back(r.number);
            break;
        case sms::SendStatus::Unknown:
            outcome = QStringLiteral("belirsiz");
            ++m_unanswered;
            m_unknown.push_back(r.number);
            break;
        case sms::SendStatus::NotSent:
            outcome = QStringLiteral("gönderilmedi");
            served = false;
            m_unreached.push_back(r.number);
            break;
        case sms::SendStatus::Skipped:
            outcome = QStringLiteral("atlandı");
            served = false;
            break;
    }
    const QString time = fromCodePage(r.time).section(QLatin1Char('T'), 1);
    const QString detail = sent ? QStringLiteral("ref ") + fromCodePage(o.referencesText())
                                : fromCodePage(o.errorText());
    m_panel->addResult(fromCodePage(r.number), time, outcome, detail, sent, served);
    showTally();
}

void SendController::showTally() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_runStart);
    m_panel->showTally(m_sent, m_failed, m_unanswered, m_sent + m_failed + m_unanswered,
                       elapsed.count());
}

void SendController::runFinished(const sms::BulkSummary& summary) {
    m_lastSummary = summary;
    m_panel->showPosition(m_sent + m_failed + m_unanswered, m_total);
    if (!summary.resultsFile.empty()) {
        m_panel->setResultsFile(QString::fromStdString(summary.resultsFile.string()));
    }
    m_panel->finish(int(m_unreached.size() + m_unknown.size()));
}

}  // namespace app
