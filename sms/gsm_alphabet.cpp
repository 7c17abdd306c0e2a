#include "sms/gsm_alphabet.h"

#include <string>

#include "platform/codepage_1254.h"

namespace sms {
namespace {

constexpr std::array<unsigned char, 256> makeGsmToAnsi() {
    std::array<unsigned char, 256> t{};
    // Lower half: the default alphabet written in 1254 bytes. The Greek capitals have no
    // 1254 byte and hold look-alike Latin letters; 0x06 holds ú, 0x1F Ê, and the escape 0.
    constexpr unsigned char kFirst32[32] = {
        0x40, 0xA3, 0x24, 0xA5, 0xE8, 0xE9, 0xFA, 0xEC,  // @ £ $ ¥ è é ú ì
        0xF2, 0xC7, 0x0A, 0xD8, 0xF8, 0x0D, 0xC5, 0xE5,  // ò Ç LF Ø ø CR Å å
        0xC4, 0x5F, 0xD6, 0xC3, 0xCB, 0xD9, 0xD0, 0xD8,  // Δ _ Φ Γ Λ Ω Π Ψ
        0xD3, 0xC8, 0xCE, 0x00, 0xC6, 0xE6, 0xDF, 0xCA,  // Σ Θ Ξ ESC Æ æ ß Ê
    };
    for (int i = 0; i < 32; ++i) {
        t[i] = kFirst32[i];
    }
    for (int i = 0x20; i < 0x80; ++i) {
        t[i] = static_cast<unsigned char>(i);
    }
    t[0x24] = 0xA4;  // ¤
    t[0x40] = 0xA1;  // ¡
    t[0x5B] = 0xC4;  // Ä
    t[0x5C] = 0xD6;  // Ö
    t[0x5D] = 0xD1;  // Ñ
    t[0x5E] = 0xDC;  // Ü
    t[0x5F] = 0xA7;  // §
    t[0x60] = 0xBF;  // ¿
    t[0x7B] = 0xE4;  // ä
    t[0x7C] = 0xF6;  // ö
    t[0x7D] = 0xF1;  // ñ
    t[0x7E] = 0xFC;  // ü
    t[0x7F] = 0xE0;  // à

    // Upper half: the byte itself, except the C1 range, the no-break space, the soft
    // hyphen, ÷ and ø, which stay empty, and the middle dot, which moves to 0x88.
    for (int i = 0x80; i < 0x100; ++i) {
        const bool empty =
            (i <= 0xA0 && i != 0x88) || i == 0xAD || i == 0xB7 || i == 0xF7 || i == 0xF8;
        t[i] = empty ? 0x00 : static_cast<unsigned char>(i);
    }
    t[0x88] = 0xB7;
    return t;
}

}  // namespace

const std::array<unsigned char, 256> GsmToAnsi = makeGsmToAnsi();

const std::array<GsmExtensionEntry, 9> GsmExtension = {{
    {0x0C, 0x0A},  // form feed
    {0x5B, 0x3C},  // [
    {0x5C, 0x2F},  // backslash
    {0x5D, 0x3E},  // ]
    {0x5E, 0x14},  // ^
    {0x7B, 0x28},  // {
    {0x7C, 0x40},  // |
    {0x7D, 0x29},  // }
    {0x7E, 0x3D},  // ~
}};

namespace {

// Byte -> code, precomputed once; scanning the table downwards keeps the lowest index.
std::array<GsmCode, 256> makeReverse() {
    std::array<GsmCode, 256> r;
    r.fill(GsmCode{kGsmQuestionMark, false});
    for (const auto& e : GsmExtension) {
        r[e.ansi] = GsmCode{e.code, true};
    }
    for (int i = 255; i >= 0; --i) {
        r[GsmToAnsi[i]] = GsmCode{static_cast<unsigned char>(i), false};
    }
    return r;
}

const std::array<GsmCode, 256>& reverseIndex() {
    static const std::array<GsmCode, 256> kReverse = makeReverse();
    return kReverse;
}

}  // namespace

GsmCode MapGsmChar(unsigned char ansi) {
    return reverseIndex()[ansi];
}

SmsCoding ChooseCoding(std::u16string_view text) {
    bool lossy = false;
    const std::string bytes = platform::cp1254::fromUtf16(text, &lossy);
    if (lossy) {
        return SmsCoding::Ucs2;
    }
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0xC0) {
            return SmsCoding::Ucs2;
        }
        if (MapGsmChar(b).code & 0x80) {
            return SmsCoding::Data8;
        }
    }
    return SmsCoding::Gsm7;
}

}  // namespace sms
