// GPX in and out: the reader's rules and its refusals (each with the line), the encodings it
// reads, and the writer's formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codec/codepage.h"
#include "codec/utf8.h"
#include "content/transfer_list.h"
#include "content/watch_content.h"
#include "gpx/gpx.h"
#include "gpx/parser_memory.h"
#include "gpx/xml_reader.h"
#include "host/coordinates.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "x9host_support.h"

namespace {

using namespace x9host;
using namespace x9host_test;

// --- GPX reading ---------------------------------------------------------------------------------

std::string ReadError(const std::string& text) {
  try {
    ParseGpx(text, "f.gpx");
  } catch (const InputError& error) {
    return error.what();
  }
  return "(accepted)";
}

// A kind as its warning words it, without the count in front: "comments (<cmt>)".
std::string WithoutCount(const GpxDropped::Kind& kind) {
  const std::string text = GpxDropped::Text(kind);
  return text.substr(text.find(' ') + 1);
}

TEST(X9hostGpxRead, ReadsPointsRoutesTracksAndOurExtensions) {
  const GpxDocument gpx = ParseGpx(
      std::string(kGpxHead) +
          "<wpt lat=\"35.5\" lon=\"-139.25\"><ele>+12.5</ele><name> A &amp; B </name></wpt>\n"
          "<rte><name>R</name><rtept lat=\"1\" lon=\"2\"/><rtept lat=\"3\" "
          "lon=\"4\"><name>p</name></rtept></rte>\n"
          "<trk><name>T</name><trkseg><trkpt lat=\"1\" "
          "lon=\"1\"><time>2024-05-03T00:12:05Z</time>\n"
          "  <extensions><x9:value32>1230</x9:value32><x9:value72>-7</x9:value72>"
          "<other xmlns=\"urn:other\">9</other></extensions></trkpt></trkseg>\n"
          "<trkseg/><trkseg><trkpt lat=\"2\" "
          "lon=\"2\"><time>2024-05-03T00:12:06Z</time></trkpt></trkseg></trk>\n"
          "<trk/>\n"
          "<foreign:wpt xmlns:foreign=\"urn:other\" lat=\"9\" lon=\"9\"/>\n"
          "</gpx>\n",
      "f.gpx");
  ASSERT_EQ(gpx.waypoints.size(), 1u);  // the wpt of another namespace is not ours
  EXPECT_EQ(gpx.waypoints[0].latitude, 35.5);
  EXPECT_EQ(gpx.waypoints[0].longitude, -139.25);
  EXPECT_EQ(gpx.waypoints[0].elevation, 12.5);
  EXPECT_EQ(gpx.waypoints[0].name, "A & B");
  EXPECT_EQ(gpx.waypoints[0].line, 4);
  ASSERT_EQ(gpx.routes.size(), 1u);
  EXPECT_EQ(gpx.routes[0].name, "R");
  ASSERT_EQ(gpx.routes[0].points.size(), 2u);
  EXPECT_FALSE(gpx.routes[0].points[0].elevation.has_value());
  EXPECT_EQ(gpx.routes[0].points[1].name, "p");
  ASSERT_EQ(gpx.tracks.size(), 2u);
  ASSERT_EQ(gpx.tracks[0].segments.size(), 3u);
  EXPECT_EQ(gpx.tracks[0].PointCount(), 2u);
  const GpxPoint& first = gpx.tracks[0].segments[0][0];
  EXPECT_EQ(first.time, 1714695125);
  EXPECT_EQ(first.value32, 1230.0);
  EXPECT_EQ(first.value72, -7.0f);
  EXPECT_FALSE(gpx.tracks[0].segments[2][0].value32.has_value());
  EXPECT_EQ(gpx.tracks[1].PointCount(), 0u);
}

TEST(X9hostGpxRead, AcceptsGpx10AndPrefixedElements) {
  const GpxDocument old = ParseGpx(
      "<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\"><wpt lat=\"1\" "
      "lon=\"2\"/></gpx>",
      "a");
  EXPECT_EQ(old.waypoints.size(), 1u);
  const GpxDocument prefixed = ParseGpx(
      "<g:gpx xmlns:g=\"http://www.topografix.com/GPX/1/1\"><g:rte><g:name>N</g:name>"
      "<g:rtept lat=\"1\" lon=\"2\"/></g:rte></g:gpx>",
      "b");
  ASSERT_EQ(prefixed.routes.size(), 1u);
  EXPECT_EQ(prefixed.routes[0].name, "N");
  EXPECT_EQ(prefixed.routes[0].points.size(), 1u);
}

TEST(X9hostGpxRead, RefusesBadFilesWithTheLine) {
  const std::string head = kGpxHead;  // three lines
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"2\">\n</gpx>\n"),
            "f.gpx: line 5: not well-formed XML (an end tag does not match its start tag)");
  EXPECT_EQ(ReadError(""), "f.gpx: line 1: not well-formed XML (no element found)");
  EXPECT_EQ(ReadError("<kml/>"), "f.gpx: not a GPX file (the root element is <kml>)");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\"/></gpx>"), "f.gpx: line 4: <wpt> without lat and lon");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1,5\" lon=\"2\"/></gpx>"),
            "f.gpx: line 4: latitude \"1,5\" is not a number");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"nan\" lon=\"2\"/></gpx>"),
            "f.gpx: line 4: latitude \"nan\" is not a number");
  // A number larger than any double: refused for what it is, quoted as written.
  for (const auto& [body, says] : std::vector<std::pair<std::string, std::string>>{
           {"<wpt lat=\"1\" lon=\"2\"><ele>1e400</ele></wpt>",
            "elevation \"1e400\" needs more than the 24 digits"},
           {"<wpt lat=\"1\" lon=\"2\"><ele> -1E99999999999999999999 </ele></wpt>",
            "elevation \"-1E99999999999999999999\" needs more than the 24 digits"},
           {"<wpt lat=\"+1e309\" lon=\"2\"/>", "latitude +1e309 is outside -90 to 90 degrees"},
           {"<wpt lat=\"1\" lon=\"-1e400\"/>", "longitude -1e400 is outside -180 to 180 degrees"},
           {"<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><extensions><x9:value72>1e400</x9:value72>"
            "</extensions></trkpt></trkseg></trk>",
            "value72 \"1e400\" needs more than the 24 digits"},
       }) {
    EXPECT_EQ(ReadError(head + body + "</gpx>").rfind("f.gpx: line 4: " + says, 0), 0u)
        << ReadError(head + body + "</gpx>");
  }
  EXPECT_EQ(ReadError(head + "<wpt lat=\"90.5\" lon=\"2\"/></gpx>"),
            "f.gpx: line 4: latitude 90.5 is outside -90 to 90 degrees");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"-180.1\"/></gpx>"),
            "f.gpx: line 4: longitude -180.1 is outside -180 to 180 degrees");
  EXPECT_EQ(
      ReadError(head + "<trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\"><time>yesterday</time></trkpt>"
                       "</trkseg></trk></gpx>"),
      "f.gpx: line 5: time \"yesterday\" is not a date and time");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"2\"><name>\xC3\x28</name></wpt></gpx>"),
            "f.gpx: line 4: not valid UTF-8 (0xC3 0x28)");
  EXPECT_EQ(ReadError("<!DOCTYPE gpx [<!ENTITY e \"x\">]><gpx><wpt lat=\"1\" lon=\"2\"/></gpx>"),
            "f.gpx: a document type declaration is not accepted");
}

