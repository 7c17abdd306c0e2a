#pragma once
// The serial port as the phone dialogue uses it. ComPortLink puts a TComPort behind it;
// tests put a scripted port behind it.

#include <cstdint>
#include <string>

namespace serial {
class TCustomComPort;
}

namespace phone {

class PhoneDialogue;

class PhonePort {
public:
    virtual ~PhonePort() = default;

    // Whether COM port `number` exists (ProbePort).
    virtual bool probe(int number) = 0;
    virtual void setComNumber(uint16_t number) = 0;
    virtual void setBaud(int32_t baud) = 0;
    // Opening fires the dialogue's PhoneComPortPortOpen before it returns; closing an
    // open port fires PhoneComPortPortClose.
    virtual void setOpen(bool open) = 0;
    virtual void writeText(const std::string& text) = 0;
    // Whether a close is under way: what is written now is dropped and nothing more
    // arrives. A close waits for the port's workers with the message queue running, so a
    // timer's command can start inside it.
    virtual bool closing() const { return false; }
    virtual uint8_t readChar() = 0;
    // `ticks` of 55 ms.
    virtual bool waitForText(const std::string& text, int32_t ticks, bool yield,
                             bool ignoreCase) = 0;
    // Writes `command`, then waits for its answer `text` as waitForText does, with no
    // delivery of received characters between the two.
    virtual bool writeAndWaitForText(const std::string& command, const std::string& text,
                                     int32_t ticks, bool yield, bool ignoreCase) {
        writeText(command);
        return waitForText(text, ticks, yield, ignoreCase);
    }
};

// A TComPort behind the interface. The component stays the caller's.
class ComPortLink : public PhonePort {
public:
    explicit ComPortLink(serial::TCustomComPort& port) : m_port(port) {}

    bool probe(int number) override;
    void setComNumber(uint16_t number) override;
    void setBaud(int32_t baud) override;
    void setOpen(bool open) override;
    void writeText(const std::string& text) override;
    bool closing() const override;
    uint8_t readChar() override;
    bool waitForText(const std::string& text, int32_t ticks, bool yield, bool ignoreCase) override;
    bool writeAndWaitForText(const std::string& command, const std::string& text, int32_t ticks,
                             bool yield, bool ignoreCase) override;

private:
    serial::TCustomComPort& m_port;
};

// Points the component's OnPortOpen, OnPortClose and OnTriggerAvail at the dialogue.
// An error in the open handler makes the open fail and reaches whoever set Open; the
// component hands errors of the data-available handler to its exception display.
void routePortEvents(serial::TCustomComPort& port, PhoneDialogue& dialogue);

}  // namespace phone
