#pragma once
// The 7-bit tables of 3GPP TS 23.038 by Unicode character: the default alphabet with its
// real extension table (6.2.1), and the Turkish locking shift and single shift tables
// (Annex A.3.1, A.2.1). Used when a text may go out with the national language shifts;
// the program's plain 7-bit coding goes through the 1254 tables of gsm_alphabet.h.

#include <optional>

namespace sms {

struct SeptetCode {
    unsigned char code;  // 0x00-0x7F
    bool escaped;        // from the extension (single shift) table: sent after 0x1B

    friend bool operator==(const SeptetCode&, const SeptetCode&) = default;
};

// The code of `ch` with the main table (default alphabet, or the Turkish locking shift
// table) and the extension (the default extension table, or the Turkish single shift
// table); the main table wins when both hold it. Nothing when neither does.
std::optional<SeptetCode> LookupSeptet(char16_t ch, bool turkishLocking, bool turkishSingle);

// The character of a code, the reverse of LookupSeptet; nothing for an unused code.
std::optional<char16_t> SeptetCharacter(SeptetCode code, bool turkishLocking, bool turkishSingle);

}  // namespace sms
