// How x9host puts its outputs in place: the transaction with every step made to fail once (the
// old file or the whole new one, with its metadata, and a status and last line that say
// which), signals at every step, devices, links, permission bits and owners, standard output in
// every spelling, a report nobody reads, FIFOs, checks before the request, long names and deep
// directories.
#include <acl/libacl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/acl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "os/os.h"
#include "x9host_support.h"

// Launch settings are named one by one (designated initialisers), the rest left at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace x9host_test;

constexpr char kOld[] = "the old transfer list, byte for byte\n";

// Everything the rule keeps of a file: bytes, mode, owner, ACL and one extended attribute.
struct FileState {
  std::string bytes;
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string acl;
  std::string xattr;
  bool operator==(const FileState&) const = default;
};

FileState StateOf(const fs::path& path) {
  FileState state;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return state;
  state.bytes = ReadText(path);
  state.mode = info.st_mode & 07777;
  state.uid = info.st_uid;
  state.gid = info.st_gid;
  if (acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS)) {
    if (char* text = acl_to_any_text(acl, nullptr, ',', 0)) {
      state.acl = text;
      acl_free(text);
    }
    acl_free(acl);
  }
  char value[256];
  const ssize_t n = getxattr(path.c_str(), "user.x9test", value, sizeof value);
  if (n > 0) state.xattr.assign(value, static_cast<size_t>(n));
  return state;
}

// Runs x9host with standard output on outFd (-1: a file, as Run does) and more environment.
struct Exec {
  std::vector<std::string> env;  // NAME=VALUE
  int outFd = -1;
  int inFd = -1;        // standard input (-1: /dev/null)
  int killAfterMs = 0;  // send signal this long after the start
  int signal = SIGTERM;
  long fileSizeLimit = 0;             // RLIMIT_FSIZE in bytes when not 0 (ulimit -f)
  std::string cwd;                    // chdir here first (relative steps, for any depth)
  uid_t user = 0;                     // run as this user when not 0
  bool newSession = false;            // setsid(): no controlling terminal
  bool directoriesMayDiffer = false;  // as Launch's
};

class X9hostOutputs : public X9hostProgram {
 protected:
  Outcome Start(const std::vector<std::string>& args, const Exec& exec) {
    const OutputDirectories directories(
        args, exec.cwd.empty() ? fs::current_path() : fs::path(exec.cwd), dir_);
    Outcome outcome = Launch(args, exec);
    if (!exec.directoriesMayDiffer) directories.Check(outcome.status, outcome.err);
    return outcome;
  }

  Outcome Launch(const std::vector<std::string>& args, const Exec& exec) {
    const fs::path out = Path(".stdout"), err = Path(".stderr");
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TZ", "Asia/Tokyo", 1);
      unsetenv("LC_ALL");
      unsetenv("LC_MESSAGES");
      unsetenv("X9HOST_LANG");  // the language follows LANG, as a user's does
      setenv("LANG", "C.UTF-8", 1);
      for (const std::string& pair : exec.env)
        putenv(const_cast<char*>(pair.c_str()));
      const int devNull = open("/dev/null", O_RDONLY);
      const int outFd =
          exec.outFd >= 0 ? exec.outFd : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      dup2(exec.inFd >= 0 ? exec.inFd : devNull, 0);
      dup2(outFd, 1);
      dup2(errFd, 2);
      if (!exec.cwd.empty()) {
        // One step at a time: the whole path may be longer than the system takes at once.
        size_t start = 0;
        while (start < exec.cwd.size()) {
          const size_t slash = exec.cwd.find('/', start);
          const std::string part = exec.cwd.substr(start, slash - start);
          if (chdir(part.empty() ? "/" : part.c_str()) != 0) _exit(126);
          start = slash == std::string::npos ? exec.cwd.size() : slash + 1;
        }
      }
      if (exec.fileSizeLimit > 0) {
        const rlimit limit{static_cast<rlim_t>(exec.fileSizeLimit),
                           static_cast<rlim_t>(exec.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      if (exec.newSession) setsid();
      if (exec.user != 0 && (setgid(exec.user) != 0 || setuid(exec.user) != 0)) _exit(125);
      std::vector<char*> argv{const_cast<char*>(X9HOST_PROGRAM)};
      for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(X9HOST_PROGRAM, argv.data());
      _exit(127);
    }
    if (exec.killAfterMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(exec.killAfterMs));
      kill(pid, exec.signal);
    }
    // No case may hang the suite: a program still running after 60 s is killed.
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
      if (waited > 60000) kill(pid, SIGKILL);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Outcome outcome;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    if (exec.outFd < 0) outcome.out = ReadText(out);
    outcome.err = ReadText(err);
    return outcome;
  }

  // The two outputs of every transaction case: an existing list file with metadata of its
  // own, and a watch file that is not there yet.
  FileState SeedOld() {
    WriteText(Path("out.gpx"), kOld);
    chmod(Path("out.gpx").c_str(), 0640);
    if (geteuid() == 0) chown(Path("out.gpx").c_str(), 65534, 65534);
    EXPECT_EQ(setxattr(Path("out.gpx").c_str(), "user.x9test", "kept", 4, 0), 0);
    acl_t acl = acl_from_text("u::rw-,u:nobody:rw-,g::r--,m::rw-,o::---");
    EXPECT_EQ(acl_set_file(Path("out.gpx").c_str(), ACL_TYPE_ACCESS, acl), 0);
    acl_free(acl);
    return StateOf(Path("out.gpx"));
  }

  std::vector<std::string> Both() const {
    return {"download-all",           "--yes",       "--out",
            Path("out.gpx").string(), "--watch-out", Path("b.gpx").string()};
  }
};

std::string LastLine(const std::string& text) {
  const size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) return {};
  const size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end + 1 - (start + 1));
}

