#include "app/send_controller.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QUrl>

#include "app/bulk_progress_panel.h"
#include "app/campaign_history_dialog.h"
#include "app/campaign_models.h"
#include "app/code_page_text.h"
#include "app/dialogue_slot.h"
#include "app/error_handler.h"
#include "app/main_window.h"
#include "app/phone_controller.h"
#include "recipients/number_check.h"
#include "sms/send_texts.h"
#include "store/database_recorder.h"
#include "store/optout_list.h"

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
                               platform::MessageQueue& queue, sms::SendLimits limits,
                               std::filesystem::path databaseFile)
    : m_form(form),
      m_phone(phone),
      m_dialogue(phone.dialogue()),
      m_sender(phone.dialogue(), phone, limits),
      m_run(m_sender, *this, sms::queuePause(queue)),
      m_queue(queue),
      m_db(form, std::move(databaseFile)),
      // A window that closes all the same (its run stopped by now): the run ends after
      // the message in flight, then the port closes as before.
      m_closing(form.hooks().closing, [this](const HookWrap::Hook& inner) {
          stop();
          HookWrap::callInner(inner);
      }) {
    m_panel = new BulkProgressPanel(form.cxTabSheet3);
    m_panel->setGeometry(form.cxGroupBox3->geometry());
    m_panel->hide();
    QObject::connect(m_panel->stopButton, &QPushButton::clicked, m_panel, [this] { stop(); });
    QObject::connect(m_panel->resendButton, &QPushButton::clicked, m_panel,
                     [this] { whenLineFree([this] { resendFailed(m_campaign); }); });
    QObject::connect(m_panel->closeButton, &QPushButton::clicked, m_panel,
                     [this] { m_panel->hide(); });
    m_panel->openFolder = [this](const QString& folder) {
        m_form.openUrl(QUrl::fromLocalFile(folder));
    };

    // Under the text's counter, where the next send is started.
    QWidget* messages = form.cxGroupBox4;
    form.Memo3->resize(form.Memo3->width(), form.Memo3->height() - 36);
    form.Label20->move(form.Label20->x(), form.Memo3->geometry().bottom() + 5);
    resumeButton = new QPushButton(messages);
    resumeButton->setGeometry(form.Memo3->x(), form.Label20->y() + 20, form.Memo3->width(), 28);
    resumeButton->hide();
    QObject::connect(resumeButton, &QPushButton::clicked, resumeButton,
                     [this] { whenLineFree([this] { resumeClick(); }); });
    // Under the imports.
    historyButton = new QPushButton(QStringLiteral("Gönderim Geçmişi"), form.cxGroupBox3);
    historyButton->setGeometry(form.Button5->x(), form.btnSM->geometry().bottom() + 9,
                               form.Button5->width(), form.Button5->height());
    historyButton->setCursor(Qt::PointingHandCursor);
    historyButton->show();
    QObject::connect(historyButton, &QPushButton::clicked, historyButton,
                     [this] { m_form.guarded([this] { historyClick(); }); });

    MainFormHooks& hooks = form.hooks();
    hooks.sendSms = [this](const QString& text) { whenLineFree([this, text] { SendSms(text); }); };
    hooks.bulkSendClicked = [this] { whenLineFree([this] { Button1Click(); }); };
    hooks.mayClose = [this] { return mayClose(); };
    phone.onConnected = [this] { connected(); };

    refreshResume();
}

SendController::~SendController() {
    MainFormHooks& hooks = m_form.hooks();
    hooks.sendSms = nullptr;
    hooks.bulkSendClicked = nullptr;
    hooks.mayClose = nullptr;
    m_phone.onConnected = nullptr;
    // What this made on the bulk tab calls back into it.
    delete historyButton;
    delete resumeButton;
    delete m_panel;
}

