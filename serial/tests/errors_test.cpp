#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "serial/com_port.h"
#include "serial/error_table.h"
#include "serial/serial_exceptions.h"

namespace serial::testing {

TEST(MessageTable, HoldsEveryCodeOnceSortedByMagnitude) {
    const auto& table = MessageTable();
    ASSERT_EQ(table.size(), 893u);  // with the device-gone record
    size_t negative = 0;
    size_t empty = 0;
    int32_t last = -1;
    for (const auto& r : table) {
        int32_t m = r.code < 0 ? -r.code : r.code;
        EXPECT_GT(m, last) << r.code;
        last = m;
        negative += r.code <= 0 ? 1 : 0;
        empty += r.text.empty() ? 1 : 0;
    }
    EXPECT_EQ(negative, 298u);
    EXPECT_EQ(empty, 11u);
}

TEST(MessageTable, LookupAndSystemFallback) {
    struct Case {
        uint16_t magnitude;
        const char* text;
    };
    const Case cases[] = {
        {0, "OK"},
        {2, "File not found"},
        {162, "General failure"},
        {2001, "ie_BadId - Specified comport doesn't exist"},
        {3007, "Buffer is empty"},
        {5003, "Bad trigger handle"},
        {15002, "Dispatch"},
        {15119, "Method"},
        {1, ""},  // not in the table
        {65535, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LookupMessage(c.magnitude), c.text) << c.magnitude;
    }
    EXPECT_EQ(ErrorMessage(2001), "ie_BadId - Specified comport doesn't exist");
    // Not in the table: the system's text for the device layer's own error numbers, and
    // nothing for numbers the device layer never gives (an errno's text would be wrong).
    EXPECT_EQ(ErrorMessage(87), "The parameter is incorrect.");
    EXPECT_EQ(ErrorMessage(1617), "The device has been removed.");
    EXPECT_EQ(ErrorMessage(121), "");
    EXPECT_EQ(ErrorMessage(4), "Too many open files");
    // An empty record with no system text for its number gives the empty text.
    EXPECT_EQ(LookupMessage(4200), "");
    EXPECT_EQ(ErrorMessage(4200), "");
}

namespace {

// What CheckResult raised for a code: the exception's dynamic type checks and fields.
struct Raised {
    std::function<bool(const std::exception&)> isClass;
    std::function<bool(const std::exception&)> isCategory;
    std::string message;
    int32_t errorCode;
};

template <class E, class C>
Raised expect(const char* message, int32_t errorCode) {
    return {[](const std::exception& e) { return dynamic_cast<const E*>(&e) != nullptr; },
            [](const std::exception& e) { return dynamic_cast<const C*>(&e) != nullptr; }, message,
            errorCode};
}

}  // namespace

TEST(CheckResult, RaisesTheMappedClassWithItsMessage) {
    struct Case {
        int32_t code;
        Raised want;
    };
    const Case cases[] = {
        {-1002, expect<EBadArgument, EGeneral>("Bad argument passed to function", -1002)},
        {-1006, expect<EInternal, EGeneral>("Internal error creating window class", -1006)},
        {-2001, expect<EBadId, EOpenComm>("ie_BadId - Specified comport doesn't exist", -2001)},
        {-2007, expect<ECommNotOpen, EOpenComm>("ie_NOpen - device not open", -2007)},
        {-2008, expect<EAlreadyOpen, EOpenComm>("ie_Open - device already open", -2008)},
        {-2011, expect<ENoPortSelected, EOpenComm>(
                    "The ComNumber property of the TComPort has not been set", -2011)},
        {-3001, expect<ENullApi, ESerialIO>("No device layer specified", -3001)},
        {-1617, expect<EDeviceRemoved, ESerialIO>("The device has been removed.", -1617)},
        {-3004, expect<EPutBlockFail, ESerialIO>("Failed to put entire block", -3004)},
        {-3006,
         expect<EOutputBufferTooSmall, ESerialIO>("Output buffer too small for block", -3006)},
        {-3007, expect<EBufferIsEmpty, ESerialIO>("Buffer is empty", -3007)},
        {-3010, expect<EBaseAddressNotSet, ESerialIO>("Base address not set", -3010)},
        {-5002, expect<ETriggerTooLong, ETrigger>("Data trigger too long", -5002)},
        {-7003, expect<EInternal, EGeneral>(ErrorMessage(7003).c_str(), -7003)},
        {-6008, expect<EProtocol, ESerialException>(ErrorMessage(6008).c_str(), -6008)},
        {-13848, expect<ETapiInvalMessageID, ETapi>(ErrorMessage(13848).c_str(), -13848)},
        {-13850, expect<ETapiInvalParam, ETapi>(ErrorMessage(13850).c_str(), -13850)},
        {-13980, expect<ERasLoadFail, ERas>(ErrorMessage(13980).c_str(), -13980)},
        // Not mapped: the plain exception with the fixed text and no code.
        {-1, expect<ESerialException, ESerialException>("Serial exception", 0)},
        {-163, expect<ESerialException, ESerialException>("Serial exception", 0)},
        {-1001, expect<ESerialException, ESerialException>("Serial exception", 0)},
        {-3002, expect<ESerialException, ESerialException>("Serial exception", 0)},
        {-13849, expect<ESerialException, ESerialException>("Serial exception", 0)},
    };
    TComPort port;
    for (const auto& c : cases) {
        try {
            port.CheckResult(c.code);
            ADD_FAILURE() << c.code << " raised nothing";
        } catch (const ESerialException& e) {
            EXPECT_TRUE(c.want.isClass(e)) << c.code;
            EXPECT_TRUE(c.want.isCategory(e)) << c.code;
            EXPECT_EQ(e.Message(), c.want.message) << c.code;
            EXPECT_EQ(e.ErrorCode, c.want.errorCode) << c.code;
        }
    }
    EXPECT_EQ(MappedCodeCount(), 167u);  // with the device-gone code
}

TEST(CheckResult, SystemErrorsBecomeRuntimeErrors) {
    TComPort port;
    try {
        port.CheckResult(-5);
        ADD_FAILURE();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "File access denied");
        EXPECT_EQ(e.ErrorCode, 5);
    }
    try {
        port.CheckResult(-87);
        ADD_FAILURE();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "The parameter is incorrect.");
        EXPECT_EQ(e.ErrorCode, 87);
    }
    EXPECT_THROW(port.CheckResult(-8), EOutOfMemory);
    try {
        port.CheckResult(-8);
    } catch (const EOutOfMemory& e) {
        EXPECT_EQ(e.Message(), "Out of memory");
        EXPECT_EQ(dynamic_cast<const EInOutError*>(&e), nullptr);
    }
}

TEST(CheckResult, PassesSuccessAndEverythingWhileLoading) {
    TComPort port;
    EXPECT_EQ(port.CheckResult(0), 0);
    EXPECT_EQ(port.CheckResult(4096), 4096);
    port.BeginLoading();
    EXPECT_EQ(port.CheckResult(-2001), -2001);
    EXPECT_EQ(port.CheckResult(-1), -1);
    port.Loaded();
    EXPECT_THROW(port.CheckResult(-1), ESerialException);
}

}  // namespace serial::testing
