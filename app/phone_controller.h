#pragma once
// The main window's side of the phone dialogue: PhoneComPort's events go to the
// dialogue, the connect button and the window's close reach it through the window's
// hooks, and the dialogue shows what it has to say through this view of the window.

#include <functional>
#include <string>

#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "phone/phone_view.h"

class QLabel;

namespace platform {
class MessageQueue;
}

namespace app {

class TMainForm;

class PhoneController : public phone::PhoneView {
public:
    // `queue` is the user-interface thread's queue; the serial layer delivers its events
    // through it and shows its errors in the window's error box from now on.
    PhoneController(TMainForm& form, platform::MessageQueue& queue);
    ~PhoneController() override;
    PhoneController(const PhoneController&) = delete;
    PhoneController& operator=(const PhoneController&) = delete;

    phone::PhoneDialogue& dialogue() { return m_dialogue; }
    // The call notice in the top bar, beside the lamp: "Gelen Çağrı!" and under it the
    // caller's number while a call rings, hidden otherwise.
    QLabel* callNotice() const { return m_callNotice; }
    // Called once a connection is made and the phone's information has been read.
    std::function<void()> onConnected;
    // The phone's IMEI as its information gave it; empty before, or when it gave none.
    const std::string& imei() const { return m_imei; }

    void setLamp(phone::LampColor color) override;
    void setStatusPanel(int index, const std::string& text) override;
    void addInfoRow(const std::string& caption, const std::string& value) override;
    void clearInfoRows() override;
    void setSignalGauge(int percent) override;
    void setBatteryGauge(int percent) override;
    void setLabel(int number, const std::string& text) override;
    void setConnectCaption(const std::string& caption) override;
    void setRefreshEnabled(bool enabled) override;
    void setClearEnabled(bool enabled) override;
    int portIndex() const override;
    std::string portText() const override;
    std::string speedText() const override;

private:
    void showCallNotice();

    TMainForm& m_form;
    QLabel* m_callNotice = nullptr;  // owned by the window's top bar
    bool m_connecting = false;       // connected, the first polling not yet on
    std::string m_imei;
    phone::ComPortLink m_link;
    phone::PhoneDialogue m_dialogue;
};

}  // namespace app
