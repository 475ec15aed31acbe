#include "file_access.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

TEST(MapFileReadOnly, ShowsTheWholeFile) {
  TempFolder folder;
  for (size_t size : {size_t{1}, size_t{272}, size_t{4096}, size_t{4097}, size_t{1} << 20}) {
    SCOPED_TRACE(size);
    std::string content = Pattern(size, static_cast<unsigned>(size));
    WriteWholeFile(folder.path / "0x1.sav", content);
    int descriptors = OpenDescriptorCount();
    MappedFile* file = MapFileReadOnly(Wide(folder.path / "0x1.sav").c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->data_size, size);
    EXPECT_EQ(static_cast<const void*>(file->data), file->view);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file->data), size), content);
    ReleaseMappedFile(file);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    // Nothing holds the file any more: Windows would refuse to delete it.
    EXPECT_TRUE(DeleteFileW(Wide(folder.path / "0x1.sav").c_str()));
  }
}

TEST(MapFileReadOnly, ReturnsNullAndLeavesNothingOpen) {
  TempFolder folder;
  WriteWholeFile(folder.path / "empty.sav", "");
  fs::create_directory(folder.path / "folder.sav");
  for (const char* name : {"missing.sav", "empty.sav", "folder.sav"}) {
    SCOPED_TRACE(name);
    int descriptors = OpenDescriptorCount();
    EXPECT_EQ(MapFileReadOnly(Wide(folder.path / name).c_str()), nullptr);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
  }
  EXPECT_TRUE(DeleteFileW(Wide(folder.path / "empty.sav").c_str()));
}

TEST(ReleaseMappedFile, AcceptsNull) { ReleaseMappedFile(nullptr); }

TEST(CreateFileForWrite, CreatesOrEmptiesTheFile) {
  TempFolder folder;
  WriteWholeFile(folder.path / "old.sav", "months of play");
  for (const char* name : {"new.sav", "old.sav"}) {
    SCOPED_TRACE(name);
    HANDLE handle = CreateFileForWrite(Wide(folder.path / name).c_str());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadWholeFile(folder.path / name), "");
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(handle, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(ReadWholeFile(folder.path / name), "abc");
  }
}

