#pragma once
// Reception for a phone on a thread of its own (PhoneWorker): its MessageReceiver is made
// and used on the phone's thread, set up after each connect and polled on its refresh
// tick. The database belongs to the owning thread, so the receiver's keeper hands each
// PDU over there and returns only once it is committed (or could not be): the phone
// acknowledges or deletes a PDU only after that, as with the window's own phone. The
// phone's IMEI goes with each PDU, so that a report pairs with a part this phone sent
// (two phones' references overlap).
//
// Made, used and destroyed on the owning thread, before the worker ends.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "phone/message_receiver.h"

namespace sms {

class PhoneWorker;

class PhoneReception {
public:
    // How long a hand-over waits for the owning thread to take it up; a PDU not taken up
    // stays in the phone (or is routed again) and is read later.
    static constexpr int kHandOverLimitMs = 10000;

    // `keeper` is used on the owning thread only and must outlive this. `phoneIs` (may be
    // empty) is told there, before each PDU is kept, the IMEI of the phone it came from
    // (empty when the phone gave none).
    PhoneReception(PhoneWorker& worker, phone::ReceivedKeeper& keeper,
                   std::function<void(const std::string& imei)> phoneIs = {});
    // The receiver goes on the phone's thread; a hand-over on its way finds no keeper and
    // leaves its PDU in the phone.
    ~PhoneReception();
    PhoneReception(const PhoneReception&) = delete;
    PhoneReception& operator=(const PhoneReception&) = delete;

    // Asks the phone's thread whether its receiver has nothing waiting (keeping,
    // acknowledging, deleting); the answer comes with idle() once the thread has had its
    // turn: unset until then.
    void askIdle();
    std::optional<bool> idle() const;

    // Told on the owning thread, with the reason (Windows-1254), when a PDU could not be
    // kept.
    std::function<void(const std::string& reason)> onKeepFailed;

private:
    struct Owner;
    struct Side;

    PhoneWorker& m_worker;
    std::shared_ptr<Owner> m_owner;  // the owning thread's side, shared with the hand-overs
    std::shared_ptr<Side> m_side;    // the phone thread's side; touched on that thread only
};

}  // namespace sms