// A parser keeps every distinct name it meets: a file of ever new names is refused at the line
// of the name past the limit (by count or by bytes), on both builds alike, while the same names
// met as often are read.
TEST(X9hostGpxRead, EverNewNamesAreRefusedPastTheLimit) {
  const auto file = [](int count, const std::string& stem, bool distinct, bool attribute) {
    std::string text = std::string(kGpxHead) + "<wpt lat=\"1\" lon=\"2\"><extensions>\n";
    for (int i = 0; i < count; ++i) {
      const std::string name = stem + (distinct ? std::to_string(i) : std::string());
      text += attribute ? "<e xmlns=\"urn:n\" " + name + "=\"v\"/>\n"
                        : "<" + name + " xmlns=\"urn:n\"/>\n";
    }
    return text + "</extensions></wpt></gpx>\n";
  };
  const std::string longStem(200, 'n');
  // gpx, wpt, lat, lon, extensions, xmlns and creator/version come first: the file's own names.
  const struct {
    std::string text;
    std::string said;
  } kRows[] = {
      {file(20000, "e", true, false),
       "f.gpx: line 9996: more than 10000 different element or attribute names"},
      {file(20000, "a", true, true),
       "f.gpx: line 9995: more than 10000 different element or attribute names"},
      {file(6000, longStem, true, false),
       "f.gpx: line 5150: more than 10000 different element or attribute names, or more than "
       "1048576 bytes of them"},
      {file(300000, "e", false, false), "(accepted)"},
      {file(300000, "a", false, true), "(accepted)"},
      // End tags name nothing new.
      {std::string(kGpxHead) + "<metadata></metadata></gpx>", "(accepted)"},
  };
  for (const auto& row : kRows) {
    const std::string said = ReadError(row.text);
    EXPECT_EQ(said.substr(0, row.said.size()), row.said);
  }
}

// The parser's own memory, counted: past the budget an allocation is refused and said to be
// the budget's, not the machine's; what is given back may be taken again.
TEST(X9hostGpxRead, TheParsersMemoryIsCountedAgainstItsBudget) {
  parser_memory::Start();
  void* most = parser_memory::Allocate(kXmlParserBudget - 64);
  ASSERT_NE(most, nullptr);
  EXPECT_EQ(parser_memory::SizeOf(most), kXmlParserBudget - 64);
  EXPECT_FALSE(parser_memory::OverBudget());
  EXPECT_EQ(parser_memory::Allocate(65), nullptr);
  EXPECT_TRUE(parser_memory::OverBudget());
  void* small = parser_memory::Allocate(64);
  EXPECT_NE(small, nullptr);
  // Grown past the budget, a block is left as it was.
  EXPECT_EQ(parser_memory::Reallocate(small, 65), nullptr);
  EXPECT_EQ(parser_memory::SizeOf(small), 64u);
  parser_memory::Release(most);
  parser_memory::Start();
  small = parser_memory::Reallocate(small, 1 << 20);
  ASSERT_NE(small, nullptr);
  EXPECT_FALSE(parser_memory::OverBudget());
  parser_memory::Release(small);
  most = parser_memory::Allocate(kXmlParserBudget);
  EXPECT_NE(most, nullptr);
  parser_memory::Release(most);
}

// Text in pieces of a chosen size, as a file is read.
class PiecesOf final : public XmlSource {
 public:
  PiecesOf(std::string text, size_t size) : text_(std::move(text)), size_(size) {}
  std::string_view Next() override {
    const std::string_view piece =
        std::string_view(text_).substr(std::min(at_, text_.size()), size_);
    at_ += piece.size();
    return piece;
  }

 private:
  std::string text_;
  size_t size_;
  size_t at_ = 0;
};

// Wine's XmlLite fails on a long comment: it gets one in pieces, every byte kept, each comment
// told apart from the pieces of one, with the line where it starts, whatever the file's pieces.
TEST(X9hostGpxRead, ALongCommentReachesXmlLiteInPiecesAsOneComment) {
  const size_t kPiece = XmlLiteGuard::kCommentPiece;
  std::string body;
  for (int i = 0; body.size() < 5 * kPiece; ++i)
    body += i % 7 == 0 ? "-x\n" : i % 5 == 0 ? "あ" : "ab";
  const std::string file = "<?xml version=\"1.0\"?>\n<g><!--" + body +
                           "--><!-- short -->\n<?p a\nb?><!--" + std::string(3 * kPiece, '-') +
                           "--></g>\n";
  for (const size_t size : {size_t{1}, size_t{7}, size_t{65536}}) {
    PiecesOf source(file, size);
    XmlLiteGuard guard(source, "f.gpx");
    std::string passed;
    for (std::string_view piece; !(piece = guard.Next()).empty();)
      passed += piece;
    // The cuts, all in the long comment, and nothing else; none next to a '-' or inside a
    // character.
    const size_t end = passed.find("--><!-- short");
    ASSERT_NE(end, std::string::npos);
    std::string joined;
    size_t from = 0, longest = 0, cuts = 0;
    for (size_t cut; (cut = passed.find("--><!--", from)) < end; from = cut + 7, ++cuts) {
      EXPECT_NE(passed[cut - 1], '-');
      EXPECT_NE(passed[cut + 7], '-');
      EXPECT_NE(static_cast<unsigned char>(passed[cut + 7]) & 0xC0, 0x80);
      longest = std::max(longest, cut - from);
      joined += passed.substr(from, cut - from);
    }
    joined += passed.substr(from);
    EXPECT_EQ(joined, file) << size;
    EXPECT_GE(cuts, 4u) << size;
    EXPECT_LE(longest, kPiece + 64) << size;
    // Each comment node the parser would report, in order: the long one's pieces, the short
    // one, and the one of dashes (never cut: not well-formed, for the parser to refuse).
    std::vector<int> starts;
    for (size_t node = 0; node < cuts + 3; ++node) {
      if (const std::optional<int> line = guard.TakeCommentNode()) starts.push_back(*line);
    }
    const int lines = static_cast<int>(std::count(body.begin(), body.end(), '\n'));
    EXPECT_EQ(starts, (std::vector<int>{2, 2 + lines, 4 + lines})) << size;
    EXPECT_EQ(guard.TakeInstruction(), 3 + lines) << size;  // not the XML declaration
  }
}

