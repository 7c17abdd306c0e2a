#pragma once
// What stands behind a serial device, as udev knows it: the maker and the model of a
// USB phone or modem ("Huawei Technologies Co., Ltd. E3372"). Texts are UTF-8, as the
// devices and udev give them.

#include <functional>
#include <optional>
#include <string>

namespace platform {

// The maker and model of the device at `path` (symbolic links followed); empty when
// udev knows nothing of it (a pseudo-terminal, a built-in serial port, a missing file).
std::string describeDevice(const std::string& path);

// Looks up one value by name; nothing when there is none.
using DeviceValue = std::function<std::optional<std::string>(const char* name)>;
// The description from a device's udev properties (ID_VENDOR_FROM_DATABASE,
// ID_VENDOR_ENC, ID_MODEL_ENC ...) and the attributes of its USB device (manufacturer,
// product).
std::string describeFrom(const DeviceValue& property, const DeviceValue& usbAttribute);

}  // namespace platform
