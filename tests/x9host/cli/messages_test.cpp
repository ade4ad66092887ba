// What x9host's lines say and how: the failed call's own error, the last line on a line of its
// own whatever the module left pending, names shown on one line, the other names of a replaced
// file, counts of one in the singular, and no value read past the longest x9host keeps. One
// table per rule.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codec/codepage.h"
#include "content/transfer_list.h"
#include "gpx/gpx.h"
#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/message_text.h"
#include "os/messages.h"
#include "os/say.h"
#include "session/console_posix.h"
#include "x9host_support.h"

namespace {

// The sanitizers' runtime needs file descriptors and address space of its own: the limits these
// tests set are measured in the plain build only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

using namespace x9host;
using namespace x9host_test;

// The last line of a text, without its line feed.
std::string LastLine(const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  const size_t start = body.rfind('\n');
  return start == std::string::npos ? body : body.substr(start + 1);
}

class X9hostMessages : public X9hostProgram {};

// --- The failed call's own error ---------------------------------------------------------------

TEST_F(X9hostMessages, AFailedSystemCallIsToldInTheSystemsWords) {
  fs::create_directory_symlink("loop", Path("loop"));  // a link to itself: ELOOP
  WriteText(Path("plain"), "a file\n");
  const fs::path loopLibrary = Path("plugins-loop");
  fs::create_directory(loopLibrary);
  fs::copy_file(fs::path(X9HOST_PLUGINS) / "x9link.tvl", loopLibrary / "x9link.tvl");
  fs::create_symlink("x9.dll", loopLibrary / "x9.dll");
  const fs::path moduleLoop = Path("plugins-module-loop");
  fs::create_directory(moduleLoop);
  fs::create_symlink("x9link.tvl", moduleLoop / "x9link.tvl");
  const std::string route =
      std::string(kGpxHead) + "<rte><name>高尾</name><rtept lat=\"1\" lon=\"2\"/></rte></gpx>\n";
  WriteText(Path("routes.gpx"), route);

  struct Row {
    const char* what;
    std::vector<std::string> args;
    unsigned openFiles;
    int status;
    std::string said;     // in the last line
    std::string notSaid;  // what was said before, of another cause
  };
  const std::vector<Row> rows = {
      {"the code page tables cannot be opened for lack of file descriptors",
       {"upload-routes", "--yes", "--list", Path("routes.gpx").string()},
       4,  // the three streams and the list: nothing left for iconv
       2,
       "Too many open files",
       "cannot convert"},
      {"the plug-in directory is a loop of links",
       {"--plugins", Path("loop").string(), "about"},
       0,
       2,
       Path("loop").string() + ": Too many levels of symbolic links",
       "no such plug-in directory"},
      {"the plug-in directory is under a file",
       {"--plugins", (Path("plain") / "sub").string(), "about"},
       0,
       2,
       ": Not a directory",
       "no such plug-in directory"},
      {"the module is a loop of links",
       {"--plugins", moduleLoop.string(), "about"},
       0,
       2,
       "x9link.tvl: Too many levels of symbolic links",
       "holds no x9link.tvl"},
      {"the watch library is a loop of links",
       {"--plugins", loopLibrary.string(), "download-all", "--yes"},
       0,
       3,
       "x9.dll: Too many levels of symbolic links",
       "there is no watch library"},
      {"an output's directory is under a file",
       {"download-all", "--out", (Path("plain") / "sub" / "out.gpx").string()},
       0,
       2,
       "out.gpx: Not a directory",
       "does not exist"},
      {"the list is a loop of links",
       {"upload-routes", "--list", Path("loop").string()},
       0,
       2,
       ": Too many levels of symbolic links",
       "does not exist"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (kSanitized && row.openFiles > 0) continue;
    Launch launch;
    launch.openFileLimit = row.openFiles;
    const Outcome outcome = Run(row.args, launch);
    EXPECT_EQ(outcome.status, row.status) << outcome.out << outcome.err;
    const std::string last = LastLine(row.status == 3 ? outcome.out : outcome.err);
    EXPECT_NE(last.find(row.said), std::string::npos) << last;
    EXPECT_EQ((outcome.out + outcome.err).find(row.notSaid), std::string::npos) << outcome.err;
  }
}

// --- The last line on a line of its own --------------------------------------------------------

// The system's reasons in the user's language: in English the C library's own words, in
// Japanese none of them (the C locale's library speaks English only).
TEST(X9hostErrorText, TheSystemsReasonsAreInTheUsersLanguage) {
  for (const int error : {ENOENT, EACCES, ENOSPC, EMFILE, EFBIG, EROFS, EXDEV, ELOOP}) {
    os::SetLanguage(os::Language::kEnglish);
    const std::string english = os::ErrorText(error);
    EXPECT_EQ(english, std::strerror(error));
    os::SetLanguage(os::Language::kJapanese);
    const std::string japanese = os::ErrorText(error);
    EXPECT_NE(japanese, english);
    EXPECT_TRUE(std::any_of(japanese.begin(), japanese.end(), [](char c) {
      return static_cast<unsigned char>(c) >= 0x80;
    })) << japanese;
  }
  os::SetLanguage(os::Language::kEnglish);
}

TEST_F(X9hostMessages, ASignalAtTheQuestionEndsThePromptsLineFirst) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    Launch launch;
    launch.signalAtPrompt = signal;
    const Outcome outcome = Run({"download-all"}, launch);
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const std::string last = LastLine(outcome.err);
    EXPECT_EQ(last.rfind("x9host: interrupted by SIG", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find("(y/N) \nx9host: "), std::string::npos) << outcome.err;
  }
}

TEST(X9hostPendingLine, TheConsoleKnowsWhetherItLeftALineOpen) {
  struct Row {
    const char* written;  // by the module, in order
    bool pending;
  };
  const Row rows[] = {
      {"[question] Start?\n", false},
      {"(y/N) ", true},                         // the question waits on its prompt
      {"\rDownloading... [###   ] 10%", true},  // a bar drawn in place
      {"\n", false},
      {"[warning] Lost\n", false},
  };
  std::string shown;
  ModuleConsole console([&](std::string_view text) { shown += text; }, true, true, false);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.written);
    console.Write(row.written);
    EXPECT_EQ(os::LinePending(), row.pending) << shown;
  }
  // Ending the pending line clears it: the next line needs no second line feed.
  console.Write("(y/N) ");
  ASSERT_TRUE(os::LinePending());
  os::EndPendingLine();
  EXPECT_FALSE(os::LinePending());
}