// Wine's XmlLite reads a reference to a tab, a line feed or a carriage return as a space and
// one past U+FFFF as its own text: they reach it in forms it keeps, every other byte as it was,
// and the values it reads give back what the file means, the file's own U+FDD0 among them.
TEST(X9hostGpxRead, ReferencesXmlLiteMisreadsReachItInFormsItKeeps) {
  const std::string fdd0 = "\xEF\xB7\x90", fdd1 = "\xEF\xB7\x91";
  const std::string file = "<g a=\"x&#9;y&#xA;z&#13;&#x1F600;\">a&#13;b&#xD;&#0013;c&#10;d&#9;e" +
                           fdd0 + fdd1 + fdd0 + fdd0 +
                           "&#x1F600;&#128512;&#65;&amp;&lt;<![CDATA[&#13;]]><!-- &#10; --></g>";
  const std::string meant = "<g a=\"x\ty\nz\r\xF0\x9F\x98\x80\">a\rb\r\rc\nd\te" + fdd0 + fdd1 +
                            fdd0 + fdd0 +
                            "\xF0\x9F\x98\x80\xF0\x9F\x98\x80&#65;&amp;&lt;<![CDATA[&#13;]]><!-- "
                            "&#10; --></g>";
  for (const size_t size : {size_t{1}, size_t{2}, size_t{5}, size_t{65536}}) {
    PiecesOf source(file, size);
    XmlLiteGuard guard(source, "f.gpx");
    std::string passed;
    for (std::string_view piece; !(piece = guard.Next()).empty();)
      passed += piece;
    // References are markup only outside the CDATA section and the comment.
    const std::string markup = passed.substr(0, passed.find("<![CDATA["));
    for (const char* misread : {"&#9;", "&#10;", "&#13;", "&#xA;", "&#xD;", "&#x1F600;"})
      EXPECT_EQ(markup.find(misread), std::string::npos) << misread << " " << size;
    EXPECT_NE(passed, meant) << size;  // escaped, not restored, on the way
    std::string restored = passed;
    XmlLiteGuard::Restore(restored);
    EXPECT_EQ(restored, meant) << size;
  }
  std::string plain = "no escape " + fdd1;
  XmlLiteGuard::Restore(plain);
  EXPECT_EQ(plain, "no escape " + fdd1);
}

// XmlLite hangs, or makes up nodes, at the end of a file cut short: such a text ends in what
// makes it fail, and the refusal is known, in expat's words and at expat's line (the line of the
// markup it ends in, or of its end), whatever its pieces; a whole document passes as it is.
TEST(X9hostGpxRead, ATextCutShortEndsInAnErrorForXmlLiteWithExpatsRefusal) {
  const struct {
    const char* text;
    const char* refusal;  // empty: none
  } cases[] = {
      {"<g>\n<a>abc", "f.gpx: line 2: not well-formed XML (no element found)"},
      {"<g>\n<a>abc\n", "f.gpx: line 3: not well-formed XML (no element found)"},
      {"<g>\n<a/>", "f.gpx: line 2: not well-formed XML (no element found)"},
      {"", "f.gpx: line 1: not well-formed XML (no element found)"},
      {"<g>\n<a b=\"1\n", "f.gpx: line 2: not well-formed XML (the file ends inside the document)"},
      {"<g>\n<a\nb=\"1\"",
       "f.gpx: line 2: not well-formed XML (the file ends inside the document)"},
      {"<g>\n</g", "f.gpx: line 2: not well-formed XML (the file ends inside the document)"},
      {"<g>\n<!-- a\n\n", "f.gpx: line 2: not well-formed XML (the file ends inside the document)"},
      {"<g>\n<?p a\n", "f.gpx: line 2: not well-formed XML (the file ends inside the document)"},
      {"<g>\nx&am", "f.gpx: line 2: not well-formed XML (the file ends inside the document)"},
      {"<g>\n<![CDATA[a\n\n", "f.gpx: line 4: not well-formed XML (unclosed CDATA section)"},
      {"<g>\n</g>\n</g>\n",
       "f.gpx: line 3: not well-formed XML (a character or bytes XML does not allow)"},
      {"<g>\n</g>\ntext\n",
       "f.gpx: line 3: not well-formed XML (something after the root element)"},
      {"<g>\n</g>\n<!-- c --><?p?>\n", ""},
      {"<g/>", ""},
      {"\nhello\n<g/>\n", "f.gpx: line 2: not well-formed XML (syntax error)"},
  };
  for (const auto& c : cases) {
    for (const size_t size : {size_t{1}, size_t{3}, size_t{65536}}) {
      PiecesOf source(c.text, size);
      XmlLiteGuard guard(source, "f.gpx");
      std::string passed;
      for (std::string_view piece; !(piece = guard.Next()).empty();)
        passed += piece;
      const std::string text = c.text;
      EXPECT_EQ(guard.CutShort().value_or(""), c.refusal) << text << " " << size;
      EXPECT_EQ(passed, *c.refusal == 0 ? text : text + std::string(XmlLiteGuard::kCutShortEnd))
          << size;
    }
  }
}