// Whether another user can run the program from where it was built: a private directory above
// the build tree (a scratch copy's, a home's) keeps it out, and a case run as that user then
// proves nothing about x9host.
bool ReachableBy(uid_t user) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(user) != 0 || setuid(user) != 0) _exit(1);
    _exit(access(X9HOST_PROGRAM, X_OK) == 0 && access(X9HOST_PLUGINS, R_OK | X_OK) == 0 ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// --- The transaction
// ------------------------------------------------------------------------------

struct FaultCase {
  const char* fault;      // X9HOST_FAULT
  int status;             // 0: both new; 2: both as they were; 1: as the last line says
  const char* line;       // in the last line of stderr (empty: "done" on the report)
  bool japanese = false;  // run with LANG=ja_JP.UTF-8
};

// The whole sweep over every step runs in one process (transaction_test.cpp); here, what the
// program makes of each kind of ending: its status, its report and its last line.
TEST_F(X9hostOutputs, EachKindOfEndingGivesItsStatusReportAndLastLine) {
  const FaultCase cases[] = {
      {"create", 2, "--out"},
      {"write:2", 2, "--watch-out"},
      {"rename:2", 2, "--watch-out"},  // the first is in place already, and is put back
      {"commit", 0, "the old content could not be removed"},
      {"hardlink,rename:2", 2, "--watch-out"},
      {"write:2=2", 1, "interrupted by SIGINT"},
      {"rename:2=10", 1, "interrupted by SIGUSR1 before the outputs were in place"},
      {"commit=15", 0, ""},
      {"write:2", 2, "に書き込めません（write で注入した障害）。すべての出力は元のままです", true},
      {"write:2=2", 1, "x9host: SIGINT で中断しました。出力を置き換える前のため", true},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + (c.japanese ? " (ja)" : ""));
    for (const std::string& name : Files())
      fs::remove(Path(name));
    const FileState old = SeedOld();
    // Old content that cannot be removed is left, and said so.
    const bool leftBehind = std::string(c.fault) == "commit";
    const Outcome outcome =
        Start(Both(), {.env = {std::string("X9HOST_FAULT=") + c.fault,
                               c.japanese ? "LANG=ja_JP.UTF-8" : "LANG=C.UTF-8"},
                       .directoriesMayDiffer = leftBehind});
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    if (c.status == 0) {
      EXPECT_NE(outcome.out.find("x9host: done:"), std::string::npos);
      const FileState now = StateOf(Path("out.gpx"));
      EXPECT_NE(now.bytes, old.bytes);
      EXPECT_EQ(now.mode, old.mode);
      EXPECT_EQ(now.acl, old.acl);
      EXPECT_EQ(now.xattr, "kept");
      EXPECT_EQ(now.uid, old.uid);
      EXPECT_TRUE(fs::exists(Path("b.gpx")));
    } else {
      EXPECT_EQ(StateOf(Path("out.gpx")), old);
      EXPECT_FALSE(fs::exists(Path("b.gpx")));
      EXPECT_EQ(Files(), std::vector<std::string>{"out.gpx"});  // nothing made is left
      EXPECT_NE(outcome.out.find((c.japanese ? "書き込んでいません: " : "not written: ") +
                                 Path("out.gpx").string()),
                std::string::npos);
    }
    if (*c.line != '\0') {
      EXPECT_NE(LastLine(outcome.err).find(c.line), std::string::npos) << outcome.err;
    }
    if (c.status == 2) {
      EXPECT_NE(LastLine(outcome.err)
                    .find(c.japanese ? "すべての出力は元のままです" : "every output is as it was"),
                std::string::npos);
    }
  }
}

