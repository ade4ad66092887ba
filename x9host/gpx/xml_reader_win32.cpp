// The XML parser of the Windows build: the system's XmlLite (xmllite.dll), a pull reader fed
// from the UTF-8 pieces through a stream of our own. MinGW ships its header but no import
// library, so CreateXmlReader is looked up at run time.
#include "platform/win32/windows_support.h"
// After <windows.h>, which they need.
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "gpx/parser_memory.h"
#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "platform/win32/win32_text.h"

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
  return x9::platform::win32::Utf8FromWide(std::wstring_view(text, length));
}

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderFn FindCreateXmlReader() {
  static CreateXmlReaderFn function = [] {
    // From the system directory only: a file of that name beside x9host or in the working
    // directory must not be the one that parses the user's files.
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return CreateXmlReaderFn{};
    const std::wstring path = std::wstring(directory, length) + L"\\xmllite.dll";
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library == nullptr ? nullptr
                              : reinterpret_cast<CreateXmlReaderFn>(reinterpret_cast<void*>(
                                    GetProcAddress(library, "CreateXmlReader")));
  }();
  return function;
}

// XmlLite allocates through this, so that its memory is counted as expat's is
// (gpx/parser_memory.h). One for the process: COM's reference count only answers COM.
class CountedMalloc final : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IMalloc)) {
      *out = static_cast<IMalloc*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  void* STDMETHODCALLTYPE Alloc(SIZE_T size) override { return parser_memory::Allocate(size); }
  void* STDMETHODCALLTYPE Realloc(void* block, SIZE_T size) override {
    if (block != nullptr && size == 0) {
      parser_memory::Release(block);
      return nullptr;
    }
    return parser_memory::Reallocate(block, size);
  }
  void STDMETHODCALLTYPE Free(void* block) override { parser_memory::Release(block); }
  SIZE_T STDMETHODCALLTYPE GetSize(void* block) override {
    return block == nullptr ? static_cast<SIZE_T>(-1) : parser_memory::SizeOf(block);
  }
  int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
};

CountedMalloc countedMalloc;

constexpr char kXmlNamespace[] = "http://www.w3.org/XML/1998/namespace";

// Words for the errors a broken GPX file most often gives; the code for the rest.
std::string Describe(HRESULT error) {
  static const struct {
    unsigned code;
    std::string (*text)();
  } kKnown[] = {
      {MX_E_INPUTEND, msg::XmlEndsInside},
      {MX_E_ENCODING, msg::XmlBytesNotEncoding},
      {WC_E_ELEMENTMATCH, msg::XmlTagMismatch},
      {WC_E_ROOTELEMENT, msg::XmlSecondRoot},
      {WC_E_SYNTAX, msg::XmlSyntax},
      {WC_E_NAME, msg::XmlNameExpected},
      {WC_E_QUOTE, msg::XmlBadCharacterOrBytes},
      {WC_E_EQUAL, msg::XmlBadCharacterOrBytes},
      {WC_E_PI, msg::XmlBadCharacterOrBytes},
      {WC_E_WHITESPACE, msg::XmlBadCharacterOrBytes},
      {WC_E_SEMICOLON, msg::XmlBadCharacterOrBytes},
      {WC_E_GREATERTHAN, msg::XmlBadCharacterOrBytes},
      {WC_E_QUESTIONMARK, msg::XmlBadCharacterOrBytes},
      {WC_E_XMLDECL, msg::XmlDeclarationMalformed},
      {WC_E_UNDECLAREDENTITY, msg::XmlUndeclaredEntity},
      {WC_E_XMLCHARACTER, msg::XmlBadCharacter},
      {WC_E_UNIQUEATTRIBUTE, msg::XmlAttributeTwice},
      {WC_E_DTDPROHIBITED, msg::XmlDoctype},
      {NC_E_UNDECLAREDPREFIX, msg::XmlUndeclaredPrefix},
      // What expat calls a token it cannot read.
      {WC_E_COMMENT, msg::XmlBadCharacterOrBytes},
      {WC_E_LESSTHAN, msg::XmlBadCharacterOrBytes},
      {WC_E_CDSECTEND, msg::XmlBadCharacterOrBytes},
      {WC_E_NAMECHARACTER, msg::XmlBadCharacterOrBytes},
      {NC_E_QNAMECHARACTER, msg::XmlBadCharacterOrBytes},
      {WC_E_LEADINGXML, msg::XmlDeclarationNotAtStart},
      {NC_E_EMPTYURI, msg::XmlBadNamespaceDeclaration},
      {NC_E_XMLPREFIXRESERVED, msg::XmlBadNamespaceDeclaration},
      {NC_E_XMLNSPREFIXRESERVED, msg::XmlBadNamespaceDeclaration},
      {NC_E_XMLURIRESERVED, msg::XmlBadNamespaceDeclaration},
      {NC_E_XMLNSURIRESERVED, msg::XmlBadNamespaceDeclaration},
  };
  for (const auto& known : kKnown) {
    if (static_cast<unsigned>(error) == known.code) return known.text();
  }
  char code[16];
  wsprintfA(code, "0x%08lX", static_cast<unsigned long>(error));
  return msg::XmlLiteError(code);
}

