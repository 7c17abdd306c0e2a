#pragma once
// One phone of a campaign that several phones serve: the run hands it one recipient at a
// time and hears back, on the run's own thread, once the phone has answered. A phone on
// the run's thread and a phone on a thread of its own look the same to the run.

#include <functional>
#include <string>

#include "sms/sms_sender.h"

namespace sms {

struct PhoneIdentity {
    std::string imei;  // as AT+CGSN gave it; empty when the phone did not say
    std::string port;  // as the user named it ("Com6")
};

class PhoneSlot {
public:
    using Done = std::function<void(const SendOutcome& outcome)>;

    virtual ~PhoneSlot() = default;

    virtual PhoneIdentity identity() const = 0;
    // Connected and not busy with a message: it may be handed a recipient.
    virtual bool available() const = 0;
    // Submits one message to `number` (Windows-1254, as listed). `done` runs later on
    // the thread of the queue the slot reports to (given when it was made), never inside
    // this call; until it has run the slot is not available.
    virtual void submit(const std::string& number, const std::u16string& text,
                        const EncodeOptions& options, Done done) = 0;
};

}  // namespace sms
