#include "x9host_support.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "codec/codepage.h"
#include "codec/utf8.h"

namespace x9host_test {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

size_t CountLines(const std::string& text) {
  size_t lines = 0;
  for (const char c : text)
    lines += c == '\n';
  return lines;
}

ScopedZone::ScopedZone(const char* zone) {
  const char* old = std::getenv("TZ");
  if (old != nullptr) old_ = old;
  hadOld_ = old != nullptr;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedZone::~ScopedZone() {
  if (hadOld_) {
    setenv("TZ", old_.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

int64_t WatchUnits(const std::string& text) {
  return static_cast<int64_t>(std::strtod(text.c_str(), nullptr) * 1e7);
}

int64_t NearestUnits(const std::string& text) {
  return std::llround(std::strtod(text.c_str(), nullptr) * 1e7);
}

std::string WatchName(const std::string& utf8) {
  std::string kept;
  size_t bytes = 0;
  for (size_t i = 0; i < utf8.size();) {
    const size_t length = x9host::Utf8SequenceLength(std::string_view(utf8).substr(i));
    const std::string character = utf8.substr(i, length);
    const size_t size = x9host::Cp932FromUtf8(character).bytes.size();
    if (bytes + size > 19) break;
    kept += character;
    bytes += size;
    i += length;
  }
  return kept;
}

namespace {

PointText ReadPoint(const pugi::xml_node& node, GpxText& gpx) {
  PointText point;
  point.lat = node.attribute("lat").value();
  point.lon = node.attribute("lon").value();
  point.ele = node.child_value("ele");
  point.time = node.child_value("time");
  point.name = node.child_value("name");
  const pugi::xml_node extensions = node.child("extensions");
  point.value32 = extensions.child_value("x9:value32");
  point.value72 = extensions.child_value("x9:value72");
  // The schema's order for what x9host writes.
  static const std::map<std::string, int> kRank = {
      {"ele", 0}, {"time", 1}, {"name", 2}, {"extensions", 3}};
  int last = -1;
  for (const pugi::xml_node& child : node.children()) {
    const auto rank = kRank.find(child.name());
    if (rank == kRank.end()) continue;
    if (rank->second < last)
      gpx.orderProblems.push_back(std::string(child.name()) + " out of order");
    last = rank->second;
  }
  return point;
}

void SetChildEnvironment(const Launch& launch) {
  setenv("TZ", launch.zone, 1);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", launch.language, 1);
  unsetenv("X9HOST_LANG");  // the language follows LANG, as a user's does
}

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(X9HOST_PROGRAM)};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

GpxText ParseGpxText(const std::string& bytes) {
  GpxText gpx;
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_buffer(bytes.data(), bytes.size());
  EXPECT_TRUE(result) << result.description();
  const pugi::xml_node root = document.child("gpx");
  for (const pugi::xml_node& wpt : root.children("wpt"))
    gpx.waypoints.push_back(ReadPoint(wpt, gpx));
  for (const pugi::xml_node& rte : root.children("rte")) {
    PathText& route = gpx.routes.emplace_back();
    route.name = rte.child_value("name");
    for (const pugi::xml_node& point : rte.children("rtept"))
      route.points.push_back(ReadPoint(point, gpx));
  }
  for (const pugi::xml_node& trk : root.children("trk")) {
    PathText& track = gpx.tracks.emplace_back();
    track.name = trk.child_value("name");
    for (const pugi::xml_node& segment : trk.children("trkseg")) {
      ++track.segments;
      if (!segment.child("trkpt")) ++gpx.emptySegments;
      for (const pugi::xml_node& point : segment.children("trkpt"))
        track.points.push_back(ReadPoint(point, gpx));
    }
  }
  return gpx;
}

namespace {

// The names a test's own launcher keeps beside the outputs.
bool LaunchersOwn(const std::string& name) {
  return name == ".stdin" || name == ".stdout" || name == ".stderr";
}

OutputDirectories::Listing ListDirectory(const fs::path& directory) {
  OutputDirectories::Listing listing;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(directory, error)) {
    const std::string name = entry.path().filename().string();
    if (LaunchersOwn(name)) continue;
    struct stat info {};
    if (lstat(entry.path().c_str(), &info) != 0) continue;
    OutputDirectories::Entry& e = listing[name];
    e.size = static_cast<uintmax_t>(info.st_size);
    e.links = info.st_nlink;
    if (S_ISREG(info.st_mode)) e.bytes = ReadText(entry.path());
    if (S_ISLNK(info.st_mode)) e.bytes = fs::read_symlink(entry.path(), error).string();
  }
  return listing;
}

std::string Describe(const OutputDirectories::Listing& listing) {
  std::string text;
  for (const auto& [name, entry] : listing) {
    text += "  " + name + " (" + std::to_string(entry.size) + " bytes, " +
            std::to_string(entry.links) + " links, content " +
            std::to_string(std::hash<std::string>()(entry.bytes) % 1000000) + ")\n";
  }
  return text;
}

}  // namespace

OutputDirectories::OutputDirectories(const std::vector<std::string>& args, const fs::path& cwd,
                                     const fs::path& within) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name;
    for (const char* option : {"--out", "--watch-out"}) {
      const std::string withValue = std::string(option) + "=";
      if (args[i] == option && i + 1 < args.size()) name = args[i + 1];
      if (args[i].rfind(withValue, 0) == 0) name = args[i].substr(withValue.size());
    }
    if (args[i] == "--") break;
    if (name.empty() || name == "-" || name.rfind("/dev/", 0) == 0 || name.rfind("/proc/", 0) == 0)
      continue;
    const fs::path path = fs::path(name).is_absolute() ? fs::path(name) : cwd / name;
    std::error_code error;
    outputs_.push_back(path.lexically_normal());
    // A link's target is what is replaced.
    if (fs::is_symlink(path, error)) outputs_.push_back(fs::weakly_canonical(path, error));
  }
  for (const fs::path& output : outputs_) {
    const fs::path directory = output.parent_path();
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
    // Only the test's own: other programs write in shared directories.
    const std::string relative = directory.lexically_relative(within).string();
    if (relative.empty() || relative.rfind("..", 0) == 0) continue;
    const bool seen = std::any_of(before_.begin(), before_.end(), [&](const auto& d) {
      return fs::equivalent(d.first, directory);
    });
    if (!seen) before_.emplace_back(directory, ListDirectory(directory));
  }
}

void OutputDirectories::Check(int status, const std::string& err) const {
  for (const auto& [directory, before] : before_) {
    const Listing after = ListDirectory(directory);
    Listing expected = before;
    if (status == 0) {
      // The outputs in this directory may be new or changed; nothing else may.
      for (const fs::path& output : outputs_) {
        if (output.parent_path() != directory) continue;
        const std::string name = output.filename().string();
        const auto now = after.find(name);
        if (now != after.end()) {
          expected[name] = now->second;
        } else {
          ADD_FAILURE() << "status 0, but the output " << output << " is not there\n" << err;
        }
      }
    }
    EXPECT_EQ(Describe(after), Describe(expected))
        << "status " << status << ": " << directory << " holds what it should not\n"
        << err;
  }
}

void X9hostProgram::SetUp() {
  char pattern[] = "/tmp/x9host-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
}

void X9hostProgram::TearDown() {
  std::error_code ignored;
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(dir_, ignored);
}

Outcome X9hostProgram::Run(const std::vector<std::string>& args, const Launch& launch) {
  const OutputDirectories directories(args, fs::current_path(), dir_);
  Outcome outcome = launch.terminal ? RunOnTerminal(args, launch) : RunWithFiles(args, launch);
  if (!launch.directoriesMayDiffer) directories.Check(outcome.status, outcome.err);
  return outcome;
}

Outcome X9hostProgram::RunWithFiles(const std::vector<std::string>& args, const Launch& launch) {
  const fs::path in = Path(".stdin"), out = Path(".stdout"), err = Path(".stderr");
  WriteText(in, launch.input);
  WriteText(err, "");  // watched below from the start: nothing of an earlier run
  int answer[2] = {-1, -1};
  if (launch.signalAtPrompt != 0 && pipe(answer) != 0) ADD_FAILURE() << "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    SetChildEnvironment(launch);
    const int inFd = answer[0] >= 0 ? answer[0] : open(in.c_str(), O_RDONLY);
    if (answer[1] >= 0) close(answer[1]);
    const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    if (launch.inputClosed) close(0);
    if (launch.openFileLimit != 0) {
      close_range(3, ~0u, 0);  // only the three streams count against the limit
      const rlimit limit{launch.openFileLimit, launch.openFileLimit};
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    execv(X9HOST_PROGRAM, Argv(args).data());
    _exit(127);
  }
  if (launch.interruptAfterMs > 0) {
    // Ctrl-C only once the progress window (and with it the Abort handler) is there, however
    // slowly the program starts on a loaded machine.
    for (int waited = 0; waited < 20000 && ReadText(err).find('%') == std::string::npos;
         waited += 20) {
      usleep(20 * 1000);
    }
    usleep(static_cast<useconds_t>(launch.interruptAfterMs) * 1000);
    kill(pid, SIGINT);
  }
  if (launch.signalAtPrompt != 0) {
    close(answer[0]);
    for (int waited = 0; waited < 20000 && ReadText(err).find("(y/N) ") == std::string::npos;
         waited += 20) {
      usleep(20 * 1000);
    }
    kill(pid, launch.signalAtPrompt);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (answer[1] >= 0) close(answer[1]);
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  outcome.out = ReadText(out);
  outcome.err = ReadText(err);
  return outcome;
}

Outcome X9hostProgram::RunOnTerminal(const std::vector<std::string>& args, const Launch& launch) {
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    SetChildEnvironment(launch);
    execv(X9HOST_PROGRAM, Argv(args).data());
    _exit(127);
  }
  Outcome outcome;
  if (pid < 0) {
    ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
    return outcome;
  }
  if (!launch.input.empty()) {
    const ssize_t written = write(terminal, launch.input.data(), launch.input.size());
    EXPECT_EQ(written, static_cast<ssize_t>(launch.input.size()));
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n > 0) {
      outcome.err.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the program has ended
    }
  }
  close(terminal);
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return outcome;
}

std::vector<std::string> X9hostProgram::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    if (name != ".stdin" && name != ".stdout" && name != ".stderr") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace x9host_test