// --- Names on one line -------------------------------------------------------------------------

TEST(X9hostOneLine, ControlCharactersAndBytesOfNoCharacterAreShownEscaped) {
  struct Row {
    std::string in, out;
  };
  const std::vector<Row> rows = {
      {"plain.gpx", "plain.gpx"},
      {"a\nb.gpx", "a\\nb.gpx"},
      {"a\r\n\tb", "a\\r\\n\\tb"},
      {"\x1b[2J", "\\x1b[2J"},
      {std::string("nul\0byte", 8), "nul\\x00byte"},
      {"del\x7f", "del\\x7f"},
      {"csi\xc2\x9b"
       "31m",
       "csi\\u009b31m"},                                 // C1, as UTF-8
      {"\xc2\xa0nbsp\xc3\xa9", "\xc2\xa0nbsp\xc3\xa9"},  // not controls
      {"C:\\dir\\n.gpx", "C:\\dir\\n.gpx"},              // a backslash stays
      {"高尾山", "高尾山"},
      // Bytes of no character, each shown: another encoding, overlong forms, surrogates, past
      // U+10FFFF, a character cut short.
      {"caf\xe9.gpx", "caf\\xe9.gpx"},      // Latin-1
      {"\x82\xa0\xff", "\\x82\\xa0\\xff"},  // Shift_JIS, and a byte UTF-8 never has
      {"\xc0\xaf\xe0\x80\xaf", "\\xc0\\xaf\\xe0\\x80\\xaf"},
      {"\xed\xa0\x80\xf4\x90\x80\x80", "\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80"},
      {"高\xe5\xb0", "高\\xe5\\xb0"},
      {"\xf0\x9f\x97\xbb\xef\xbf\xbf", "\xf0\x9f\x97\xbb\xef\xbf\xbf"},  // 4 bytes, U+FFFF
  };
  for (const Row& row : rows) {
    EXPECT_EQ(os::OneLine(row.in), row.out);
    EXPECT_EQ(os::OneLine(os::OneLine(row.in)), row.out) << "escaping twice changes nothing";
  }
  EXPECT_EQ(std::string(InputError("x\ny").what()), "x\\ny");
}

