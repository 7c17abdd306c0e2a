#pragma once
// Concatenated messages put back together, as the receiving phone shows them
// (3GPP TS 23.040 9.2.3.24.1): the parts of one message share destination, reference
// and part count, and are joined in the order of their index, whatever order they came in.

#include <string>
#include <vector>

#include "tools/phone-sim/config.h"

namespace phonesim {

struct WholeMessage {
    std::string destination;
    std::string text;  // UTF-8, the parts' texts joined
    int parts = 1;
    bool complete = true;  // false: some part has not come (the missing ones are left out)
};

// The accepted messages as whole messages, in the order of their first part. A part that
// comes twice counts once.
std::vector<WholeMessage> reassemble(const std::vector<AcceptedMessage>& accepted);

}  // namespace phonesim
