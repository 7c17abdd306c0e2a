#pragma once
// The serial layer's message table: one text per code magnitude.

#include <cstdint>
#include <string>
#include <vector>

namespace serial {

struct MessageNumberLookupRecord {
    int32_t code;
    std::string text;
};

// All records, sorted by the magnitude of the code, ascending.
const std::vector<MessageNumberLookupRecord>& MessageTable();

// The text of the record with this magnitude (cut to 255 characters), or "".
std::string LookupMessage(uint16_t magnitude);
// The table's text, else the system's text for that error number (control characters
// blanked, runs of blanks made single, cut to 255 characters), else "".
std::string ErrorMessage(uint16_t magnitude);

}  // namespace serial