TEST_F(X9hostMessages, ANameWithControlCharactersLeavesOneLine) {
  const std::string newline = Path("two\nlines").string();
  WriteText(Path("route.gpx"), std::string(kGpxHead) +
                                   "<rte><name>Caf\xc3\xa9\n\t\xc2\x9b"
                                   "2J</name>"
                                   "<rtept lat=\"1\" lon=\"2\"/></rte></gpx>\n");
  struct Row {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string said;  // in stderr
  };
  const std::vector<Row> rows = {
      {"an output in a directory that is not there",
       {"download-all", "--yes", "--out", newline + "/out.gpx"},
       2,
       "two\\nlines/out.gpx: the directory "},
      {"a list that is not there",
       {"upload-routes", "--list", Path("no\tsuch.gpx").string()},
       2,
       "no\\tsuch.gpx: No such file or directory"},
      {"a list named in Latin-1",
       {"upload-routes", "--list", Path("caf\xe9.gpx").string()},
       2,
       "caf\\xe9.gpx: No such file or directory"},
      {"a plug-in directory with an escape sequence",
       {"--plugins", Path("\x1b[31mred").string(), "about"},
       2,
       "\\x1b[31mred: no such plug-in directory"},
      {"an unknown command", {"down\nload"}, 2, "unknown command \"down\\nload\""},
      {"a warning quoting a route name",
       {"upload-routes", "--yes", "--list", Path("route.gpx").string()},
       0,
       "the route name \"Caf\xc3\xa9\\n\\t\\u009b2J\" is kept as"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Outcome outcome = Run(row.args);
    EXPECT_EQ(outcome.status, row.status) << outcome.err;
    EXPECT_NE(outcome.err.find(row.said), std::string::npos) << outcome.err;
    if (row.status == 2) {
      EXPECT_EQ(CountLines(outcome.err), 1u) << outcome.err;
    }
    for (const char control : {'\t', '\x1b', '\r'})
      EXPECT_EQ(outcome.err.find(control), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out.find('\x1b'), std::string::npos) << outcome.out;
  }
  // The table shows the list's names a row each, a line feed in one escaped too.
  WriteText(Path("watch.gpx"), std::string(kGpxHead) +
                                   "<rte><name>line1&#10;line2</name>"
                                   "<rtept lat=\"1\" lon=\"2\"/></rte></gpx>\n");
  const Outcome table = Run({"download-routes", "--yes", "--watch", Path("watch.gpx").string()});
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.out.find("  line1\\nline2\n"), std::string::npos) << table.out;
}

// --- The other names of a replaced file --------------------------------------------------------

TEST_F(X9hostMessages, ReplacingAFileWithOtherNamesSaysTheyKeepTheOldContent) {
  // The other names are in a directory of their own, which the run must leave alone.
  fs::create_directory(Path("kept"));
  struct Row {
    int links;
    std::string warning;  // empty: none
  };
  const std::vector<Row> rows = {
      {0, ""},
      {1, "its 1 other name (a hard link) keeps the old content"},
      {2, "its 2 other names (hard links) keep the old content"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.links);
    const fs::path out = Path("out.gpx");
    fs::remove(out);
    WriteText(out, "old\n");
    for (int i = 0; i < row.links; ++i) {
      const fs::path other = Path("kept") / ("other" + std::to_string(i));
      fs::remove(other);
      fs::create_hard_link(out, other);
    }
    const Outcome outcome = Run({"download-all", "--yes", "--out", out.string()});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::string line = "x9host: warning: --out " + out.string() +
                             " was replaced by a new file: " + row.warning + "\n";
    if (row.warning.empty()) {
      EXPECT_EQ(outcome.err.find("was replaced by a new file"), std::string::npos) << outcome.err;
    } else {
      EXPECT_NE(outcome.err.find(line), std::string::npos) << outcome.err;
      EXPECT_EQ(ReadText(Path("kept") / "other0"), "old\n");
    }
    EXPECT_EQ(LastLine(outcome.out).rfind("x9host: done: ", 0), 0u) << outcome.out;
    for (int i = 0; i < row.links; ++i)
      fs::remove(Path("kept") / ("other" + std::to_string(i)));
  }
}

// --- A zone the machine does not know --------------------------------------------------------

