#pragma once
// A window that shows nothing, for benchmarks and tools that only want the dialogue:
// the port choice is Com5 at 115200.

#include <string>

#include "phone/phone_view.h"

namespace phone {

class NullPhoneView : public PhoneView {
public:
    void setLamp(LampColor) override {}
    void setStatusPanel(int, const std::string&) override {}
    void addInfoRow(const std::string&, const std::string&) override {}
    void clearInfoRows() override {}
    void setSignalGauge(int) override {}
    void setBatteryGauge(int) override {}
    void setLabel(int, const std::string&) override {}
    void setConnectCaption(const std::string&) override {}
    void setRefreshEnabled(bool) override {}
    int portIndex() const override { return 4; }
    std::string portText() const override { return "Com5"; }
    std::string speedText() const override { return "115200"; }
};

}  // namespace phone
