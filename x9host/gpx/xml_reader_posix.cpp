// The XML parser of the native build: Debian's expat, fed piece by piece; its events go to the
// handler as they come. Namespaces are resolved by expat ("uri\1local"); a document type
// declaration is refused as soon as it starts, so no entity can be declared and every entity
// but XML's own five is an error.
#include <expat.h>

#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "gpx/parser_memory.h"
#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"

namespace x9host {
namespace {

constexpr char kSeparator = '\x01';

class DoctypeRefused {};

// Our words for the errors a broken GPX file most often gives; expat's for the rest.
std::string Describe(XML_Error error) {
  switch (error) {
    case XML_ERROR_UNDEFINED_ENTITY: return msg::XmlUndeclaredEntity();
    case XML_ERROR_TAG_MISMATCH: return msg::XmlTagMismatch();
    case XML_ERROR_NO_ELEMENTS: return msg::XmlNoElement();
    case XML_ERROR_SYNTAX: return msg::XmlSyntax();
    case XML_ERROR_UNCLOSED_TOKEN: return msg::XmlEndsInside();
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT: return msg::XmlAfterRoot();
    case XML_ERROR_DUPLICATE_ATTRIBUTE: return msg::XmlAttributeTwice();
    case XML_ERROR_UNBOUND_PREFIX: return msg::XmlUndeclaredPrefix();
    case XML_ERROR_INVALID_TOKEN: return msg::XmlBadCharacterOrBytes();
    case XML_ERROR_BAD_CHAR_REF: return msg::XmlBadCharacterReference();
    case XML_ERROR_MISPLACED_XML_PI: return msg::XmlDeclarationNotAtStart();
    case XML_ERROR_XML_DECL: return msg::XmlDeclarationMalformed();
    case XML_ERROR_UNCLOSED_CDATA_SECTION: return msg::XmlUnclosedCdata();
    case XML_ERROR_RESERVED_PREFIX_XML:
    case XML_ERROR_RESERVED_PREFIX_XMLNS:
    case XML_ERROR_RESERVED_NAMESPACE_URI:
    case XML_ERROR_UNDECLARING_PREFIX: return msg::XmlBadNamespaceDeclaration();
    default: return XML_ErrorString(error);
  }
}

// expat keeps every name it meets: its memory is counted (gpx/parser_memory.h).
const XML_Memory_Handling_Suite kCountedMemory = {
    parser_memory::Allocate, parser_memory::Reallocate, parser_memory::Release};

class Parser {
 public:
  Parser(const std::string& source, XmlHandler& handler)
      : parser_(XML_ParserCreate_MM("UTF-8", &kCountedMemory, &kSeparator)),
        source_(source),
        handler_(handler) {
    if (parser_ == nullptr) throw std::bad_alloc();
    parser_memory::Start();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Parser::OnStart, &Parser::OnEnd);
    XML_SetCharacterDataHandler(parser_, &Parser::OnText);
    XML_SetStartDoctypeDeclHandler(parser_, &Parser::OnDoctype);
    XML_SetCommentHandler(parser_, &Parser::OnComment);
    XML_SetProcessingInstructionHandler(parser_, &Parser::OnInstruction);
    XML_SetXmlDeclHandler(parser_, &Parser::OnDeclaration);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
  }
  ~Parser() { XML_ParserFree(parser_); }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  void Run(XmlSource& source) {
    for (;;) {
      const std::string_view piece = source.Next();
      const bool last = piece.empty();
      const XML_Status status =
          XML_Parse(parser_, piece.data(), static_cast<int>(piece.size()), last ? 1 : 0);
      if (failure_) std::rethrow_exception(failure_);
      if (status != XML_STATUS_OK && XML_GetErrorCode(parser_) == XML_ERROR_NO_MEMORY) {
        if (!parser_memory::OverBudget())
          throw std::bad_alloc();  // the machine's memory, not the file's fault
        throw InputError(
            msg::XmlParserBudget(source_, static_cast<long long>(XML_GetCurrentLineNumber(parser_)),
                                 static_cast<long long>(kXmlParserBudget >> 20)));
      }
      if (status != XML_STATUS_OK) {
        throw InputError(msg::XmlNotWellFormed(source_, XML_GetCurrentLineNumber(parser_),
                                               Describe(XML_GetErrorCode(parser_))));
      }
      if (last) return;
    }
  }

