// The console dialogue on Windows.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "console.h"
#include "win32_api.h"

namespace {

const UINT kGbkCodePage = 936;

// Shows GBK text on a console as a code page 936 console would, whatever the
// console's own code page is; false when standard output is not a console or
// the text cannot be shown that way, and nothing was written.
bool WriteToConsole(const char* gbk_text, int length) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode)) return false;
  int units = MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk_text, length, nullptr, 0);
  if (units <= 0) return false;
  wchar_t* wide = static_cast<wchar_t*>(malloc(static_cast<size_t>(units) * sizeof(wchar_t)));
  if (wide == nullptr) return false;
  MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk_text, length, wide, units);
  // A console line ends in CR LF, as text mode would have written it.
  fflush(stdout);
  bool ok = true;
  for (int start = 0, i = 0; i <= units && ok; ++i) {
    if (i < units && wide[i] != L'\n') continue;
    DWORD written;
    ok = WriteConsoleW(out, wide + start, static_cast<DWORD>(i - start), &written, nullptr) != 0;
    if (i < units) ok = ok && WriteConsoleW(out, L"\r\n", 2, &written, nullptr) != 0;
    start = i + 1;
  }
  free(wide);
  return ok;
}

}  // namespace

void PrepareConsole() {}

void WriteConsoleMessage(const char* gbk_text) {
  if (WriteToConsole(gbk_text, static_cast<int>(strlen(gbk_text)))) return;
  // Redirected: the GBK bytes as they are; text mode turns "\n" into CR LF.
  fputs(gbk_text, stdout);
  fflush(stdout);
}

void WaitForKey() { system("pause"); }
