#include "sms/message_parts.h"

namespace sms {

std::vector<PduPart> EncodeMessage(TSMS& sms, const EncodeOptions& /*options*/) {
    PduPart part;
    part.Pdu = sms.EncodePdu();
    part.TpduLength = sms.TpduLength;
    return {part};
}

}  // namespace sms
