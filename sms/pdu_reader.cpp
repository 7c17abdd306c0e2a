#include "sms/pdu_reader.h"

#include <cstdio>

#include "platform/codepage_1254.h"
#include "platform/hex_digit.h"
#include "platform/trim.h"
#include "sms/septet_tables.h"

namespace sms::pdu {
namespace {

constexpr std::size_t kMaxUserDataOctets = 140;
constexpr unsigned kMaxAddressDigits = 20;         // ten octets of semi-octets
constexpr unsigned kMaxServiceCentreOctets = 11;   // type of address and ten octets
constexpr unsigned char kTypeOfNumberMask = 0x70;  // bits 6-4 of the type of address
constexpr unsigned char kInternational = 0x10;
constexpr unsigned char kNational = 0x20;
constexpr unsigned char kAlphanumeric = 0x50;
constexpr int kTurkish = 1;  // national language identifier (3GPP TS 23.038 6.2.1.2.4)

constexpr unsigned char kConcat8 = 0x00;
constexpr unsigned char kConcat16 = 0x08;
constexpr unsigned char kSingleShift = 0x24;
constexpr unsigned char kLockingShift = 0x25;

std::string str(std::string_view field) {
    return std::string(field);
}

// A semi-octet of an address as its character; the filler F in a digit's place fails.
char16_t semiOctetCharacter(unsigned value, std::string_view field) {
    static constexpr char16_t kCharacters[] = u"0123456789*#abc";
    if (value > 0x0E) {
        fail("Adres okunamadı (" + str(field) + "): yerinde olmayan F");
    }
    return kCharacters[value];
}

std::u16string semiOctets(std::span<const unsigned char> octets, std::size_t count,
                          std::string_view field) {
    std::u16string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char o = octets[i / 2];
        out += semiOctetCharacter(i % 2 == 0 ? o & 0x0F : o >> 4, field);
    }
    return out;
}

// Septet `index` of a bit stream packed low bit first; the caller has checked that its
// bits lie inside `octets`.
unsigned char septetAt(std::span<const unsigned char> octets, std::size_t index) {
    const std::size_t bit = index * 7;
    const std::size_t at = bit / 8;
    const unsigned shift = bit % 8;
    unsigned value = octets[at] >> shift;
    if (shift > 1) {
        value |= static_cast<unsigned>(octets[at + 1]) << (8 - shift);
    }
    return static_cast<unsigned char>(value & 0x7F);
}

// Septets as text with the chosen tables (3GPP TS 23.038 6.2.1): an escape takes the next
// code from the extension table, or, when that table has none, shows the main table's
// character; two escapes in a row stand for a table not yet defined and show a space. An
// escape at the very end (a part cut after it) shows nothing.
std::u16string septetText(std::span<const unsigned char> octets, std::size_t first, std::size_t end,
                          bool locking, bool single) {
    std::u16string text;
    text.reserve(end - first);
    for (std::size_t k = first; k < end; ++k) {
        unsigned char code = septetAt(octets, k);
        bool escaped = false;
        if (code == kGsmEscape) {
            if (++k == end) {
                break;
            }
            code = septetAt(octets, k);
            if (code == kGsmEscape) {
                text += u' ';
                continue;
            }
            escaped = SeptetCharacter({code, true}, locking, single).has_value();
        }
        // Every code but the escape has a character in both main tables.
        text += SeptetCharacter({code, escaped}, locking, single).value_or(u' ');
    }
    return text;
}

struct Coding {
    SmsCoding coding = SmsCoding::Gsm7;
    int messageClass = -1;
};

// TP-DCS by coding group (3GPP TS 23.038 4).
Coding readCodingScheme(unsigned char dcs) {
    const unsigned group = dcs >> 4;
    if (group <= 0x07) {  // general data coding, with or without automatic deletion
        if (dcs & 0x20) {
            fail("Sıkıştırılmış metin desteklenmiyor (DCS " + hexOctet(dcs) + ")");
        }
        const int messageClass = (dcs & 0x10) ? dcs & 0x03 : -1;
        switch ((dcs >> 2) & 0x03) {
            case 0:
                return {SmsCoding::Gsm7, messageClass};
            case 1:
                return {SmsCoding::Data8, messageClass};
            case 2:
                return {SmsCoding::Ucs2, messageClass};
            default:
                break;
        }
    } else if (group == 0x0C || group == 0x0D) {  // message waiting, discard or store
        return {SmsCoding::Gsm7, -1};
    } else if (group == 0x0E) {  // message waiting, store, UCS-2
        return {SmsCoding::Ucs2, -1};
    } else if (group == 0x0F) {  // data coding and message class
        return {(dcs & 0x04) ? SmsCoding::Data8 : SmsCoding::Gsm7, dcs & 0x03};
    }
    fail("Bilinmeyen veri kodlaması (DCS " + hexOctet(dcs) + ")");
}

// The information elements of a user data header (3GPP TS 23.040 9.2.3.24); `header`
// starts after its length octet. An element whose values the standard says to ignore
// (a concatenation numbered 0 or beyond its count) is ignored; elements this program
// does not use are skipped; a repeated element counts in its last occurrence.
void readHeader(std::span<const unsigned char> header, UserDataContent& content) {
    std::size_t i = 0;
    while (i < header.size()) {
        if (i + 2 > header.size() || i + 2 + header[i + 1] > header.size()) {
            fail("Kullanıcı verisi başlığının bir öğesi başlıktan taşıyor");
        }
        const unsigned char iei = header[i];
        const auto value = header.subspan(i + 2, header[i + 1]);
        i += 2 + value.size();
        if ((iei == kConcat8 && value.size() == 3) || (iei == kConcat16 && value.size() == 4)) {
            const bool wide = iei == kConcat16;
            Concatenation c;
            c.wideReference = wide;
            c.reference = wide ? value[0] << 8 | value[1] : value[0];
            c.total = value[wide ? 2 : 1];
            c.sequence = value[wide ? 3 : 2];
            if (c.total != 0 && c.sequence != 0 && c.sequence <= c.total) {
                content.concatenation = c;
            }
        } else if (iei == kSingleShift && value.size() == 1) {
            content.singleShift = value[0];
        } else if (iei == kLockingShift && value.size() == 1) {
            content.lockingShift = value[0];
        }
    }
}

std::u16string ucs2Text(std::span<const unsigned char> octets,
                        const std::optional<Concatenation>& part) {
    if (octets.size() % 2 != 0) {
        fail("UCS-2 metni tek sayıda sekizliden oluşuyor");
    }
    std::u16string text;
    text.reserve(octets.size() / 2);
    for (std::size_t i = 0; i < octets.size(); i += 2) {
        text += static_cast<char16_t>(octets[i] << 8 | octets[i + 1]);
    }
    // A sender may cut a long text inside a pair; such a half is kept at the cut only.
    const bool cutBefore = part && part->sequence > 1;
    const bool cutAfter = part && part->sequence < part->total;
    const auto high = [](char16_t c) { return c >= 0xD800 && c < 0xDC00; };
    const auto low = [](char16_t c) { return c >= 0xDC00 && c < 0xE000; };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (high(text[i]) && i + 1 < text.size() && low(text[i + 1])) {
            ++i;
        } else if ((high(text[i]) && !(cutAfter && i + 1 == text.size())) ||
                   (low(text[i]) && !(cutBefore && i == 0))) {
            fail("UCS-2 metninde bozuk vekil çifti");
        }
    }
    return text;
}

