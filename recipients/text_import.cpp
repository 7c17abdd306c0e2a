#include "recipients/text_import.h"

#include "platform/codepage_1254.h"
#include "recipients/recipient_file.h"
#include "recipients/text_encoding.h"

namespace recipients {
namespace {

constexpr std::size_t kLinesPerCheck = 4096;

class Pieces {
public:
    Pieces(const ReadControl& control, std::size_t total) : m_control(control), m_total(total) {}

    // Appends the blank- or tab-separated pieces of one line; `done` is how far through
    // the text the line ends, for the progress.
    void addLine(std::u16string_view line, std::size_t done) {
        if (++m_lines % kLinesPerCheck == 0) {
            m_control.check();
            m_control.report(m_total ? static_cast<int>(100.0 * static_cast<double>(done) /
                                                        static_cast<double>(m_total))
                                     : 0);
        }
        if (line.empty()) {
            return;
        }
        std::size_t start = 0;
        for (;;) {
            const std::size_t blank = line.find_first_of(u" \t", start);
            if (blank == std::u16string_view::npos) {
                add(line.substr(start));
                return;
            }
            add(line.substr(start, blank - start));
            start = blank + 1;
            if (start == line.size()) {
                return;  // a blank at the end of the line gives no entry
            }
        }
    }

    ImportResult take(std::string note) {
        m_result.note = std::move(note);
        return std::move(m_result);
    }

private:
    void add(std::u16string_view piece) {
        if (m_result.entries.size() + m_result.refusedCount >= kMaxTextImportEntries) {
            throw TextImportError("Dosyada çok fazla kayıt var (en çok " +
                                  std::to_string(kMaxTextImportEntries) +
                                  "); bir numara listesi olmadığı için aktarılmadı.");
        }
        addEntry(m_result, piece);
    }

    const ReadControl& m_control;
    std::size_t m_total;
    std::size_t m_lines = 0;
    ImportResult m_result;
};

// Calls f(line, end) for every line of the text, end being where the line stops.
template <typename Char, typename F>
void forEachLine(std::basic_string_view<Char> all, F&& f) {
    const Char breaks[] = {Char('\r'), Char('\n'), Char(0)};
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t end = all.find_first_of(breaks, start);
        if (end == std::basic_string_view<Char>::npos) {
            f(all.substr(start), all.size());
            return;
        }
        f(all.substr(start, end - start), end);
        start = end + 1;
        if (all[end] == Char('\r') && start < all.size() && all[start] == Char('\n')) {
            ++start;
        }
    }
}

}  // namespace

ImportResult textImportEntries(std::string_view bytes, const ReadControl& control) {
    const TextForm form = textForm(bytes);
    const std::string note = encodingNote(form);
    if (form.encoding == TextEncoding::Utf16Le || form.encoding == TextEncoding::Utf16Be) {
        // No larger than the bytes themselves.
        std::u16string text = toUtf16(form);
        text.resize(std::min(text.size(), text.find(u'\0')));
        Pieces pieces(control, text.size());
        forEachLine(std::u16string_view(text),
                    [&](std::u16string_view line, std::size_t end) { pieces.addLine(line, end); });
        return pieces.take(note);
    }
    // Line breaks and the zero byte are single bytes in both 8-bit forms: the text is
    // decoded a line at a time, never whole.
    std::string_view text = form.body;
    text = text.substr(0, text.find('\0'));
    Pieces pieces(control, text.size());
    std::u16string line;
    forEachLine(text, [&](std::string_view bytesOfLine, std::size_t end) {
        line = form.encoding == TextEncoding::Utf8 ? platform::cp1254::utf8ToUtf16(bytesOfLine)
                                                   : platform::cp1254::toUtf16(bytesOfLine);
        pieces.addLine(line, end);
    });
    return pieces.take(note);
}

ImportResult readTextImport(const std::filesystem::path& file, const ReadControl& control) {
    control.report(0);
    const std::string bytes = readFileBytes(file, kMaxTextImportBytes);
    control.check();
    return textImportEntries(bytes, control);
}

}  // namespace recipients
