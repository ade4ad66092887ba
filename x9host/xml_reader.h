// The one door to a well-kept XML parser: pugixml natively, the system's XmlLite on Windows
// (gpx_read_pugixml.cpp / gpx_read_xmllite.cpp, chosen by CMake). Either turns a document into
// this small element tree with namespaces resolved; the GPX rules live above it, once.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace x9host {

struct XmlElement {
  std::string name;          // local name
  std::string namespaceUri;  // empty when none
  // Attributes without a prefix, by local name (namespace declarations left out).
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;  // the character data directly inside, CDATA included, in UTF-8
  std::vector<XmlElement> children;
  int line = 0;  // where the element starts, for messages; 0 when unknown

  const std::string* Attribute(std::string_view localName) const {
    for (const auto& [key, value] : attributes) {
      if (key == localName) return &value;
    }
    return nullptr;
  }
};

// Parses a whole document held in memory. Throws InputError "<sourceName>: ..." with the line
// when it is not well-formed XML. DTDs are refused.
XmlElement ParseXmlDocument(std::string_view bytes, const std::string& sourceName);

}  // namespace x9host
