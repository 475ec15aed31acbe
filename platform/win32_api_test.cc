// What the project relies on of each Win32 file call. The same tests run
// against Windows itself and against the POSIX layer, so that the layer is
// held to the system's behaviour and not to its own idea of it.

#include "win32_api.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

HANDLE CreateAlways(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Win32Files, GetFileAttributesTellsWhatIsThere) {
  TempFolder folder;
  WriteWholeFile(folder.path / "file", "x");
  fs::create_directory(folder.path / "dir");
  EXPECT_EQ(GetFileAttributesW(Wide(folder.path / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
  DWORD file = GetFileAttributesW(Wide(folder.path / "file").c_str());
  EXPECT_NE(file, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(file & FILE_ATTRIBUTE_DIRECTORY, 0u);
  DWORD dir = GetFileAttributesW(Wide(folder.path / "dir").c_str());
  EXPECT_NE(dir, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(dir & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(Win32Files, OpenExistingOpensFilesOnly) {
  TempFolder folder;
  WriteWholeFile(folder.path / "file", "x");
  fs::create_directory(folder.path / "dir");
  EXPECT_EQ(OpenForReading(Wide(folder.path / "missing")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenForReading(Wide(folder.path / "dir")), INVALID_HANDLE_VALUE);
  HANDLE file = OpenForReading(Wide(folder.path / "file"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 1);
  EXPECT_TRUE(CloseHandle(file));
}

TEST(Win32Files, MapsWholeFilesButNotEmptyOnes) {
  TempFolder folder;
  WriteWholeFile(folder.path / "empty", "");
  std::string content = Pattern(70000);
  WriteWholeFile(folder.path / "full", content);

  HANDLE empty = OpenForReading(Wide(folder.path / "empty"));
  ASSERT_NE(empty, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileMappingW(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_TRUE(CloseHandle(empty));

  HANDLE file = OpenForReading(Wide(folder.path / "full"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  // The mapping keeps the file open by itself.
  EXPECT_TRUE(CloseHandle(file));
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view), content.size()), content);
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(DeleteFileW(Wide(folder.path / "full").c_str()));
}

TEST(Win32Files, CreateAlwaysCreatesOrEmpties) {
  TempFolder folder;
  WriteWholeFile(folder.path / "old", "old content");
  fs::create_directory(folder.path / "dir");
  for (const char* name : {"new", "old"}) {
    SCOPED_TRACE(name);
    HANDLE handle = CreateAlways(Wide(folder.path / name));
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadWholeFile(folder.path / name), "");
    EXPECT_TRUE(CloseHandle(handle));
  }
  EXPECT_EQ(CreateAlways(Wide(folder.path / "dir")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateAlways(Wide(folder.path / "missing" / "f")), INVALID_HANDLE_VALUE);
}

TEST(Win32Files, CreateAlwaysRefusesAReadOnlyFile) {
  if (getenv("ZEMBREL_NO_READONLY")) GTEST_SKIP() << getenv("ZEMBREL_NO_READONLY");
  TempFolder folder;
  WriteWholeFile(folder.path / "ro", "keep");
  fs::permissions(folder.path / "ro", fs::perms::owner_read);
  EXPECT_EQ(CreateAlways(Wide(folder.path / "ro")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWholeFile(folder.path / "ro"), "keep");
}

TEST(Win32Files, WriteFileWritesEverything) {
  TempFolder folder;
  HANDLE handle = CreateAlways(Wide(folder.path / "out"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  std::string big = Pattern(9 << 20);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(handle, big.data(), static_cast<DWORD>(big.size()), &written, nullptr));
  EXPECT_EQ(written, big.size());
  EXPECT_TRUE(WriteFile(handle, big.data(), 0, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_EQ(ReadWholeFile(folder.path / "out"), big);
}

TEST(Win32Files, WritesStraightFromALargeViewAndTheViewStaysWhole) {
  TempFolder folder;
  std::string content = Pattern((9 << 20) + 12345);
  WriteWholeFile(folder.path / "big", content);
  HANDLE file = OpenForReading(Wide(folder.path / "big"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);

  HANDLE out = CreateAlways(Wide(folder.path / "copy"));
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  // From an odd offset, as a payload starts after its header.
  EXPECT_TRUE(WriteFile(out, view + 272, static_cast<DWORD>(content.size() - 272), &written, nullptr));
  EXPECT_EQ(written, content.size() - 272);
  EXPECT_TRUE(CloseHandle(out));
  EXPECT_EQ(ReadWholeFile(folder.path / "copy"), content.substr(272));
  EXPECT_EQ(std::string(view, content.size()), content);

  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));
}

TEST(Win32Files, DirectoriesAreMadeOnceAndNotDeletedAsFiles) {
  TempFolder folder;
  std::wstring dir = Wide(folder.path / "d");
  EXPECT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryW(dir.c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryW(Wide(folder.path / "x" / "y").c_str(), nullptr));
  EXPECT_FALSE(DeleteFileW(dir.c_str()));
  EXPECT_TRUE(fs::is_directory(folder.path / "d"));
  EXPECT_FALSE(DeleteFileW(Wide(folder.path / "missing").c_str()));
}

TEST(Win32Files, TakesBackslashesAndTheLongPathPrefix) {
  TempFolder folder;
  std::wstring base = Wide(fs::absolute(folder.path));
  std::wstring with_backslash = base + L"\\back.sav";
  HANDLE handle = CreateAlways(with_backslash);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_TRUE(fs::exists(folder.path / "back.sav"));

  std::wstring prefixed = L"\\\\?\\" + with_backslash;
  for (wchar_t& c : prefixed)
    if (c == L'/') c = L'\\';
  EXPECT_NE(GetFileAttributesW(prefixed.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