// The UTF-8 pieces as the stream XmlLite pulls from. Lives on the caller's stack, so the
// reference count only answers COM; a failure of the source is kept for the caller.
class SourceStream final : public IStream {
 public:
  explicit SourceStream(XmlSource& source) : source_(source) {}

  std::exception_ptr failure;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_ISequentialStream) ||
        IsEqualIID(id, IID_IStream)) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  bool Ended() const { return ended_ && pending_.empty() && held_.empty(); }

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* done) override {
    if (failure) return E_FAIL;
    ULONG copied = 0;
    if (!held_.empty()) {
      copied = static_cast<ULONG>(std::min<size_t>(held_.size(), size));
      std::memcpy(buffer, held_.data(), copied);
      held_.erase(0, copied);
    }
    while (copied < size && !ended_ && !failure) {
      if (pending_.empty()) {
        try {
          pending_ = source_.Next();
        } catch (...) {
          failure = std::current_exception();
          // In the middle of a long text XmlLite asks for more again and again after a failed
          // read: it gets instead what ends whatever it is inside (a comment, a CDATA section,
          // an instruction, a value, a tag, a text) in an error.
          static constexpr char kEnd[] = "]]>--?><<";
          const ULONG n = std::min<ULONG>(size - copied, sizeof kEnd - 1);
          std::memcpy(static_cast<char*>(buffer) + copied, kEnd, n);
          if (done != nullptr) *done = copied + n;
          return copied + n == 0 ? E_FAIL : S_OK;
        }
        if (pending_.empty()) {
          ended_ = true;
          break;
        }
      }
      const size_t n = std::min<size_t>(pending_.size(), size - copied);
      std::memcpy(static_cast<char*>(buffer) + copied, pending_.data(), n);
      pending_.remove_prefix(n);
      copied += static_cast<ULONG>(n);
    }
    // Wine's XmlLite garbles a multi-byte character that ends a read, cut or whole (names past
    // about 64 KiB of a file came out wrong): a read that stops short of the text's end stops
    // after its last ASCII byte (the guard puts one in every long run), the rest held for the
    // next read.
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    if (copied > 0 && copied == size && !Ended() && bytes[copied - 1] >= 0x80) {
      ULONG keep = copied;
      while (keep > 0 && bytes[keep - 1] >= 0x80)
        --keep;
      if (keep > 0) {
        held_.insert(0, reinterpret_cast<const char*>(bytes) + keep, copied - keep);
        copied = keep;
      }
    }
    if (done != nullptr) *done = copied;
    if (failure && copied == 0) return E_FAIL;
    return copied < size ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  XmlSource& source_;
  std::string_view pending_;
  std::string held_;  // the end of the last read, which came after its last ASCII byte
  bool ended_ = false;
  ULONG references_ = 1;
};

class Reader {
 public:
  Reader(IXmlReader* reader, SourceStream& stream, XmlLiteGuard& guard,
         const std::string& sourceName)
      : reader_(reader), stream_(stream), guard_(guard), source_(sourceName) {}

