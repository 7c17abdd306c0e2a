#pragma once
// How the port component asks the operator for a port when it is to open with no port
// number set. The program's window layer puts its port selection dialog behind it;
// tools and tests keep the plain answer, "no port".

#include <cstdint>
#include <optional>

namespace serial {

class PortPrompt {
public:
    virtual ~PortPrompt() = default;
    // Shows the choice and waits for it: the chosen port number, or nothing when the
    // operator cancelled (or there was nothing to choose).
    virtual std::optional<uint16_t> ChoosePort() = 0;
};

// Answers "no port" without asking anybody.
class NoPortPrompt : public PortPrompt {
public:
    std::optional<uint16_t> ChoosePort() override { return std::nullopt; }
};

// The prompt the component uses; null puts the plain one back. The prompt stays the
// caller's and must outlive its use.
void setPortPrompt(PortPrompt* prompt);
PortPrompt& portPrompt();

}  // namespace serial
