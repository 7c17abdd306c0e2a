#pragma once
// The window's side of sending: the single send button ("Sms Gönder", Tag 16) and the
// bulk tab's send button (Button1) reach SendSms and the bulk run through the window's
// hooks. Every bulk run is a campaign of the program's database: it can be resumed when
// it was cut short, its failures sent again, and it is shown on the bulk tab from there.

#include <QString>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/campaign_database.h"
#include "app/hook_wrap.h"
#include "app/run_question.h"
#include "platform/message_queue.h"
#include "sms/bulk_run.h"
#include "sms/phone_pool.h"
#include "sms/sms_sender.h"

class QPushButton;

namespace phone {
class PhoneDialogue;
}

namespace app {

class BulkProgressPanel;
class CampaignHistoryDialog;
class CampaignResultsModel;
class PhoneController;
class TMainForm;

class SendController : public sms::BulkView {
public:
    // A check of the list before a run adds its lines and choices to the question; after a
    // Yes, `apply` gets the answered choices and may leave numbers out of the run.
    struct ListCheck {
        std::vector<QString> notes;
        std::vector<Asker::Choice> choices;
        std::function<void(const std::vector<Asker::Choice>& answered,
                           std::vector<std::string>& numbers)>
            apply;
    };
    using CheckList = std::function<ListCheck(const std::vector<std::string>& numbers)>;

    // `databaseFile`: where the campaigns are kept; empty: toplusms.db beside the list.
    SendController(TMainForm& form, PhoneController& phone, platform::MessageQueue& queue,
                   sms::SendLimits limits = {}, std::filesystem::path databaseFile = {});
    ~SendController() override;
    SendController(const SendController&) = delete;
    SendController& operator=(const SendController&) = delete;

    // btnSMS: the text of Memo2 to the number in Edit1.
    sms::SendOutcome SendSms(const QString& text);
    // Button1: the text of Memo3 to every entry of the list as it is now, as a new campaign.
    void Button1Click();
    // "Yarım kalan gönderimi sürdür": the latest campaign with recipients still waiting.
    void resumeClick();
    // "Başarısızları Tekrar Gönder": a new campaign over the failed rows of `campaign`,
    // the unknown ones only when the user asks for them.
    void resendFailed(std::int64_t campaign);
    // "Gönderim Geçmişi".
    void historyClick();
    // Delivery reports changed recipients in the database: the running campaign's table
    // and an open history read them again.
    void deliveryChanged();
    // "Durdur".
    void stop();
    bool running() const { return m_run.running() || (m_pool && m_pool->running()); }
    // Further phones beside the window's own: those connected now serve a campaign with
    // it, each keeping the pause and its own daily limit.
    std::function<std::vector<sms::PhoneSlot*>()> extraPhones;
    // A phone's "Günlük sınır" (0: none), the window's own included; unset: none.
    std::function<int(const sms::PhoneIdentity& phone)> dailyLimit;
    // An extra phone has connected (again): during a run it takes rows (again).
    void phoneJoins(sms::PhoneSlot& phone);
    // An extra phone is about to be destroyed: a run lets go of it first.
    void phoneGoes(sms::PhoneSlot& phone);
    // A daily limit was changed: a run keeps the new one from that phone's next message
    // on, and one waiting for the next day looks again at once.
    void limitsChanged();
    // The check the run's question asks; empty: the numbers' kinds (invalid, not mobile,
    // with a choice to leave them out) and how many are on the opt-out list.
    void setListCheck(CheckList check) { m_checkList = std::move(check); }

    BulkProgressPanel& panel() { return *m_panel; }
    CampaignDatabase& database() { return m_db; }
    const sms::BulkSummary& lastSummary() const { return m_lastSummary; }
    // The campaign the bulk tab shows; 0 before the first run.
    std::int64_t shownCampaign() const { return m_campaign; }
    QPushButton* resumeButton = nullptr;   // "Yarım kalan gönderimi sürdür (N kişi kaldı)"
    QPushButton* historyButton = nullptr;  // "Gönderim Geçmişi"
    // Chooses where "CSV olarak kaydet" writes; empty: cancelled. Null: a file dialog.
    std::function<QString(QWidget* parent, const QString& suggested)> chooseCsvFile;

