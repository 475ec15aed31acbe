#include "save_format.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

// Runs the conversion of the given source bytes into a real file and returns
// what the file holds afterwards. The source sits in a buffer of exactly its
// own size, so a read beyond it shows under the address sanitizer.
std::string Convert(const std::string& source, ConvertResult* result) {
  TempFolder folder;
  std::wstring target = Wide(folder.path / "RAVNOX_1.sav");
  HANDLE output = CreateFileForWrite(target.c_str());
  EXPECT_NE(output, INVALID_HANDLE_VALUE);
  uint8_t* copy = static_cast<uint8_t*>(malloc(source.size() ? source.size() : 1));
  std::copy(source.begin(), source.end(), copy);
  uint8_t header[kConvertedHeaderSize];
  *result = WriteConvertedSave(copy, source.size(), output, header);
  free(copy);
  CloseHandle(output);
  return ReadWholeFile(folder.path / "RAVNOX_1.sav");
}

struct GoodCase {
  const char* what;
  uint32_t carried_value;
  std::string name;
  std::string payload;
};

TEST(WriteConvertedSave, ConvertsWholeRecords) {
  const GoodCase cases[] = {
      {"ordinary save", 0x12345678, "Hero of the North", Pattern(5000)},
      {"empty payload", 7, "Tiny", ""},
      {"empty name", 1, "", Pattern(16)},
      {"259-byte name", 2, std::string(259, 'n'), Pattern(3)},
      {"carried value 0", 0, "Zero", Pattern(1)},
      {"carried value all ones", 0xFFFFFFFF, "Ones", Pattern(2)},
      {"name of GBK bytes", 5, "\xb4\xe6\xb5\xb5", Pattern(300)},
      {"payload with magic and zeros", 9, "Echo", std::string("CDX\0\0\0\0\0", 8)},
  };
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(c.what);
    ConvertResult result;
    std::string written = Convert(SourceSave(c.carried_value, c.name, c.payload), &result);
    EXPECT_EQ(result, kSaveWritten);
    EXPECT_EQ(written, ConvertedSave(c.carried_value, c.name, c.payload));
    EXPECT_EQ(written.size(), 520 + c.payload.size());
  }
}

TEST(WriteConvertedSave, CopiesOnlyTheNameUpToItsTerminator) {
  std::string source = SourceSave(3, "Ann", Pattern(10));
  source.replace(12 + 4, 5, "trash");  // bytes after the terminator in the field
  ConvertResult result;
  EXPECT_EQ(Convert(source, &result), ConvertedSave(3, "Ann", Pattern(10)));
  EXPECT_EQ(result, kSaveWritten);
}

TEST(WriteConvertedSave, EndsAnUnterminatedNameWithinTheHeader) {
  std::string name(260, 'x');
  std::string source = SourceSave(4, name, Pattern(20));
  ConvertResult result;
  std::string written = Convert(source, &result);
  ASSERT_EQ(result, kSaveWritten);
  EXPECT_EQ(written, ConvertedSave(4, name, Pattern(20)));
  EXPECT_EQ(written.substr(8 + 260, 508 - 260), std::string(508 - 260, '\0'));
}

TEST(WriteConvertedSave, TakesTheDeclaredPayloadAndIgnoresTrailingBytes) {
  std::string source = SourceSave(6, "Trail", Pattern(100)) + "extra bytes after the payload";
  ConvertResult result;
  EXPECT_EQ(Convert(source, &result), ConvertedSave(6, "Trail", Pattern(100)));
  EXPECT_EQ(result, kSaveWritten);
}

TEST(WriteConvertedSave, RejectsWhatIsNotAWholeRecordAndWritesNothing) {
  std::string good = SourceSave(1, "Good", Pattern(64));
  auto with = [&](size_t offset, const std::string& bytes) {
    std::string s = good;
    s.replace(offset, bytes.size(), bytes);
    return s;
  };
  auto with_payload_size = [&](uint32_t size) {
    std::string s = good;
    PutLe32(s, 8, size);
    return s;
  };
  const struct {
    const char* what;
    std::string source;
  } cases[] = {
      {"empty file", ""},
      {"three bytes of magic", "CDX"},
      {"digit after CDX", with(0, "CDX1")},
      {"lower-case magic", with(0, std::string("cdx\0", 4))},
      {"magic shifted by one", " CDX" + good.substr(4)},
      {"header cut short", good.substr(0, 271)},
      {"header only, payload missing", good.substr(0, 272)},
      {"payload one byte short", good.substr(0, good.size() - 1)},
      {"payload size one too many", with_payload_size(65)},
      {"payload size 0xFFFFFFFF", with_payload_size(0xFFFFFFFF)},
      {"payload size 0x80000000", with_payload_size(0x80000000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ConvertResult result;
    EXPECT_EQ(Convert(c.source, &result), "");
    EXPECT_EQ(result, kSaveRejected);
  }
}

TEST(WriteConvertedSave, ReportsAnOutputThatCannotBeWritten) {
  TempFolder folder;
  std::wstring path = Wide(folder.path / "RAVNOX_1.sav");
  WriteWholeFile(folder.path / "RAVNOX_1.sav", "");
  // Open for reading only: every write to it fails.
  HANDLE output = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  std::string source = SourceSave(1, "Good", Pattern(64));
  uint8_t header[kConvertedHeaderSize];
  EXPECT_EQ(
      WriteConvertedSave(reinterpret_cast<const uint8_t*>(source.data()), source.size(), output, header),
      kSaveWriteFailed);
  CloseHandle(output);
}

}  // namespace