TEST(X9hostGpxRead, AFileWithoutDataIsAnEmptyDocument) {
  EXPECT_TRUE(ParseGpx(std::string(kGpxHead) + "<metadata/></gpx>", "f.gpx").Empty());
  EXPECT_TRUE(ParseGpx("<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"/>", "f.gpx").Empty());
  // A trk without points is still a track (the watch may hold an empty one).
  EXPECT_EQ(ParseGpx(std::string(kGpxHead) + "<trk/></gpx>", "f.gpx").tracks.size(), 1u);
}

TEST(X9hostGpxRead, ReportsWhatTheHoldersCannotKeepOncePerKind) {
  const std::string file =
      std::string(kGpxHead) +
      "<metadata><name>m</name><desc>d</desc></metadata>\n"
      "<wpt lat=\"1\" lon=\"2\"><time>2024-05-03T00:12:05Z</time><cmt>c</cmt><sym>s</sym>"
      "<link href=\"h\"/><type>t</type></wpt>\n"
      "<rte><name>R</name><desc>d</desc><rtept lat=\"1\" lon=\"2\"><cmt>c</cmt></rtept>"
      "<extensions><o:x xmlns:o=\"urn:o\"><o:y/></o:x></extensions></rte>\n"
      "<trk><name>T</name><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-05-03T00:12:05Z</time>"
      "<name>p</name><hdop>1</hdop></trkpt></trkseg><trkseg/><trkseg><trkpt lat=\"1\" lon=\"3\">"
      "<time>2024-05-03T00:12:06Z</time><extensions><x9:value32>10</x9:value32><o xmlns=\"urn:o\"/>"
      "</extensions></trkpt></trkseg><trkseg><trkpt lat=\"1\" lon=\"4\"><time>2024-05-03T00:12:07Z"
      "</time></trkpt></trkseg></trk></gpx>\n";
  std::vector<std::string> warnings;
  // What neither keeps, in the order first met, each kind once with its count; the inside of
  // a dropped element is not counted again.
  const std::string common =
      "1 metadata (<metadata>), 2 comments (<cmt>), 1 symbol (<sym>), 1 link (<link>), 1 <type> "
      "element, 1 description (<desc>), 2 foreign extension elements, 1 <hdop> element, 2 track "
      "segment breaks (<trkseg>), 1 empty track segment (<trkseg>)";
  EXPECT_EQ(TransferListFromGpxText(file, "f.gpx", warnings).summary.dropped.List(), common);
  // The watch keeps no times for waypoints and route points, no names of tracks and their points.
  EXPECT_EQ(WatchFromGpxText(file, "f.gpx", warnings).summary.dropped.List(),
            common +
                ", 1 time of a waypoint or route point (<time>), 1 track name (<name>), 1 track "
                "point name (<name>)");
  EXPECT_TRUE(warnings.empty());
  const GpxSummary plain = TransferListFromGpxText(std::string(kGpxHead) +
                                                       "<wpt lat=\"1\" lon=\"2\"><name>n</name>"
                                                       "</wpt></gpx>",
                                                   "f.gpx", warnings)
                               .summary;
  EXPECT_TRUE(plain.dropped.Empty());
  EXPECT_EQ(plain.dropped.Warnings("f.gpx", msg::kHolderTransferList).size(), 0u);
  // A name code page 932 cannot write is a loss too, for an update in place.
  EXPECT_EQ(
      TransferListFromGpxText(
          std::string(kGpxHead) + "<wpt lat=\"1\" lon=\"2\"><name>Caf\xC3\xA9</name></wpt></gpx>",
          "f.gpx", warnings)
          .summary.dropped.List(),
      "1 name with characters code page 932 cannot write");
}

// The value rules every reader shares count each loss once by kind, with its first line. What the
// host loses is the transfer list's own (an update in place is refused for it); what only the
// watch loses of an upload is counted apart, as the list keeps those values.
TEST(X9hostGpxRead, EachLossIsCountedOnceByKindWithItsFirstLine) {
  const ScopedZone zone("UTC");
  const auto pt = [](const char* element, const std::string& inner) {
    return std::string("<") + element + " lat=\"1\" lon=\"2\">" + inner + "</" + element + ">\n";
  };
  const std::string timed = "<time>2024-05-03T00:00:00Z</time>";
  const struct {
    std::string body;  // from line 4
    const char* kind;
    int64_t count;
    int line;
    bool listLoses;  // else only the watch, in an upload
  } rows[] = {
      {pt("wpt", "") + pt("wpt", "<time>1960-01-01T00:00:00Z</time>") +
           pt("wpt", "<time>2040-01-01T00:00:00Z</time>"),
       "times outside what the host can hold", 2, 5, true},
      {"<rte>\n" + pt("rtept", "<time>1969-12-31T23:59:59Z</time>") + "</rte>",
       "time outside what the host can hold", 1, 5, true},
      {pt("wpt", "<ele>-9999.5</ele>") + pt("wpt", "<ele>-9999</ele>"),
       "elevation of -9999 m, the watch's and the host's", 1, 5, true},
      {"<trk><trkseg>\n" +
           pt("trkpt", "<extensions><x9:value72>16777217</x9:value72></extensions>") +
           "</trkseg></trk>",
       "x9:value72 value past what the host's float holds", 1, 5, true},
      {"<rte><name>R</name>\n" + pt("rtept", "<ele>1.5</ele>") + pt("rtept", "<ele>-0.5</ele>") +
           "</rte>",
       "fractional metres of elevations", 2, 5, false},
      {"<rte><name>R</name>\n" + pt("rtept", "<ele>-9999.5</ele>") + pt("rtept", "<ele>3e9</ele>") +
           "</rte>",
       "elevation outside the watch's", 1, 6, false},
      {"<rte><name>R</name>\n" + pt("rtept", "<ele>-9999.5</ele>") + "</rte>",
       "elevation of -9999 m once whole", 1, 5, false},
      {"<rte><name>R</name>\n" + pt("rtept", "") + pt("rtept", timed) + "</rte>",
       "time of a waypoint or route point", 1, 6, false},
      {"<rte><name>" + std::string(20, 'N') + "</name>\n" + pt("rtept", "<name>n</name>") +
           "</rte>\n<rte><name>S</name>\n" +
           pt("rtept", "<name>" + std::string(19, 'P') + "\xE3\x81\x82</name>") + "</rte>",
       "names longer than the watch's 19 bytes", 2, 4, false},
  };
  const auto find = [](const GpxDropped& dropped, const char* kind) -> const GpxDropped::Kind* {
    for (const GpxDropped::Kind& known : dropped.Kinds())
      if (WithoutCount(known).rfind(kind, 0) == 0) return &known;
    return nullptr;
  };
  // Each kind as its line reads it for its count.
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind);
    const std::string file = std::string(kGpxHead) + row.body + "</gpx>\n";
    std::vector<std::string> warnings;
    const ListFromGpx upload = TransferListFromGpxText(file, "f.gpx", warnings, ListUse::kUpload);
    const GpxDropped& holder = row.listLoses ? upload.summary.dropped : upload.watchLost;
    const GpxDropped::Kind* kind = find(holder, row.kind);
    ASSERT_NE(kind, nullptr) << holder.List();
    EXPECT_EQ(kind->count, row.count);
    EXPECT_EQ(kind->line, row.line);
    const std::vector<std::string> lines = holder.Warnings("f.gpx", msg::kHolderWatch);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                              return line.find(row.kind) != std::string::npos;
                            }),
              1);
    // What the list keeps is no loss of the list's, and a download reads nothing for the watch.
    if (!row.listLoses) {
      EXPECT_EQ(find(upload.summary.dropped, row.kind), nullptr);
    }
    const ListFromGpx download = TransferListFromGpxText(file, "f.gpx", warnings);
    EXPECT_TRUE(download.watchLost.Empty()) << download.watchLost.List();
    EXPECT_EQ(find(download.summary.dropped, row.kind) != nullptr, row.listLoses);
  }
}