    void runStarted(int total) override;
    void recipientStarted(int position, const std::string& number) override;
    void recipientFinished(const sms::RecipientResult& result) override;
    void runFinished(const sms::BulkSummary& summary) override;
    void runPaused(const std::string& reason) override;
    void runGoesOn() override;

private:
    struct Sending;

    // Runs a send click now, or after the command that holds the line.
    void whenLineFree(std::function<void()> send);
    // What a send encodes with: the window's "Türkçe karakterleri 7 bit gönder" and "Teslim
    // raporu iste".
    sms::EncodeOptions encodeOptions() const;
    // Why `number` must not be texted (Windows-1254): on the opt-out list, or the list
    // cannot be read; empty when it may be.
    std::string optOutReason(const std::string& number);
    // The question's default check of the list before a run.
    ListCheck numberCheck(const std::vector<std::string>& numbers);
    // Asks before a run of `text` to `count` people; false on No. After a Yes each check's
    // apply gets its own choices back, and `numbers`, which it may shorten.
    bool confirmRun(int count, const std::u16string& text, bool turkishTables, int pauseSeconds,
                    std::vector<ListCheck> checks, std::vector<std::string>& numbers);
    // Nothing is sent without a phone: said before a campaign is made for nothing.
    bool phoneReady();
    // Serves the campaign's waiting rows as this program's run of the database.
    void runCampaign(std::int64_t campaign, const store::SenderLock& lock);
    // The same over the window's phone and `extras`.
    sms::BulkSummary runOverPhones(const sms::BulkRequest& request, sms::CampaignRecorder& recorder,
                                   const std::vector<sms::PhoneSlot*>& extras);
    // The resume button and its count, from the database.
    void refreshResume();
    // After connecting: the status bar names a campaign left unfinished.
    void connected();
    // The window is asked to close: during a run, asks, and on Yes stops the run and
    // closes the window once the message in flight has its outcome.
    bool mayClose();
    // Closes the window after a send that a close request waited for.
    void closeIfAsked();
    // The list, the imports and both send buttons, off during a send.
    void setSendingControlsEnabled(bool enabled);
    void showTally();
    void tellStoreError(const std::exception& e);

    TMainForm& m_form;
    PhoneController& m_phone;
    phone::PhoneDialogue& m_dialogue;
    sms::SmsSender m_sender;
    sms::BulkRun m_run;
    platform::MessageQueue& m_queue;
    sms::PhonePool* m_pool = nullptr;     // while a run over several phones goes
    sms::PhoneSlot* m_ownSlot = nullptr;  // the window's phone in that run
    CampaignDatabase m_db;
    BulkProgressPanel* m_panel = nullptr;             // owned by the bulk tab
    std::unique_ptr<CampaignResultsModel> m_results;  // the shown campaign's rows
    std::int64_t m_campaign = 0;
    CampaignHistoryDialog* m_history = nullptr;  // while "Gönderim Geçmişi" is open
    int m_waiting = 0;  // rows still waiting in the latest unfinished campaign
    int m_total = 0;
    sms::BulkSummary m_lastSummary;
    CheckList m_checkList;
    // The run so far: its counts and when it started, for the time left.
    int m_sent = 0;
    int m_failed = 0;
    int m_unanswered = 0;
    std::chrono::steady_clock::time_point m_runStart;
    bool m_closeWhenDone = false;  // a close waits for the send in progress
    bool m_sending = false;
    bool m_clickWaiting = false;  // a send click waits for the line
    HookWrap m_closing;
};

}  // namespace app
