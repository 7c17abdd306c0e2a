#include "platform/port_names.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace platform::testing {

TEST(PortNames, FixedBands) {
    struct Case {
        int n;
        const char* path;  // null: no band
    };
    const Case cases[] = {
        {0, nullptr},         {1, "/dev/ttyS0"},    {4, "/dev/ttyS3"},    {5, "/dev/ttyACM0"},
        {14, "/dev/ttyACM9"}, {15, "/dev/ttyUSB0"}, {24, "/dev/ttyUSB9"}, {25, "/dev/rfcomm0"},
        {34, "/dev/rfcomm9"}, {35, nullptr},        {50, nullptr},        {-3, nullptr},
    };
    for (const auto& c : cases) {
        auto p = bandPortPath(c.n);
        if (c.path) {
            ASSERT_TRUE(p.has_value()) << c.n;
            EXPECT_EQ(*p, c.path);
        } else {
            EXPECT_FALSE(p.has_value()) << c.n;
        }
    }
}

TEST(PortNames, MapFileComesFirstThenBands) {
    auto dir =
        std::filesystem::temp_directory_path() / ("toplusms-ports-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto file = dir / "ports.conf";
    {
        std::ofstream out(file);
        out << "# phones\n"
               "Com5=/dev/serial/by-id/usb-phone\n"
               "  COM40 = /dev/pts/7  \n"
               "Com6=\n"
               "garbage line\n"
               "Comx=/dev/null\n";
    }
    const char* old = getenv("TOPLUSMS_PORTS");
    std::string saved = old ? old : "";
    setenv("TOPLUSMS_PORTS", file.c_str(), 1);
    EXPECT_EQ(resolveComPort(5), "/dev/serial/by-id/usb-phone");
    EXPECT_EQ(resolveComPort(40), "/dev/pts/7");
    EXPECT_EQ(resolveComPort(6), "/dev/ttyACM1");  // an empty entry does not count
    EXPECT_FALSE(resolveComPort(41).has_value());
    EXPECT_FALSE(resolveComPort(0).has_value());
    if (old) {
        setenv("TOPLUSMS_PORTS", saved.c_str(), 1);
    } else {
        unsetenv("TOPLUSMS_PORTS");
    }
    std::filesystem::remove_all(dir);
}

TEST(PortNames, HeldNumbersNameTheirPathUntilReleased) {
    const int a = holdPortNumber("/dev/pts/91");
    const int b = holdPortNumber("/dev/pts/92");
    ASSERT_GE(a, kFirstHeldPort);
    ASSERT_GE(b, kFirstHeldPort);
    EXPECT_NE(a, b);
    EXPECT_EQ(resolveComPort(a), "/dev/pts/91");
    EXPECT_EQ(devicePathForName("\\\\.\\COM" + std::to_string(b)), "/dev/pts/92");
    releasePortNumber(a);
    EXPECT_FALSE(resolveComPort(a).has_value());
    EXPECT_EQ(holdPortNumber("/dev/pts/93"), a);  // a released number is given out again
    releasePortNumber(a);
    releasePortNumber(b);
}

TEST(PortNames, WindowsStyleNames) {
    EXPECT_EQ(parseComName("\\\\.\\COM5"), 5);
    EXPECT_EQ(parseComName("COM12"), 12);
    EXPECT_EQ(parseComName("com3"), 3);
    EXPECT_FALSE(parseComName("\\\\.\\COM").has_value());
    EXPECT_FALSE(parseComName("COM0").has_value());
    EXPECT_FALSE(parseComName("COM5x").has_value());
    EXPECT_EQ(devicePathForName("/dev/pts/3"), "/dev/pts/3");
    EXPECT_FALSE(devicePathForName("LPT1").has_value());
}

}  // namespace platform::testing
