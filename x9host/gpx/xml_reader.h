// The one door to a well-kept streaming XML parser: expat natively, the system's XmlLite pull
// reader on Windows (xml_reader_posix.cpp / xml_reader_win32.cpp, chosen by CMake). Either pulls
// UTF-8 text from an XmlSource chunk by chunk and reports elements as it meets them, with
// namespaces resolved; no tree is built, and the GPX rules live above, once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace x9host {

// Elements nested deeper than this are refused, by both builds' readers alike. GPX itself needs
// six levels; foreign extensions get the rest.
inline constexpr int kMaxNesting = 256;
// The most different element and attribute names (as written, prefix and all) a file may use,
// and the most bytes of them: a parser keeps every name it meets for the document's life. A GPX
// and its extensions use a few dozen. Counted by ValueLimit, so both builds refuse alike.
inline constexpr size_t kMaxNames = 10000;
inline constexpr size_t kMaxNameBytes = size_t{1} << 20;
// The parser's own memory for one file, whatever it keeps: past it the file is refused. Far
// above what the names above and the longest value take in either parser.
inline constexpr size_t kXmlParserBudget = size_t{16} << 20;

// UTF-8 text in pieces; an empty piece is the end. A piece stays valid until the next call.
class XmlSource {
 public:
  virtual std::string_view Next() = 0;

 protected:
  ~XmlSource() = default;
};

// Namespace declarations (xmlns, xmlns:p) are not attributes here.
struct XmlAttribute {
  std::string_view name;  // local name
  std::string_view value;
  std::string_view namespaceUri;  // empty for an attribute without a prefix
};

class XmlHandler {
 public:
  // line: where the element starts, for messages. Views valid for the call only.
  virtual void StartElement(std::string_view localName, std::string_view namespaceUri,
                            const XmlAttribute* attributes, size_t attributeCount, int line) = 0;
  virtual void EndElement() = 0;
  // Character data directly inside the element open, CDATA included, in pieces.
  virtual void Text(std::string_view utf8) = 0;
  // A comment, and a processing instruction other than the XML declaration: only counted (with
  // the line they start on), as nothing downstream holds them.
  virtual void Comment(int line) = 0;
  virtual void Instruction(int line) = 0;

 protected:
  ~XmlHandler() = default;
};

// The most bytes a GPX file may hold between the ends of two element tags: the longest text,
// comment, CDATA section, processing instruction, or tag with its attributes, that x9host reads
// (the watch keeps 19 bytes of a name). Far below memory, so that no value of any size, nor an
// endless one from a pipe, is gathered past it: the file is refused in one line instead.
inline constexpr size_t kLongestValue = size_t{1} << 20;

// Passes the text on, refusing it (with the line where the text or markup it overflows in
// began) once more than kLongestValue bytes pass without the end of an element's tag, or once
// its start tags have used more than kMaxNames different names (or kMaxNameBytes of them),
// before the parser below (or anything above) has gathered them. Both builds' readers read
// through it.
class ValueLimit final : public XmlSource {
 public:
  ValueLimit(XmlSource& text, const std::string& sourceName);
  std::string_view Next() override;

 private:
  enum class State {
    kText,
    kOpen,
    kBang,
    kTag,
    kQuoted,
    kComment,
    kCData,
    kInstruction,
    kDeclaration
  };
  void Scan(unsigned char c);
  void InTag(unsigned char c);
  void EndName();
  [[noreturn]] void Refuse() const;

  XmlSource& text_;
  std::string source_;
  State state_ = State::kText;
  char quote_ = '"';
  std::string name_;  // of the element or attribute being read in a start tag
  bool endTag_ = false;
  std::unordered_set<std::string> names_;
  size_t nameBytes_ = 0;
  std::string recent_;  // the last bytes of markup, to tell where it starts and ends
  size_t run_ = 0;      // bytes since the end of the last element tag
  int tokenLine_ = 1;   // the line where the text or markup being read began
  int line_ = 1;
};

