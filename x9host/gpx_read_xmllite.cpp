// The XML parser of the Windows build: the system's XmlLite (xmllite.dll). MinGW ships its
// header but no import library, so CreateXmlReader is looked up at run time.
#include <windows.h>
// After <windows.h>, which they need.
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <string>
#include <vector>

#include "input_error.h"
#include "win32/win32_text.h"
#include "xml_reader.h"

namespace x9host {
namespace {

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface** Out() { return &pointer_; }
  Interface* operator->() const { return pointer_; }
  Interface* get() const { return pointer_; }

 private:
  Interface* pointer_ = nullptr;
};

std::string Utf8(const wchar_t* text, UINT length) {
  if (text == nullptr) return {};
  return x9sim::win32::Utf8FromWide(std::wstring_view(text, length));
}

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderFn FindCreateXmlReader() {
  static CreateXmlReaderFn function = [] {
    HMODULE library = LoadLibraryW(L"xmllite.dll");
    return library == nullptr ? nullptr
                              : reinterpret_cast<CreateXmlReaderFn>(reinterpret_cast<void*>(
                                    GetProcAddress(library, "CreateXmlReader")));
  }();
  return function;
}

// Words for the errors a broken GPX file most often gives; the code for the rest.
std::string Describe(HRESULT error) {
  static const struct {
    unsigned code;
    const char* text;
  } kKnown[] = {
      {MX_E_INPUTEND, "the file ends inside the document"},
      {MX_E_ENCODING, "the bytes do not match the encoding"},
      {WC_E_ELEMENTMATCH, "an end tag does not match its start tag"},
      {WC_E_ROOTELEMENT, "more than one root element"},
      {WC_E_SYNTAX, "syntax error"},
      {WC_E_NAME, "a name was expected"},
      {WC_E_QUOTE, "a quote was expected"},
      {WC_E_UNDECLAREDENTITY, "an undeclared entity"},
      {WC_E_XMLCHARACTER, "a character XML does not allow"},
      {WC_E_UNIQUEATTRIBUTE, "an attribute given twice"},
      {WC_E_DTDPROHIBITED, "a document type declaration is not accepted"},
      {NC_E_UNDECLAREDPREFIX, "an undeclared namespace prefix"},
  };
  for (const auto& known : kKnown) {
    if (static_cast<unsigned>(error) == known.code) return known.text;
  }
  char text[32];
  wsprintfA(text, "XmlLite error 0x%08lX", static_cast<unsigned long>(error));
  return text;
}

class Reader {
 public:
  Reader(IXmlReader* reader, const std::string& sourceName)
      : reader_(reader), source_(sourceName) {}

  XmlElement ReadDocument() {
    XmlNodeType type;
    std::vector<XmlElement*> open;
    XmlElement root;
    bool haveRoot = false;
    for (;;) {
      const HRESULT hr = reader_->Read(&type);
      if (hr == S_FALSE) break;
      Check(hr);
      switch (type) {
        case XmlNodeType_Element: {
          XmlElement* element;
          if (open.empty()) {
            element = &root;
            haveRoot = true;
          } else {
            element = &open.back()->children.emplace_back();
          }
          UINT line = 0;
          reader_->GetLineNumber(&line);
          element->line = static_cast<int>(line);
          element->name = LocalName();
          element->namespaceUri = NamespaceUri();
          const bool empty = reader_->IsEmptyElement() != FALSE;
          ReadAttributes(*element);
          if (!empty) open.push_back(element);
          break;
        }
        case XmlNodeType_EndElement:
          if (!open.empty()) open.pop_back();
          break;
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace:
          if (!open.empty()) open.back()->text += Value();
          break;
        case XmlNodeType_DocumentType:
          throw InputError(source_ + ": a document type declaration is not accepted");
        default: break;
      }
    }
    if (!haveRoot) throw InputError(source_ + ": no root element");
    return root;
  }

 private:
  void Check(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    UINT line = 0;
    reader_->GetLineNumber(&line);
    throw InputError(source_ + ": line " + std::to_string(line) + ": not well-formed XML (" +
                     Describe(hr) + ")");
  }

  std::string LocalName() {
    const wchar_t* text = nullptr;
    UINT length = 0;
    Check(reader_->GetLocalName(&text, &length));
    return Utf8(text, length);
  }
  std::string NamespaceUri() {
    const wchar_t* text = nullptr;
    UINT length = 0;
    Check(reader_->GetNamespaceUri(&text, &length));
    return Utf8(text, length);
  }
  std::string Prefix() {
    const wchar_t* text = nullptr;
    UINT length = 0;
    Check(reader_->GetPrefix(&text, &length));
    return Utf8(text, length);
  }
  std::string Value() {
    const wchar_t* text = nullptr;
    UINT length = 0;
    Check(reader_->GetValue(&text, &length));
    return Utf8(text, length);
  }

  void ReadAttributes(XmlElement& element) {
    HRESULT hr = reader_->MoveToFirstAttribute();
    while (hr == S_OK) {
      if (reader_->IsDefault() == FALSE) {
        const std::string prefix = Prefix();
        const std::string name = LocalName();
        // Namespace declarations and namespaced attributes are not GPX's.
        if (prefix.empty() && name != "xmlns") element.attributes.emplace_back(name, Value());
      }
      hr = reader_->MoveToNextAttribute();
    }
    Check(hr);
    Check(reader_->MoveToElement());
  }

  IXmlReader* reader_;
  std::string source_;
};

}  // namespace

XmlElement ParseXmlDocument(std::string_view bytes, const std::string& sourceName) {
  const CreateXmlReaderFn create = FindCreateXmlReader();
  if (create == nullptr) throw InputError("xmllite.dll is missing: GPX files cannot be read");
  ComPtr<IStream> stream;
  *stream.Out() = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<UINT>(bytes.size()));
  if (stream.get() == nullptr) throw InputError(sourceName + ": out of memory");
  ComPtr<IXmlReader> reader;
  if (FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(reader.Out()), nullptr))) {
    throw InputError("XmlLite cannot create a reader");
  }
  reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
  if (FAILED(reader->SetInput(stream.get()))) throw InputError(sourceName + ": cannot be read");
  return Reader(reader.get(), sourceName).ReadDocument();
}

}  // namespace x9host
