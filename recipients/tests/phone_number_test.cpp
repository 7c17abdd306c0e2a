#include "recipients/phone_number.h"

#include <gtest/gtest.h>

#include "recipients/number_check.h"
#include "recipients/repeated_numbers.h"

namespace recipients {
namespace {

struct FormCase {
    const char16_t* text;
    const char* e164;  // empty: no number
    NumberKind kind;
};

TEST(PhoneNumber, ReadsTheFormsAListHolds) {
    const FormCase cases[] = {
        {u"0532 123 45 67", "+905321234567", NumberKind::Mobile},
        {u"5321234567", "+905321234567", NumberKind::Mobile},
        {u"905321234567", "+905321234567", NumberKind::Mobile},
        {u"+90 (532) 123-45-67", "+905321234567", NumberKind::Mobile},
        {u"0090 532 123 45 67", "+905321234567", NumberKind::Mobile},
        {u"0532.123.45.67", "+905321234567", NumberKind::Mobile},
        {u"\u00A00532\u2009123\u00A045 67 ", "+905321234567", NumberKind::Mobile},
        // Arabic-Indic and Persian digits, as phones of those languages write them.
        {u"\u0660\u0665\u0663\u0662\u0661\u0662\u0663\u0664\u0665\u0666\u0667", "+905321234567",
         NumberKind::Mobile},
        {u"\u06F0\u06F5\u06F3\u06F2\u06F1\u06F2\u06F3\u06F4\u06F5\u06F6\u06F7", "+905321234567",
         NumberKind::Mobile},
        // Northern Cyprus mobiles are +90 533 and +90 542 numbers, its fixed lines +90 392.
        {u"0533 851 23 45", "+905338512345", NumberKind::Mobile},
        {u"0542 851 23 45", "+905428512345", NumberKind::Mobile},
        {u"0392 223 45 67", "+903922234567", NumberKind::FixedLine},
        {u"0212 555 66 77", "+902125556677", NumberKind::FixedLine},
        {u"0800 211 00 00", "+908002110000", NumberKind::TollFree},
        {u"0850 222 33 44", "+908502223344", NumberKind::SharedCost},
        {u"444 1 444", "+904441444", NumberKind::SharedCost},
        {u"0900 123 45 67", "+909001234567", NumberKind::Other},
        {u"+49 170 1234567", "+491701234567", NumberKind::Mobile},
        {u"0049 30 1234567", "+49301234567", NumberKind::FixedLine},
        // No number: letters (a keypad word to the library), a spreadsheet's decimal,
        // two numbers in one cell, a ten-digit number of no plan, too short, nothing.
        {u"0532ABC4567", "", NumberKind::Invalid},
        {u"5321234567a", "", NumberKind::Invalid},
        {u"Ali Veli", "", NumberKind::Invalid},
        {u"05321234567.0", "", NumberKind::Invalid},
        {u"05321234567 05441234567", "", NumberKind::Invalid},
        {u"05321234567/05441234567", "", NumberKind::Invalid},
        {u"05321234567;05441234567", "", NumberKind::Invalid},
        {u"0500 123 45 67", "", NumberKind::Invalid},
        {u"053212345", "", NumberKind::Invalid},
        {u"112", "", NumberKind::Invalid},
        {u"05321234567 ext 5", "", NumberKind::Invalid},
        {u"+90 532+1234567", "", NumberKind::Invalid},
        {u"+", "", NumberKind::Invalid},
        {u"", "", NumberKind::Invalid},
        {u"   ", "", NumberKind::Invalid},
        {u"99999999999999999999999999999999", "", NumberKind::Invalid},
    };
    for (const FormCase& c : cases) {
        const NumberForm form = readNumber(c.text);
        const std::u16string text = c.text;
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_EQ(form.e164, c.e164);
        EXPECT_EQ(kindName(form.kind), kindName(c.kind));
    }
}

TEST(PhoneNumber, ListEntriesAreCodePageBytes) {
    // 1254 has no-break space 0xA0; "Şule" is no number.
    EXPECT_EQ(normalise("0532\xA0"
                        "123 45 67"),
              "+905321234567");
    EXPECT_EQ(normalise("\xDEule"), "");
    EXPECT_EQ(readEntry("0212 555 66 77").kind, NumberKind::FixedLine);
}

TEST(NumberCheck, CountsByKindAndLeavesOutAllButMobiles) {
    const std::vector<std::string> list = {"05321112233",    "0212 555 66 77", "Ali",
                                           "0800 211 00 00", "+905441112233",  "",
                                           "0212 555 66 78"};
    const NumberCheck check = checkNumbers(list);
    EXPECT_EQ(check.invalid(), 2);
    EXPECT_EQ(check.notMobile(), 3);
    EXPECT_EQ(check.count(NumberKind::Mobile), 2);
    EXPECT_EQ(mobileOnly(list, check), (std::vector<std::string>{"05321112233", "+905441112233"}));
    EXPECT_EQ(describeNotMobile(check),
              "2 kayıt geçersiz numara, 3 kayıt mobil numara değil (2 sabit hat, 1 ücretsiz hat)");

    const NumberCheck clean = checkNumbers({"05321112233"});
    EXPECT_EQ(describeNotMobile(clean), "");
    EXPECT_EQ(describeNotMobile(checkNumbers({"x"})), "1 kayıt geçersiz numara");
}

}  // namespace
}  // namespace recipients
