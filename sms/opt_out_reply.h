#pragma once
// Whether a customer's reply asks not to be texted again ("RET", "İptal", "Stop lütfen").
// Pure.

#include <string>
#include <string_view>
#include <vector>

namespace sms {

// RET, İPTAL, IPTAL, STOP, DUR.
std::vector<std::u16string> defaultOptOutKeywords();

// Letters folded the Turkish way: İ and i are one letter, I and ı another; other
// capitals of the Latin alphabets become small.
std::u16string foldTurkish(std::u16string_view text);

// True when `text`, leading blanks and punctuation skipped and letters folded, begins with
// one of `keywords` followed by a non-letter or the end: "  ret." and "Ret lütfen" ask,
// "Retro kampanya" does not. Empty keywords never match.
bool isOptOutReply(std::u16string_view text, const std::vector<std::u16string>& keywords);

}  // namespace sms
