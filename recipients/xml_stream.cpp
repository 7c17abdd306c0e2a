#include "recipients/xml_stream.h"

#include <expat.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

namespace recipients::xml {
namespace {

[[noreturn]] void damaged() {
    throw WorkbookError("Dosya bozuk ya da bir çalışma kitabı değil.");
}

// The parser's memory, counted per thread (a parser lives on the thread that made it),
// each block with its size in front.
thread_local std::size_t t_parserBytes = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* countedMalloc(std::size_t size) {
    if (size > kMaxParserBytes - t_parserBytes) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) {
        return nullptr;
    }
    std::memcpy(block, &size, sizeof size);
    t_parserBytes += size;
    return block + kHeader;
}

void countedFree(void* p) {
    if (!p) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(p) - kHeader;
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    t_parserBytes -= size;
    std::free(block);
}

void* countedRealloc(void* p, std::size_t size) {
    if (!p) {
        return countedMalloc(size);
    }
    unsigned char* block = static_cast<unsigned char*>(p) - kHeader;
    std::size_t old;
    std::memcpy(&old, block, sizeof old);
    if (size > old && size - old > kMaxParserBytes - t_parserBytes) {
        return nullptr;
    }
    auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
    if (!grown) {
        return nullptr;
    }
    std::memcpy(grown, &size, sizeof size);
    t_parserBytes = t_parserBytes - old + size;
    return grown + kHeader;
}

const XML_Memory_Handling_Suite kCounted = {countedMalloc, countedRealloc, countedFree};

// Carries a handler's exception across expat, which is C and must not be unwound.
struct Session {
    XML_Parser parser;
    Handler& handler;
    std::exception_ptr error;
    bool tooDemanding = false;

    template <typename F>
    void guarded(F&& f) {
        if (error) {
            return;
        }
        try {
            f();
        } catch (...) {
            error = std::current_exception();
            XML_StopParser(parser, XML_FALSE);
            return;
        }
        if (handler.done()) {
            XML_StopParser(parser, XML_FALSE);
        }
    }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* s = static_cast<Session*>(data);
    s->guarded([&] { s->handler.start(localName(name), attributes); });
}

void XMLCALL onEnd(void* data, const XML_Char*) {
    auto* s = static_cast<Session*>(data);
    s->guarded([&] { s->handler.end(); });
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto* s = static_cast<Session*>(data);
    s->guarded([&] { s->handler.text(std::string_view(text, static_cast<std::size_t>(length))); });
}

// No workbook declares entities; one that does is out to make the parser expand them.
void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                      const XML_Char*, const XML_Char*, const XML_Char*) {
    auto* s = static_cast<Session*>(data);
    s->tooDemanding = true;
    XML_StopParser(s->parser, XML_FALSE);
}

class Parser {
public:
    Parser() : m_parser(XML_ParserCreate_MM(nullptr, &kCounted, nullptr)) {
        if (!m_parser) {
            throw std::bad_alloc();
        }
    }
    ~Parser() { XML_ParserFree(m_parser); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    XML_Parser get() const { return m_parser; }

private:
    XML_Parser m_parser;
};

}  // namespace

std::string_view localName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const char* attribute(const char** attributes, std::string_view local) {
    for (const char** a = attributes; a && *a; a += 2) {
        if (localName(*a) == local) {
            return a[1];
        }
    }
    return nullptr;
}

void parsePart(const ZipArchive& zip, const std::string& name, Handler& handler,
               const ReadControl& control) {
    const Parser parser;
    Session session{parser.get(), handler, nullptr, false};
    XML_SetUserData(parser.get(), &session);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    XML_SetEntityDeclHandler(parser.get(), onEntity);

    bool stopped = false;
    auto feed = [&](std::string_view chunk, bool last) {
        if (XML_Parse(parser.get(), chunk.data(), static_cast<int>(chunk.size()),
                      last ? XML_TRUE : XML_FALSE) == XML_STATUS_OK) {
            return true;
        }
        if (session.error) {
            std::rethrow_exception(session.error);
        }
        if (session.tooDemanding || XML_GetErrorCode(parser.get()) == XML_ERROR_NO_MEMORY) {
            throw WorkbookError(
                "Dosya bir çalışma kitabı için fazla karmaşık (çok büyük bir etiket ya da "
                "varlık tanımı); okunmadı.");
        }
        if (XML_GetErrorCode(parser.get()) == XML_ERROR_ABORTED) {
            stopped = true;  // the handler has what it needs
            return false;
        }
        damaged();
    };
    zip.stream(name, control, [&](std::string_view chunk) { return feed(chunk, false); });
    if (!stopped) {
        feed({}, true);
    }
}

}  // namespace recipients::xml