// Parses one document, through ValueLimit. Throws InputError "<sourceName>: line N: not well-formed
// XML (...)" (an undeclared entity among them) and "<sourceName>: a document type declaration is
// not accepted"; anything the handler throws passes through.
void ParseXml(XmlSource& source, const std::string& sourceName, XmlHandler& handler);

// Bytes of a file in pieces; an empty piece is the end. A piece stays valid until the next call.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::string_view Next() = 0;
};

// What Wine's XmlLite gets wrong, mended before it sees the text (gpx/xmllite_guard.cpp):
// - it passes an undeclared entity on as text: an entity reference other than XML's own (amp,
//   lt, gt, quot, apos) or a character reference is refused here, with the line (with document
//   type declarations refused, any other is undeclared); so are a bare '&', a character
//   reference to no character XML allows, bytes XML allows nowhere (it lets them through, or
//   stops on a NUL without end), an element name that starts with no name's first character,
//   and attributes with no white space between them;
// - it fails on a comment longer than its buffer: a long comment is passed on in pieces of
//   kCommentPiece bytes ("--><!--" between them, never next to a '-' or inside a character),
//   every byte and line kept. TakeCommentNode says which comment nodes start a comment;
// - it gives the line where a comment or processing instruction ends, expat the line where it
//   starts: the lines are kept here, as expat gives them;
// - it reads a character reference to a tab, a line feed or a carriage return as a space, and
//   one past U+FFFF as the reference's own text: those past U+FFFF are passed on as the
//   character itself, which means the same; the three have no other spelling that a parser
//   keeps, so they are passed on escaped, with U+FDD0 (a noncharacter, which no text needs, and
//   which the file's own U+FDD0 is escaped as), and Restore gives them back in a value.
class XmlLiteGuard final : public XmlSource {
 public:
  static constexpr size_t kCommentPiece = 4096;

  XmlLiteGuard(XmlSource& text, const std::string& sourceName);
  std::string_view Next() override;
  // For each comment node the parser reports, in order: the line where its comment starts
  // when it starts a comment of the file; nullopt when it continues the one before.
  std::optional<int> TakeCommentNode();
  // For each processing instruction the parser reports (the XML declaration is none), in
  // order: the line where it starts.
  int TakeInstruction();
  // The line the text read so far ends on.
  int Line() const { return line_; }
  // What came first after the root element in the text read so far (comments and
  // instructions aside): the parser's error there is named by it, as expat names it (a stray end
  // tag or a reference is a token expat cannot read).
  enum class AfterRoot { kNothing, kUnreadable, kOther };
  AfterRoot FirstAfterRoot() const { return afterRoot_; }
  // Once the text has ended unfinished (inside markup, or with elements open): its refusal, in
  // expat's words at expat's line, and the line the unfinished markup starts on (after a text,
  // where the text ends). XmlLite never sees such an end (it hangs there, or makes up nodes): it
  // gets kCutShortEnd instead, which is an error in whatever it is inside, after every byte
  // before it. Its error on that line or later is this refusal; one before is its own.
  static constexpr std::string_view kCutShortEnd = "]]>--?><<";
  const std::optional<std::string>& CutShort() const { return cutShort_; }
  int CutShortLine() const { return cutShortLine_; }
  // Whether the text starts with an XML declaration.
  bool Declared() const { return declared_; }
  // A value the parser read from the passed text, as the file means it: every escape made here
  // undone.
  static void Restore(std::string& value);
  // Whether every element the text read so far opened is closed.
  bool Closed() const { return depth_ == 0 && state_ == State::kContent; }

