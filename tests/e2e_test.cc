// Runs the built tool as a player would: in a fresh folder of saves, with
// standard input closed, and compares the whole folder byte for byte and the
// console bytes exactly.
//
//   e2e_test --tool=PATH [--runner=PATH] [--console=posix|wine|windows]
//            [--parity-tool=PATH] [--no-read-only=REASON]
//
// The runner (Wine, say) runs a tool that is not a native program; the
// console names whose pause command's bytes to expect. With a parity tool,
// every case is also run with it and both must leave the same folder. Run as
// root with ZEMBREL_RUN_AS naming a user, each case's folder is handed to that
// user and the tool runs as that user: a read-only file then stops the tool
// as it stops a player's. The cases that need that are skipped, with the
// reason given by --no-read-only, when the tool would run as root.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const char kTitle[] =
    "Tessaril\xb4\xe6\xb5\xb5\xd7\xaa\xbb\xbb\xb9\xa4\xbe\xdf,"
    "\xc7\xeb\xbd\xab\xce\xd2\xb8\xb4\xd6\xc6\xb5\xbd"
    "\xb4\xe6\xb5\xb5\xc4\xbf\xc2\xbc\xd6\xb4\xd0\xd0.";
const char kDone[] = "\xd7\xaa\xbb\xbb\xcd\xea\xb3\xc9!";

struct Settings {
  std::string tool;
  std::string runner;
  std::string console = "posix";
  std::string parity_tool;
  std::string no_read_only;
} settings;

// The user the tool runs as, when the suite runs as root.
struct RunAs {
  bool active = false;
  uid_t uid = 0;
  gid_t gid = 0;
} run_as;

void TakeRunAs() {
  const char* name = getenv("ZEMBREL_RUN_AS");
  if (geteuid() != 0 || name == nullptr || *name == '\0') return;
  const passwd* user = getpwnam(name);
  if (user == nullptr) {
    fprintf(stderr, "ZEMBREL_RUN_AS: no user %s\n", name);
    exit(2);
  }
  run_as = {true, user->pw_uid, user->pw_gid};
}

bool ToolRunsAsRoot() { return geteuid() == 0 && !run_as.active; }

void HandOver(const fs::path& folder) {
  if (!run_as.active) return;
  lchown(folder.c_str(), run_as.uid, run_as.gid);
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    lchown(entry.path().c_str(), run_as.uid, run_as.gid);
}

bool WindowsConsole() { return settings.console != "posix"; }

// What a whole run prints: title, pause, completion, pause. The pause is the
// command interpreter's, and what it prints at end of input is its own.
std::string ExpectedConsole() {
  std::string end = WindowsConsole() ? "\r\n" : "\n";
  std::string pause =
      settings.console == "wine" ? "Press any key to continue... " : "Press any key to continue . . . " + end;
  return kTitle + end + pause + kDone + end + pause;
}

struct Run {
  int exit_code = -1;
  std::string console;
  std::string errors;
};