 private:
  // Nothing may unwind through expat's C frames: a failure is kept and the parser stopped.
  template <typename Body>
  static void Guard(void* data, Body body) {
    auto* self = static_cast<Parser*>(data);
    if (self->failure_) return;
    try {
      body(*self);
    } catch (const DoctypeRefused&) {
      self->failure_ = std::make_exception_ptr(InputError(msg::XmlDoctypeRefused(self->source_)));
      XML_StopParser(self->parser_, XML_FALSE);
    } catch (...) {
      self->failure_ = std::current_exception();
      XML_StopParser(self->parser_, XML_FALSE);
    }
  }

  // XML 1.0 knows versions "1." and digits; expat takes any, XmlLite (and the schema's readers)
  // only those.
  static void XMLCALL OnDeclaration(void* data, const XML_Char* version, const XML_Char*, int) {
    Guard(data, [&](Parser& self) {
      if (version == nullptr) return;  // a text declaration: not in a GPX file
      const std::string_view text(version);
      const bool digits = text.size() > 2 && text.substr(0, 2) == "1." &&
                          text.find_first_not_of("0123456789", 2) == std::string_view::npos;
      if (!digits) {
        throw InputError(msg::XmlNotWellFormed(self.source_, XML_GetCurrentLineNumber(self.parser_),
                                               msg::XmlDeclarationMalformed()));
      }
    });
  }

  static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    Guard(data, [&](Parser& self) {
      const std::string_view qualified(name);
      const size_t split = qualified.find(kSeparator);
      const std::string_view ns =
          split == std::string_view::npos ? std::string_view() : qualified.substr(0, split);
      const std::string_view local =
          split == std::string_view::npos ? qualified : qualified.substr(split + 1);
      self.attributes_.clear();
      for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        const std::string_view attribute(a[0]);
        const size_t at = attribute.find(kSeparator);
        if (at == std::string_view::npos) {
          self.attributes_.push_back({attribute, a[1], {}});
        } else {
          self.attributes_.push_back({attribute.substr(at + 1), a[1], attribute.substr(0, at)});
        }
      }
      self.handler_.StartElement(local, ns, self.attributes_.data(), self.attributes_.size(),
                                 static_cast<int>(XML_GetCurrentLineNumber(self.parser_)));
    });
  }
  static void XMLCALL OnEnd(void* data, const XML_Char*) {
    Guard(data, [](Parser& self) { self.handler_.EndElement(); });
  }
  static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
    Guard(data, [&](Parser& self) {
      self.handler_.Text(std::string_view(text, static_cast<size_t>(length)));
    });
  }
  static void XMLCALL OnComment(void* data, const XML_Char*) {
    Guard(data, [](Parser& self) { self.handler_.Comment(self.Line()); });
  }
  static void XMLCALL OnInstruction(void* data, const XML_Char*, const XML_Char*) {
    Guard(data, [](Parser& self) { self.handler_.Instruction(self.Line()); });
  }
  static void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
                                int) {
    Guard(data, [](Parser&) { throw DoctypeRefused(); });
  }

  int Line() const { return static_cast<int>(XML_GetCurrentLineNumber(parser_)); }

  XML_Parser parser_;
  std::string source_;
  XmlHandler& handler_;
  std::vector<XmlAttribute> attributes_;
  std::exception_ptr failure_;
};

}  // namespace

void ParseXml(XmlSource& source, const std::string& sourceName, XmlHandler& handler) {
  ValueLimit limited(source, sourceName);
  Parser(sourceName, handler).Run(limited);
}

}  // namespace x9host
