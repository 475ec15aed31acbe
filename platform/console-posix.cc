// The console dialogue on POSIX terminals, pipes and files.

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "console.h"

namespace {

bool IsGbkCharset(const char* name) {
  return strcasecmp(name, "GBK") == 0 || strcasecmp(name, "GB18030") == 0 || strcasecmp(name, "CP936") == 0;
}

// The character set the user's locale says the terminal shows. A process
// without a locale (LANG unset, as in many containers and ssh sessions) is
// still almost always on a UTF-8 terminal, so plain ASCII is read as UTF-8.
void TerminalCharset(char* name, size_t size) {
  snprintf(name, size, "UTF-8");
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return;
  const char* codeset = nl_langinfo_l(CODESET, locale);
  if (codeset != nullptr && codeset[0] != '\0' && strcmp(codeset, "ANSI_X3.4-1968") != 0)
    snprintf(name, size, "%s", codeset);
  freelocale(locale);
}

void WriteOut(const char* bytes, size_t length) {
  fwrite(bytes, 1, length, stdout);
  fflush(stdout);
}

// Shows GBK text on the terminal in its own character set; false when the
// conversion is not possible, and nothing was written.
bool WriteConverted(const char* gbk_text, size_t length, const char* charset) {
  iconv_t converter = iconv_open(charset, "GBK");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  // No character grows to more than four bytes in any charset worth showing.
  size_t capacity = length * 4 + 4;
  char* converted = static_cast<char*>(malloc(capacity));
  bool ok = converted != nullptr;
  if (ok) {
    char* in = const_cast<char*>(gbk_text);
    size_t in_left = length;
    char* out = converted;
    size_t out_left = capacity;
    ok = iconv(converter, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1) &&
         iconv(converter, nullptr, nullptr, &out, &out_left) != static_cast<size_t>(-1);
    if (ok) WriteOut(converted, capacity - out_left);
  }
  free(converted);
  iconv_close(converter);
  return ok;
}

struct termios saved_terminal;

// A signal during the wait must not leave the user's terminal without echo.
void RestoreTerminalAndDie(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// One key press: the terminal is taken out of line mode for the one read, so
// that any key will do without Enter, and then put back as it was.
void ReadKeyFromTerminal() {
  if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return;
  struct termios raw = saved_terminal;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  void (*previous[4])(int);
  for (int i = 0; i < 4; ++i) previous[i] = signal(kSignals[i], RestoreTerminalAndDie);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
    // A key such as an arrow sends several bytes; take them all, so that none
    // is left for the shell after the program ends.
    char keys[32];
    while (read(STDIN_FILENO, keys, sizeof keys) < 0 && errno == EINTR) {
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  }
  for (int i = 0; i < 4; ++i) signal(kSignals[i], previous[i]);
}

}  // namespace

void PrepareConsole() {
  // Output into a pipe that nobody reads any more must not end the run half
  // way: the message is lost, the conversion goes on.
  signal(SIGPIPE, SIG_IGN);
  // With a standard stream closed, the first file the program opens would take
  // its number, and console bytes would be written into a save.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    int null_fd = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null_fd >= 0 && null_fd != fd) {
      dup2(null_fd, fd);
      close(null_fd);
    }
  }
}

void WriteConsoleMessage(const char* gbk_text) {
  size_t length = strlen(gbk_text);
  if (isatty(STDOUT_FILENO)) {
    char charset[64];
    TerminalCharset(charset, sizeof charset);
    if (!IsGbkCharset(charset) && WriteConverted(gbk_text, length, charset)) return;
  }
  WriteOut(gbk_text, length);
}

void WaitForKey() {
  static const char kPrompt[] = "Press any key to continue . . . ";
  WriteOut(kPrompt, sizeof kPrompt - 1);
  if (isatty(STDIN_FILENO)) {
    ReadKeyFromTerminal();
  } else {
    // A pipe or a file: one byte is a key; end of input returns at once.
    char key;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
  }
  WriteOut("\n", 1);
}
