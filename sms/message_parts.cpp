#include "sms/message_parts.h"

#include <atomic>
#include <random>
#include <span>
#include <utility>

namespace sms {
namespace {

constexpr unsigned char kConcatElement = 0x00;  // concatenation, 8-bit reference
constexpr unsigned char kSingleShiftElement = 0x24;
constexpr unsigned char kLockingShiftElement = 0x25;
constexpr unsigned char kTurkish = 0x01;  // national language identifier
constexpr std::size_t kConcatElementSize = 5;
constexpr std::size_t kMaxSeptets = 160;
constexpr std::size_t kMaxOctets = 140;

std::vector<unsigned char> shiftElements(ShiftTables shift) {
    switch (shift) {
        case ShiftTables::None:
            return {};
        case ShiftTables::TurkishSingle:
            return {kSingleShiftElement, 1, kTurkish};
        case ShiftTables::TurkishLockingAndSingle:
            return {kSingleShiftElement, 1, kTurkish, kLockingShiftElement, 1, kTurkish};
    }
    return {};
}

// Units of text one message holds behind a header of `elementOctets` octets of
// information elements (plus its length octet when there are any).
std::size_t capacity(SmsCoding coding, std::size_t elementOctets) {
    const std::size_t header = elementOctets == 0 ? 0 : 1 + elementOctets;
    if (coding == SmsCoding::Gsm7) {
        return kMaxSeptets - (header * 8 + 6) / 7;  // the header in whole septets
    }
    return kMaxOctets - header;
}

// [begin, end) ranges of units, one per part; cut only between characters.
std::vector<std::pair<std::size_t, std::size_t>> split(const CodedText& text) {
    const std::size_t elements = shiftElements(text.shift).size();
    if (text.units.size() <= capacity(text.coding, elements)) {
        return {{0, text.units.size()}};
    }
    const std::size_t limit = capacity(text.coding, kConcatElementSize + elements);
    std::vector<std::pair<std::size_t, std::size_t>> parts;
    std::size_t begin = 0;
    std::size_t end = 0;
    for (unsigned char width : text.widths) {
        if (end + width - begin > limit) {
            parts.emplace_back(begin, end);
            begin = end;
        }
        end += width;
    }
    parts.emplace_back(begin, end);
    return parts;
}

// The coded text EncodeMessage sends. With the Turkish tables, the fewest parts among the
// default alphabet, the single shift, locking and single shift, and UCS-2, in that order
// of preference on equal counts; 8-bit data is never chosen.
CodedText chooseCodedText(std::u16string_view text, SmsCoding coding,
                          const EncodeOptions& options) {
    if (!options.TurkishTables || coding != SmsCoding::Auto) {
        return CodeText(text, EffectiveCoding(coding, text));
    }
    CodedText best = CodeText(text, SmsCoding::Ucs2);
    std::size_t bestParts = split(best).size();
    for (ShiftTables shift :
         {ShiftTables::TurkishLockingAndSingle, ShiftTables::TurkishSingle, ShiftTables::None}) {
        std::optional<CodedText> coded = CodeSeptets(text, shift);
        if (!coded) {
            continue;
        }
        const std::size_t parts = split(*coded).size();
        if (parts <= bestParts) {  // later in this loop is earlier in preference
            best = std::move(*coded);
            bestParts = parts;
        }
    }
    return best;
}

// The user data header of one part: length octet, the concatenation element when the text
// takes several parts, then the shift elements; empty when there is nothing to say.
std::vector<unsigned char> partHeader(const std::vector<unsigned char>& shift, bool concatenated,
                                      unsigned char reference, std::size_t count,
                                      std::size_t index) {
    std::vector<unsigned char> header{0};
    if (concatenated) {
        for (unsigned char b :
             {kConcatElement, static_cast<unsigned char>(3), reference,
              static_cast<unsigned char>(count), static_cast<unsigned char>(index)}) {
            header.push_back(b);
        }
    }
    for (unsigned char b : shift) {
        header.push_back(b);
    }
    if (header.size() == 1) {
        return {};
    }
    header[0] = static_cast<unsigned char>(header.size() - 1);
    return header;
}

unsigned char nextReference() {
    // Starts anywhere, so that messages of two runs in a row do not share references.
    static std::atomic<unsigned> counter{std::random_device{}()};
    return static_cast<unsigned char>(counter.fetch_add(1, std::memory_order_relaxed));
}

}  // namespace

MessageLayout PlanMessage(std::u16string_view text, SmsCoding coding,
                          const EncodeOptions& options) {
    const CodedText coded = chooseCodedText(text, coding, options);
    return MessageLayout{coded.coding, coded.shift, static_cast<int>(split(coded).size())};
}

std::vector<PduPart> EncodeMessage(TSMS& sms, const EncodeOptions& options) {
    sms.StatusReport = sms.StatusReport || options.StatusReport;
    if (!sms.UserDataHeader.empty()) {
        // The caller lays out the user data itself.
        PduPart part;
        part.Pdu = sms.EncodePdu();
        part.TpduLength = sms.TpduLength;
        return {part};
    }
    TSMS::EncodeAddress(sms.Number);  // fail before a reference is used up
    const CodedText coded = chooseCodedText(sms.Text, sms.Coding, options);
    const auto ranges = split(coded);
    if (ranges.size() > static_cast<std::size_t>(kMaxParts) || options.ConcatReference > 255) {
        throw EPduError();
    }
    const std::vector<unsigned char> shift = shiftElements(coded.shift);
    const unsigned char reference = ranges.size() == 1 ? 0
                                    : options.ConcatReference >= 0
                                        ? static_cast<unsigned char>(options.ConcatReference)
                                        : nextReference();

    std::vector<PduPart> parts;
    parts.reserve(ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const std::vector<unsigned char> header =
            partHeader(shift, ranges.size() > 1, reference, ranges.size(), i + 1);
        const auto [begin, end] = ranges[i];
        PduPart part;
        part.Pdu =
            EncodeSubmit(sms, coded.coding, header,
                         std::span(coded.units).subspan(begin, end - begin), part.TpduLength);
        parts.push_back(std::move(part));
    }
    sms.TpduLength = parts.front().TpduLength;
    return parts;
}

}  // namespace sms
