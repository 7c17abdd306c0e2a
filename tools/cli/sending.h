#pragma once
// What the send and bulk subcommands share: a quiet connection (the status texts are
// kept, not printed) and the lines they print, in UTF-8.

#include <string>

#include "tools/cli/phone_session.h"

namespace cli {

// Connects without printing the status texts. False after printing
// "Gönderilemedi: REASON" when no phone answered.
bool connectQuietly(PhoneSession& session);

// A Windows-1254 text as UTF-8 on standard output, followed by a line break.
void printLine(const std::string& cp1254);

}  // namespace cli
