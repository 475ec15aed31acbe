// Where the POSIX layer has to decide what a Windows path or file means here.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "test_support.h"
#include "win32_api.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

TEST(PosixLayer, NamesFilesInUtf8) {
  TempFolder folder;
  std::wstring name = Wide(folder.path) + L"/\u5b58\u6863\U0001F3AE.sav";
  EXPECT_TRUE(CreateDirectoryW(name.c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(folder.path / "\xe5\xad\x98\xe6\xa1\xa3\xf0\x9f\x8e\xae.sav"));
}

TEST(PosixLayer, RefusesWhatNoFileCanBeNamed) {
  TempFolder folder;
  std::wstring base = Wide(folder.path);
  const std::wstring refused[] = {
      base + L"/lone\xD800surrogate",
      base + L"/beyond" + wchar_t(0x110000),
      L"",
      L"\\\\?\\",
  };
  for (const std::wstring& path : refused) EXPECT_FALSE(CreateDirectoryW(path.c_str(), nullptr));
  EXPECT_TRUE(fs::is_empty(folder.path));
}

TEST(PosixLayer, DoesNotTakeANetworkPathForOneFromTheRoot) {
  // "\\name" is a share on another machine, and "\\?" the first step of a
  // prefixed path: neither may become a directory at the root.
  for (const wchar_t* path : {L"\\\\zembrel-test-share", L"\\\\?", L"//zembrel-test-share"}) {
    EXPECT_FALSE(CreateDirectoryW(path, nullptr));
    EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_FALSE(fs::exists("/zembrel-test-share"));
  EXPECT_FALSE(fs::exists("/?"));
}

TEST(PosixLayer, OpensOnlyRegularFilesAndNeverWaitsOnAFifo) {
  TempFolder folder;
  ASSERT_EQ(mkfifo((folder.path / "0x1.sav").c_str(), 0666), 0);
  EXPECT_EQ(OpenForReading(Wide(folder.path / "0x1.sav")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenForReading(L"/dev/null"), INVALID_HANDLE_VALUE);
  ASSERT_EQ(mkfifo((folder.path / "RAVNOX_1.sav").c_str(), 0666), 0);
  EXPECT_EQ(CreateFileW(Wide(folder.path / "RAVNOX_1.sav").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
}

TEST(PosixLayer, RejectsHandlesAndViewsItDidNotMake) {
  int local = 0;
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(UnmapViewOfFile(&local));
  EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  DWORD written = 1;
  EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "x", 1, &written, nullptr));
  EXPECT_EQ(written, 0u);
}

}  // namespace