  void ReadDocument(XmlHandler& handler) {
    XmlNodeType type;
    for (;;) {
      const HRESULT hr = reader_->Read(&type);
      // A node read after the source failed is made of the bytes that end the read.
      if (stream_.failure) std::rethrow_exception(stream_.failure);
      if (hr == S_FALSE) {
        if (guard_.CutShort()) throw InputError(*guard_.CutShort());
        break;
      }
      Check(hr);
      ++nodes_;
      // Wine's XmlLite answers the end of a file cut short with no node, or an empty white
      // space node, again and again.
      if (stream_.Ended() &&
          (type == XmlNodeType_None || (type == XmlNodeType_Whitespace && EmptyValue()))) {
        break;
      }
      switch (type) {
        case XmlNodeType_Element: {
          haveRoot_ = true;
          UINT line = 0;
          reader_->GetLineNumber(&line);
          const std::string name = LocalName();
          const std::string ns = NamespaceUri();
          const bool empty = reader_->IsEmptyElement() != FALSE;
          marks_.push_back(declared_.size());
          ReadAttributes(line);
          // Wine's XmlLite lets a prefix without a declaration through (into the default
          // namespace); XML with namespaces does not, so the prefixes in scope are kept here.
          if (!Declared(Prefix())) Refuse(line, msg::XmlUndeclaredPrefix());
          if (empty) Pop();
          handler.StartElement(name, ns, views_.data(), views_.size(), static_cast<int>(line));
          if (empty) handler.EndElement();
          break;
        }
        case XmlNodeType_EndElement:
          Pop();
          handler.EndElement();
          break;
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace: handler.Text(Value()); break;
        case XmlNodeType_Comment:
          // A long comment reaches XmlLite in pieces (XmlLiteGuard): it is one comment, on the
          // line where it starts.
          if (const std::optional<int> line = guard_.TakeCommentNode()) handler.Comment(*line);
          break;
        case XmlNodeType_ProcessingInstruction:
          handler.Instruction(guard_.TakeInstruction());
          break;
        case XmlNodeType_DocumentType: throw InputError(msg::XmlDoctypeRefused(source_));
        default: break;
      }
    }
    // A file that ends inside an element, in the words expat uses: Wine's XmlLite takes it
    // for whole.
    if (!haveRoot_ || !marks_.empty() || !guard_.Closed())
      Refuse(guard_.Line(), msg::XmlNoElement());
  }

 private:
  int Line() {
    UINT line = 0;
    reader_->GetLineNumber(&line);
    return static_cast<int>(line);
  }

  [[noreturn]] void Refuse(UINT line, const std::string& what) {
    if (line == 0) reader_->GetLineNumber(&line);
    throw InputError(msg::XmlNotWellFormed(source_, line == 0 ? 1 : line, what));
  }

  void Check(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    if (stream_.failure) std::rethrow_exception(stream_.failure);
    // The end of a file cut short makes no end tag, attribute or reference of its own: an error
    // of those is the file's, wherever it is.
    const auto code = static_cast<unsigned>(hr);
    const bool theFiles = code == WC_E_ELEMENTMATCH || code == WC_E_UNIQUEATTRIBUTE ||
                          code == WC_E_UNDECLAREDENTITY || code == NC_E_UNDECLAREDPREFIX ||
                          (code >= NC_E_EMPTYURI && code <= NC_E_XMLNSURIRESERVED);
    if (guard_.CutShort() && !theFiles && Line() >= guard_.CutShortLine())
      throw InputError(*guard_.CutShort());
    if (hr == E_OUTOFMEMORY) {
      if (!parser_memory::OverBudget()) throw std::bad_alloc();  // the machine's, not the file's
      UINT line = 0;
      reader_->GetLineNumber(&line);
      throw InputError(msg::XmlParserBudget(source_, static_cast<long long>(line == 0 ? 1 : line),
                                            static_cast<long long>(kXmlParserBudget >> 20)));
    }
    // An empty file, in the words expat uses.
    if (!haveRoot_ && static_cast<unsigned>(hr) == MX_E_INPUTEND) Refuse(0, msg::XmlNoElement());
    // In the words expat's build uses: no line, not a matter of well-formedness.
    if (static_cast<unsigned>(hr) == WC_E_DTDPROHIBITED)
      throw InputError(msg::XmlDoctypeRefused(source_));
    // XmlLite reads the declaration as the first node, and names what is wrong in it.
    if (nodes_ == 0 && guard_.Declared()) Refuse(0, msg::XmlDeclarationMalformed());
    // After the root element, expat calls a stray end tag a token it cannot read.
    if (haveRoot_ && marks_.empty()) {
      switch (guard_.FirstAfterRoot()) {
        case XmlLiteGuard::AfterRoot::kUnreadable: Refuse(0, msg::XmlBadCharacterOrBytes());
        case XmlLiteGuard::AfterRoot::kOther: Refuse(0, msg::XmlAfterRoot());
        case XmlLiteGuard::AfterRoot::kNothing: break;
      }
    }
    Refuse(0, Describe(hr));
  }

