#pragma once
// The window's side of sending: the single send button ("Sms Gönder", Tag 16) and the
// bulk tab's send button (Button1) reach SendSms and the bulk run through the window's
// hooks, and the bulk run shows itself on the bulk tab.

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/hook_wrap.h"
#include "app/run_question.h"
#include "sms/bulk_run.h"
#include "sms/dialogue_line.h"
#include "sms/sms_sender.h"

namespace phone {
class PhoneDialogue;
}

namespace platform {
class MessageQueue;
}

namespace app {

class BulkProgressPanel;
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

    SendController(TMainForm& form, PhoneController& phone, platform::MessageQueue& queue,
                   sms::SendLimits limits = {});
    ~SendController() override;
    SendController(const SendController&) = delete;
    SendController& operator=(const SendController&) = delete;

    // btnSMS: the text of Memo2 to the number in Edit1.
    sms::SendOutcome SendSms(const QString& text);
    // Button1: the text of Memo3 to every entry of the list as it is now.
    void Button1Click();
    // "Başarısızları Tekrar Gönder": the last run's message again to those it did not reach.
    void resendFailed();
    // "Durdur".
    void stop() { m_run.stop(); }
    bool running() const { return m_run.running(); }
    // The check the run's question asks (the numbers' validity); empty: none.
    void setListCheck(CheckList check) { m_checkList = std::move(check); }
    BulkProgressPanel& panel() { return *m_panel; }
    const sms::BulkSummary& lastSummary() const { return m_lastSummary; }

    void runStarted(int total) override;
    void recipientStarted(int position, const std::string& number) override;
    void recipientFinished(const sms::RecipientResult& result) override;
    void runFinished(const sms::BulkSummary& summary) override;

private:
    struct Sending;

    // Runs a send click now, or after the command that holds the line.
    void whenLineFree(std::function<void()> send);
    // What a send encodes with: the window's "Türkçe karakterleri 7 bit gönder".
    sms::EncodeOptions encodeOptions() const;

    // Asks before a run of `text` to `numbers`; false on No. The list check may shorten
    // `numbers`.
    bool confirmRun(std::vector<std::string>& numbers, const std::u16string& text,
                    const sms::EncodeOptions& options, ListCheck own = {});
    void runBulk(std::vector<std::string> numbers, std::u16string text,
                 const sms::EncodeOptions& options);
    // The window is asked to close: during a run, asks, and on Yes stops the run and
    // closes the window once the message in flight has its outcome.
    bool mayClose();
    // Closes the window after a send that a close request waited for.
    void closeIfAsked();
    void showTally();
    // The list, the imports and both send buttons, off during a send.
    void setSendingControlsEnabled(bool enabled);

    TMainForm& m_form;
    phone::PhoneDialogue& m_dialogue;
    sms::DialogueLine m_line;
    sms::SmsSender m_sender;
    sms::BulkRun m_run;
    BulkProgressPanel* m_panel = nullptr;  // owned by the bulk tab
    int m_total = 0;
    // The last run: its message and those it did not reach, for the resend.
    std::u16string m_lastText;
    sms::EncodeOptions m_lastOptions;
    std::vector<std::string> m_unreached;
    std::vector<std::string> m_unknown;  // no answer came: they may have been delivered
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
