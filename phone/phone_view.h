#pragma once
// What the phone dialogue changes in, and reads from, the main window. The window
// implements it; tests fake it. Texts are Windows-1254 bytes.

#include <string>

namespace phone {

// The activity lamp: green while a command waits, red once its reply has been parsed.
enum class LampColor { Red, Green };

class PhoneView {
public:
    virtual ~PhoneView() = default;

    virtual void setLamp(LampColor color) = 0;
    // Panel 0 the connection state, 1 the last failure, 2 the phonebook progress.
    virtual void setStatusPanel(int index, const std::string& text) = 0;
    // The device information list.
    virtual void addInfoRow(const std::string& caption, const std::string& value) = 0;
    virtual void clearInfoRows() = 0;
    virtual void setSignalGauge(int percent) = 0;
    virtual void setBatteryGauge(int percent) = 0;
    // The labels at the right edge of the connection tab (Label1 ... Label8): Label2 the
    // call notice, Label3 the caller's number, Label4 the make.
    virtual void setLabel(int number, const std::string& text) = 0;
    // btnOpen.
    virtual void setConnectCaption(const std::string& caption) = 0;
    // tiRefresh.
    virtual void setRefreshEnabled(bool enabled) = 0;
    // tiClear: enabling it (again) makes it fire 4000 ms from now.
    virtual void setClearEnabled(bool) {}

    // The port choice: selected item of ComboBox1 (-1 for none) and its text.
    virtual int portIndex() const = 0;
    virtual std::string portText() const = 0;
    // The speed choice: the text of ComboBox2.
    virtual std::string speedText() const = 0;
};

}  // namespace phone
