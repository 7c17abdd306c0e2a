#include "serial/port_prompt.h"

#include <atomic>

namespace serial {

namespace {
NoPortPrompt g_noPort;
std::atomic<PortPrompt*> g_prompt{nullptr};
}  // namespace

void setPortPrompt(PortPrompt* prompt) {
    g_prompt.store(prompt);
}

PortPrompt& portPrompt() {
    PortPrompt* p = g_prompt.load();
    return p ? *p : g_noPort;
}

}  // namespace serial
