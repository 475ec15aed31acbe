#include "save_format.h"

#include <string.h>

namespace {

const uint8_t kMagic[4] = {'C', 'D', 'X', 0};

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace

int64_t BuildConvertedHeader(const uint8_t* source, uint64_t source_size, uint8_t* header) {
  memset(header, 0, kConvertedHeaderSize);
  WriteLe32(header, kConvertedHeaderSize - 4);
  if (source_size < kSourceHeaderSize || memcmp(source, kMagic, sizeof kMagic) != 0) return -1;
  uint32_t payload_size = ReadLe32(source + 8);
  if (payload_size > source_size - kSourceHeaderSize) return -1;

  // A name without its terminator keeps its 260 bytes; the zeros after them in
  // the header end it.
  const uint8_t* name = source + kSourceNameOffset;
  const void* terminator = memchr(name, 0, kSourceNameSize);
  size_t name_bytes = terminator ? static_cast<size_t>(static_cast<const uint8_t*>(terminator) - name) + 1
                                 : size_t{kSourceNameSize};
  memcpy(header + kConvertedNameOffset, name, name_bytes);
  memcpy(header + kConvertedValueOffset, source + 4, 4);
  return payload_size;
}

ConvertResult WriteConvertedSave(const uint8_t* source, uint64_t source_size, HANDLE output,
                                 uint8_t* header) {
  int64_t payload_size = BuildConvertedHeader(source, source_size, header);
  if (payload_size < 0) return kSaveRejected;
  DWORD written = 0;
  if (!WriteFile(output, header, kConvertedHeaderSize, &written, nullptr) || written != kConvertedHeaderSize)
    return kSaveWriteFailed;
  if (!WriteFile(output, source + kSourceHeaderSize, static_cast<DWORD>(payload_size), &written, nullptr) ||
      written != static_cast<DWORD>(payload_size))
    return kSaveWriteFailed;
  return kSaveWritten;
}
