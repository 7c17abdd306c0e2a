#pragma once
// Small helpers over pugixml for the zipped XML workbooks: element and attribute names
// are compared without their namespace prefix, since writers choose prefixes freely.

#include <pugixml.hpp>

#include <cstring>
#include <string>

#include "recipients/workbook.h"

namespace recipients::xml {

inline const char* localName(const char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

inline bool is(const pugi::xml_node& node, const char* local) {
    return node.type() == pugi::node_element && std::strcmp(localName(node.name()), local) == 0;
}

// The first child element with that local name.
inline pugi::xml_node child(const pugi::xml_node& node, const char* local) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (is(c, local)) {
            return c;
        }
    }
    return {};
}

// The attribute with that local name (any prefix).
inline pugi::xml_attribute attribute(const pugi::xml_node& node, const char* local) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        if (std::strcmp(localName(a.name()), local) == 0) {
            return a;
        }
    }
    return {};
}

// Parses a part in place (the text must outlive the document). Throws WorkbookError.
inline void parse(pugi::xml_document& doc, std::string& text) {
    const pugi::xml_parse_result r = doc.load_buffer_inplace(
        text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!r) {
        throw WorkbookError("Dosya bozuk ya da bir çalışma kitabı değil.");
    }
}

}  // namespace recipients::xml
