#include "tools/phone-sim/message_settings.h"

namespace phonesim {

const char* kindName(SmsEvent::Kind kind) {
    switch (kind) {
        case SmsEvent::Kind::Stored:
            return "stored";
        case SmsEvent::Kind::Waiting:
            return "waiting, storage full";
        case SmsEvent::Kind::Routed:
            return "routed";
        case SmsEvent::Kind::Notified:
            return "notified";
        case SmsEvent::Kind::Acknowledged:
            return "acknowledged";
        case SmsEvent::Kind::Resent:
            return "resent, not acknowledged";
        case SmsEvent::Kind::RoutingOff:
            return "never acknowledged, routing off";
        case SmsEvent::Kind::Listed:
            return "listed";
        case SmsEvent::Kind::Read:
            return "read";
        case SmsEvent::Kind::Deleted:
            return "deleted";
        case SmsEvent::Kind::Refused:
            return "refused";
    }
    return "?";
}

std::string describe(const SmsEvent& event) {
    std::string out = kindName(event.kind);
    if (event.index > 0) {
        out += " " + std::to_string(event.index);
    }
    return out + ": " + event.detail;
}

}  // namespace phonesim
