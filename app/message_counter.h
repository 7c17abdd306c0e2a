#pragma once
// The counter under a message editor: the length the user has always seen, and how the
// text would go out, e.g. "Toplam Karekter: 172 · 2 SMS (7 bit)".

#include <QString>

#include "sms/message_parts.h"

namespace app {

// "7 bit", "7 bit, Türkçe", "UCS-2" or "8 bit".
QString codingCaption(const sms::MessageLayout& layout);

// The counter for an editor's text (line breaks as CR LF), sent with the Turkish tables
// allowed or not. An empty text shows the length alone.
QString counterText(const QString& text, bool turkishSevenBit);

}  // namespace app
