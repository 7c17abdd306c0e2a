#include "recipients/text_import.h"

#include "platform/codepage_1254.h"
#include "recipients/recipient_file.h"

namespace recipients {
namespace {

std::u16string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        text += static_cast<char16_t>(hi << 8 | lo);
    }
    return text;
}

// Appends the blank-separated pieces of one line.
void addPieces(ImportResult& result, std::u16string_view line) {
    if (line.empty()) {
        return;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t blank = line.find(u' ', start);
        if (blank == std::u16string_view::npos) {
            addEntry(result, line.substr(start));
            return;
        }
        addEntry(result, line.substr(start, blank - start));
        start = blank + 1;
        if (start == line.size()) {
            return;  // a blank at the end of the line gives no entry
        }
    }
}

}  // namespace

std::u16string decodeText(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return platform::cp1254::utf8ToUtf16(bytes.substr(3));
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return decodeUtf16(bytes.substr(2), false);
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return decodeUtf16(bytes.substr(2), true);
    }
    return platform::cp1254::toUtf16(bytes);
}

ImportResult textImportEntries(std::string_view bytes) {
    std::u16string text = decodeText(bytes);
    if (const std::size_t zero = text.find(u'\0'); zero != std::u16string::npos) {
        text.resize(zero);
    }
    ImportResult result;
    const std::u16string_view all = text;
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t end = all.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) {
            addPieces(result, all.substr(start));
            break;
        }
        addPieces(result, all.substr(start, end - start));
        start = end + 1;
        if (all[end] == u'\r' && start < all.size() && all[start] == u'\n') {
            ++start;
        }
    }
    return result;
}

ImportResult readTextImport(const std::filesystem::path& file) {
    return textImportEntries(readFileBytes(file));
}

}  // namespace recipients
