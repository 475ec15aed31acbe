// Arbitrary paths, up to and far beyond the 4096-unit work areas, through the
// long-path decision and through directory and file creation. Every path the
// file system sees lies inside a sandbox; nothing may appear outside it, and
// the address sanitizer watches the work areas.

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "file_access.h"
#include "fuzz_check.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

fs::path jail;     // holds the sandbox and nothing else
fs::path sandbox;  // where the paths point
std::wstring sandbox_wide;
std::set<std::string> root_entries;

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// Units that matter to path handling. '.' only ever comes from the prefixes
// chosen below, so that no ".." can lead out of the sandbox.
const wchar_t kUnits[] = {L'a', L'b', L'\\', L'/', L':', L'?', L'C', L'z', L'\u00e9', L'\u5b58', L' ', L'-'};

// The bytes after the first make the units. A first byte of 0xF0 or more
// repeats them, so that short inputs also reach lengths beyond the work
// areas; only a sixteenth of the inputs do, as a long path with many
// separators costs a directory attempt per separator.
std::wstring Units(const uint8_t* data, size_t size) {
  std::wstring units;
  for (size_t i = 1; i < size; ++i) units += kUnits[data[i] % (sizeof kUnits / sizeof kUnits[0])];
  size_t repeat = size > 0 && data[0] >= 0xF0 ? 64 * (data[0] - 0xEF) : 1;
  std::wstring path;
  for (size_t i = 0; i < repeat && path.size() < 2 * kMaxChainPath; ++i) path += units;
  return path;
}

void RemoveJail() {
  std::error_code error;
  fs::remove_all(jail, error);
}

void CheckMakeWritePath(const std::wstring& path) {
  wchar_t* made = MakeWritePath(path.c_str());
  CHECK(made != nullptr);
  std::wstring result(made);
  free(made);
  bool prefixed = path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
                  (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
  bool drive = path.size() >= 3 && iswalpha(path[0]) && path[0] < 128 && path[1] == L':' &&
               (path[2] == L'\\' || path[2] == L'/');
  if (path.size() > 200 && drive && !prefixed) {
    std::wstring expected = L"\\\\?\\" + path;
    for (wchar_t& c : expected)
      if (c == L'/') c = L'\\';
    CHECK(result == expected);
  } else {
    CHECK(result == path);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Memory-backed where there is such a folder: every input makes and
  // removes directories.
  std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string();
  folder += "/zembrel-paths-fuzz-XXXXXX";
  if (mkdtemp(&folder[0]) == nullptr) abort();
  jail = folder;
  sandbox = jail / "s";
  fs::create_directory(sandbox);
  sandbox_wide = testing_support::Wide(sandbox);
  root_entries = Entries("/");
  atexit(RemoveJail);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring units = Units(data, size);
  CheckMakeWritePath(units);

  const wchar_t* prefixes[] = {L"", L"\\\\?\\", L"\\\\.\\"};
  std::wstring path = prefixes[size > 1 ? data[1] % 3 : 0] + sandbox_wide + L"\\" + units;
  CheckMakeWritePath(path);

  int made = CreateDirectoryChain(path.c_str());
  if (path.size() >= kMaxChainPath) {
    CHECK(made == 0);
    CHECK(fs::is_empty(sandbox));
  }
  HANDLE file = CreateFileForWrite(path.c_str());
  if (file != INVALID_HANDLE_VALUE) CHECK(CloseHandle(file));

  CHECK(Entries(jail) == std::set<std::string>{"s"});
  CHECK(Entries("/") == root_entries);
  for (const auto& entry : fs::directory_iterator(sandbox)) fs::remove_all(entry.path());
  return 0;
}