// A number a warning quotes is quoted as the file writes it, whichever holder's rule counts it,
// so that it can be found there: not the double's own digits (1e-300 has 302 in plain decimal).
TEST(X9hostGpxRead, AWarningQuotesANumberAsTheFileWritesIt) {
  const ScopedZone zone("UTC");
  const auto trkpt = [](const std::string& values) {
    return "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-05-03T00:00:00Z</time>"
           "<extensions>" +
           values + "</extensions></trkpt></trkseg></trk>";
  };
  const struct {
    std::string body;  // on line 4
    const char* kind;
    const char* first;
    bool list, watch;  // which holder loses it
  } rows[] = {
      {"<wpt lat=\"1e-300\" lon=\"2\"/>", "coordinate --out writes as another number",
       "1e-300 as 0", true, false},
      {"<wpt lat=\"1\" lon=\" 0.1E-299\"/>", "coordinate the watch's 1e-7 degree",
       "0.1E-299 as 0.0000000", false, true},
      {"<wpt lat=\"1\" lon=\"2\"><ele>-9999.0</ele></wpt>", "elevation of -9999 m, the watch's",
       "-9999.0", true, true},
      {"<wpt lat=\"1\" lon=\"2\"><ele>3e9</ele></wpt>", "elevation outside the watch's", "3e9",
       false, true},
      {"<wpt lat=\"1\" lon=\"2\"><ele>-99995e-1</ele></wpt>", "elevation of -9999 m once whole",
       "-99995e-1", false, true},
      {trkpt("<x9:value32>0.0</x9:value32><x9:value72>-0e3</x9:value72>"), "track values of 0",
       "0.0", true, true},
      {trkpt("<x9:value72>16777217.0</x9:value72>"), "x9:value72 value past", "16777217.0", true,
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body);
    const std::string file = std::string(kGpxHead) + row.body + "\n</gpx>\n";
    std::vector<std::string> warnings;
    const GpxDropped list = TransferListFromGpxText(file, "f.gpx", warnings).summary.dropped;
    const GpxDropped watch = WatchFromGpxText(file, "f.gpx", warnings).summary.dropped;
    for (const auto& [dropped, loses] :
         {std::pair{&list, row.list}, std::pair{&watch, row.watch}}) {
      const GpxDropped::Kind* found = nullptr;
      for (const GpxDropped::Kind& kind : dropped->Kinds())
        if (WithoutCount(kind).rfind(row.kind, 0) == 0) found = &kind;
      if (!loses) {
        EXPECT_EQ(found, nullptr) << dropped->List();
        continue;
      }
      ASSERT_NE(found, nullptr) << dropped->List();
      EXPECT_EQ(found->line, 4);
      EXPECT_EQ(found->first, row.first);
    }
  }
}

