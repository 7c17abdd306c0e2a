#include "tools/cli/recording_options.h"

#include "serial/com_port.h"

namespace cli {

std::span<const std::string_view> takeRecordingOptions(std::span<const std::string_view> args) {
    bool trace = false;
    bool log = false;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--trace") {
            trace = true;
        } else if (args[i] == "--log") {
            log = true;
        } else {
            break;
        }
    }
    serial::SetRunRecording(trace, log);
    return args.subspan(i);
}

}  // namespace cli
