// Converts the numbered saves in the current folder: 0x1.sav, 0x2.sav, ...
// become RAVNOX_1.sav, RAVNOX_2.sav, ... until the first missing number.

#include <limits.h>
#include <stdlib.h>
#include <wchar.h>

#include "console.h"
#include "file_access.h"
#include "save_format.h"

namespace {

const size_t kNameUnits = 1024;

// GBK: "Tessaril存档转换工具,请将我复制到存档目录执行." and "转换完成!".
const char kTitle[] =
    "Tessaril"
    "\xb4\xe6\xb5\xb5\xd7\xaa\xbb\xbb\xb9\xa4\xbe\xdf"
    ","
    "\xc7\xeb\xbd\xab\xce\xd2\xb8\xb4\xd6\xc6\xb5\xbd\xb4\xe6\xb5\xb5\xc4\xbf\xc2\xbc\xd6\xb4\xd0\xd0"
    ".\n";
const char kDone[] = "\xd7\xaa\xbb\xbb\xcd\xea\xb3\xc9!\n";

// The name buffers last as long as the process.
wchar_t* source_name;
wchar_t* target_name;

void FormatNames(int counter) {
  swprintf(source_name, kNameUnits, L"0x%x.sav", static_cast<unsigned>(counter));
  swprintf(target_name, kNameUnits, L"RAVNOX_%d.sav", counter);
}

bool SourcePresent() { return GetFileAttributesW(source_name) != INVALID_FILE_ATTRIBUTES; }

// Converts one number. False when the run must stop here: the source cannot be
// mapped, the target cannot be created, or the target could not be written
// whole, in which case the partial target is removed.
bool ConvertOne(uint8_t* header) {
  MappedFile* source = MapFileReadOnly(source_name);
  if (source == nullptr) return false;
  HANDLE target = CreateFileForWrite(target_name);
  if (target == INVALID_HANDLE_VALUE) {
    ReleaseMappedFile(source);
    return false;
  }
  ConvertResult result = WriteConvertedSave(source->data, source->data_size, target, header);
  // A close can be the first to report that written data did not reach the disk.
  if (!CloseHandle(target) && result == kSaveWritten) result = kSaveWriteFailed;
  if (result == kSaveWriteFailed) DeleteFileW(target_name);
  ReleaseMappedFile(source);
  return result != kSaveWriteFailed;
}

void ConvertSeries() {
  uint8_t header[kConvertedHeaderSize];
  for (int counter = 1; counter > 0; counter = counter == INT_MAX ? 0 : counter + 1) {
    FormatNames(counter);
    if (!SourcePresent() || !ConvertOne(header)) return;
  }
}

}  // namespace

int main() {
  PrepareConsole();
  source_name = static_cast<wchar_t*>(malloc(kNameUnits * sizeof(wchar_t)));
  target_name = static_cast<wchar_t*>(malloc(kNameUnits * sizeof(wchar_t)));
  WriteConsoleMessage(kTitle);
  WaitForKey();
  if (source_name != nullptr && target_name != nullptr) ConvertSeries();
  WriteConsoleMessage(kDone);
  WaitForKey();
  return 0;
}
