#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "serial/com_port.h"

namespace phone {

bool ComPortLink::probe(int number) {
    return number > 0 && number <= 0xFFFF && serial::ProbePort(uint16_t(number));
}

void ComPortLink::setComNumber(uint16_t number) {
    m_port.SetComNumber(number);
}

void ComPortLink::setBaud(int32_t baud) {
    m_port.SetBaud(baud);
}

void ComPortLink::setOpen(bool open) {
    m_port.SetOpen(open);
}

void ComPortLink::writeText(const std::string& text) {
    m_port.WriteText(text);
}

bool ComPortLink::closing() const {
    return m_port.LifeState() == serial::PortLifeState::Closing;
}

uint8_t ComPortLink::readChar() {
    return m_port.ReadChar();
}

bool ComPortLink::waitForText(const std::string& text, int32_t ticks, bool yield, bool ignoreCase) {
    return m_port.WaitForText(text, ticks, yield, ignoreCase);
}

bool ComPortLink::writeAndWaitForText(const std::string& command, const std::string& text,
                                      int32_t ticks, bool yield, bool ignoreCase) {
    return m_port.writeAndWaitForText(command, text, ticks, yield, ignoreCase);
}

void routePortEvents(serial::TCustomComPort& port, PhoneDialogue& dialogue) {
    port.OnPortOpen = [&dialogue](serial::TCustomComPort&) { dialogue.PhoneComPortPortOpen(); };
    port.OnPortClose = [&dialogue](serial::TCustomComPort&) { dialogue.PhoneComPortPortClose(); };
    port.SetOnTriggerAvail([&dialogue](serial::TCustomComPort&, uint16_t count) {
        dialogue.PhoneComPortTriggerAvail(count);
    });
}

}  // namespace phone
