#include "platform/port_description.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/tests/pty_pair.h"

namespace platform {
namespace {

using Values = std::map<std::string, std::string>;

DeviceValue from(const Values& values) {
    return [values](const char* name) -> std::optional<std::string> {
        auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    };
}

TEST(PortDescription, MakerAndModelFromWhatUdevKnows) {
    const struct {
        Values properties;
        Values usb;
        const char* expected;
    } cases[] = {
        // The hardware database's maker, the device's own model name.
        {{{"ID_VENDOR_FROM_DATABASE", "Huawei Technologies Co., Ltd."},
          {"ID_MODEL_ENC", "HUAWEI\\x20Mobile"},
          {"ID_MODEL", "HUAWEI_Mobile"}},
         {},
         "Huawei Technologies Co., Ltd. HUAWEI Mobile"},
        // Without the udev database (no udevd): the USB device's attributes.
        {{}, {{"manufacturer", "SAMSUNG"}, {"product", "SAMSUNG_Android"}}, "SAMSUNG_Android"},
        {{}, {{"manufacturer", " Nokia "}, {"product", "E72"}}, "Nokia E72"},
        // Only the plain properties, blanks written as '_'.
        {{{"ID_VENDOR", "Sony_Ericsson"}, {"ID_MODEL", "K750_Phone"}},
         {},
         "Sony Ericsson K750 Phone"},
        // A maker alone, a model alone, broken escapes kept as they are.
        {{{"ID_VENDOR_ENC", "ZTE\\x2"}}, {}, "ZTE\\x2"},
        {{{"ID_MODEL_FROM_DATABASE", "MF626"}, {"ID_VENDOR_ENC", "   "}}, {}, "MF626"},
        {{}, {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeFrom(from(c.properties), from(c.usb)), c.expected);
    }
}

TEST(PortDescription, DevicesUdevDoesNotKnowHaveNone) {
    testing::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    for (const std::string path : {pty.path(), std::string("/dev/null"), std::string("/tmp"),
                                   std::string("/nonexistent/ttyACM0"), std::string()}) {
        EXPECT_EQ(describeDevice(path), "") << path;
    }
}

}  // namespace
}  // namespace platform
