#pragma once
// File access for tools that read whole files in place and write new ones.
// Paths are zero-terminated wide strings. Failures are reported only through
// results: a null record, INVALID_HANDLE_VALUE or 0.

#include <stddef.h>
#include <stdint.h>

#include "win32_api.h"

// One file mapped whole and read-only. Read through data; never write to it.
struct MappedFile {
  HANDLE file_handle;     // the file, open for reading
  HANDLE mapping_handle;  // the read-only mapping of it
  const uint8_t* data;    // the file's first byte
  void* view;             // base of the view, the address to unmap
  uint64_t data_size;     // the file's length: reads through data stay below it
};

// Maps the whole file read-only, or returns null and leaves nothing open. A
// file of length zero cannot be mapped. The path is used as it is.
MappedFile* MapFileReadOnly(const wchar_t* path);

// Unmaps and closes what the record holds, then frees it. Accepts null.
void ReleaseMappedFile(MappedFile* file);

// Creates the file, or empties it if it exists, making missing parent
// directories first; returns a handle for reading and writing, which the
// caller closes, or INVALID_HANDLE_VALUE.
HANDLE CreateFileForWrite(const wchar_t* path);

// Makes every missing directory of the path's parent. Returns 1 when the
// parent was made at the first try; when the chain had to be walked, nonzero
// only if its last directory was made by this call; 0 when the path has no
// separator, is shorter than 2 or not shorter than kMaxChainPath units.
int CreateDirectoryChain(const wchar_t* path);

enum { kMaxChainPath = 4096 };

// The path CreateFileForWrite creates, in a buffer of length + 5 units that
// the caller frees with free(); null when the path is null or memory is short.
// A path longer than 200 units that starts with a drive ("C:\" or "C:/") and
// is not prefixed already gets the "\\?\" long-path prefix, with its slashes
// turned into backslashes, which the prefix requires. Any other path is
// copied as it is: the prefix is not valid on a relative path, which keeps its
// chance of working by staying as it is.
wchar_t* MakeWritePath(const wchar_t* path);
