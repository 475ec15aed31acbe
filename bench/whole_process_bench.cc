// Whole-process figures for the tool against two yardsticks, on data made
// here: cp of the same source files onto existing files of the same names
// (the file system's floor for moving those bytes), and a plain buffered
// converter. Each repetition runs the three back to back and the ratios are
// taken pair by pair, as absolute times vary from run to run on a shared
// machine.
//
//   whole_process_bench --tool=PATH --plain=PATH --dir=DIR [--quick]

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Measure {
  double wall = 0;  // seconds
  double cpu = 0;   // user + system seconds
  long peak_rss_kib = 0;
};

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Runs argv in dir with no input and no output; exits on failure, since a
// benchmark of a failing command measures nothing.
Measure Run(const fs::path& dir, const std::vector<std::string>& args) {
  sync();  // every run starts with nothing left to write back
  double start = Now();
  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    // Room for the argument list of cp over 100,000 files.
    struct rlimit stack = {256 << 20, 256 << 20};
    setrlimit(RLIMIT_STACK, &stack);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  wait4(child, &status, 0, &usage);
  Measure m;
  m.wall = Now() - start;
  m.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
          usage.ru_stime.tv_usec * 1e-6;
  m.peak_rss_kib = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s failed in %s (status %d)\n", args[0].c_str(), dir.c_str(), status);
    exit(1);
  }
  return m;
}

void PutLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void MakeSources(const fs::path& dir, int count, uint64_t payload) {
  if (payload > UINT32_MAX) {
    fprintf(stderr, "a payload of %llu bytes does not fit the 32-bit payload_size\n",
            static_cast<unsigned long long>(payload));
    exit(2);
  }
  std::vector<unsigned char> chunk(1 << 20);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<unsigned char>(i * 131 + 7);
  for (int n = 1; n <= count; ++n) {
    unsigned char header[272] = {'C', 'D', 'X', 0};
    PutLe32(header + 4, 0x5EED0000u + n);
    PutLe32(header + 8, static_cast<uint32_t>(payload));
    snprintf(reinterpret_cast<char*>(header + 12), 260, "Benchmark save %d", n);
    char name[32];
    snprintf(name, sizeof name, "0x%x.sav", n);
    FILE* f = fopen((dir / name).c_str(), "wb");
    fwrite(header, 1, sizeof header, f);
    for (uint64_t left = payload; left > 0;) {
      size_t piece = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
      fwrite(chunk.data(), 1, piece, f);
      left -= piece;
    }
    if (fclose(f) != 0) {
      fprintf(stderr, "cannot write the sources in %s\n", dir.c_str());
      exit(1);
    }
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Settings {
  std::string tool;
  std::string plain;
  fs::path dir;
  bool quick = false;
} settings;

void Scenario(const char* what, int count, uint64_t payload, int repetitions) {
  fs::path src = settings.dir / "src";
  fs::path cp_target = settings.dir / "cp";
  fs::remove_all(src);
  fs::remove_all(cp_target);
  fs::create_directories(src);
  fs::create_directories(cp_target);
  MakeSources(src, count, payload);

  std::vector<std::string> cp = {"cp", "-t", cp_target.string()};
  for (int n = 1; n <= count; ++n) {
    char name[32];
    snprintf(name, sizeof name, "0x%x.sav", n);
    cp.push_back(name);
  }
  // One run of each first, so that every measured run replaces existing
  // files, as the tool does for a player who converts again.
  Run(src, {settings.tool});
  Run(src, cp);
  Run(src, {settings.plain});
  Run(src, {settings.tool});
  uint64_t expected = 520 + payload;
  for (int n : {1, count}) {
    fs::path target = src / ("RAVNOX_" + std::to_string(n) + ".sav");
    std::error_code error;
    uint64_t size = fs::file_size(target, error);
    if (error || size != expected) {
      fprintf(stderr, "%s: %s: %s, %llu bytes, expected %llu\n", what, target.c_str(),
              error ? error.message().c_str() : "wrong size", static_cast<unsigned long long>(size),
              static_cast<unsigned long long>(expected));
      exit(1);
    }
  }

  std::vector<double> tool_wall, cp_wall, plain_wall, to_cp, to_plain, tool_cpu;
  long tool_rss = 0, cp_rss = 0, plain_rss = 0;
  for (int r = 0; r < repetitions; ++r) {
    Measure t = Run(src, {settings.tool});
    Measure c = Run(src, cp);
    Measure p = Run(src, {settings.plain});
    tool_wall.push_back(t.wall);
    cp_wall.push_back(c.wall);
    plain_wall.push_back(p.wall);
    tool_cpu.push_back(t.cpu);
    to_cp.push_back(t.wall / c.wall);
    to_plain.push_back(t.wall / p.wall);
    tool_rss = std::max(tool_rss, t.peak_rss_kib);
    cp_rss = std::max(cp_rss, c.peak_rss_kib);
    plain_rss = std::max(plain_rss, p.peak_rss_kib);
  }
  double mib = count * (payload / 1048576.0);
  double tool = Median(tool_wall);
  printf(
      "| %s | %d | %s | %.3f | %.3f | %.3f | %.3f | **%.2f** | **%.2f** | %.1f | %.1f | %.1f | %.1f | %.2f "
      "|\n",
      what, count,
      payload == (4ull << 30) - 1 ? "4 GiB - 1 B"
      : payload >= (1u << 20)     ? (std::to_string(payload >> 20) + " MiB").c_str()
                                  : (std::to_string(payload >> 10) + " KiB").c_str(),
      tool, Median(cp_wall), Median(plain_wall), Median(tool_cpu), Median(to_cp), Median(to_plain),
      tool_rss / 1024.0, cp_rss / 1024.0, plain_rss / 1024.0, tool / count * 1e6,
      mib > 0 ? tool / mib * 1e3 : 0.0);
  fflush(stdout);
  fs::remove_all(src);
  fs::remove_all(cp_target);
}

bool Fits(uint64_t bytes) {
  struct statvfs fs_info;
  if (statvfs(settings.dir.c_str(), &fs_info) != 0) return false;
  // Sources, the tool's targets and cp's copies, and room to spare.
  return static_cast<uint64_t>(fs_info.f_bavail) * fs_info.f_frsize > 3 * bytes + (2ull << 30);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--tool=", 0) == 0)
      settings.tool = fs::absolute(a.substr(7)).string();
    else if (a.rfind("--plain=", 0) == 0)
      settings.plain = fs::absolute(a.substr(8)).string();
    else if (a.rfind("--dir=", 0) == 0)
      settings.dir = a.substr(6);
    else if (a == "--quick")
      settings.quick = true;
    else {
      fprintf(stderr, "usage: %s --tool=PATH --plain=PATH --dir=DIR [--quick]\n", argv[0]);
      return 2;
    }
  }
  if (settings.tool.empty() || settings.plain.empty() || settings.dir.empty()) {
    fprintf(stderr, "usage: %s --tool=PATH --plain=PATH --dir=DIR [--quick]\n", argv[0]);
    return 2;
  }
  fs::create_directories(settings.dir);
  printf(
      "| scenario | saves | payload each | tool s | cp s | plain s | tool CPU s | tool/cp | tool/plain "
      "| tool peak MiB | cp peak MiB | plain peak MiB | tool µs/save | tool ms/MiB |\n");
  printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  const int reps = settings.quick ? 1 : 7;
  Scenario("one large save", 1, settings.quick ? 64ull << 20 : 1ull << 30, reps);
  Scenario("many small saves", settings.quick ? 1000 : 10000, 16 << 10, reps);
  if (settings.quick) return 0;
  for (int count : {10, 100, 1000, 100000})
    Scenario("scaling: count", count, 16 << 10, count >= 100000 ? 3 : 5);
  // payload_size is 32 bits: the largest payload is one byte short of 4 GiB.
  for (uint64_t bytes : {1ull << 20, 16ull << 20, 256ull << 20, (4ull << 30) - 1}) {
    if (!Fits(bytes)) {
      printf("| scaling: size | 1 | %llu MiB | not run: not enough free disk |\n",
             static_cast<unsigned long long>(bytes >> 20));
      continue;
    }
    Scenario("scaling: size", 1, bytes, bytes >= (1ull << 30) ? 3 : 5);
  }
  return 0;
}
