#pragma once
// Helpers shared by the tests: save fixtures built from a few fields, a
// temporary folder per test, and whole-file reads and writes.

#include <stdint.h>

#include <filesystem>
#include <string>

#include "win32_api.h"

namespace testing_support {

// The bytes of a source save record. The name is zero-padded to its 260-byte
// field; payload_size is the payload's length.
std::string SourceSave(uint32_t carried_value, const std::string& name, const std::string& payload);

// The converted save the tool must write for the same fields, built without
// the code under test.
std::string ConvertedSave(uint32_t carried_value, const std::string& name, const std::string& payload);

// Overwrites four bytes of a record with a little-endian value.
void PutLe32(std::string& bytes, size_t offset, uint32_t value);

// Payload bytes that differ from position to position.
std::string Pattern(size_t length, unsigned seed = 1);

std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);

// The path as the platform's wide string, whatever the process's locale.
std::wstring Wide(const std::filesystem::path& path);

// Opens an existing file for reading as the library does, or returns
// INVALID_HANDLE_VALUE.
HANDLE OpenForReading(const std::wstring& path);

// How many file descriptors the process has open, or -1 on Windows and
// wherever the system does not tell.
int OpenDescriptorCount();

// A fresh empty folder, removed with everything in it at the end of its scope.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::filesystem::path path;
};

}  // namespace testing_support
