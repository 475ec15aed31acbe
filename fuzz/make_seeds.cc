// Writes the seed corpus of the conversion fuzzer: a few whole records and a
// few damaged ones, made from their fields.

#include <stdio.h>

#include <filesystem>
#include <string>

#include "test_support.h"

using namespace testing_support;

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  std::string good = SourceSave(0x01020304, "Hero", Pattern(64));
  std::string absurd = good;
  PutLe32(absurd, 8, 0xFFFFFFFF);
  std::string wrong_magic = good;
  wrong_magic[3] = '1';
  const std::pair<const char*, std::string> seeds[] = {
      {"whole", good},
      {"empty-payload", SourceSave(0, "", "")},
      {"long-name", SourceSave(0xFFFFFFFF, std::string(259, 'n'), Pattern(7))},
      {"unterminated-name", SourceSave(5, std::string(260, 'u'), Pattern(3))},
      {"payload-cut-short", good.substr(0, good.size() - 1)},
      {"header-cut-short", good.substr(0, 100)},
      {"absurd-payload-size", absurd},
      {"wrong-magic", wrong_magic},
  };
  for (const auto& [name, bytes] : seeds) WriteWholeFile(folder / name, bytes);
  return 0;
}
