// The plan, in-process: the outputs checked against each other and against the files read (by
// identity, whatever the spelling), the update in place and when it is refused, and the checks
// made before anything is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/plan.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "x9host_support.h"

namespace {

using namespace x9host;
using namespace x9host_test;

class X9hostPlan : public X9hostProgram {};

TEST_F(X9hostPlan, AnOutputMayNameNoOtherOutputAndNoInputButTheListItUpdates) {
  WriteText(Path("watch.gpx"), "w");
  WriteText(Path("list.gpx"), "l");
  fs::create_symlink(Path("watch.gpx"), Path("alias.gpx"));
  fs::create_directory(Path("sub"));
  const std::string watch = Path("watch.gpx").string(), list = Path("list.gpx").string();
  const std::string alias = Path("alias.gpx").string(), other = Path("other.gpx").string();
  const std::string listAgain = Path("sub/../list.gpx").string();

  using Roles = std::vector<OutputRole>;
  const Roles both{OutputRole::kTransferList, OutputRole::kWatch};
  const Roles listOnly{OutputRole::kTransferList};
  const struct {
    std::optional<std::string> out, watchOut;
    bool listLoses;    // the list file holds what the transfer list cannot keep
    std::string line;  // the refusal; empty when accepted
    Roles roles;       // when accepted
    os::Language language = os::Language::kEnglish;
  } cases[] = {
      {std::nullopt, std::nullopt, true, "", {}},
      {other, Path("after.gpx").string(), false, "", both},
      {other,
       other,
       false,
       "--out " + other + " and --watch-out " + other + " name the same file",
       {}},
      {"-", "-", false, "--out - and --watch-out - name the same file", {}},
      {watch,
       std::nullopt,
       false,
       "--out " + watch + " names the same file as --watch " + watch + ": it would be overwritten",
       {}},
      {std::nullopt,
       alias,
       false,
       "--watch-out " + alias + " names the same file as --watch " + watch +
           ": it would be overwritten",
       {}},
      {std::nullopt,
       list,
       false,
       "--watch-out " + list + " names the same file as --list " + list +
           ": it would be overwritten",
       {}},
      // The list updated in place: allowed while nothing would be lost.
      {list, std::nullopt, false, "", listOnly},
      {listAgain, std::nullopt, false, "", listOnly},
      {list,
       std::nullopt,
       true,
       "--out " + list + " would update --list " + list +
           " in place and lose what the transfer list cannot hold (2 comments (<cmt>)): write "
           "to another file",
       {}},
      {listAgain,
       std::nullopt,
       true,
       "--out " + listAgain + " would update --list " + list +
           " in place and lose what the transfer list cannot hold (2 comments (<cmt>)): write "
           "to another file",
       {}},
      {list,
       std::nullopt,
       true,
       "--out " + list + " は --list " + list +
           " をその場で書き換えるため、転送リストに入らない次のものが失われます: "
           "コメント（<cmt>）2 "
           "個。別のファイルに書き込んでください",
       {},
       os::Language::kJapanese},
      // What would be lost is the list file's only when it is written over.
      {other, std::nullopt, true, "", listOnly},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out.value_or("(no --out)") + " " + c.watchOut.value_or("(no --watch-out)"));
    Options options;
    options.outFile = c.out;
    options.watchOut = c.watchOut;
    Inputs inputs;
    inputs.watchPath = watch;
    inputs.listPath = list;
    if (c.listLoses) inputs.listDropped.Add(msg::kKindComments, 2);
    os::SetLanguage(c.language);
    try {
      const std::vector<PlannedOutput> outputs = PlanOutputs(options, inputs);
      EXPECT_EQ(c.line, "") << "accepted";
      Roles roles;
      for (const PlannedOutput& output : outputs)
        roles.push_back(output.role);
      EXPECT_EQ(roles, c.roles);
    } catch (const InputError& error) {
      EXPECT_EQ(error.what(), c.line);
    }
  }
  os::SetLanguage(os::Language::kEnglish);
  // Nothing was made on the way.
  EXPECT_FALSE(fs::exists(Path("other.gpx")));
  EXPECT_FALSE(fs::exists(Path("after.gpx")));
}

