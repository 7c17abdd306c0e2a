#pragma once
// The zipped XML parts of a workbook, read as a stream of elements and texts (expat):
// a part is never held whole, nor as a tree, and its nesting costs nothing, so a
// crafted part can neither exhaust the memory nor the stack. The parser's own memory
// is held within kMaxParserBytes. Element and attribute names are compared by their
// local part, since writers choose namespace prefixes freely.

#include <cstddef>
#include <string>
#include <string_view>

#include "recipients/workbook.h"
#include "recipients/zip_archive.h"

namespace recipients::xml {

inline constexpr std::size_t kMaxParserBytes = 64u * 1024 * 1024;

// The part of a name after its prefix.
std::string_view localName(std::string_view name);

// The value of the attribute with that local name, or nullptr. `attributes` is expat's
// list: name, value, name, value ..., then nullptr.
const char* attribute(const char** attributes, std::string_view local);

class Handler {
public:
    virtual ~Handler() = default;
    // An element starts; `name` is its local name.
    virtual void start(std::string_view name, const char** attributes) = 0;
    virtual void end() = 0;
    // Text inside the innermost element, in pieces.
    virtual void text(std::string_view piece) = 0;
    // True once the handler needs nothing more of the part.
    virtual bool done() const { return false; }
};

// Reads the part through the handler. Throws WorkbookError when the part is missing,
// damaged, too large or too demanding, and what the handler throws.
void parsePart(const ZipArchive& zip, const std::string& name, Handler& handler,
               const ReadControl& control);

}  // namespace recipients::xml