TEST_F(X9hostMessages, AZoneTheMachineDoesNotKnowIsWarnedOfOnce) {
  const std::string warning =
      "x9host: warning: TZ=Foo/Bar names no time zone this machine knows (no zone file, no POSIX "
      "rule): times are read as UTC\n";
  for (const char* zone : {"Foo/Bar", "Asia/Tokyo"}) {
    Launch launch;
    launch.zone = zone;
    const Outcome outcome = Run({"download-all", "--yes"}, launch);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const bool unknown = std::string(zone) == "Foo/Bar";
    const size_t at = outcome.err.find(warning);
    EXPECT_EQ(at != std::string::npos, unknown) << outcome.err;
    EXPECT_EQ(outcome.err.find("TZ=", unknown ? at + warning.size() : 0), std::string::npos)
        << outcome.err;
  }
}

// --- Counts -----------------------------------------------------------------------------------

// Every "N <noun>" line reads right for 1 and for more: the losses by kind, the lines that count
// what was not shown one by one, the watch's summary.
TEST_F(X9hostMessages, ACountOfOneReadsInTheSingular) {
  const auto sameNamedRoutes = [](int64_t routes) {
    std::string file(kGpxHead);
    for (int64_t i = 0; i < routes; ++i)
      file += "<rte><name>R</name><rtept lat=\"1\" lon=\"2\"/></rte>\n";
    std::vector<std::string> warnings;
    TransferListFromGpxText(file + "</gpx>\n", "f.gpx", warnings, ListUse::kUpload);
    return warnings.back();
  };
  const auto comments = [](int count, os::Language language = os::Language::kEnglish) {
    std::string file = std::string(kGpxHead) + "<wpt lat=\"1\" lon=\"2\">";
    for (int i = 0; i < count; ++i)
      file += "<cmt>c</cmt>";
    std::vector<std::string> warnings;
    const GpxDropped dropped =
        TransferListFromGpxText(file + "</wpt></gpx>\n", "f.gpx", warnings).summary.dropped;
    os::SetLanguage(language);
    const std::string line = dropped.Warnings("f.gpx", msg::kHolderWatch).at(0);
    os::SetLanguage(os::Language::kEnglish);
    return line;
  };
  const std::string changed = " for characters code page 932 cannot write";
  const std::string arrive = " on the watch under the name of an earlier route";
  struct Row {
    std::string line, expected;
  };
  const std::vector<Row> rows = {
      {comments(1), "f.gpx: line 4: 1 comment (<cmt>) dropped: the watch cannot hold it"},
      {comments(2), "f.gpx: line 4: 2 comments (<cmt>) dropped: the watch cannot hold them"},
      {comments(2, os::Language::kJapanese),
       "f.gpx: 4 行目: ウォッチに保存できないため、コメント（<cmt>）2 個を読み込みません"},
      {MoreNamesWarning("f.gpx", kNameWarningsShown + 1),
       "f.gpx: 1 more name is kept with '?'" + changed},
      {MoreNamesWarning("f.gpx", kNameWarningsShown + 2),
       "f.gpx: 2 more names are kept with '?'" + changed},
      {sameNamedRoutes(kNameWarningsShown + 2), "f.gpx: 1 more route arrives" + arrive},
      {sameNamedRoutes(kNameWarningsShown + 3), "f.gpx: 2 more routes arrive" + arrive},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.line, row.expected);
  WriteText(Path("one.gpx"),
            std::string(kGpxHead) +
                "<wpt lat=\"1\" lon=\"2\"/><rte><rtept lat=\"1\" lon=\"2\"/></rte>"
                "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-05-03T00:00:00Z"
                "</time></trkpt></trkseg></trk></gpx>\n");
  const Outcome one = Run({"download-all", "--yes", "--watch", Path("one.gpx").string()});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find(": 1 track, 1 route, 1 waypoint\n"), std::string::npos) << one.out;
}

// --- No value past the longest x9host keeps ----------------------------------------------------

