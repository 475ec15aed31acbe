// What a user would write by hand for the same conversion: buffered reads and
// writes through stdio, 64 KiB at a time. The benchmark's second yardstick.

#include <stdint.h>
#include <stdio.h>
#include <string.h>

namespace {

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

bool ConvertOne(FILE* in, FILE* out) {
  unsigned char source[272];
  if (fread(source, 1, sizeof source, in) != sizeof source || memcmp(source, "CDX\0", 4) != 0) return true;
  unsigned char header[520] = {};
  header[0] = 0x04;
  header[1] = 0x02;
  size_t name_length = strnlen(reinterpret_cast<const char*>(source + 12), 260);
  memcpy(header + 8, source + 12, name_length);
  memcpy(header + 516, source + 4, 4);
  if (fwrite(header, 1, sizeof header, out) != sizeof header) return false;
  static char buffer[1 << 16];
  for (uint32_t left = Le32(source + 8); left > 0;) {
    size_t want = left < sizeof buffer ? left : sizeof buffer;
    size_t got = fread(buffer, 1, want, in);
    if (got == 0 || fwrite(buffer, 1, got, out) != got) return false;
    left -= static_cast<uint32_t>(got);
  }
  return true;
}

}  // namespace

int main() {
  for (int counter = 1;; ++counter) {
    char source_name[32];
    char target_name[32];
    snprintf(source_name, sizeof source_name, "0x%x.sav", counter);
    snprintf(target_name, sizeof target_name, "RAVNOX_%d.sav", counter);
    FILE* in = fopen(source_name, "rb");
    if (in == nullptr) return 0;
    FILE* out = fopen(target_name, "wb");
    bool ok = out != nullptr && ConvertOne(in, out);
    if (out != nullptr && fclose(out) != 0) ok = false;
    fclose(in);
    if (!ok) return 1;
  }
}
