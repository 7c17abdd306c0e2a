#pragma once
// The phone-sim options for reports, incoming messages and the message storage.

#include <functional>
#include <string>

#include "tools/phone-sim/message_settings.h"

namespace phonesim {

enum class OptionResult { NotMine, Taken, Bad };

// Takes `option` when it is one of these, calling `value` for its value; Bad with the
// reason in *error.
OptionResult takeMessageOption(const std::string& option, const std::function<std::string()>& value,
                               MessageSettings& settings, std::string* error);

extern const char kMessageHelp[];

}  // namespace phonesim
