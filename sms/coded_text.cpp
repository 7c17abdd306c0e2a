#include "sms/coded_text.h"

#include <string>

#include "platform/codepage_1254.h"
#include "sms/septet_tables.h"

namespace sms {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit < 0xDC00;
}

bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit < 0xE000;
}

}  // namespace

SmsCoding EffectiveCoding(SmsCoding requested, std::u16string_view text) {
    switch (requested) {
        case SmsCoding::Auto:
            return ChooseCoding(text);
        case SmsCoding::Gsm7:
        case SmsCoding::Data8:
            return requested;
        default:
            return SmsCoding::Ucs2;
    }
}

CodedText CodeText(std::u16string_view text, SmsCoding coding) {
    CodedText out;
    out.coding = coding;
    if (coding == SmsCoding::Ucs2) {
        out.units.reserve(text.size() * 2);
        const auto put = [&out](char16_t unit) {
            out.units.push_back(static_cast<unsigned char>(unit >> 8));
            out.units.push_back(static_cast<unsigned char>(unit & 0xFF));
        };
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t unit = text[i];
            if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
                put(unit);
                put(text[++i]);
                out.widths.push_back(4);
            } else {
                // A surrogate without its partner (from a file or another program) is no
                // character: it goes out as U+FFFD, the mark for what cannot be shown, so
                // that no phone meets half a pair and no part ends inside one.
                put(isHighSurrogate(unit) || isLowSurrogate(unit) ? kReplacementCharacter : unit);
                out.widths.push_back(2);
            }
        }
        return out;
    }
    // A character without a 1254 byte becomes '?', which the alphabet also has.
    const std::string bytes = platform::cp1254::fromUtf16(text);
    out.units.reserve(bytes.size());
    for (char c : bytes) {
        const GsmCode g = MapGsmChar(static_cast<unsigned char>(c));
        if (coding == SmsCoding::Data8) {
            out.units.push_back(g.code);  // an extension code alone, without the escape
            out.widths.push_back(1);
        } else if (g.extension) {
            out.units.push_back(kGsmEscape);
            out.units.push_back(g.code);
            out.widths.push_back(2);
        } else {
            // No septet for an 8-bit-only character; and a lone escape (from a NUL byte)
            // would change the meaning of the character after it.
            const bool septet = (g.code & 0x80) == 0 && g.code != kGsmEscape;
            out.units.push_back(septet ? g.code : kGsmQuestionMark);
            out.widths.push_back(1);
        }
    }
    return out;
}

std::optional<CodedText> CodeSeptets(std::u16string_view text, ShiftTables shift) {
    const bool locking = shift == ShiftTables::TurkishLockingAndSingle;
    const bool single = shift != ShiftTables::None;
    CodedText out;
    out.shift = shift;
    out.units.reserve(text.size());
    out.widths.reserve(text.size());
    for (char16_t ch : text) {
        const std::optional<SeptetCode> s = LookupSeptet(ch, locking, single);
        if (!s) {
            return std::nullopt;
        }
        if (s->escaped) {
            out.units.push_back(kGsmEscape);
        }
        out.units.push_back(s->code);
        out.widths.push_back(s->escaped ? 2 : 1);
    }
    return out;
}

}  // namespace sms
