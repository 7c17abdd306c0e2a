#include "tools/cli/sending.h"

#include <cstdio>

#include "platform/codepage_1254.h"
#include "sms/send_texts.h"

namespace cli {

bool connectQuietly(PhoneSession& session) {
    session.view().setPrinting(false);
    if (session.connect()) {
        return true;
    }
    const std::string& why = session.view().panel(1);
    printLine(sms::texts::failedLine(why.empty() ? sms::texts::notConnected() : why));
    return false;
}

void printLine(const std::string& cp1254) {
    std::printf("%s\n", platform::cp1254::toUtf8(cp1254).c_str());
    std::fflush(stdout);
}

}  // namespace cli