TEST(CreateFileForWrite, FailsWithoutHarm) {
  TempFolder folder;
  fs::create_directory(folder.path / "RAVNOX_1.sav");
  WriteWholeFile(folder.path / "blocker", "a file where a directory is needed");
  EXPECT_EQ(CreateFileForWrite(nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileForWrite(Wide(folder.path / "RAVNOX_1.sav").c_str()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileForWrite(Wide(folder.path / "blocker" / "f.sav").c_str()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWholeFile(folder.path / "blocker"), "a file where a directory is needed");
  EXPECT_TRUE(fs::is_directory(folder.path / "RAVNOX_1.sav"));
}

TEST(FileAccess, PathsBeyondTheWorkAreasFailWithoutHarm) {
  TempFolder folder;
  for (size_t length : {size_t{4096}, size_t{5000}, size_t{40000}}) {
    SCOPED_TRACE(length);
    std::wstring path = Wide(folder.path) + L"\\d";
    while (path.size() < length - 6) path += path.size() % 100 == 0 ? L'\\' : L'x';
    path += L"\\f.sav";
    path.resize(length, L'y');
    EXPECT_EQ(CreateFileForWrite(path.c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(MapFileReadOnly(path.c_str()), nullptr);
  }
  EXPECT_TRUE(fs::is_empty(folder.path));
}

TEST(CreateFileForWrite, RefusesAReadOnlyFile) {
  if (getenv("ZEMBREL_NO_READONLY")) GTEST_SKIP() << getenv("ZEMBREL_NO_READONLY");
  TempFolder folder;
  WriteWholeFile(folder.path / "RAVNOX_1.sav", "keep me");
  fs::permissions(folder.path / "RAVNOX_1.sav", fs::perms::all, fs::perm_options::remove);
  fs::permissions(folder.path / "RAVNOX_1.sav", fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(CreateFileForWrite(Wide(folder.path / "RAVNOX_1.sav").c_str()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWholeFile(folder.path / "RAVNOX_1.sav"), "keep me");
}

TEST(CreateFileForWrite, MakesMissingParentsOfShortAndLongPaths) {
  TempFolder folder;
  const std::string long_part(60, 'd');
  const fs::path cases[] = {
      folder.path / "sub" / "f.sav",
      folder.path / "a1" / "b2" / "c3" / "f.sav",
      folder.path / long_part / long_part / long_part / long_part / "f.sav",
      folder.path / "\xe5\xad\x98\xe6\xa1\xa3" / "\xe5\xad\x98.sav",
  };
  for (const fs::path& path : cases) {
    SCOPED_TRACE(path.string());
    HANDLE handle = CreateFileForWrite(Wide(path).c_str());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(handle));
    // Asked through the same prefixed path: a long one is out of reach of
    // ordinary calls on Windows.
    wchar_t* reachable = MakeWritePath(Wide(path).c_str());
    DWORD attributes = GetFileAttributesW(reachable);
    free(reachable);
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  }
  EXPECT_GT(Wide(cases[2]).size(), 200u);
}

TEST(MakeWritePath, PrefixesOnlyLongDrivePaths) {
  auto units = [](wchar_t first, size_t length) {
    std::wstring path = std::wstring(1, first) + L":\\";
    while (path.size() < length) path += path.size() % 10 == 9 ? L'\\' : L'x';
    return path;
  };
  const std::wstring drive201 = units(L'C', 201);
  std::wstring slashed201 = drive201;
  for (wchar_t& c : slashed201)
    if (c == L'\\') c = L'/';
  const std::wstring relative201 = L"saves\\" + std::wstring(195, L'r');
  const std::wstring unc250 = L"\\\\server\\share\\" + std::wstring(235, L'u');
  const std::wstring prefixed250 = L"\\\\?\\" + units(L'D', 246);
  const std::wstring device250 = L"\\\\.\\" + units(L'D', 246);
  const struct {
    const char* what;
    std::wstring path;
    std::wstring expected;
  } cases[] = {
      {"short name", L"RAVNOX_1.sav", L"RAVNOX_1.sav"},
      {"empty", L"", L""},
      {"drive path of 200 units", units(L'C', 200), units(L'C', 200)},
      {"drive path of 201 units", drive201, L"\\\\?\\" + drive201},
      {"lower-case drive", units(L'z', 240), L"\\\\?\\" + units(L'z', 240)},
      {"forward slashes become backslashes", slashed201, L"\\\\?\\" + drive201},
      {"already prefixed", prefixed250, prefixed250},
      {"device prefix", device250, device250},
      {"relative path", relative201, relative201},
      {"network path", unc250, unc250},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    wchar_t* made = MakeWritePath(c.path.c_str());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(std::wstring(made), c.expected);
    free(made);
  }
  EXPECT_EQ((L"\\\\?\\" + drive201).size(), 205u);
  EXPECT_EQ(MakeWritePath(nullptr), nullptr);
}

TEST(CreateDirectoryChain, MakesEachMissingDirectoryOfTheParent) {
  TempFolder folder;
  // Forward slashes, as a caller may write them.
  std::wstring path = Wide(folder.path) + L"/a/b/f.sav";
  EXPECT_NE(CreateDirectoryChain(path.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(folder.path / "a" / "b"));
  EXPECT_FALSE(fs::exists(folder.path / "a" / "b" / "f.sav"));
  // Everything there already: nothing to make.
  EXPECT_EQ(CreateDirectoryChain(path.c_str()), 0);
  // Only the last directory missing: made at the first try.
  EXPECT_EQ(CreateDirectoryChain((Wide(folder.path) + L"\\a\\c\\f.sav").c_str()), 1);
  EXPECT_TRUE(fs::is_directory(folder.path / "a" / "c"));
}

TEST(CreateDirectoryChain, ReturnsZeroAndMakesNothing) {
  TempFolder folder;
  fs::create_directory(folder.path / "a");
  std::wstring base = Wide(folder.path);
  const struct {
    const char* what;
    std::wstring path;
  } cases[] = {
      {"no separator", L"RAVNOX_1.sav"},
      {"one unit", L"a"},
      {"empty", L""},
      {"parent exists", base + L"\\a\\f.sav"},
      {"4096 units", base + L"\\" + std::wstring(4096 - base.size() - 1, L'q')},
      {"far beyond the work area", base + L"\\x\\" + std::wstring(20000, L'q')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CreateDirectoryChain(c.path.c_str()), 0);
  }
  EXPECT_EQ(CreateDirectoryChain(nullptr), 0);
  size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder.path)) entries += entry.exists();
  EXPECT_EQ(entries, 1u);  // only a
}

}  // namespace
