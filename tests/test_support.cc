#include "test_support.h"

#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace testing_support {

namespace {

std::string Le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// Decodes UTF-8 into code points, one wchar_t each.
std::wstring DecodeUtf8(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
    out.push_back(static_cast<wchar_t>(c));
    i += 1 + extra;
  }
  return out;
}

[[maybe_unused]] std::wstring ToWide(const std::wstring& native) { return native; }
[[maybe_unused]] std::wstring ToWide(const std::string& native) { return DecodeUtf8(native); }

}  // namespace

std::string SourceSave(uint32_t carried_value, const std::string& name, const std::string& payload) {
  std::string field = name;
  field.resize(260, '\0');
  return std::string("CDX\0", 4) + Le32(carried_value) + Le32(static_cast<uint32_t>(payload.size())) + field +
         payload;
}

std::string ConvertedSave(uint32_t carried_value, const std::string& name, const std::string& payload) {
  std::string field = name.substr(0, 260);
  field.resize(508, '\0');
  return Le32(516) + Le32(0) + field + Le32(carried_value) + payload;
}

void PutLe32(std::string& bytes, size_t offset, uint32_t value) { bytes.replace(offset, 4, Le32(value)); }

std::string Pattern(size_t length, unsigned seed) {
  std::string bytes(length, '\0');
  std::minstd_rand generator(seed);
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteWholeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::wstring Wide(const fs::path& path) { return ToWide(path.native()); }

HANDLE OpenForReading(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

int OpenDescriptorCount() {
  // Under Wine a Windows program can see /proc/self/fd too, but those are
  // Wine's own descriptors, which come and go by themselves.
  if (fs::path::preferred_separator != '/') return -1;
  std::error_code error;
  if (!fs::is_directory("/proc/self/fd", error)) return -1;
  int count = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd", error); it != fs::directory_iterator(); ++it)
    ++count;
  return count;
}

TempFolder::TempFolder() {
  std::random_device entropy;
  for (;;) {
    path = fs::temp_directory_path() / ("zembrel-test-" + std::to_string(entropy()));
    std::error_code error;
    if (fs::create_directory(path, error)) break;
  }
}

TempFolder::~TempFolder() {
  std::error_code error;
  // Read-only files would stop the removal on Windows.
  for (fs::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error))
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, error);
  fs::remove_all(path, error);
}

}  // namespace testing_support