sms::SendOutcome SendController::SendSms(const QString& text) {
    if (m_sending) {
        return {};
    }
    const std::string number = toCodePage(m_form.Edit1->text());
    if (const std::string skip = optOutReason(number); !skip.empty()) {
        sms::SendOutcome skipped;
        skipped.status = sms::SendStatus::Skipped;
        skipped.error = skip;
        m_form.setStatusPanel(1, QStringLiteral("Atlandı: ") + fromCodePage(skip));
        return skipped;
    }
    sms::SendOutcome outcome;
    {
        Sending sending(*this);
        outcome = m_sender.SendSms(number, text.toStdU16String(), encodeOptions());
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

std::string SendController::optOutReason(const std::string& number) {
    store::Database* db = m_db.database();
    if (db == nullptr) {
        return {};  // no database: no list to honour (the user has been told why)
    }
    try {
        store::OptOutList list(*db);
        return list.contains(number) ? store::optedOutReason() : std::string();
    } catch (const store::StoreError& e) {
        // Not texted unchecked: a customer who refused must not get it by a fault of ours.
        return toCodePage(QStringLiteral("Ret listesi okunamadı: ")) + e.what();
    }
}

SendController::ListCheck SendController::numberCheck(const std::vector<std::string>& numbers) {
    ListCheck check;
    const recipients::NumberCheck kinds = recipients::checkNumbers(numbers);
    if (const std::string found = recipients::describeNotMobile(kinds); !found.empty()) {
        check.notes.push_back(QString::fromStdString(found) + QLatin1Char('.'));
        check.choices.push_back(
            {QStringLiteral("Geçersiz ve mobil olmayan numaraları çıkar"), false});
        check.apply = [kinds](const std::vector<Asker::Choice>& answered,
                              std::vector<std::string>& list) {
            if (answered.front().checked) {
                list = recipients::mobileOnly(list, kinds);
            }
        };
    }
    if (store::Database* db = m_db.database()) {
        try {
            store::OptOutList optOuts(*db);
            if (const int listed = optOuts.listedAmong(numbers); listed > 0) {
                check.notes.push_back(
                    QStringLiteral("%1 kişi ret listesinde: onlara gönderilmeyecek (atlandı).")
                        .arg(listed));
            }
        } catch (const store::StoreError&) {
            // The run itself skips every number it cannot check, and says why.
        }
    }
    return check;
}

sms::EncodeOptions SendController::encodeOptions() const {
    sms::EncodeOptions options;
    options.TurkishTables = m_form.turkishSevenBit();
    options.StatusReport = m_form.deliveryReportsRequested();
    return options;
}

bool SendController::phoneReady() {
    // An extra phone alone may serve a campaign.
    if (m_dialogue.connected() || (extraPhones && !extraPhones().empty())) {
        return true;
    }
    m_form.setStatusPanel(1, fromCodePage(sms::texts::notConnected()));
    return false;
}

void SendController::tellStoreError(const std::exception& e) {
    m_form.asker().tell(&m_form, QStringLiteral("Veritabanı"),
                        QStringLiteral("Gönderim kaydedilemedi: %1").arg(exceptionText(e)),
                        Asker::Icon::Error);
}

void SendController::Button1Click() {
    recipients::RecipientList& list = m_form.recipientList();
    std::vector<std::string> numbers;
    numbers.reserve(size_t(list.count()));
    for (int i = 0; i < list.count(); ++i) {
        numbers.push_back(list.entry(i));
    }
    if (m_sending || numbers.empty()) {
        return;
    }
    const std::u16string text = memoText(m_form.Memo3).toStdU16String();
    if (text.empty()) {
        m_form.setStatusPanel(1, fromCodePage(sms::texts::emptyText()));
        return;
    }
    store::CampaignStore* campaigns = m_db.campaigns();
    if (campaigns == nullptr || !phoneReady()) {
        return;
    }
    const sms::EncodeOptions options = encodeOptions();
    const int pause = m_form.edtSure->value();
    std::vector<ListCheck> checks;
    checks.push_back(m_checkList ? m_checkList(numbers) : numberCheck(numbers));
    if (const auto unfinished = campaigns->latestUnfinished()) {
        // A new run does not serve the old one's waiting rows: say so before both go out.
        ListCheck note;
        note.notes.push_back(
            QStringLiteral("Not: Gönderim %1 yarım kaldı (%2 kişi kaldı); bu yeni bir gönderimdir. "
                           "Yarım kalanı sürdürmek isterseniz Hayır deyip \"Yarım kalan "
                           "gönderimi sürdür\" düğmesini kullanın.")
                .arg(unfinished->id)
                .arg(unfinished->counts.of(store::RecipientState::Queued)));
        checks.push_back(std::move(note));
    }
    if (!confirmRun(int(numbers.size()), text, options.TurkishTables, pause, std::move(checks),
                    numbers)) {
        return;
    }
    if (numbers.empty()) {
        m_form.setStatusPanel(1, QStringLiteral("Gönderilecek numara kalmadı"));
        return;
    }
    const std::unique_ptr<store::SenderLock> lock = m_db.takeSenderLock();
    if (!lock) {
        return;
    }
    store::NewCampaign campaign;
    campaign.text = text;
    campaign.options.turkishTables = options.TurkishTables;
    campaign.options.pauseSeconds = pause;
    campaign.options.reportsRequested = options.StatusReport;
    campaign.entries = std::move(numbers);
    std::int64_t id = 0;
    try {
        id = campaigns->create(campaign);
    } catch (const store::StoreError& e) {
        tellStoreError(e);
        return;
    }
    runCampaign(id, *lock);
}

void SendController::resumeClick() {
    store::CampaignStore* campaigns = m_db.campaigns();
    if (m_sending || campaigns == nullptr || !phoneReady()) {
        return;
    }
    // The lock first: it settles rows a killed sender left on their way.
    const std::unique_ptr<store::SenderLock> lock = m_db.takeSenderLock();
    if (!lock) {
        return;
    }
    const std::optional<store::CampaignSummary> c = campaigns->latestUnfinished();
    if (!c) {
        refreshResume();
        return;
    }
    std::vector<std::string> none;
    if (!confirmRun(c->counts.of(store::RecipientState::Queued), c->text, c->options.turkishTables,
                    c->options.pauseSeconds, {}, none)) {
        return;
    }
    runCampaign(c->id, *lock);
}

void SendController::resendFailed(std::int64_t campaign) {
    store::CampaignStore* campaigns = m_db.campaigns();
    if (m_sending || campaigns == nullptr || campaign == 0 || !phoneReady()) {
        return;
    }
    const std::optional<store::CampaignSummary> c = campaigns->campaign(campaign);
    if (!c) {
        return;
    }
    const int failed = c->counts.of(store::RecipientState::Failed);
    const int unknown = c->counts.of(store::RecipientState::Unknown);
    bool includeUnknown = false;
    std::vector<ListCheck> checks;
    if (unknown > 0) {
        // Their message may well have arrived: they are offered, never taken unasked.
        ListCheck offer;
        offer.notes.push_back(
            QStringLiteral("%1 kişinin mesajına yanıt gelmedi (belirsiz): ağ onları iletmiş "
                           "olabilir, tekrar gönderilirse iki kez alabilirler. İşaretlerseniz "
                           "onlar da eklenir.")
                .arg(unknown));
        offer.choices.push_back({QStringLiteral("Belirsizleri de gönder"), false});
        offer.apply = [&includeUnknown](const std::vector<Asker::Choice>& answered,
                                        std::vector<std::string>&) {
            includeUnknown = answered.front().checked;
        };
        checks.push_back(std::move(offer));
    }
    std::vector<std::string> none;
    if (failed + unknown == 0 || !confirmRun(failed, c->text, c->options.turkishTables,
                                             c->options.pauseSeconds, std::move(checks), none)) {
        return;
    }
    if (failed == 0 && !includeUnknown) {
        m_form.setStatusPanel(1, QStringLiteral("Tekrar gönderilecek kimse seçilmedi"));
        return;
    }
    const std::unique_ptr<store::SenderLock> lock = m_db.takeSenderLock();
    if (!lock) {
        return;
    }
    std::int64_t id = 0;
    try {
        id = campaigns->createResend(campaign, includeUnknown);
    } catch (const store::StoreError& e) {
        tellStoreError(e);
        return;
    }
    if (id != 0) {
        runCampaign(id, *lock);
    }
}

bool SendController::confirmRun(int count, const std::u16string& text, bool turkishTables,
                                int pauseSeconds, std::vector<ListCheck> checks,
                                std::vector<std::string>& numbers) {
    RunQuestion q =
        planRunQuestion(count, QString::fromStdU16String(text), turkishTables, pauseSeconds);
    for (const ListCheck& c : checks) {
        q.notes.insert(q.notes.end(), c.notes.begin(), c.notes.end());
        q.choices.insert(q.choices.end(), c.choices.begin(), c.choices.end());
    }
    const Asker::Icon icon =
        q.placeholder || !q.notes.empty() ? Asker::Icon::Warning : Asker::Icon::Information;
    // Several phones share the numbers, each with its own pause: worth a line, no warning.
    const int phones =
        (m_dialogue.connected() ? 1 : 0) + int(extraPhones ? extraPhones().size() : 0);
    if (phones > 1) {
        q.seconds = (q.seconds + phones - 1) / phones;
        q.notes.push_back(QStringLiteral("%1 telefon ile gönderilecek").arg(phones));
    }
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

void SendController::runCampaign(std::int64_t campaign, const store::SenderLock& lock) {
    store::CampaignStore* campaigns = m_db.campaigns();
    std::optional<store::CampaignSummary> summary;
    try {
        summary = campaigns->campaign(campaign);
    } catch (const store::StoreError& e) {
        tellStoreError(e);
        return;
    }
    if (!summary) {
        return;
    }
    sms::BulkRequest request = store::bulkRequestFor(*summary);
    request.resultsFolder = m_form.listFile().parent_path() / "gonderimler";
    // Asked before every message, so a "RET" that comes in during the run is honoured.
    std::unique_ptr<store::OptOutList> optOuts;
    try {
        optOuts = std::make_unique<store::OptOutList>(*m_db.database());
    } catch (const store::StoreError& e) {
        tellStoreError(e);
        return;
    }
    request.skipReason = optOuts->skipCheck();
    store::DatabaseRecorder recorder(*m_db.database(), lock, campaign);
    recorder.setPhone(m_phone.imei(), toCodePage(m_form.ComboBox1->currentText()));
    // The bulk tab shows this campaign until the user leaves it.
    if (!m_results) {
        m_results = std::make_unique<CampaignResultsModel>(*campaigns);
        m_panel->results->setModel(m_results.get());
        m_panel->sizeColumns();
    }
    m_campaign = campaign;
    m_results->setCampaign(campaign);
    {
        Sending sending(*this);
        const std::vector<sms::PhoneSlot*> extras =
            extraPhones ? extraPhones() : std::vector<sms::PhoneSlot*>();
        m_lastSummary = extras.empty() ? m_run.run(request, recorder)
                                       : runOverPhones(request, recorder, extras);
    }
    refreshResume();
    if (!m_lastSummary.recordError.empty() && !m_closeWhenDone) {
        // A full disk or a file gone read-only: worth more than a line in the status bar.
        m_form.asker().tell(&m_form, QStringLiteral("Veritabanı"),
                            QStringLiteral("Gönderim durdu: %1\nKaydedilemeyen hiçbir mesaj "
                                           "gönderilmedi; sorun giderilince gönderim "
                                           "sürdürülebilir.")
                                .arg(fromCodePage(m_lastSummary.recordError)),
                            Asker::Icon::Error);
    }
    closeIfAsked();
}

void SendController::stop() {
    m_run.stop();
    if (m_pool) {
        m_pool->stop();
    }
}

sms::BulkSummary SendController::runOverPhones(const sms::BulkRequest& request,
                                               sms::CampaignRecorder& recorder,
                                               const std::vector<sms::PhoneSlot*>& extras) {
    sms::PhonePool pool(*this, sms::queueClock(m_queue));
    DialogueSlot own(m_dialogue, m_sender, *m_form.PhoneComPort, *m_form.Info, m_queue);
    // The window's phone joins when it is ready to send; the others serve all the same.
    if (m_sender.prepareRun().empty()) {
        pool.addSlot(own);
    }
    for (sms::PhoneSlot* slot : extras) {
        pool.addSlot(*slot);
    }
    m_pool = &pool;
    limitsChanged();
    m_ownSlot = &own;
    struct Clear {
        SendController& c;
        ~Clear() {
            c.m_pool = nullptr;
            c.m_ownSlot = nullptr;
        }
    } clear{*this};
    return pool.run(request, recorder);
}

void SendController::phoneJoins(sms::PhoneSlot& phone) {
    if (m_pool) {
        m_pool->addSlot(phone);
    }
}

void SendController::phoneGoes(sms::PhoneSlot& phone) {
    if (m_pool) {
        m_pool->removeSlot(phone);
    }
}

void SendController::limitsChanged() {
    if (m_pool) {
        // Asked afresh for each phone as it is handed a row; set again to wake a run that
        // waits for the next day.
        m_pool->setDailyLimits(dailyLimit);
    }
}

void SendController::historyClick() {
    store::CampaignStore* campaigns = m_db.campaigns();
    if (campaigns == nullptr) {
        return;
    }
    CampaignHistoryDialog dialog(*campaigns, &m_form);
    dialog.tell = [this](const QString& text, bool error) {
        m_form.asker().tell(&m_form, QStringLiteral("Gönderim Geçmişi"), text,
                            error ? Asker::Icon::Error : Asker::Icon::Information);
    };
    dialog.chooseCsvFile =
        chooseCsvFile ? chooseCsvFile : [](QWidget* parent, const QString& suggested) {
            return QFileDialog::getSaveFileName(parent, QStringLiteral("CSV olarak kaydet"),
                                                suggested, QStringLiteral("CSV (*.csv)"));
        };
    // Reports that come in while it is open refresh it.
    struct Shown {
        CampaignHistoryDialog*& shown;
        ~Shown() { shown = nullptr; }
    } shown{m_history};
    m_history = &dialog;
    dialog.exec();
    // The resend runs on the bulk tab, where its progress is shown.
    if (const std::int64_t resend = dialog.resendRequested(); resend != 0) {
        whenLineFree([this, resend] { resendFailed(resend); });
    }
}

void SendController::deliveryChanged() {
    if (m_results) {
        m_results->refresh();
    }
    if (m_history != nullptr) {
        m_history->refresh();
    }
}

void SendController::refreshResume() {
    std::optional<store::CampaignSummary> unfinished;
    if (store::CampaignStore* campaigns = m_db.campaigns()) {
        try {
            unfinished = campaigns->latestUnfinished();
        } catch (const store::StoreError&) {
            // Shown as nothing to resume; the next run says what fails.
        }
    }
    m_waiting = unfinished ? unfinished->counts.of(store::RecipientState::Queued) : 0;
    if (unfinished) {
        resumeButton->setText(
            QStringLiteral("Yarım kalan gönderimi sürdür (%1 kişi kaldı)").arg(m_waiting));
    }
    resumeButton->setVisible(unfinished.has_value());
}

void SendController::connected() {
    if (m_pool && m_ownSlot) {
        m_pool->addSlot(*m_ownSlot);  // reconnected during a run: it takes rows again
        return;
    }
    refreshResume();
    if (m_waiting == 0 || m_sending) {
        return;
    }
    m_form.setStatusPanel(1, QStringLiteral("Yarım kalan gönderim var (%1 kişi kaldı): Toplu Sms "
                                            "Gönderme sekmesinden sürdürülebilir")
                                 .arg(m_waiting));
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
                "yoldaki mesajın sonucu alındıktan sonra durur ve program kapanır; "
                "kalanlar daha sonra sürdürülebilir. Kapatılsın mı?")
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
    resumeButton->setEnabled(enabled);
    // The panel's buttons come back as the last run left them, also after a single send.
    m_panel->setLocked(!enabled);
}

void SendController::runStarted(int total) {
    m_total = total;
    m_sent = m_failed = m_unanswered = 0;
    m_runStart = std::chrono::steady_clock::now();
    // The file's name is known when the run ends; until then its folder is shown.
    const std::filesystem::path folder = m_form.listFile().parent_path() / "gonderimler";
    m_panel->start(total, QString::fromStdString(folder.string()));
    m_results->refresh();
}

void SendController::recipientStarted(int position, const std::string& number) {
    m_form.Edit1->setText(fromCodePage(number));
    m_panel->showPosition(m_sent + m_failed + m_unanswered + 1, m_total);
    m_panel->results->scrollTo(m_results->index(position, 0));
}

void SendController::recipientFinished(const sms::RecipientResult& r) {
    switch (r.outcome.status) {
        case sms::SendStatus::Sent:
            ++m_sent;
            break;
        case sms::SendStatus::Failed:
            ++m_failed;
            break;
        case sms::SendStatus::Unknown:
            ++m_unanswered;
            break;
        case sms::SendStatus::NotSent:
        case sms::SendStatus::Skipped:
            break;
    }
    m_panel->setServed(m_sent + m_failed + m_unanswered);
    m_results->refresh(r.position);
    showTally();
}

void SendController::showTally() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_runStart);
    m_panel->showTally(m_sent, m_failed, m_unanswered, m_sent + m_failed + m_unanswered,
                       elapsed.count());
}

void SendController::runPaused(const std::string& reason) {
    m_form.setStatusPanel(1, fromCodePage(reason));
    m_panel->timeLeft->setText(fromCodePage(reason));
}

void SendController::runGoesOn() {
    m_form.setStatusPanel(1, QString());
    showTally();
}

void SendController::runFinished(const sms::BulkSummary& summary) {
    m_panel->showPosition(m_sent + m_failed + m_unanswered, m_total);
    if (!summary.resultsFile.empty()) {
        m_panel->setResultsFile(QString::fromStdString(summary.resultsFile.string()));
    }
    m_results->refresh();
    // The resend serves the whole campaign's failures, also those of its earlier runs.
    int resendable = m_failed + m_unanswered;
    try {
        if (const auto c = m_db.campaigns()->campaign(m_campaign)) {
            resendable = c->counts.of(store::RecipientState::Failed) +
                         c->counts.of(store::RecipientState::Unknown);
        }
    } catch (const store::StoreError&) {
        // This run's own count stands in.
    }
    m_panel->finish(resendable);
}

}  // namespace app