// What the reader itself would not carry exactly, for either holder: each kind once with its
// first line and, where it helps, the first value; what it carries exactly is no loss.
TEST(X9hostGpxRead, WhatTheReaderWouldAlterIsReportedWithItsFirstLine) {
  const ScopedZone zone("UTC");
  const std::string ns = " xmlns:o=\"urn:o\"";
  const struct {
    std::string root;  // attributes of <gpx> besides the namespaces
    std::string body;  // from line 4
    const char* kind;  // "" for a file that loses nothing
    int64_t count;
    int line;
    std::string first;
  } rows[] = {
      {"", "<wpt lat=\"1\" lon=\"2\"><name> A</name></wpt>\n<rte><name>R\t</name></rte>",
       "leading and trailing white space of names (<name>)", 2, 4, ""},
      {"", "<trk><name>\n  T\n</name></trk>", "leading and trailing white space", 1, 4, ""},
      {"", "<wpt lat=\"1\" lon=\"2\"><name> </name></wpt>", "leading and trailing white space", 1,
       4, ""},
      {"",
       "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2016-12-31T23:59:59Z</time></trkpt>\n"
       "<trkpt lat=\"1\" lon=\"2\"><time> 2016-12-31T23:59:60Z</time></trkpt>\n"
       "<trkpt lat=\"1\" lon=\"2\"><time>2017-01-01T08:59:60+09:00</time></trkpt></trkseg></trk>",
       "leap seconds (<time>)", 2, 5, "2016-12-31T23:59:60Z"},
      {"", "<wpt lat=\"1\" lon=\"2\" foo=\"1\"/>", "attribute x9host does not keep", 1, 4,
       "<wpt> foo"},
      {"", "<wpt lat=\"1\" lon=\"2\"/><rte" + ns + " o:lat=\"5\"/>", "attribute ", 1, 4,
       "<rte> lat (urn:o)"},
      {"", "<trk><name xml:lang=\"ja\">T</name><trkseg a=\"1\"/></trk>", "attributes", 2, 4,
       "<name> lang (http://www.w3.org/XML/1998/namespace)"},
      {"",
       "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-05-03T00:00:00Z</time>"
       "<extensions><x9:value32 unit=\"m\">10</x9:value32></extensions></trkpt></trkseg></trk>",
       "attribute ", 1, 4, "<value32> unit"},
      {" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\"a b\"", "",
       "attribute ", 1, 2, "<gpx> schemaLocation (\"http://www.w3.org/2001/XMLSchema-instance\")"},
      {" version=\"1.0\"", "", "GPX version other than 1.1 (<gpx version>)", 1, 2, "1.0"},
      // A track is one segment when written: an empty one beside another is lost.
      {"",
       "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-05-03T00:00:00Z</time></trkpt>"
       "</trkseg>\n<trkseg/></trk>\n<trk><trkseg/><trkseg/></trk>",
       "empty track segments (<trkseg>)", 2, 5, ""},
      // -9999 m is "none" to both holders: one count; -9999.5 is only the watch's loss.
      {"",
       "<wpt lat=\"1\" lon=\"2\"><ele>-9999.5</ele></wpt>\n"
       "<wpt lat=\"1\" lon=\"2\"><ele>-9999</ele></wpt>",
       "elevation of -9999 m, the watch's and the host's", 1, 5, "-9999"},
      // Neither holder tells an empty name from none, and the writer writes none.
      {"",
       "<wpt lat=\"1\" lon=\"2\"><name></name></wpt>\n<rte><name/></rte>\n"
       "<trk><name> </name><trkseg><trkpt lat=\"1\" lon=\"2\">"
       "<time>2024-05-03T00:00:00Z</time><name></name></trkpt></trkseg></trk>",
       "empty names (<name>)", 4, 4, ""},
      // A value is text alone: an element inside one is dropped with its text, in any value
      // and either set's name, each kind once.
      {"",
       "<wpt lat=\"1\" lon=\"2\"><name>a<b>c</b>d</name></wpt>\n"
       "<wpt lat=\"1\" lon=\"2\"><name>e<b/></name></wpt>",
       "elements inside <name>", 2, 4, "<b>"},
      {"",
       "<rte><name>r<x:i xmlns:x=\"urn:x\">secret</x:i></name>\n<rtept lat=\"1\" lon=\"2\">"
       "<ele>5<ele>6</ele></ele></rtept></rte>",
       "element inside <ele>", 1, 5, "<ele>"},
      {"", "<trk><name>t<i>x</i></name></trk>", "element inside <name>", 1, 4, "<i>"},
      {"",
       "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-01-01T00:00:00Z<x/></time>"
       "<extensions><x9:value32>10<v>2</v></x9:value32><x9:value72>1<v/></x9:value72>"
       "</extensions></trkpt></trkseg></trk>",
       "element inside <time>", 1, 4, "<x>"},
      {"",
       "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-01-01T00:00:00Z</time><extensions>"
       "\n<x9:value32>10<v>2</v></x9:value32><x9:value72>1<v/></x9:value72></extensions>"
       "</trkpt></trkseg></trk>",
       "element inside <x9:value72>", 1, 5, "<v>"},
      // A time without a zone names no instant: read as UTC, as GPX's times are, with fractions
      // too; one with Z or an offset is the instant it names.
      {"",
       "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-01-01T09:00:00+09:00</time></trkpt>\n"
       "<trkpt lat=\"1\" lon=\"2\"><time> 2024-01-01T00:00:01 </time></trkpt>\n"
       "<trkpt lat=\"1\" lon=\"2\"><time>2024-01-01T00:00:02.000</time></trkpt></trkseg></trk>",
       "times without a time zone (<time>)", 2, 5, "2024-01-01T00:00:01"},
      // Nearer 0 than any double: 0 to every digit kept, read as 0 with the rounded numbers.
      {"", "<wpt lat=\"1e-400\" lon=\"-2E-999999999999999999999\"/>",
       "numbers with more digits than x9host keeps", 2, 4, "1e-400 as 0"},
      // Written in GPX 1.1's order, whatever the file's.
      {"", "<wpt lat=\"1\" lon=\"2\"/><trk/>\n<rte/>\n<wpt lat=\"1\" lon=\"2\"/><rte/><trk/>",
       "waypoints, routes and tracks out of GPX 1.1's order", 3, 5, "<rte> after <trk>"},
      // Kept exactly: another program's creator (the written file is x9host's), namespace
      // declarations, space inside a name, a time on a second's edge.
      {" creator=\"other\"" + ns,
       "<wpt lat=\"1\" lon=\"2\"><name>A \t B&#127;\u3000</name></wpt>\n"
       "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2016-12-31T23:59:59Z</time></trkpt>"
       "<trkpt lat=\"1\" lon=\"2\"><time>2017-01-01T08:59:59+09:00</time></trkpt>"
       "</trkseg></trk>",
       "", 0, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body + row.root);
    // The head of kGpxHead with the row's root attributes: three lines.
    const std::string file =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx" +
        std::string(row.root.find("version") == std::string::npos ? " version=\"1.1\"" : "") +
        row.root + " xmlns=\"http://www.topografix.com/GPX/1/1\"\n" +
        "     xmlns:x9=\"urn:x9link:gpx-extensions:1\">\n" + row.body + "</gpx>\n";
    std::vector<std::string> warnings;
    const GpxDropped list = TransferListFromGpxText(file, "f.gpx", warnings).summary.dropped;
    const GpxDropped watch = WatchFromGpxText(file, "f.gpx", warnings).summary.dropped;
    for (const GpxDropped* dropped : {&list, &watch}) {
      const GpxDropped::Kind* found = nullptr;
      for (const GpxDropped::Kind& kind : dropped->Kinds())
        if (*row.kind != 0 && WithoutCount(kind).rfind(row.kind, 0) == 0) found = &kind;
      if (*row.kind == 0) {
        // The watch keeps no track names, nor waypoint times: only the list loses nothing.
        if (dropped == &list) {
          EXPECT_TRUE(list.Empty()) << list.List();
        }
        continue;
      }
      ASSERT_NE(found, nullptr) << dropped->List();
      EXPECT_EQ(found->count, row.count);
      EXPECT_EQ(found->line, row.line);
      EXPECT_EQ(found->first, row.first);
    }
  }
}

