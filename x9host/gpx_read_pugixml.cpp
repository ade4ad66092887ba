// The XML parser of the native build: Debian's pugixml.
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "input_error.h"
#include "xml_reader.h"

namespace x9host {
namespace {

// Line numbers from byte offsets into the parsed buffer.
class LineIndex {
 public:
  explicit LineIndex(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n') newlines_.push_back(i);
    }
  }
  int LineOf(ptrdiff_t offset) const {
    if (offset < 0) return 0;
    const auto after =
        std::upper_bound(newlines_.begin(), newlines_.end(), static_cast<size_t>(offset));
    return static_cast<int>(after - newlines_.begin()) + 1;
  }

 private:
  std::vector<size_t> newlines_;
};

// In-scope prefix bindings, innermost last; "" is the default namespace.
using Scope = std::vector<std::pair<std::string, std::string>>;

std::string Resolve(const Scope& scope, const std::string& prefix) {
  for (auto it = scope.rbegin(); it != scope.rend(); ++it) {
    if (it->first == prefix) return it->second;
  }
  return {};
}

void Convert(const pugi::xml_node& node, Scope& scope, const LineIndex& lines, XmlElement& out) {
  const size_t scopeSize = scope.size();
  for (const pugi::xml_attribute& attribute : node.attributes()) {
    const char* name = attribute.name();
    if (std::strcmp(name, "xmlns") == 0) {
      scope.emplace_back("", attribute.value());
    } else if (std::strncmp(name, "xmlns:", 6) == 0) {
      scope.emplace_back(name + 6, attribute.value());
    }
  }
  const std::string qualified = node.name();
  const size_t colon = qualified.find(':');
  const std::string prefix =
      colon == std::string::npos ? std::string() : qualified.substr(0, colon);
  out.name = colon == std::string::npos ? qualified : qualified.substr(colon + 1);
  out.namespaceUri = Resolve(scope, prefix);
  out.line = lines.LineOf(node.offset_debug());
  for (const pugi::xml_attribute& attribute : node.attributes()) {
    const char* name = attribute.name();
    if (std::strcmp(name, "xmlns") == 0 || std::strncmp(name, "xmlns:", 6) == 0) continue;
    if (std::strchr(name, ':') != nullptr) continue;  // namespaced attributes are not GPX's
    out.attributes.emplace_back(name, attribute.value());
  }
  for (const pugi::xml_node& child : node.children()) {
    switch (child.type()) {
      case pugi::node_element: Convert(child, scope, lines, out.children.emplace_back()); break;
      case pugi::node_pcdata:
      case pugi::node_cdata: out.text += child.value(); break;
      default: break;
    }
  }
  scope.resize(scopeSize);
}

}  // namespace

XmlElement ParseXmlDocument(std::string_view bytes, const std::string& sourceName) {
  pugi::xml_document document;
  // Entities and character references expanded; a DOCTYPE is kept as a node only so that it
  // can be refused, as the Windows reader refuses it.
  const unsigned options = pugi::parse_default | pugi::parse_doctype;
  const pugi::xml_parse_result result =
      document.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_auto);
  const LineIndex lines(bytes);
  if (!result) {
    throw InputError(sourceName + ": line " + std::to_string(lines.LineOf(result.offset)) +
                     ": not well-formed XML (" + result.description() + ")");
  }
  for (const pugi::xml_node& child : document.children()) {
    if (child.type() == pugi::node_doctype) {
      throw InputError(sourceName + ": a document type declaration is not accepted");
    }
  }
  const pugi::xml_node root = document.document_element();
  if (!root) throw InputError(sourceName + ": no root element");
  XmlElement out;
  Scope scope{{"xml", "http://www.w3.org/XML/1998/namespace"}};
  Convert(root, scope, lines, out);
  return out;
}

}  // namespace x9host