std::u16string hexText(std::span<const unsigned char> octets) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(octets.size() * 2);
    for (unsigned char o : octets) {
        text += kDigits[o >> 4];
        text += kDigits[o & 0x0F];
    }
    return text;
}

// Two swapped decimal digits; the first digit's high bit is left to the caller.
int swappedDecimal(unsigned char o, unsigned firstDigitMask, std::string_view field) {
    const unsigned first = o & firstDigitMask;
    const unsigned second = o >> 4;
    if (first > 9 || second > 9) {
        fail(str(field) + " geçersiz (" + hexOctet(o) + ")");
    }
    return static_cast<int>(first * 10 + second);
}

}  // namespace

void fail(std::string_view utf8) {
    throw DecodeFailure{platform::cp1254::fromUtf8(utf8)};
}

std::string hexOctet(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

Reader::Reader(std::string_view hex) {
    const std::string digits = platform::trimBlanks(hex);
    if (digits.empty()) {
        fail("PDU boş");
    }
    if (digits.size() % 2 != 0) {
        fail("PDU tek sayıda onaltılık rakamdan oluşuyor");
    }
    m_octets.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int hi = platform::hexValue(digits[i]);
        const int lo = platform::hexValue(digits[i + 1]);
        if (hi < 0 || lo < 0) {
            fail("PDU onaltılık olmayan karakter içeriyor");
        }
        m_octets.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }
}

unsigned char Reader::octet(std::string_view field) {
    return octets(1, field)[0];
}

std::span<const unsigned char> Reader::octets(std::size_t count, std::string_view field) {
    if (count > remaining()) {
        fail("PDU eksik: " + str(field) + " yarım kalmış");
    }
    const auto out = std::span(m_octets).subspan(m_pos, count);
    m_pos += count;
    return out;
}

SmsAddress Reader::serviceCentre(int tpduLength) {
    constexpr std::string_view kField = "SMS merkezi adresi";
    SmsAddress address;
    const unsigned length = octet(kField);
    if (length > kMaxServiceCentreOctets) {
        fail("SMS merkezi adresi çok uzun (" + std::to_string(length) + " sekizli)");
    }
    if (length > 0) {
        address.typeOfAddress = octet(kField);
        const auto digits = octets(length - 1, kField);
        std::size_t count = digits.size() * 2;
        if (count > 0 && (digits.back() >> 4) == 0x0F) {
            --count;  // the filler after an odd count of digits
        }
        address.text = semiOctets(digits, count, kField);
        if ((address.typeOfAddress & kTypeOfNumberMask) == kInternational) {
            address.kind = AddressKind::International;
            address.text.insert(0, 1, u'+');
        } else if ((address.typeOfAddress & kTypeOfNumberMask) == kNational) {
            address.kind = AddressKind::National;
        }
    }
    if (tpduLength >= 0 && remaining() != static_cast<std::size_t>(tpduLength)) {
        fail("PDU uzunluğu yanlış: " + std::to_string(tpduLength) + " sekizli bildirildi, " +
             std::to_string(remaining()) + " geldi");
    }
    return address;
}

