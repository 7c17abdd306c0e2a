#pragma once
// The options that subcommands opening a port take right after their name: --trace and
// --log write SERIAL.TRC and SERIAL.LOG in the working folder when the port closes.

#include <span>
#include <string_view>

namespace cli {

inline constexpr std::string_view kRecordingUsage = "[--trace] [--log] ";

// Takes --trace and --log from the front of args and switches them on for the run;
// returns the arguments after them.
std::span<const std::string_view> takeRecordingOptions(std::span<const std::string_view> args);

}  // namespace cli