// Runs the tool in the folder with standard input closed. A file-size limit
// turns the disk "full" for the tool at that many bytes: writes past it fail
// with EFBIG instead of killing the process.
Run RunTool(const std::string& tool, const std::string& runner, const fs::path& folder,
            rlim_t file_size_limit, bool console_closed = false) {
  Run run;
  fs::path errors_path = folder.parent_path() / (folder.filename().string() + ".stderr");
  HandOver(folder);
  int out[2];
  if (pipe(out) != 0) return run;
  pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    if (chdir(folder.c_str()) != 0) _exit(126);
    close(STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    int errors = open(errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(errors, STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    close(errors);
    if (run_as.active && (setgroups(0, nullptr) != 0 || setgid(run_as.gid) != 0 || setuid(run_as.uid) != 0))
      _exit(125);
    if (file_size_limit != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {file_size_limit, file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (runner.empty()) {
      execl(tool.c_str(), tool.c_str(), static_cast<char*>(nullptr));
    } else {
      execlp(runner.c_str(), runner.c_str(), tool.c_str(), static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  close(out[1]);
  if (console_closed) {
    close(out[0]);
    out[0] = -1;
  }
  // Read until the tool has ended, not until end of file: a helper the runner
  // leaves behind may hold the pipe open. A hung tool is stopped after two
  // minutes so that the suite reports it instead of waiting for ever.
  time_t give_up = time(nullptr) + 120;
  int status = 0;
  bool ended = false;
  for (;;) {
    struct pollfd ready = {out[0], POLLIN, 0};
    if (poll(&ready, 1, ended ? 0 : 50) > 0) {
      char buffer[4096];
      ssize_t got = read(out[0], buffer, sizeof buffer);
      if (got > 0) {
        run.console.append(buffer, static_cast<size_t>(got));
        continue;
      }
    }
    if (ended) break;
    if (waitpid(child, &status, WNOHANG) == child) {
      ended = true;
    } else if (time(nullptr) > give_up) {
      kill(-child, SIGKILL);
      waitpid(child, &status, 0);
      ADD_FAILURE() << "the tool did not finish; it may be waiting for a key";
      ended = true;
    }
  }
  if (out[0] >= 0) close(out[0]);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.errors = ReadWholeFile(errors_path);
  fs::remove(errors_path);
  return run;
}

const char kDirectory[] = "<directory>";

// Every file and folder below the folder, with the files' bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(entry.path(), folder).generic_string();
    entries[name] = entry.is_directory() ? kDirectory : ReadWholeFile(entry.path());
  }
  return entries;
}

void ExpectSameFolder(const std::map<std::string, std::string>& actual,
                      const std::map<std::string, std::string>& expected) {
  for (const auto& [name, bytes] : expected) {
    auto found = actual.find(name);
    if (found == actual.end()) {
      ADD_FAILURE() << name << " is missing";
    } else if (found->second != bytes) {
      ADD_FAILURE() << name << " differs: " << found->second.size() << " bytes, expected " << bytes.size();
    }
  }
  for (const auto& entry : actual)
    if (!expected.count(entry.first)) ADD_FAILURE() << entry.first << " should not be there";
}

struct Entry {
  std::string name;
  std::string bytes;  // kDirectory for a folder
};

std::string Source(int number, size_t payload_size = 100) {
  return SourceSave(0xC0DE0000u + number, "Save " + std::to_string(number), Pattern(payload_size, number));
}

std::string Converted(int number, size_t payload_size = 100) {
  return ConvertedSave(0xC0DE0000u + number, "Save " + std::to_string(number), Pattern(payload_size, number));
}

std::string SourceName(int number) {
  char name[32];
  snprintf(name, sizeof name, "0x%x.sav", number);
  return name;
}

std::string TargetName(int number) { return "RAVNOX_" + std::to_string(number) + ".sav"; }

// Sources 1 to last, each a valid record.
std::vector<Entry> Series(int last) {
  std::vector<Entry> entries;
  for (int n = 1; n <= last; ++n) entries.push_back({SourceName(n), Source(n)});
  return entries;
}

std::vector<Entry> Targets(int last) {
  std::vector<Entry> entries;
  for (int n = 1; n <= last; ++n) entries.push_back({TargetName(n), Converted(n)});
  return entries;
}

template <typename T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string WithPayloadSize(std::string record, uint32_t size) {
  PutLe32(record, 8, size);
  return record;
}

struct Case {
  const char* what;
  std::vector<Entry> before;
  std::vector<Entry> written;  // files the run adds or replaces
  rlim_t file_size_limit = RLIM_INFINITY;
  bool needs_read_only = false;
  std::function<void(const fs::path&)> prepare = nullptr;
  const char* folder_name = "saves";  // the save folder, made in a fresh temporary folder
  bool console_closed = false;        // nobody reads the console output
};

// Lays out the case's folder and returns what it should hold after the run.
std::map<std::string, std::string> Prepare(const Case& c, const fs::path& folder) {
  fs::create_directory(folder);
  for (const Entry& e : c.before) {
    if (e.bytes == kDirectory) {
      fs::create_directory(folder / e.name);
    } else {
      WriteWholeFile(folder / e.name, e.bytes);
    }
  }
  if (c.prepare) c.prepare(folder);
  std::map<std::string, std::string> expected = Snapshot(folder);
  for (const Entry& e : c.written) expected[e.name] = e.bytes;
  return expected;
}

bool Skipped(const Case& c) {
  if (!c.needs_read_only || settings.no_read_only.empty() || !ToolRunsAsRoot()) return false;
  printf("skipped \"%s\": %s\n", c.what, settings.no_read_only.c_str());
  return true;
}

void RunCase(const Case& c) {
  SCOPED_TRACE(c.what);
  if (Skipped(c)) return;
  TempFolder temp;
  fs::path folder = temp.path / c.folder_name;
  std::map<std::string, std::string> expected = Prepare(c, folder);

  Run run = RunTool(settings.tool, settings.runner, folder, c.file_size_limit, c.console_closed);

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.console, c.console_closed ? "" : ExpectedConsole());
  if (!WindowsConsole()) {
    EXPECT_EQ(run.errors, "");
  }
  ExpectSameFolder(Snapshot(folder), expected);
}

void MakeReadOnly(const fs::path& file) { fs::permissions(file, fs::perms::owner_read); }

std::vector<Case> SeriesCases() {
  return {
      {"no saves at all", {}, {}},
      {"one save", Series(1), Targets(1)},
      {"a gap after two", Series(2) + std::vector<Entry>{{"0x4.sav", Source(4)}}, Targets(2)},
      {"seventeen saves: hex source names, decimal targets", Series(17), Targets(17)},
      {"a decimal-named tenth save is not the tenth",
       Series(9) + std::vector<Entry>{{"0x10.sav", Source(10)}}, Targets(9)},
      {"number 0 and other names are never read",
       {{"0x0.sav", Source(0)}, {"1.sav", Source(1)}, {"0x01.sav", Source(1)}, {"RAVNOX_0.sav", "keep"}},
       {}},
      {"existing targets are overwritten",
       Series(2) + std::vector<Entry>{{TargetName(1), "old"}, {TargetName(2), std::string(5000, 'o')}},
       Targets(2)},
      {"a save folder with a Chinese name and a space", Series(3), Targets(3), RLIM_INFINITY, false, nullptr,
       "\xe5\xad\x98\xe6\xa1\xa3 saves"},
      {"nobody reads the console", Series(2), Targets(2), RLIM_INFINITY, false, nullptr, "saves", true},
      {"large and empty payloads",
       {{"0x1.sav", Source(1, 3 << 20)}, {"0x2.sav", Source(2, 0)}},
       {{TargetName(1), Converted(1, 3 << 20)}, {TargetName(2), Converted(2, 0)}}},
  };
}

std::vector<Case> RejectionCases() {
  std::string short_payload = Source(1);
  short_payload.pop_back();
  std::string unterminated = SourceSave(7, std::string(260, 'N'), "payload");
  return {
      {"a bad magic between good saves",
       {{"0x1.sav", Source(1)}, {"0x2.sav", "CDX1" + Source(2).substr(4)}, {"0x3.sav", Source(3)}},
       {{TargetName(1), Converted(1)}, {TargetName(2), ""}, {TargetName(3), Converted(3)}}},
      {"a rejected save empties its existing target",
       {{"0x1.sav", "not a save at all"}, {TargetName(1), "old"}},
       {{TargetName(1), ""}}},
      {"damaged records",
       {{"0x1.sav", short_payload},
        {"0x2.sav", WithPayloadSize(Source(2), 0xFFFFFFFF)},
        {"0x3.sav", Source(3).substr(0, 100)},
        {"0x4.sav", unterminated},
        {"0x5.sav", Source(5)}},
       {{TargetName(1), ""},
        {TargetName(2), ""},
        {TargetName(3), ""},
        {TargetName(4), ConvertedSave(7, std::string(260, 'N'), "payload")},
        {TargetName(5), Converted(5)}}},
  };
}

std::vector<Case> StopCases() {
  return {
      {"an empty first save", {{"0x1.sav", ""}, {"0x2.sav", Source(2)}}, {}},
      {"an empty save after good ones",
       Series(2) + std::vector<Entry>{{"0x3.sav", ""}, {"0x4.sav", Source(4)}}, Targets(2)},
      {"a folder named like a save",
       {{"0x1.sav", Source(1)}, {"0x2.sav", kDirectory}, {"0x3.sav", Source(3)}},
       Targets(1)},
      {"a folder named like a target",
       {{"0x1.sav", Source(1)}, {"0x2.sav", Source(2)}, {TargetName(1), kDirectory}},
       {}},
      {"a read-only target",
       {{"0x1.sav", Source(1)}, {"0x2.sav", Source(2)}, {TargetName(1), "old"}},
       {},
       RLIM_INFINITY,
       true,
       [](const fs::path& folder) { MakeReadOnly(folder / TargetName(1)); }},
      // The disk fills during the second save's payload: its partial target is
      // removed and the run goes no further. The first stays whole.
      {"the disk fills in the middle of a payload",
       Series(1) +
           std::vector<Entry>{{"0x2.sav", Source(2, 200000)}, {"0x3.sav", Source(3)}, {TargetName(3), "old"}},
       Targets(1), 65536},
  };
}

TEST(ConversionRun, ConvertsTheSeriesUpToTheFirstGap) {
  for (const Case& c : SeriesCases()) RunCase(c);
}

TEST(ConversionRun, SkipsRecordsThatAreNotWholeAndGoesOn) {
  for (const Case& c : RejectionCases()) RunCase(c);
}

TEST(ConversionRun, StopsWhereASaveCannotBeReadOrWritten) {
  for (const Case& c : StopCases()) RunCase(c);
}

// The two builds of the tool must leave byte-identical folders for the same
// saves, whatever each is expected to do.
TEST(ConversionRun, BothBuildsLeaveTheSameFolders) {
  if (settings.parity_tool.empty()) GTEST_SKIP() << "no --parity-tool given";
  std::vector<Case> cases = SeriesCases() + RejectionCases() + StopCases();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (Skipped(c)) continue;
    TempFolder ours;
    TempFolder theirs;
    Prepare(c, ours.path / c.folder_name);
    Prepare(c, theirs.path / c.folder_name);
    RunTool(settings.tool, settings.runner, ours.path / c.folder_name, c.file_size_limit);
    RunTool(settings.parity_tool, "", theirs.path / c.folder_name, c.file_size_limit);
    ExpectSameFolder(Snapshot(ours.path / c.folder_name), Snapshot(theirs.path / c.folder_name));
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  TakeRunAs();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto take = [&](const char* flag, std::string* into) {
      std::string prefix = std::string(flag) + "=";
      if (arg.rfind(prefix, 0) != 0) return false;
      *into = arg.substr(prefix.size());
      return true;
    };
    if (!take("--tool", &settings.tool) && !take("--runner", &settings.runner) &&
        !take("--console", &settings.console) && !take("--parity-tool", &settings.parity_tool) &&
        !take("--no-read-only", &settings.no_read_only)) {
      fprintf(stderr, "unknown argument: %s\n", argv[i]);
      return 2;
    }
  }
  if (settings.tool.empty() && !GTEST_FLAG_GET(list_tests)) {
    fprintf(stderr,
            "usage: %s --tool=PATH [--runner=PATH] [--console=posix|wine|windows] "
            "[--parity-tool=PATH] [--no-read-only=REASON]\n",
            argv[0]);
    return 2;
  }
  if (!settings.tool.empty()) settings.tool = fs::absolute(settings.tool).string();
  if (!settings.parity_tool.empty()) settings.parity_tool = fs::absolute(settings.parity_tool).string();
  if (settings.runner.find('/') != std::string::npos)
    settings.runner = fs::absolute(settings.runner).string();
  return RUN_ALL_TESTS();
}
