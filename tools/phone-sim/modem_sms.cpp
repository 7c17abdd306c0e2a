// The Modem's side of reports and incoming messages that come without being asked for.
#include "tools/phone-sim/modem.h"

namespace phonesim {

Response Modem::unsolicited(std::chrono::steady_clock::time_point now) {
    Response out;
    // While the program types a PDU the link is taken; what came waits (TS 27.005 3.4.1,
    // <mode> 2).
    if (m_hungUp || m_pduMode) {
        return out;
    }
    deliver(out, m_sms.due(now), false);
    return out;
}

std::optional<std::chrono::steady_clock::time_point> Modem::nextUnsolicited() const {
    if (m_hungUp || m_pduMode) {
        return std::nullopt;
    }
    return m_sms.nextDue();
}

bool Modem::receiveSms(const IncomingText& message) {
    return m_sms.incoming(message, std::chrono::steady_clock::now());
}

}  // namespace phonesim
