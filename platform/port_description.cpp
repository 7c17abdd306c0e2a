#include "platform/port_description.h"

#include <libudev.h>
#include <sys/stat.h>

#include <cctype>
#include <memory>

#include "platform/trim.h"

namespace platform {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = char(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// udev writes the bytes of an *_ENC value that are not plain as "\xHH".
std::string decodeEnc(std::string s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && hexDigit(s[i + 2]) >= 0 &&
            hexDigit(s[i + 3]) >= 0) {
            out += char(hexDigit(s[i + 2]) * 16 + hexDigit(s[i + 3]));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The plain ID_VENDOR and ID_MODEL have every blank made '_'.
std::string unUnderscored(std::string s) {
    for (char& c : s) {
        if (c == '_') {
            c = ' ';
        }
    }
    return s;
}

bool startsWithIgnoringCase(const std::string& s, const std::string& prefix) {
    if (prefix.empty() || s.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// The first of the candidates that is not blank.
std::string firstOf(std::initializer_list<std::optional<std::string>> candidates) {
    for (const auto& c : candidates) {
        if (c) {
            std::string t = trimBlanks(*c);
            if (!t.empty()) {
                return t;
            }
        }
    }
    return {};
}

std::optional<std::string> mapped(const std::optional<std::string>& v,
                                  std::string (*f)(std::string)) {
    return v ? std::optional(f(*v)) : std::nullopt;
}

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

DeviceValue valuesOf(udev_device* device, const char* (*get)(udev_device*, const char*)) {
    return [device, get](const char* name) -> std::optional<std::string> {
        if (device == nullptr) {
            return std::nullopt;
        }
        const char* v = get(device, name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
}

}  // namespace

std::string describeFrom(const DeviceValue& property, const DeviceValue& usbAttribute) {
    const std::string maker =
        firstOf({property("ID_VENDOR_FROM_DATABASE"), mapped(property("ID_VENDOR_ENC"), decodeEnc),
                 usbAttribute("manufacturer"), mapped(property("ID_VENDOR"), unUnderscored)});
    const std::string model =
        firstOf({mapped(property("ID_MODEL_ENC"), decodeEnc), usbAttribute("product"),
                 property("ID_MODEL_FROM_DATABASE"), mapped(property("ID_MODEL"), unUnderscored)});
    if (maker.empty() || startsWithIgnoringCase(model, maker)) {
        return model;
    }
    return model.empty() ? maker : maker + " " + model;
}

std::string describeDevice(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return {};
    }
    std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context) {
        return {};
    }
    std::unique_ptr<udev_device, UdevDeleter> device(
        udev_device_new_from_devnum(context.get(), 'c', st.st_rdev));
    if (!device) {
        return {};
    }
    // Owned by `device`.
    udev_device* usb =
        udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device");
    return describeFrom(valuesOf(device.get(), udev_device_get_property_value),
                        valuesOf(usb, udev_device_get_sysattr_value));
}

}  // namespace platform