TEST(X9hostWatchContent, AMissingElevationIsTheWatchsNoAltitudeBothWays) {
  const std::string none = std::to_string(x9::kDeviceNoAltitude);
  const std::string file = std::string(kGpxHead) +
                           "<wpt lat=\"1\" lon=\"2\"><name>a</name></wpt>\n"
                           "<wpt lat=\"1\" lon=\"2\"><ele>12.9</ele><name>b</name></wpt>\n"
                           "<wpt lat=\"1\" lon=\"2\"><ele>" +
                           none + "</ele><name>c</name></wpt></gpx>\n";
  std::vector<std::string> warnings;
  WatchFromGpx read = WatchFromGpxText(file, "f.gpx", warnings);
  ASSERT_EQ(read.content.routes.size(), 1u);
  const std::vector<x9::RoutePoint>& points = read.content.routes[0].points;
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].altitude, x9::kDeviceNoAltitude);
  EXPECT_EQ(points[1].altitude, 12);
  EXPECT_EQ(points[2].altitude, x9::kDeviceNoAltitude);

  LoadWatch(read.content);
  std::string written;
  GpxWriter gpx([&](std::string_view piece) { written += piece; }, "t");
  WriteWatchGpx(gpx);
  gpx.Finish();
  const GpxDocument back = ParseGpx(written, "back.gpx");
  ASSERT_EQ(back.waypoints.size(), 3u);
  EXPECT_FALSE(back.waypoints[0].elevation.has_value());
  EXPECT_EQ(back.waypoints[1].elevation, 12.0);
  EXPECT_FALSE(back.waypoints[2].elevation.has_value());
}

// --- Encodings -----------------------------------------------------------------------------------

// A file with Japanese names over several lines, and where each name is.
constexpr char kJapaneseBody[] =
    "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    "<wpt lat=\"35.625\" lon=\"139.243\"><name>高尾山 山頂</name></wpt>\n"
    "<rte><name>多摩川ラン～下流</name>\n"
    "  <rtept lat=\"35.6\" lon=\"139.3\"><name>ｶﾀｶﾅ駅</name></rtept></rte>\n"
    "<trk><name>表示・能力・ソ</name><trkseg><trkpt lat=\"1\" "
    "lon=\"2\"><time>2024-05-03T00:12:05Z</time></trkpt></trkseg></trk>\n"
    "</gpx>\n";

std::string Declared(const std::string& encoding) {
  return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n";
}

void ExpectSameDocument(const GpxDocument& a, const GpxDocument& b) {
  ASSERT_EQ(a.waypoints.size(), b.waypoints.size());
  ASSERT_EQ(a.routes.size(), b.routes.size());
  ASSERT_EQ(a.tracks.size(), b.tracks.size());
  EXPECT_EQ(a.waypoints[0].name, b.waypoints[0].name);
  EXPECT_EQ(a.waypoints[0].line, b.waypoints[0].line);
  EXPECT_EQ(a.routes[0].name, b.routes[0].name);
  EXPECT_EQ(a.routes[0].points[0].name, b.routes[0].points[0].name);
  EXPECT_EQ(a.routes[0].points[0].line, b.routes[0].points[0].line);
  EXPECT_EQ(a.tracks[0].name, b.tracks[0].name);
  EXPECT_EQ(a.tracks[0].line, b.tracks[0].line);
}

TEST(X9hostGpxEncoding, ShiftJisReadsLikeItsUtf8TwinUnderEveryName) {
  const GpxDocument utf8 = ParseGpx(Declared("UTF-8") + kJapaneseBody, "utf8.gpx");
  EXPECT_EQ(utf8.routes[0].name, "多摩川ラン～下流");
  EXPECT_EQ(utf8.routes[0].points[0].line, 5);
  // Trail bytes that are ASCII ("ソ", "能", "表" end in 0x5C, the backslash) and half-width kana.
  const Cp932Text body = Cp932FromUtf8(kJapaneseBody);
  ASSERT_TRUE(body.ok);
  for (const char* name :
       {"Shift_JIS", "shift_jis", "Shift-JIS", "SJIS", "Windows-31J", "cp932", "MS932"}) {
    SCOPED_TRACE(name);
    ExpectSameDocument(ParseGpx(Declared(name) + body.bytes, "sjis.gpx"), utf8);
  }
  // Single quotes and other attributes around the declaration's encoding.
  ExpectSameDocument(
      ParseGpx("<?xml version='1.0' encoding = 'SJIS' standalone='yes'?>\n" + body.bytes,
               "sjis.gpx"),
      utf8);
}

TEST(X9hostGpxEncoding, ShiftJisErrorsNameTheFileLine) {
  const std::string head =
      Declared("Shift_JIS") + "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"2\">\n<name>\x85\x40</name></wpt></gpx>\n"),
            "f.gpx: line 4: 0x85 0x40 is not Shift_JIS (code page 932)");
  EXPECT_EQ(ReadError(head + "<wpt lat=\"1\" lon=\"2\">\n<name>\x8D\x82</name>\n</gpx>\n"),
            "f.gpx: line 5: not well-formed XML (an end tag does not match its start tag)");
}

TEST(X9hostGpxEncoding, OtherEncodingsAreReadOrRefusedByName) {
  const std::string body =
      "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"1\" "
      "lon=\"2\"><name>Caf\xE9</name></wpt></gpx>";
  EXPECT_EQ(ParseGpx(Declared("ISO-8859-1") + body, "f.gpx").waypoints[0].name, "Caf\xC3\xA9");
  EXPECT_EQ(ParseGpx(Declared("latin1") + body, "f.gpx").waypoints[0].name, "Caf\xC3\xA9");
  EXPECT_EQ(ReadError(Declared("EUC-JP") + body),
            "f.gpx: the encoding \"EUC-JP\" is not supported (UTF-8, UTF-16, ISO-8859-1 and "
            "Shift_JIS are)");
  EXPECT_EQ(ReadError(Declared("windows-1252") + body)
                .rfind("f.gpx: the encoding \"windows-1252\" is not supported", 0),
            0u);
  EXPECT_EQ(ReadError("\xEF\xBB\xBF" + Declared("Shift_JIS") + body),
            "f.gpx: declared as Shift_JIS but it starts with a UTF-8 byte order mark");
  EXPECT_EQ(ReadError(Declared("UTF-16") + body),
            "f.gpx: declared as UTF-16 but it has no UTF-16 byte order mark");
  // A UTF-8 byte order mark is read past.
  EXPECT_EQ(ParseGpx("\xEF\xBB\xBF" + Declared("UTF-8") + kJapaneseBody, "f.gpx").routes[0].name,
            "多摩川ラン～下流");
}