void Reader::expectEnd() {
    if (remaining() != 0) {
        fail("PDU uzunluğu yanlış: sonunda " + std::to_string(remaining()) + " sekizli fazla");
    }
}

SmsAddress readAddress(Reader& reader, std::string_view field) {
    const unsigned digits = reader.octet(field);
    if (digits > kMaxAddressDigits) {
        fail("Adres okunamadı (" + str(field) + "): " + std::to_string(digits) + " hane");
    }
    SmsAddress address;
    address.typeOfAddress = reader.octet(field);
    const auto octets = reader.octets((digits + 1) / 2, field);
    switch (address.typeOfAddress & kTypeOfNumberMask) {
        case kAlphanumeric:
            // The digit count gives the useful semi-octets; whole septets of them.
            address.kind = AddressKind::Alphanumeric;
            address.text = septetText(octets, 0, digits * 4 / 7, false, false);
            return address;
        case kInternational:
            address.kind = AddressKind::International;
            break;
        case kNational:
            address.kind = AddressKind::National;
            break;
        default:
            break;
    }
    address.text = semiOctets(octets, digits, field);
    if (address.kind == AddressKind::International && !address.text.empty()) {
        address.text.insert(0, 1, u'+');
    }
    return address;
}

SmsTimestamp readTimestamp(Reader& reader, std::string_view field) {
    const auto o = reader.octets(7, field);
    SmsTimestamp t;
    t.year = 2000 + swappedDecimal(o[0], 0x0F, field);
    t.month = swappedDecimal(o[1], 0x0F, field);
    t.day = swappedDecimal(o[2], 0x0F, field);
    t.hour = swappedDecimal(o[3], 0x0F, field);
    t.minute = swappedDecimal(o[4], 0x0F, field);
    t.second = swappedDecimal(o[5], 0x0F, field);
    // The zone: quarters of an hour, the sign in bit 3 of its first digit.
    const int quarters = swappedDecimal(o[6], 0x07, field);
    t.zoneQuarters = (o[6] & 0x08) ? -quarters : quarters;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
        t.second > 59) {
        fail(str(field) + " geçersiz");
    }
    return t;
}

UserDataContent readUserData(Reader& reader, unsigned char dataCoding, bool hasHeader) {
    UserDataContent content;
    content.dataCoding = dataCoding;
    const Coding scheme = readCodingScheme(dataCoding);
    content.coding = scheme.coding;
    content.messageClass = scheme.messageClass;

    const std::size_t length = reader.octet("kullanıcı verisi uzunluğu");
    const bool septets = scheme.coding == SmsCoding::Gsm7;
    const std::size_t octetCount = septets ? (length * 7 + 7) / 8 : length;
    if (octetCount > kMaxUserDataOctets) {
        fail("Kullanıcı verisi uzunluğu yanlış: " + std::to_string(length) +
             (septets ? " yedili" : " sekizli"));
    }
    if (reader.remaining() != octetCount) {
        fail("PDU uzunluğu yanlış: kullanıcı verisi " + std::to_string(octetCount) +
             " sekizli bildirildi, " + std::to_string(reader.remaining()) + " geldi");
    }
    const auto ud = reader.octets(octetCount, "kullanıcı verisi");

    std::size_t headerOctets = 0;
    if (hasHeader) {
        headerOctets = ud.empty() ? 1 : ud[0] + 1u;
        // In 7-bit text the header takes whole septets, fill bits included.
        const std::size_t headerUnits = septets ? (headerOctets * 8 + 6) / 7 : headerOctets;
        if (headerUnits > length) {
            fail("Kullanıcı verisi başlığı mesajdan uzun");
        }
        readHeader(ud.subspan(1, headerOctets - 1), content);
    }

    switch (scheme.coding) {
        case SmsCoding::Gsm7: {
            for (const int language : {content.lockingShift, content.singleShift}) {
                if (language != 0 && language != kTurkish) {
                    fail("Desteklenmeyen ulusal dil tablosu (" + std::to_string(language) + ")");
                }
            }
            const std::size_t first = hasHeader ? (headerOctets * 8 + 6) / 7 : 0;
            content.text = septetText(ud, first, length, content.lockingShift == kTurkish,
                                      content.singleShift == kTurkish);
            break;
        }
        case SmsCoding::Ucs2:
            content.text = ucs2Text(ud.subspan(headerOctets), content.concatenation);
            break;
        default:
            content.text = hexText(ud.subspan(headerOctets));
            break;
    }
    return content;
}

}  // namespace sms::pdu
