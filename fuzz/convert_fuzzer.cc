// Arbitrary bytes as a source save, converted into a real file through the
// same calls the tool uses. The output must be empty, or exactly the layout:
// every property is derived here again, not taken from the code under test.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "file_access.h"
#include "fuzz_check.h"
#include "save_format.h"
#include "test_support.h"

namespace {

std::string target_path;
std::wstring target_wide;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void RemoveTarget() {
  unlink(target_path.c_str());
  rmdir(target_path.substr(0, target_path.rfind('/')).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Memory-backed where there is such a folder: the file is rewritten for
  // every input.
  std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  folder += "/zembrel-convert-fuzz-XXXXXX";
  if (mkdtemp(&folder[0]) == nullptr) abort();
  target_path = folder + "/RAVNOX_1.sav";
  target_wide = testing_support::Wide(target_path);
  atexit(RemoveTarget);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HANDLE output = CreateFileForWrite(target_wide.c_str());
  CHECK(output != INVALID_HANDLE_VALUE);
  uint8_t header[kConvertedHeaderSize];
  ConvertResult result = WriteConvertedSave(data, size, output, header);
  CHECK(CloseHandle(output));
  std::string written = testing_support::ReadWholeFile(target_path);
  const uint8_t* out = reinterpret_cast<const uint8_t*>(written.data());

  bool whole = size >= 272 && memcmp(data, "CDX\0", 4) == 0 && Le32(data + 8) <= size - 272;
  CHECK(result != kSaveWriteFailed);
  CHECK(whole == (result == kSaveWritten));
  if (!whole) {
    CHECK(written.empty());
    return 0;
  }
  uint32_t payload_size = Le32(data + 8);
  CHECK(written.size() == 520 + static_cast<size_t>(payload_size));
  CHECK(Le32(out) == 516);
  CHECK(Le32(out + 4) == 0);
  size_t name_length = 0;
  while (name_length < 260 && data[12 + name_length] != 0) ++name_length;
  CHECK(memcmp(out + 8, data + 12, name_length) == 0);
  for (size_t i = 8 + name_length; i < 516; ++i) CHECK(out[i] == 0);
  CHECK(memcmp(out + 516, data + 4, 4) == 0);
  CHECK(memcmp(out + 520, data + 272, payload_size) == 0);
  return 0;
}