// What reaches standard output cannot be taken back: it is written only once every file is in
// place, and a failure at any phase before leaves it empty and every file as it was.
TEST_F(X9hostOutputs, StandardOutputGetsNothingUntilEveryFileIsInPlace) {
  for (const char* fault : {"create", "write", "metadata", "sync", "backup", "rename", "stream"}) {
    SCOPED_TRACE(fault);
    const FileState old = SeedOld();
    const Outcome outcome =
        Start({"download-all", "--yes", "--watch-out", Path("out.gpx").string(), "--out", "-"},
              {.env = {std::string("X9HOST_FAULT=") + fault}});
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_EQ(outcome.out.find("<gpx"), std::string::npos) << outcome.out.substr(0, 200);
    EXPECT_EQ(StateOf(Path("out.gpx")), old);
    EXPECT_NE(LastLine(outcome.err).find("every output is as it was"), std::string::npos)
        << outcome.err;
  }
}

TEST_F(X9hostOutputs, WhenTheWayBackFailsTooTheLastLineSaysWhatEachOutputHolds) {
  const FileState old = SeedOld();
  const Outcome outcome =
      Start(Both(), {.env = {"X9HOST_FAULT=rename:2,restore"}, .directoriesMayDiffer = true});
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  const std::string line = LastLine(outcome.err);
  EXPECT_NE(line.find("--out " + Path("out.gpx").string() +
                      " holds the new content (the old is in " + Path(".x9h").string()),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("--watch-out " + Path("b.gpx").string() + " is as it was"),
            std::string::npos);
  // And it is so: the new list in place, the old one under the name the line gives.
  EXPECT_NE(ReadText(Path("out.gpx")), kOld);
  EXPECT_FALSE(fs::exists(Path("b.gpx")));
  const std::vector<std::string> files = Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].rfind(".x9h", 0), 0u);
  EXPECT_EQ(StateOf(Path(files[0])).bytes, old.bytes);
  EXPECT_EQ(StateOf(Path(files[0])).acl, old.acl);
}

// --- Checks before the request
// --------------------------------------------------------------------