TEST(X9hostValueLimit, AValuePastTheLimitRefusesTheFileInOneLine) {
  const std::string big(kLongestValue + 1, 'a');
  const std::string half(kLongestValue / 2 + 1, 'a');
  const std::string point = "<rtept lat=\"1\" lon=\"2\"/>";
  struct Row {
    const char* what;
    std::string body;  // inside <gpx>
    std::string said;  // empty: read
    std::string encoding = "UTF-8";
    os::Language language = os::Language::kEnglish;
  };
  std::string kanji;  // 高, 2 bytes each in Shift_JIS
  for (size_t i = 0; i < kLongestValue / 3 + 1; ++i)
    kanji += "\x8d\x82";
  std::string manyNames;
  for (int i = 0; i < 3000; ++i)
    manyNames += "<rte><name>" + std::string(1000, 'n') + "</name>" + point + "</rte>";
  const std::vector<Row> rows = {
      {"a name just within",
       "<rte><name>" + std::string(kLongestValue - 64, 'a') + "</name>" + point + "</rte>", ""},
      {"many names, all within", manyNames, ""},
      // A value counts with its end tag; a file in Shift_JIS as UTF-8 (a kanji is 3 bytes there).
      {"a name at the limit with its end tag",
       "<rte><name>" + std::string(kLongestValue - 7, 'a') + "</name>" + point + "</rte>", ""},
      {"a name one byte past it with its end tag",
       "<rte><name>" + std::string(kLongestValue - 6, 'a') + "</name>" + point + "</rte>",
       "more than 1048576 bytes before the next element tag, in a tag"},
      {"a Shift_JIS name within as Shift_JIS, past as UTF-8",
       "<rte><name>" + kanji + "</name>" + point + "</rte>",
       "more than 1048576 bytes before the next element tag, in a text", "Shift_JIS"},
      {"a name", "\n<rte><name>" + big + "</name>" + point + "</rte>",
       "f.gpx: line 5: more than 1048576 bytes before the next element tag, in a text"},
      {"a comment", "\n<!--" + big + "-->",
       "line 5: more than 1048576 bytes before the next "
       "element tag, in a comment"},
      {"a CDATA section", "<rte><name><![CDATA[" + big + "]]></name></rte>", "in a CDATA section"},
      {"an attribute, with markup in it", "<wpt lat=\"1\" lon=\"2\" x=\">" + big + "\"/>",
       "in a tag"},
      {"a processing instruction", "<?x " + big + "?>", "in a processing instruction"},
      {"a name in pieces between comments",
       "<rte><name>" + half + "<!-- -->" + half + "</name>" + point + "</rte>", "in a text"},
      {"a comment that hides a tag", "<rte><name>" + half + "<!-- <a> -->" + half, "in a text"},
      {"a comment, in Japanese", "\n<!--" + big + "-->",
       "f.gpx: 5 行目: コメントが長すぎます（次の要素タグまで 1048576 バイトを超えています）。",
       "UTF-8", os::Language::kJapanese},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    os::SetLanguage(row.language);
    std::string file = std::string(kGpxHead) + row.body + "</gpx>\n";
    file.replace(file.find("UTF-8"), 5, row.encoding);
    if (row.said.empty()) {
      EXPECT_NO_THROW(ParseGpx(file, "f.gpx"));
      continue;
    }
    try {
      ParseGpx(file, "f.gpx");
      ADD_FAILURE() << "read";
    } catch (const InputError& error) {
      const std::string line = error.what();
      EXPECT_NE(line.find(row.said), std::string::npos) << line;
      EXPECT_EQ(line.find('\n'), std::string::npos);
      EXPECT_LT(line.size(), 300u);
    }
  }
  os::SetLanguage(os::Language::kEnglish);
}

TEST_F(X9hostMessages, AnEndlessValueFromAPipeEndsAtTheLimit) {
  // A name that never ends, from a pipe: refused once past the limit, long before memory runs
  // out (timeout ends the run otherwise, status 124).
  const std::string head = Path("head.gpx").string();
  WriteText(head, std::string(kGpxHead) + "<rte><name>");
  WriteText(Path("endless.sh"),
            std::string("{ cat \"$1\"; yes aaaaaaaaaaaaaaa | tr -d '\\n'; } |\n") + "  ( " +
                (kSanitized ? "" : "ulimit -v 4000000; ") +
                "exec timeout 30 \"$2\" upload-routes --list /dev/stdin 2>\"$3\" )\n");
  const std::string command = "bash '" + Path("endless.sh").string() + "' '" + head + "' '" +
                              X9HOST_PROGRAM + "' '" + Path("err").string() + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  const std::string err = ReadText(Path("err"));
  EXPECT_EQ(CountLines(err), 1u) << err;
  EXPECT_NE(err.find("/dev/stdin: line 4: more than 1048576 bytes before the next element tag"),
            std::string::npos)
      << err;
}

}  // namespace