TEST_F(X9hostPlan, ThePlugInDirectoryAndTheModuleAreCheckedBeforeAnyFileIsRead) {
  fs::create_directory(Path("empty"));
  WriteText(Path("file"), "a file, not a directory\n");
  fs::create_directories(Path("odd/x9link.tvl"));
  const std::string missing = Path("nowhere").string(), empty = Path("empty").string();
  const std::string file = Path("file").string(), odd = Path("odd").string();
  // Only a name that is not there is "no such"; one that is there as the other kind says so.
  const struct {
    std::string plugins;
    std::string line;
  } cases[] = {
      {missing, missing + ": no such plug-in directory (--plugins DIR names it)"},
      {empty, empty + ": the plug-in directory holds no x9link.tvl"},
      {file, file + ": Not a directory"},
      {odd, odd + "/x9link.tvl: Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plugins);
    Options options;
    options.command = Command::kDownloadAll;
    options.pluginDir = c.plugins;
    options.watchFile = Path("missing-watch.gpx").string();  // never read
    try {
      MakePlan(options);
      ADD_FAILURE() << "planned";
    } catch (const InputError& error) {
      EXPECT_EQ(error.what(), c.line);
    }
  }
  if (!os::HoldSupported()) {
    Options options;
    options.command = Command::kDownloadAll;
    options.holdAt = 50;
    options.pluginDir = missing;
    try {
      MakePlan(options);
      ADD_FAILURE() << "planned";
    } catch (const InputError& error) {
      EXPECT_STREQ(error.what(), "--hold-at works in the Windows build only");
    }
  }
}

TEST_F(X9hostPlan, APlanHoldsWhatWasReadAndWhereTheModuleIs) {
  WriteText(Path("watch.gpx"), std::string(kGpxHead) +
                                   "<!-- not kept -->\n"
                                   "<wpt lat=\"35\" lon=\"139\"><name>a</name></wpt></gpx>\n");
  WriteText(Path("list.gpx"), std::string(kGpxHead) +
                                  "<rte><name>R</name><rtept lat=\"1\" lon=\"2\"/></rte></gpx>\n");
  Options options;
  options.command = Command::kUploadRoutes;
  options.pluginDir = X9HOST_PLUGINS;
  options.watchFile = Path("watch.gpx").string();
  options.listFile = Path("list.gpx").string();
  options.outFile = Path("list.gpx").string();  // the list updated in place
  options.yes = true;
  options.paceMilliseconds = 5;

  Plan plan = MakePlan(options);
  EXPECT_EQ(plan.command, Command::kUploadRoutes);
  EXPECT_EQ(plan.session.modulePath, (fs::path(X9HOST_PLUGINS) / "x9link.tvl").string());
  EXPECT_EQ(plan.session.library.kind, WatchLibrary::kSimulator);
  EXPECT_EQ(plan.SimulatedWatch(), &plan.inputs.watch);
  EXPECT_TRUE(plan.session.answerYes);
  EXPECT_EQ(plan.session.paceMilliseconds, 5);
  EXPECT_EQ(plan.inputs.watchPath, Path("watch.gpx").string());
  EXPECT_EQ(plan.inputs.watchSummary.waypoints, 1);
  ASSERT_EQ(plan.inputs.warnings.size(), 1u);
  EXPECT_NE(
      plan.inputs.warnings[0].find("1 XML comment (<!-- -->) dropped: the watch cannot hold it"),
      std::string::npos)
      << plan.inputs.warnings[0];
  ASSERT_EQ(plan.inputs.list.sets.size(), 1u);
  EXPECT_EQ(plan.inputs.list.sets[0].name, "R");
  ASSERT_EQ(plan.outputs.size(), 1u);
  EXPECT_EQ(plan.outputs[0].role, OutputRole::kTransferList);
}

}  // namespace
