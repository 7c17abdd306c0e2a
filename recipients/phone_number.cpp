#include "recipients/phone_number.h"

#include <phonenumbers/phonenumberutil.h>

#include <cstdint>

#include "platform/codepage_1254.h"

namespace recipients {
namespace {

using i18n::phonenumbers::PhoneNumberUtil;

// No plan has numbers this long, even written with 00 and a trunk 0.
constexpr std::size_t kMaxDigits = 17;

int digitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= 0x0660 && c <= 0x0669) {  // Arabic-Indic
        return c - 0x0660;
    }
    if (c >= 0x06F0 && c <= 0x06F9) {  // Extended Arabic-Indic (Persian, Urdu)
        return c - 0x06F0;
    }
    if (c >= 0xFF10 && c <= 0xFF19) {  // full-width
        return c - 0xFF10;
    }
    return -1;
}

bool isSeparator(char16_t c) {
    switch (c) {
        case u' ':
        case u'\t':
        case u'-':
        case u'.':
        case u'/':
        case u'(':
        case u')':
        case 0x00A0:  // no-break space
        case 0x202F:  // narrow no-break space
        case 0x2212:  // minus sign
        case 0x3000:  // ideographic space
            return true;
        default:
            return (c >= 0x2000 && c <= 0x200A) ||  // the typographic spaces
                   (c >= 0x2010 && c <= 0x2015);    // hyphens and dashes
    }
}

// The digits of a text that looks like a number, '+' in front when it has one; empty
// when it holds anything else.
std::string numberDigits(std::u16string_view text) {
    std::string digits;
    digits.reserve(16);
    bool plus = false;
    for (char16_t c : text) {
        if (const int d = digitValue(c); d >= 0) {
            if (digits.size() - (plus ? 1 : 0) >= kMaxDigits) {
                return {};
            }
            digits += static_cast<char>('0' + d);
        } else if (c == u'+' || c == 0xFF0B) {
            if (plus || !digits.empty()) {
                return {};
            }
            plus = true;
            digits += '+';
        } else if (!isSeparator(c)) {
            return {};
        }
    }
    return digits == "+" ? std::string() : digits;
}

NumberKind kindOf(PhoneNumberUtil::PhoneNumberType type, int countryCode) {
    switch (type) {
        case PhoneNumberUtil::MOBILE:
            return NumberKind::Mobile;
        case PhoneNumberUtil::FIXED_LINE:
            return NumberKind::FixedLine;
        case PhoneNumberUtil::TOLL_FREE:
            return NumberKind::TollFree;
        case PhoneNumberUtil::SHARED_COST:
        case PhoneNumberUtil::UAN:  // 444 numbers, priced as shared cost
            return NumberKind::SharedCost;
        case PhoneNumberUtil::VOIP:
            // The Turkish plan files its 0850 range under VoIP; callers know it, and pay
            // for it, as a shared-cost number.
            return countryCode == 90 ? NumberKind::SharedCost : NumberKind::Other;
        case PhoneNumberUtil::UNKNOWN:
            return NumberKind::Invalid;
        default:
            // FIXED_LINE_OR_MOBILE among them: the plan cannot tell (the USA), so it is
            // not counted as mobile.
            return NumberKind::Other;
    }
}

NumberForm formOf(const PhoneNumberUtil& util, const i18n::phonenumbers::PhoneNumber& number) {
    const NumberKind kind = kindOf(util.GetNumberType(number), number.country_code());
    if (kind == NumberKind::Invalid) {
        return {};
    }
    NumberForm form;
    form.kind = kind;
    util.Format(number, PhoneNumberUtil::E164, &form.e164);
    return form;
}

// The ten-digit Turkish subscriber number of the usual ways of writing one (0532...,
// 532..., 90532..., +90532..., 0090532...), or empty. libphonenumber's parser reads
// these the same way, but costs several times more: a list of 100,000 entries is mostly
// such numbers.
std::string_view turkishSubscriber(std::string_view digits) {
    std::string_view rest;
    if (digits.starts_with('+')) {
        if (digits.size() == 13 && digits.starts_with("+90")) {
            rest = digits.substr(3);
        }
    } else if (digits.size() == 10) {
        rest = digits;
    } else if (digits.size() == 11 && digits[0] == '0') {
        rest = digits.substr(1);
    } else if (digits.size() == 12 && digits.starts_with("90")) {
        rest = digits.substr(2);
    } else if (digits.size() == 14 && digits.starts_with("0090")) {
        rest = digits.substr(4);
    }
    return !rest.empty() && rest[0] != '0' ? rest : std::string_view();
}

}  // namespace

std::string_view kindName(NumberKind kind) {
    switch (kind) {
        case NumberKind::Mobile:
            return "mobil";
        case NumberKind::FixedLine:
            return "sabit hat";
        case NumberKind::TollFree:
            return "ücretsiz hat";
        case NumberKind::SharedCost:
            return "paylaşımlı";
        case NumberKind::Other:
            return "diğer";
        case NumberKind::Invalid:
            break;
    }
    return "geçersiz";
}

NumberForm readNumber(std::u16string_view text) {
    const std::string digits = numberDigits(text);
    if (digits.empty()) {
        return {};
    }
    // libphonenumber's one instance, made on first use; it guards its own caches, so any
    // thread may ask it.
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    if (const std::string_view subscriber = turkishSubscriber(digits); !subscriber.empty()) {
        i18n::phonenumbers::PhoneNumber number;
        number.set_country_code(90);
        std::uint64_t national = 0;
        for (char c : subscriber) {
            national = national * 10 + static_cast<std::uint64_t>(c - '0');
        }
        number.set_national_number(national);
        if (NumberForm form = formOf(util, number); form.kind != NumberKind::Invalid) {
            return form;
        }
        // Not a Turkish number after all ("9012345678" may be one of 8 digits): the
        // parser decides.
    }
    i18n::phonenumbers::PhoneNumber number;
    if (util.Parse(digits, "TR", &number) != PhoneNumberUtil::NO_PARSING_ERROR) {
        return {};
    }
    return formOf(util, number);
}

NumberForm readEntry(std::string_view entry) {
    return readNumber(platform::cp1254::toUtf16(entry));
}

std::string normalise(std::string_view entry) {
    return readEntry(entry).e164;
}

}  // namespace recipients