 private:
  enum class State {
    kContent,
    kOpen,
    kBang,
    kComment,
    kCData,
    kInstruction,
    kTag,
    kQuoted,
    kReference
  };
  // At the text's end: the refusal of a document it leaves unfinished (inside markup, or with
  // elements open), in expat's words, at expat's line; nullopt for a whole one.
  std::optional<std::string> Unfinished() const;
  void Scan(unsigned char c);
  void Pass(unsigned char c, State before, uint16_t recent);
  std::string Reference() const;
  void StartReference(State after);
  bool CutsCommentBefore(unsigned char c) const;
  static bool CharacterReference(std::string_view reference);
  // At line, or where the text read so far ends.
  [[noreturn]] void Refuse(const std::string& what, int line = 0) const;

  XmlSource& text_;
  std::string source_;
  State state_ = State::kContent;
  State after_ = State::kContent;
  char quote_ = '"';
  uint16_t recent_ = 0;  // the last two bytes
  std::string name_;
  int line_ = 1;
  bool elementTag_ = false, endTag_ = false;
  bool afterValue_ = false;  // the byte before closed an attribute's value
  int64_t depth_ = 0;
  struct Comment {
    int line;
    size_t pieces;
  };
  size_t commentBytes_ = 0;       // of the comment piece being passed on
  std::deque<Comment> comments_;  // met and not yet taken, in order
  size_t taken_ = 0;              // nodes taken of the first of them
  std::string target_;            // of the instruction being read, while it may be "xml"
  bool targetRead_ = false;
  bool inTarget_ = false;         // the instruction's target is being read
  std::deque<int> instructions_;  // lines of those met and not yet taken
  std::string out_;
  uint64_t offset_ = 0;  // bytes scanned
  uint64_t start_ = 0;   // where the text starts, after a byte order mark
  uint64_t openAt_ = 0;  // where the markup being read starts
  bool rootClosed_ = false;
  bool declared_ = false;
  int markupLine_ = 1;     // where the markup or reference being read starts
  int referenceLine_ = 1;  // where the reference being read starts
  AfterRoot afterRoot_ = AfterRoot::kNothing;
  int afterRootLine_ = 0;
  int textBeforeRootLine_ = 0;
  static constexpr std::string_view kCDataHeader = "CDATA[";
  size_t cdataHeader_ = 0;  // of kCDataHeader, read after "<!["
  // Bytes passed since the last ASCII one; kLongestRun is well below XmlLite's reads.
  static constexpr size_t kLongestRun = 2048;
  size_t run_ = 0;
  std::optional<std::string> cutShort_;
  int cutShortLine_ = 0;
};

// A file's bytes in pieces of 64 KiB (gpx_file_posix.cpp / gpx_file_win32.cpp). Throws
// InputError "<path>: <reason>" when it cannot be opened or read.
std::unique_ptr<ByteSource> OpenGpxFile(const std::string& path);

// The bytes of a GPX file as UTF-8, converted piece by piece the same way on both builds:
// UTF-8 (a byte order mark dropped), UTF-16 with a byte order mark, ISO-8859-1 and Shift_JIS
// (code page 932, by the module's lead bytes), its declaration then saying UTF-8. Lines stay
// where they were. Throws InputError naming another declared encoding, a declaration that
// contradicts the byte order mark, or bytes that are not of the declared encoding (with the
// line).
class Utf8Input final : public XmlSource {
 public:
  Utf8Input(ByteSource& bytes, const std::string& sourceName);
  std::string_view Next() override;

  enum class Encoding { kUtf8, kLatin1, kShiftJis, kUtf16 };

 private:
  std::string_view First();
  std::string_view Convert(std::string_view bytes, bool last);
  void ConvertUtf16(std::string_view bytes, bool last);
  void ConvertShiftJis(std::string_view bytes, bool last);
  void CheckUtf8(std::string_view bytes, bool last);

  ByteSource& bytes_;
  std::string source_;
  bool started_ = false;
  bool finished_ = false;
  Encoding encoding_ = Encoding::kUtf8;
  bool bigEndian_ = false;
  std::string carry_;  // bytes of a character cut by the end of a piece
  std::string out_;
  int line_ = 1;  // of the start of the next piece, for messages
};

}  // namespace x9host