  // From the qualified name: Wine's GetPrefix is empty for a prefix it could not resolve.
  std::wstring Prefix() {
    const wchar_t* name = nullptr;
    UINT length = 0;
    Check(reader_->GetQualifiedName(&name, &length));
    const std::wstring_view qualified(name == nullptr ? L"" : name, length);
    const size_t colon = qualified.find(L':');
    return colon == std::wstring_view::npos ? std::wstring()
                                            : std::wstring(qualified.substr(0, colon));
  }
  bool Declared(const std::wstring& prefix) const {
    if (prefix.empty() || prefix == L"xml" || prefix == L"xmlns") return true;
    for (const std::wstring& known : declared_) {
      if (known == prefix) return true;
    }
    return false;
  }
  void Pop() {
    if (marks_.empty()) return;
    declared_.resize(marks_.back());
    marks_.pop_back();
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
    std::string uri = Utf8(text, length);
    XmlLiteGuard::Restore(uri);
    return uri;
  }
  bool EmptyValue() {
    const wchar_t* text = nullptr;
    UINT length = 0;
    Check(reader_->GetValue(&text, &length));
    return length == 0;
  }
  std::string Value() {
    const wchar_t* text = nullptr;
    UINT length = 0;
    Check(reader_->GetValue(&text, &length));
    std::string value = Utf8(text, length);
    XmlLiteGuard::Restore(value);
    return value;
  }

  void ReadAttributes(UINT line) {
    names_.clear();
    values_.clear();
    namespaces_.clear();
    std::vector<std::wstring> prefixes;
    HRESULT hr = reader_->MoveToFirstAttribute();
    while (hr == S_OK) {
      if (reader_->IsDefault() == FALSE) {
        std::string name = LocalName();
        const std::wstring prefixText = Prefix();
        if (prefixText == L"xmlns") {
          const wchar_t* local = nullptr;
          UINT localLength = 0;
          Check(reader_->GetLocalName(&local, &localLength));
          declared_.emplace_back(local, localLength);
          // Wine's XmlLite takes what XML with namespaces does not: a prefix declared empty,
          // xmlns declared, xml declared as another namespace.
          const std::string uri = Value();
          if (uri.empty() || name == "xmlns" || (name == "xml") != (uri == kXmlNamespace))
            Refuse(line, msg::XmlBadNamespaceDeclaration());
        } else if (!prefixText.empty()) {
          prefixes.push_back(prefixText);
        }
        // Namespace declarations are not attributes (expat does not report them either).
        if (prefixText != L"xmlns" && !(prefixText.empty() && name == "xmlns")) {
          names_.push_back(std::move(name));
          values_.push_back(Value());
          // The xml prefix is bound by XML itself; named here as expat names it.
          namespaces_.push_back(prefixText.empty()     ? std::string()
                                : prefixText == L"xml" ? std::string(kXmlNamespace)
                                                       : NamespaceUri());
        }
      }
      hr = reader_->MoveToNextAttribute();
    }
    Check(hr);
    Check(reader_->MoveToElement());
    // One attribute twice (by its namespace and name): Wine's XmlLite keeps both.
    seen_.clear();
    for (size_t i = 0; i < names_.size(); ++i) {
      if (!seen_.insert(namespaces_[i] + '\x01' + names_[i]).second)
        Refuse(line, msg::XmlAttributeTwice());
    }
    for (const std::wstring& prefix : prefixes) {
      if (!Declared(prefix)) Refuse(line, msg::XmlUndeclaredPrefix());
    }
    views_.clear();
    for (size_t i = 0; i < names_.size(); ++i)
      views_.push_back({names_[i], values_[i], namespaces_[i]});
  }

  IXmlReader* reader_;
  SourceStream& stream_;
  XmlLiteGuard& guard_;
  std::string source_;
  std::vector<std::string> names_, values_, namespaces_;
  std::unordered_set<std::string> seen_;
  std::vector<XmlAttribute> views_;
  bool haveRoot_ = false;
  uint64_t nodes_ = 0;                  // read
  std::vector<std::wstring> declared_;  // prefixes in scope, innermost last
  std::vector<size_t> marks_;           // declared_'s size at each open element
};

}  // namespace

void ParseXml(XmlSource& text, const std::string& sourceName, XmlHandler& handler) {
  const CreateXmlReaderFn create = FindCreateXmlReader();
  if (create == nullptr) throw InputError(msg::XmlLiteMissing());
  ValueLimit limited(text, sourceName);
  XmlLiteGuard guarded(limited, sourceName);
  SourceStream stream(guarded);
  parser_memory::Start();
  ComPtr<IXmlReader> reader;
  if (FAILED(
          create(__uuidof(IXmlReader), reinterpret_cast<void**>(reader.Out()), &countedMalloc))) {
    throw InputError(msg::XmlLiteNoReader());
  }
  reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
  // The nesting limit is the GPX reader's, the same on both builds: XmlLite's own stays above.
  reader->SetProperty(XmlReaderProperty_MaxElementDepth, kMaxNesting + 2);
  if (FAILED(reader->SetInput(static_cast<IStream*>(&stream)))) {
    throw InputError(msg::XmlCannotBeRead(sourceName));
  }
  Reader(reader.get(), stream, guarded, sourceName).ReadDocument(handler);
}

}  // namespace x9host
