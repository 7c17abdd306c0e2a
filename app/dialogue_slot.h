#pragma once
// The window's own phone as one phone of a campaign over several: its submissions run on
// the user-interface thread through the window's sender, one posted message each, so a
// submission never runs inside the run's hand-out and its outcome comes back as any
// other phone's does.

#include <optional>
#include <string>

#include "platform/message_queue.h"
#include "sms/phone_slot.h"

class QTableWidget;

namespace phone {
class PhoneDialogue;
}

namespace serial {
class TComPort;
}

namespace app {

// The IMEI among the information rows of the connection tab; empty when none.
std::string imeiOfInfoRows(const QTableWidget& info);

class DialogueSlot : public sms::PhoneSlot {
public:
    // `queue` is the user-interface thread's; everything here runs on that thread.
    DialogueSlot(phone::PhoneDialogue& dialogue, sms::SmsSender& sender,
                 const serial::TComPort& port, const QTableWidget& info,
                 platform::MessageQueue& queue);
    // A submission not yet begun is dropped: its `done` never runs.
    ~DialogueSlot() override;
    DialogueSlot(const DialogueSlot&) = delete;
    DialogueSlot& operator=(const DialogueSlot&) = delete;

    sms::PhoneIdentity identity() const override;
    bool available() const override;
    void submit(const std::string& number, const std::u16string& text,
                const sms::EncodeOptions& options, Done done) override;

private:
    intptr_t onSubmit(const platform::Message& message);

    struct Pending {
        std::string number;
        std::u16string text;
        sms::EncodeOptions options;
        Done done;
    };

    phone::PhoneDialogue& m_dialogue;
    sms::SmsSender& m_sender;
    const serial::TComPort& m_port;
    const QTableWidget& m_info;
    platform::MessageQueue& m_queue;
    platform::HandlerId m_handler = platform::kNoHandler;
    std::optional<Pending> m_pending;  // handed over, its message not yet run
    bool m_busy = false;               // from submit() until `done` has been called
};

}  // namespace app
