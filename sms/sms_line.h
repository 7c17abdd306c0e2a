#pragma once
// The phone line as the sending of messages uses it: the phone dialogue in the program, a
// scripted phone in the tests.

#include "phone/command_line.h"

namespace sms {

using SmsLine = phone::CommandLine;

}  // namespace sms