TEST_F(X9hostOutputs, WhatWouldMakeTheRenameFailIsRefusedBeforeTheRequest) {
  if (geteuid() != 0) GTEST_SKIP() << "chattr and another user need root";
  struct Case {
    const char* what;
    const char* attribute;  // chattr on out.gpx, or on the directory for "dir"
    bool onDirectory;
    const char* fragment;
  };
  const Case cases[] = {
      {"append-only file", "+a", false, "is append-only, so it cannot be replaced"},
      {"immutable file", "+i", false, "is immutable"},
      {"append-only directory", "+a", true, "is append-only, so no file in it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directory(Path("sub"));
    WriteText(Path("sub/out.gpx"), kOld);
    const std::string target = (c.onDirectory ? Path("sub") : Path("sub/out.gpx")).string();
    if (std::system(
            ("chattr " + std::string(c.attribute) + " " + target + " 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "this file system has no chattr attributes";
    }
    const Outcome outcome =
        Start({"download-all", "--yes", "--out", Path("sub/out.gpx").string()}, {});
    std::system(("chattr -a -i " + target).c_str());
    EXPECT_BAD_INPUT(outcome, c.fragment);
    EXPECT_EQ(outcome.err.find("[question]"), std::string::npos);  // before the request
    EXPECT_EQ(ReadText(Path("sub/out.gpx")), kOld);
    fs::remove_all(Path("sub"));
  }
  // Another user's file in a sticky directory: the rename would fail for anyone but its owner.
  if (!ReachableBy(65534)) GTEST_SKIP() << X9HOST_PROGRAM << " cannot be run by nobody";
  chmod(dir_.c_str(), 01777);
  WriteText(Path("theirs.gpx"), kOld);
  chown(Path("theirs.gpx").c_str(), 12345, 12345);
  chmod(Path("theirs.gpx").c_str(), 0666);
  const Outcome sticky =
      Start({"download-all", "--yes", "--out", Path("theirs.gpx").string()}, {.user = 65534});
  EXPECT_BAD_INPUT(sticky, "only a file's owner may replace it");
  EXPECT_EQ(ReadText(Path("theirs.gpx")), kOld);
}

TEST_F(X9hostOutputs, AnotherUsersFileIsRefusedUnlessItsOwnerCanBeKept) {
  if (geteuid() != 0) GTEST_SKIP() << "another user needs root";
  if (!ReachableBy(65534)) GTEST_SKIP() << X9HOST_PROGRAM << " cannot be run by nobody";
  chmod(dir_.c_str(), 0777);
  const struct {
    const char* what;
    uid_t uid;
    gid_t gid;
    const char* acl;  // nullptr: mode 0666 only
    int status;
  } cases[] = {
      {"root's file, mode 666", 0, 0, nullptr, 2},
      {"daemon's file, an ACL granting rw", 1, 1, "u::rw-,u:nobody:rw-,g::r--,m::rw-,o::---", 2},
      {"the user's file, another's group", 65534, 0, nullptr, 2},
      {"the user's file and group", 65534, 65534, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(Path("theirs.gpx"));
    WriteText(Path("theirs.gpx"), kOld);
    chown(Path("theirs.gpx").c_str(), c.uid, c.gid);
    chmod(Path("theirs.gpx").c_str(), 0666);
    if (c.acl != nullptr) {
      acl_t acl = acl_from_text(c.acl);
      EXPECT_EQ(acl_set_file(Path("theirs.gpx").c_str(), ACL_TYPE_ACCESS, acl), 0);
      acl_free(acl);
    }
    const FileState old = StateOf(Path("theirs.gpx"));
    const Outcome outcome =
        Start({"download-all", "--yes", "--out", Path("theirs.gpx").string()}, {.user = 65534});
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    if (c.status == 2) {
      EXPECT_BAD_INPUT(outcome, "belongs to another user or group");
      EXPECT_NE(outcome.err.find("could not keep its owner"), std::string::npos);
      EXPECT_EQ(outcome.err.find("[question]"), std::string::npos);  // before the request
      EXPECT_EQ(StateOf(Path("theirs.gpx")), old);
    } else {
      const FileState now = StateOf(Path("theirs.gpx"));
      EXPECT_NE(now.bytes, old.bytes);
      EXPECT_EQ(now.uid, old.uid);
      EXPECT_EQ(now.gid, old.gid);
    }
  }
}

// --- Signals before the outputs
// --------------------------------------------------------------------

// Every signal whose default would end the program, not only the usual four.
TEST_F(X9hostOutputs, ASignalDuringTheRequestEndsItWithALineAndEveryOutputAsItWas) {
  const struct {
    int signal;
    std::string name;
    bool atThePrompt;       // no --yes, standard input a pipe kept open; else a paced transfer
    bool japanese = false;  // LANG=ja_JP.UTF-8: the handler's line is the Japanese one
  } cases[] = {
      {SIGTERM, "SIGTERM", false},         {SIGHUP, "SIGHUP", false},
      {SIGQUIT, "SIGQUIT", false},         {SIGINT, "SIGINT", true},
      {SIGUSR1, "SIGUSR1", false},         {SIGUSR2, "SIGUSR2", true},
      {SIGALRM, "SIGALRM", false},         {SIGVTALRM, "SIGVTALRM", true},
      {SIGPROF, "SIGPROF", false},         {SIGXCPU, "SIGXCPU", true},
      {SIGPWR, "SIGPWR", false},           {SIGPOLL, "SIGPOLL", true},
      {SIGRTMIN + 2, "SIGRTMIN+2", false}, {SIGTERM, "SIGTERM", false, true},
      {SIGINT, "SIGINT", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + (c.japanese ? " (ja)" : ""));
    for (const std::string& name : Files())
      fs::remove(Path(name));
    const FileState old = SeedOld();
    std::vector<std::string> args = {"download-all", "--out", Path("out.gpx").string(),
                                     "--watch-out", Path("b.gpx").string()};
    if (!c.atThePrompt) args.insert(args.end(), {"--yes", "--pace", "100"});
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const Outcome outcome = Start(args, {.env = {c.japanese ? "LANG=ja_JP.UTF-8" : "LANG=C.UTF-8"},
                                         .inFd = input[0],
                                         .killAfterMs = 800,
                                         .signal = c.signal});
    close(input[0]);
    close(input[1]);
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const std::string line =
        c.japanese ? "x9host: " + c.name +
                         " で中断しました。出力を置き換える前のため、すべての出力は元のままです"
                   : "x9host: interrupted by " + c.name +
                         " before the outputs were in place: every output is as it was";
    EXPECT_NE(LastLine(outcome.err).find(line), std::string::npos) << outcome.err;
    EXPECT_EQ(StateOf(Path("out.gpx")), old);
    EXPECT_EQ(Files(), std::vector<std::string>{"out.gpx"});  // nothing made is left
  }
}

// A file-size limit (ulimit -f) is a write that fails, as a full disk is: nothing is killed.
TEST_F(X9hostOutputs, AFileSizeLimitIsAFailedWriteAndEveryOutputStaysAsItWas) {
  const FileState old = SeedOld();
  const Outcome outcome = Start(Both(), {.fileSizeLimit = 4096});
  EXPECT_EQ(outcome.status, 2) << outcome.err;
  EXPECT_NE(
      LastLine(outcome.err).find("cannot be written (File too large); every output is as it was"),
      std::string::npos)
      << outcome.err;
  EXPECT_EQ(StateOf(Path("out.gpx")), old);
  EXPECT_EQ(Files(), std::vector<std::string>{"out.gpx"});
}

// --- Special targets
// ------------------------------------------------------------------------------

TEST_F(X9hostOutputs, AnOutputThatCannotBeWrittenStopsBothBeforeOrAfterTheRequest) {
  WriteText(Path("out.gpx"), kOld);
  // No temporary file can be made there: refused before the request.
  const Outcome before = Run({"download-all", "--yes", "--out", Path("out.gpx").string(),
                              "--watch-out", "/proc/x9host.gpx"});
  EXPECT_BAD_INPUT(before, "--watch-out /proc/x9host.gpx: cannot be written in /proc");
  EXPECT_EQ(before.err.find("[question]"), std::string::npos);
  // A device that fails when written (the disk is full): the request ran and moved, but then
  // neither output is put in place.
  const Outcome after =
      Run({"download-all", "--yes", "--out", Path("out.gpx").string(), "--watch-out", "/dev/full"});
  EXPECT_EQ(after.status, 2) << after.err;
  EXPECT_NE(
      after.err.find("x9host: --watch-out /dev/full: cannot be written (No space left on device)"),
      std::string::npos)
      << after.err;
  EXPECT_EQ(ReadText(Path("out.gpx")), kOld);
  EXPECT_EQ(Files(), std::vector<std::string>{"out.gpx"});
}

TEST_F(X9hostOutputs, ADeviceThatCannotBeOpenedIsRefusedBeforeTheRequestNotWaitedFor) {
  // Opening these fails with ENXIO, which from a FIFO would mean "no reader yet".
  struct Case {
    const char* name;
    std::string device;
    bool newSession;
  };
  std::vector<Case> cases = {{"/dev/tty without a controlling terminal", "/dev/tty", true}};
  // A device node no driver answers (major 231 is unassigned): where nodes may be made.
  if (mknod(Path("nodriver").c_str(), S_IFCHR | 0600, makedev(231, 7)) == 0) {
    const int fd = open(Path("nodriver").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0 && errno == ENXIO)
      cases.push_back({"a node with no driver", Path("nodriver").string(), false});
    if (fd >= 0) close(fd);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(Path("out.gpx"), kOld);
    const Outcome outcome = Start(
        {"download-routes", "--yes", "--watch-out", Path("out.gpx").string(), "--out", c.device},
        {.newSession = c.newSession});
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_EQ(LastLine(outcome.err), "x9host: --out " + c.device + ": No such device or address")
        << outcome.err;
    EXPECT_EQ(outcome.err.find("[question]"), std::string::npos) << outcome.err;
    EXPECT_EQ(ReadText(Path("out.gpx")), kOld);
  }
}

TEST_F(X9hostOutputs, SpecialFilesAreWrittenThroughAndLinksKept) {
  const std::vector<std::string> download = {"download-routes", "--yes"};
  const auto run = [&](const std::string& out) {
    std::vector<std::string> args = download;
    args.push_back("--out");
    args.push_back(out);
    return Run(args);
  };
  ASSERT_EQ(run(Path("plain.gpx").string()).status, 0);
  const std::string gpx = ReadText(Path("plain.gpx"));
  ASSERT_NE(gpx.find("<rte>"), std::string::npos);

  // /dev/null stays the device (as root a rename would have put a file there).
  struct stat null {};
  ASSERT_EQ(stat("/dev/null", &null), 0);
  EXPECT_EQ(run("/dev/null").status, 0);
  struct stat nullAfter {};
  ASSERT_EQ(stat("/dev/null", &nullAfter), 0);
  EXPECT_TRUE(S_ISCHR(nullAfter.st_mode));
  EXPECT_EQ(nullAfter.st_rdev, null.st_rdev);

  // A FIFO is written into, and stays a FIFO.
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  // The reader is open before x9host starts and gives up after 20 s, so that an x9host that
  // replaced the FIFO with a file (or never wrote it) fails this test rather than hanging it.
  std::string received;
  const int readEnd = open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  std::thread reader([&] {
    for (int waited = 0; waited < 20000; waited += 10) {
      char buffer[4096];
      const ssize_t n = read(readEnd, buffer, sizeof buffer);
      if (n > 0) {
        received.append(buffer, static_cast<size_t>(n));
      } else if (n == 0 && !received.empty()) {
        break;  // the writer has closed it
      } else {
        usleep(10 * 1000);
      }
    }
    close(readEnd);
  });
  const Outcome fifo = run(Path("fifo").string());
  reader.join();
  EXPECT_EQ(fifo.status, 0) << fifo.err;
  EXPECT_EQ(received, gpx);
  struct stat fifoAfter {};
  ASSERT_EQ(lstat(Path("fifo").c_str(), &fifoAfter), 0);
  EXPECT_TRUE(S_ISFIFO(fifoAfter.st_mode));

  // Through a link the target is replaced and the link stays; a dangling link's target is made.
  fs::create_directory(Path("real"));
  WriteText(Path("real/list.gpx"), kOld);
  fs::create_symlink("real/list.gpx", Path("link.gpx"));
  fs::create_symlink("real/later.gpx", Path("dangling.gpx"));
  EXPECT_EQ(run(Path("link.gpx").string()).status, 0);
  EXPECT_EQ(run(Path("dangling.gpx").string()).status, 0);
  EXPECT_TRUE(fs::is_symlink(Path("link.gpx")));
  EXPECT_TRUE(fs::is_symlink(Path("dangling.gpx")));
  EXPECT_EQ(ReadText(Path("real/list.gpx")), gpx);
  EXPECT_EQ(ReadText(Path("real/later.gpx")), gpx);

  // "-" is standard output: the GPX alone there, the report on stderr, no file named "-".
  const Outcome piped = run("-");
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, gpx);
  EXPECT_NE(piped.err.find("x9host: done:"), std::string::npos);
  EXPECT_NE(piped.err.find("written: standard output"), std::string::npos);
  EXPECT_FALSE(fs::exists("-"));
  EXPECT_FALSE(fs::exists(Path("-")));
}

TEST_F(X9hostOutputs, AReplacedFileKeepsItsPermissionBitsAndOwner) {
  for (const mode_t mode : {0600, 0640, 0604}) {
    WriteText(Path("list.gpx"), kOld);
    ASSERT_EQ(chmod(Path("list.gpx").c_str(), mode), 0);
    ASSERT_EQ(Run({"download-waypoints", "--yes", "--out", Path("list.gpx").string()}).status, 0);
    struct stat info {};
    ASSERT_EQ(stat(Path("list.gpx").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode);
    EXPECT_NE(ReadText(Path("list.gpx")), kOld);
  }
  // A new file gets the usual permissions (the test runs with umask 022 or stricter).
  ASSERT_EQ(Run({"download-waypoints", "--yes", "--out", Path("new.gpx").string()}).status, 0);
  struct stat created {};
  ASSERT_EQ(stat(Path("new.gpx").c_str(), &created), 0);
  const mode_t mask = umask(022);
  umask(mask);
  EXPECT_EQ(created.st_mode & 0777, 0666 & ~mask);

  if (geteuid() == 0) {
    // Root keeps the owner of the file it replaces.
    WriteText(Path("theirs.gpx"), kOld);
    ASSERT_EQ(chown(Path("theirs.gpx").c_str(), 65534, 65534), 0);
    ASSERT_EQ(Run({"download-waypoints", "--yes", "--out", Path("theirs.gpx").string()}).status, 0);
    struct stat info {};
    ASSERT_EQ(stat(Path("theirs.gpx").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
  } else {
    // Anyone else may not write a read-only file, so it is not replaced either.
    WriteText(Path("read-only.gpx"), kOld);
    ASSERT_EQ(chmod(Path("read-only.gpx").c_str(), 0444), 0);
    EXPECT_BAD_INPUT(Run({"download-waypoints", "--yes", "--out", Path("read-only.gpx").string()}),
                     "Permission denied");
  }
}

TEST_F(X9hostOutputs, StandardOutputInEverySpellingIsWrittenThroughNeverReplaced) {
  const std::vector<std::string> spellings = {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1",
                                              Path("app.log").string()};
  for (const std::string& spelling : spellings) {
    SCOPED_TRACE(spelling);
    // x9host ... --out SPELLING >> app.log
    WriteText(Path("app.log"), "an earlier line\n");
    const int log = open(Path("app.log").c_str(), O_WRONLY | O_APPEND);
    const Outcome appended = Start({"download-routes", "--yes", "--out", spelling}, {.outFd = log});
    close(log);
    EXPECT_EQ(appended.status, 0) << appended.err;
    const std::string text = ReadText(Path("app.log"));
    EXPECT_EQ(text.rfind("an earlier line\n<?xml", 0), 0u) << text.substr(0, 80);
    EXPECT_NE(text.find("</gpx>"), std::string::npos);
    EXPECT_NE(appended.err.find("written: standard output"), std::string::npos);
    // x9host ... --out SPELLING | cat
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    std::string piped;
    std::thread reader([&] {
      char buffer[4096];
      ssize_t n;
      while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        piped.append(buffer, static_cast<size_t>(n));
    });
    const std::string name = spelling == Path("app.log").string() ? "/dev/stdout" : spelling;
    const Outcome outcome =
        Start({"download-routes", "--yes", "--out", name}, {.outFd = pipeFds[1]});
    close(pipeFds[1]);
    reader.join();
    close(pipeFds[0]);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(piped.rfind("<?xml", 0), 0u);
  }
  // Standard error likewise.
  const Outcome toErr = Start({"download-routes", "--yes", "--out", "/dev/stderr"}, {});
  EXPECT_EQ(toErr.status, 0) << toErr.err;
  EXPECT_NE(toErr.err.find("</gpx>"), std::string::npos);
  EXPECT_NE(toErr.out.find("written: standard error"), std::string::npos);
}

TEST_F(X9hostOutputs, AReportNobodyReadsNeverStopsTheOutputs) {
  // x9host download-all --yes --out b.gpx | head -0
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  close(pipeFds[0]);
  const Outcome outcome =
      Start({"download-all", "--yes", "--out", Path("b.gpx").string()}, {.outFd = pipeFds[1]});
  close(pipeFds[1]);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(ReadText(Path("b.gpx")).find("</gpx>"), std::string::npos);
}

// `head -c 100`, then (after stalling, still holding the pipe) closing it.
std::thread HeadThenClose(int fd, std::chrono::seconds stall) {
  return std::thread([fd, stall] {
    char buffer[100];
    size_t got = 0;
    ssize_t n;
    while (got < sizeof buffer && (n = read(fd, buffer, sizeof buffer - got)) > 0)
      got += static_cast<size_t>(n);
    std::this_thread::sleep_for(stall);
    close(fd);
  });
}

TEST_F(X9hostOutputs, AReaderOfTheGpxThatGoesAwayLeavesOnlyTheLastLineToSpeak) {
  // x9host download-all --yes --watch-out b.gpx --out - 2>e.txt | head -c 100 >/dev/null
  WriteText(Path("b.gpx"), kOld);
  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);  // x9host must not hold the reading end
  std::thread reader = HeadThenClose(pipeFds[0], std::chrono::seconds(0));
  const Outcome outcome =
      Start({"download-all", "--yes", "--watch-out", Path("b.gpx").string(), "--out", "-"},
            {.outFd = pipeFds[1]});
  close(pipeFds[1]);
  reader.join();
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_NE(LastLine(outcome.err).find("--out - got part of the new content"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(outcome.err.find("not written:"), std::string::npos) << outcome.err;
  EXPECT_EQ(ReadText(Path("b.gpx")), kOld);
}

// x9host download-all --yes --watch-out b.gpx --out - | (head -c 100; sleep 5), then SIGTERM:
// a reader that stalls, rather than goes away, must not hold the signal's answer back, even
// when the signal comes between the last check and a write that would wait (the seam brings it
// there once the pipe, cut to one page, is full).
TEST_F(X9hostOutputs, ASignalWhileAStalledReaderHoldsTheStreamIsAnsweredAtOnce) {
  struct Case {
    const char* what;
    std::vector<std::string> env;
    int killAfterMs;
  };
  const std::string justBeforeAWait = "X9HOST_FAULT=wait:2=" + std::to_string(SIGTERM);
  for (const Case& c : {Case{"sent while the write waits", {}, 1500},
                        Case{"come just before a wait", {justBeforeAWait}, 0}}) {
    SCOPED_TRACE(c.what);
    WriteText(Path("b.gpx"), kOld);
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    ASSERT_GT(fcntl(pipeFds[1], F_SETPIPE_SZ, 4096), 0);
    std::thread reader = HeadThenClose(pipeFds[0], std::chrono::seconds(5));
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome =
        Start({"download-all", "--yes", "--watch-out", Path("b.gpx").string(), "--out", "-"},
              {.env = c.env, .outFd = pipeFds[1], .killAfterMs = c.killAfterMs, .signal = SIGTERM});
    const auto took = std::chrono::steady_clock::now() - start;
    close(pipeFds[1]);
    reader.join();
    EXPECT_LT(took, std::chrono::milliseconds(3500)) << outcome.err;
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(LastLine(outcome.err).find("SIGTERM"), std::string::npos) << outcome.err;
    EXPECT_EQ(ReadText(Path("b.gpx")), kOld);
  }
}

TEST_F(X9hostOutputs, AFifoNobodyReadsCanBeInterruptedAndNothingIsLeft) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    const FileState old = SeedOld();
    const Outcome outcome = Start({"download-all", "--yes", "--out", Path("out.gpx").string(),
                                   "--watch-out", Path("fifo").string()},
                                  {.killAfterMs = 1500, .signal = signal});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(LastLine(outcome.err).find("before the outputs were in place"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(StateOf(Path("out.gpx")), old);
    EXPECT_EQ(Files(), (std::vector<std::string>{"fifo", "out.gpx"}));
    fs::remove(Path("fifo"));
  }
}

// --- Names
// ----------------------------------------------------------------------------------------

TEST_F(X9hostOutputs, AnyNameTheFileSystemTakesAndAnyDepthOfDirectory) {
  // 85 characters of three bytes: 255 bytes, the most a name may have here.
  std::string longName;
  for (int i = 0; i < 83; ++i)
    longName += "地";
  longName += ".gpx";
  longName.insert(0, "x");  // 1 + 249 + 4 = 254 bytes
  ASSERT_LE(longName.size(), 255u);
  WriteText(Path(longName), kOld);
  for (const char* name : {"new", "old"}) {
    SCOPED_TRACE(name);
    const std::string target = name == std::string("new") ? longName + "2" : longName;
    const Outcome outcome =
        Start({"download-routes", "--yes", "--out", target}, {.cwd = dir_.string()});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(ReadText(Path(target)).find("</gpx>"), std::string::npos);
  }
  // A working directory deeper than a path the system takes at once.
  std::string deep = dir_.string();
  std::string relative;
  for (int i = 0; i < 30; ++i)
    relative += (i ? "/" : "") + std::string(200, static_cast<char>('a' + i % 26));
  ASSERT_GT(dir_.string().size() + relative.size(), 4096u);
  int at = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 30; ++i) {
    const std::string part(200, static_cast<char>('a' + i % 26));
    ASSERT_EQ(mkdirat(at, part.c_str(), 0755), 0);
    const int next = openat(at, part.c_str(), O_RDONLY | O_DIRECTORY);
    close(at);
    at = next;
  }
  const Outcome outcome =
      Start({"download-routes", "--yes", "--out", "out.gpx"}, {.cwd = deep + "/" + relative});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  struct stat info {};
  EXPECT_EQ(fstatat(at, "out.gpx", &info, 0), 0);
  close(at);
  // Removing what is deeper than a path takes is left to the shell's rm, one step at a time.
  std::system(("rm -rf " + Path(std::string(200, 'a')).string()).c_str());
}

}  // namespace
