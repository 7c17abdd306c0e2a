#pragma once
// The first port and speed choice of the connection tab. The serial port component's
// stored settings take this role once it lands in the window.

namespace app {

struct PortPreset {
    int comNumber;  // 5 shows as "Com5"
    int baud;
};

inline constexpr PortPreset kPhoneComPortPreset{5, 115200};

}  // namespace app
