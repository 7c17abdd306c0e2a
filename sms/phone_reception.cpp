#include "sms/phone_reception.h"

#include <utility>

#include "platform/codepage_1254.h"
#include "sms/phone_worker.h"

namespace sms {

namespace {
enum : int { kAsked = -1, kBusy = 0, kIdle = 1 };
}

// The owning thread's side.
struct PhoneReception::Owner {
    phone::ReceivedKeeper* keeper = nullptr;  // null once the reception has gone
    std::function<void(const std::string&)> phoneIs;
    PhoneReception* reception = nullptr;  // for onKeepFailed; null once gone
    std::atomic<int> idle{kAsked};        // the phone thread's last answer
};

// The phone thread's side: the receiver and the keeper that hands its PDUs over.
struct PhoneReception::Side : phone::ReceivedKeeper {
    Side(PhoneWorker& w, std::shared_ptr<Owner> o) : worker(w), owner(std::move(o)) {}

    bool keepMessage(const std::string& pduHex, int tpduLength, std::string& error) override {
        return handOver(false, pduHex, tpduLength, error);
    }
    bool keepReport(const std::string& pduHex, int tpduLength, std::string& error) override {
        return handOver(true, pduHex, tpduLength, error);
    }

    bool handOver(bool report, const std::string& pduHex, int tpduLength, std::string& error) {
        const std::string imei = worker.state().imei;
        bool kept = false;
        std::string why;
        const bool ran = worker.callOwner(
            [&, o = owner] {
                if (o->keeper == nullptr) {
                    why = platform::cp1254::fromUtf8("Alınan kaydedilemedi: program kapanıyor");
                    return;
                }
                if (o->phoneIs) {
                    o->phoneIs(imei);
                }
                kept = report ? o->keeper->keepReport(pduHex, tpduLength, why)
                              : o->keeper->keepMessage(pduHex, tpduLength, why);
            },
            PhoneReception::kHandOverLimitMs);
        if (!ran) {
            why = platform::cp1254::fromUtf8(
                "Alınan kaydedilemedi: program yanıt vermiyor; telefonda kaldı");
        }
        if (!kept) {
            error = why;
        }
        return kept;
    }

    PhoneWorker& worker;
    const std::shared_ptr<Owner> owner;  // its fields are the owning thread's
    std::unique_ptr<phone::MessageReceiver> receiver;
};

PhoneReception::PhoneReception(PhoneWorker& worker, phone::ReceivedKeeper& keeper,
                               std::function<void(const std::string& imei)> phoneIs)
    : m_worker(worker), m_owner(std::make_shared<Owner>()) {
    m_owner->keeper = &keeper;
    m_owner->phoneIs = std::move(phoneIs);
    m_owner->reception = this;
    m_side = std::make_shared<Side>(worker, m_owner);
    worker.attachLine(
        [side = m_side](phone::PhoneDialogue& dialogue, platform::MessageQueue& queue) {
            side->receiver = std::make_unique<phone::MessageReceiver>(dialogue, queue, *side);
            side->receiver->onKeepFailed = [side](const std::string& reason) {
                side->worker.toOwner([o = side->owner, reason] {
                    if (o->reception != nullptr && o->reception->onKeepFailed) {
                        o->reception->onKeepFailed(reason);
                    }
                });
            };
            PhoneWorker::LineHooks hooks;
            hooks.connected = [side] {
                if (side->receiver) {
                    side->receiver->connected();
                }
            };
            hooks.tick = [side] {
                if (side->receiver) {
                    side->receiver->poll();
                }
            };
            hooks.end = [side] { side->receiver.reset(); };
            return hooks;
        });
}

PhoneReception::~PhoneReception() {
    m_owner->keeper = nullptr;
    m_owner->reception = nullptr;
    // When the worker ends first, its end of the attachment takes the receiver away.
    m_worker.post([side = m_side](phone::PhoneDialogue&) { side->receiver.reset(); });
}

void PhoneReception::askIdle() {
    m_owner->idle = kAsked;
    m_worker.post([side = m_side](phone::PhoneDialogue&) {
        side->owner->idle = !side->receiver || side->receiver->idle() ? kIdle : kBusy;
    });
}

std::optional<bool> PhoneReception::idle() const {
    const int answer = m_owner->idle;
    if (answer == kAsked) {
        return std::nullopt;
    }
    return answer == kIdle;
}

}  // namespace sms