TEST(X9hostGpxEncoding, Utf16WithAByteOrderMarkReadsLikeUtf8) {
  const std::string text = Declared("UTF-16") + kJapaneseBody;
  // UTF-8 to UTF-16 by hand, little- and big-endian.
  std::u16string units;
  for (size_t i = 0; i < text.size();) {
    const Utf8Character character = DecodeUtf8(std::string_view(text).substr(i));
    ASSERT_EQ(character.status, Utf8Character::Status::kOk);
    units += static_cast<char16_t>(character.code);  // the text has nothing beyond the BMP
    i += character.length;
  }
  std::string little = "\xFF\xFE", big = "\xFE\xFF";
  for (const char16_t unit : units) {
    little += static_cast<char>(unit & 0xFF);
    little += static_cast<char>(unit >> 8);
    big += static_cast<char>(unit >> 8);
    big += static_cast<char>(unit & 0xFF);
  }
  const GpxDocument utf8 = ParseGpx(Declared("UTF-8") + kJapaneseBody, "utf8.gpx");
  ExpectSameDocument(ParseGpx(little, "le.gpx"), utf8);
  ExpectSameDocument(ParseGpx(big, "be.gpx"), utf8);
  EXPECT_EQ(ReadError(std::string("\xFF\xFE<\0g\0\x00\xD8", 8)), "f.gpx: line 1: not valid UTF-16");
  EXPECT_EQ(ReadError(std::string("\xFF\xFE\0\0", 4)),
            "f.gpx: UTF-32 is not supported (UTF-8, UTF-16, ISO-8859-1 and Shift_JIS are)");
}

// --- GPX writing ---------------------------------------------------------------------------------

TEST(X9hostGpxWrite, CoordinatesNameTheWatchUnitExactly) {
  for (const int32_t units :
       {356324001, -356812345, 1393387169, -1, 0, 1800000000, -1799999999, 644712010}) {
    const double degrees = static_cast<double>(units) * 1e-7;  // as the module converts
    const std::string text = CoordinateText(degrees);
    EXPECT_EQ(NearestUnits(text), units) << text;
    EXPECT_EQ(WatchUnits(text), units) << text;  // the watch's loader gets the unit back too
  }
  EXPECT_EQ(CoordinateText(356324001 * 1e-7), "35.6324001");
  EXPECT_EQ(CoordinateText(-1 * 1e-7), "-0.0000001");
  // "64.4712010" would read back as 644712009 under truncation: a few more digits avoid that.
  EXPECT_EQ(CoordinateText(644712010 * 1e-7), "64.47120100001");
  // A value from elsewhere keeps all its digits.
  EXPECT_EQ(CoordinateText(35.6812345678), "35.6812345678");
  EXPECT_EQ(NumberText(-9999.5), "-9999.5");
  EXPECT_EQ(NumberText(599.0), "599");
  EXPECT_EQ(NumberText(0.1f), "0.1");
}

TEST(X9hostGpxWrite, EscapesTextDropsControlCharactersAndKeepsTheSchemaOrder) {
  GpxDocument document;
  GpxPoint waypoint;
  waypoint.latitude = 1;
  waypoint.longitude = 2;
  waypoint.name = "A&B <C> \"D\"\x01\x1F\x7F end";
  document.waypoints.push_back(waypoint);
  GpxTrack& track = document.tracks.emplace_back();
  track.name = "T";
  track.segments.emplace_back();  // empty: not written
  GpxPoint point;
  point.latitude = 3;
  point.longitude = 4;
  point.elevation = 10;
  point.time = 1714695125;
  point.name = "No. 1";
  point.value32 = 1230;
  point.value72 = 7.5f;
  track.segments.emplace_back().push_back(point);
  document.tracks.emplace_back().name = "empty";

  const std::string text = WriteGpx(document, "x9host \"test\"");
  EXPECT_EQ(text.find('\x01'), std::string::npos);
  // DEL is a character XML holds (a file may give it): written as a reference, read back.
  EXPECT_EQ(text.find('\x7F'), std::string::npos);
  EXPECT_NE(text.find("\"D\"&#127; end"), std::string::npos);
  EXPECT_NE(text.find("creator=\"x9host &quot;test&quot;\""), std::string::npos);
  const GpxText gpx = ParseGpxText(text);
  ASSERT_EQ(gpx.waypoints.size(), 1u);
  EXPECT_EQ(gpx.waypoints[0].name, "A&B <C> \"D\"\x7F end");
  EXPECT_TRUE(gpx.waypoints[0].ele.empty());
  ASSERT_EQ(gpx.tracks.size(), 2u);
  EXPECT_EQ(gpx.tracks[0].segments, 1);
  EXPECT_EQ(gpx.tracks[1].segments, 0);
  EXPECT_EQ(gpx.emptySegments, 0);
  ASSERT_EQ(gpx.tracks[0].points.size(), 1u);
  const PointText& written = gpx.tracks[0].points[0];
  EXPECT_EQ(written.ele, "10");
  EXPECT_EQ(written.time, "2024-05-03T00:12:05Z");
  EXPECT_EQ(written.value32, "1230");
  EXPECT_EQ(written.value72, "7.5");
  EXPECT_TRUE(gpx.orderProblems.empty());
  // Read back by x9host itself, everything comes back.
  const GpxDocument back = ParseGpx(text, "w");
  EXPECT_EQ(back.tracks[0].segments[0][0].value72, 7.5f);
  EXPECT_EQ(back.tracks[0].segments[0][0].time, 1714695125);
}

}  // namespace
