#pragma once
// The two layouts of one game save and the conversion between them. All
// multi-byte integers are unsigned 32-bit little-endian.
//
// Source record ("0x%x.sav"):
//   0   magic          "CDX\0"
//   4   carried_value  opaque, carried over unchanged
//   8   payload_size   payload bytes after the header
//   12  name           260 bytes, zero-terminated
//   272 payload
//
// Converted save ("RAVNOX_%d.sav"):
//   0   header_size    516, the header bytes after this field
//   4   (zero)
//   8   name           508 bytes: the source name, zero-filled after it
//   516 carried_value
//   520 payload

#include <stdint.h>

#include "file_access.h"

enum {
  kSourceHeaderSize = 272,
  kSourceNameOffset = 12,
  kSourceNameSize = 260,
  kConvertedHeaderSize = 520,
  kConvertedNameOffset = 8,
  kConvertedValueOffset = 516,
};

enum ConvertResult {
  kSaveWritten,      // the whole converted save is in the output
  kSaveRejected,     // not a whole source record: nothing was written
  kSaveWriteFailed,  // the output could not take all of it; it holds a part
};

// Fills the caller's 520-byte header from a source of source_size bytes and
// returns the payload's length, or -1 when the source is not a whole record:
// wrong magic, or shorter than its header and payload. Reads stay within the
// source.
int64_t BuildConvertedHeader(const uint8_t* source, uint64_t source_size, uint8_t* header);

// Writes the converted save for a source to an output opened for writing: the
// header, then the payload read in place from the source.
ConvertResult WriteConvertedSave(const uint8_t* source, uint64_t source_size, HANDLE output, uint8_t* header);
