#include "file_access.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

const wchar_t kLongPathPrefix[] = L"\\\\?\\";
const size_t kLongPathPrefixLength = 4;

bool IsDriveAbsolute(const wchar_t* path, size_t length) {
  return length >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
         path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool HasNamespacePrefix(const wchar_t* path, size_t length) {
  return length >= 4 && path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') &&
         path[3] == L'\\';
}

}  // namespace

MappedFile* MapFileReadOnly(const wchar_t* path) {
  MappedFile* file = static_cast<MappedFile*>(malloc(sizeof(MappedFile)));
  if (file == nullptr) return nullptr;
  file->file_handle = INVALID_HANDLE_VALUE;
  file->mapping_handle = INVALID_HANDLE_VALUE;
  file->data = nullptr;
  file->view = nullptr;
  file->data_size = 0;

  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    free(file);
    return nullptr;
  }
  file->file_handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  LARGE_INTEGER size;
  if (file->file_handle == INVALID_HANDLE_VALUE || !GetFileSizeEx(file->file_handle, &size)) {
    ReleaseMappedFile(file);
    return nullptr;
  }
  file->data_size = static_cast<uint64_t>(size.QuadPart);
  // CreateFileMappingW reports failure as null, not as the invalid value.
  HANDLE mapping = CreateFileMappingW(file->file_handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    ReleaseMappedFile(file);
    return nullptr;
  }
  file->mapping_handle = mapping;
  file->view = MapViewOfFile(file->mapping_handle, FILE_MAP_READ, 0, 0, 0);
  if (file->view == nullptr) {
    ReleaseMappedFile(file);
    return nullptr;
  }
  file->data = static_cast<const uint8_t*>(file->view);
  return file;
}

void ReleaseMappedFile(MappedFile* file) {
  if (file == nullptr) return;
  if (file->view != nullptr) UnmapViewOfFile(file->view);
  if (file->mapping_handle != INVALID_HANDLE_VALUE) CloseHandle(file->mapping_handle);
  if (file->file_handle != INVALID_HANDLE_VALUE) CloseHandle(file->file_handle);
  free(file);
}

wchar_t* MakeWritePath(const wchar_t* path) {
  if (path == nullptr) return nullptr;
  size_t length = wcslen(path);
  wchar_t* buffer = static_cast<wchar_t*>(calloc(length + 5, sizeof(wchar_t)));
  if (buffer == nullptr) return nullptr;
  if (length > 200 && !HasNamespacePrefix(path, length) && IsDriveAbsolute(path, length)) {
    wmemcpy(buffer, kLongPathPrefix, kLongPathPrefixLength);
    for (size_t i = 0; i < length; ++i) buffer[kLongPathPrefixLength + i] = path[i] == L'/' ? L'\\' : path[i];
  } else {
    wmemcpy(buffer, path, length);
  }
  return buffer;
}

HANDLE CreateFileForWrite(const wchar_t* path) {
  wchar_t* buffer = MakeWritePath(path);
  if (buffer == nullptr) return INVALID_HANDLE_VALUE;
  CreateDirectoryChain(buffer);
  HANDLE handle = CreateFileW(buffer, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  free(buffer);
  return handle;
}

int CreateDirectoryChain(const wchar_t* path) {
  if (path == nullptr) return 0;
  size_t length = wcsnlen(path, kMaxChainPath);
  if (length < 2 || length >= kMaxChainPath) return 0;

  wchar_t work[kMaxChainPath] = {};
  wchar_t prefix[kMaxChainPath] = {};
  for (size_t i = 0; i < length; ++i) work[i] = path[i] == L'/' ? L'\\' : path[i];

  wchar_t* last_separator = wcsrchr(work, L'\\');
  if (last_separator == nullptr) return 0;
  *last_separator = L'\0';
  if (CreateDirectoryW(work, nullptr)) return 1;

  // Indexes 0 and 1 are never separators here: they pass over a drive ("C:")
  // and the two backslashes that open a network or prefixed path.
  size_t parent_length = static_cast<size_t>(last_separator - work);
  for (size_t i = 2; i < parent_length; ++i) {
    if (work[i] != L'\\') continue;
    wmemcpy(prefix, work, i);
    prefix[i] = L'\0';
    CreateDirectoryW(prefix, nullptr);
  }
  return CreateDirectoryW(work, nullptr) ? 1 : 0;
}
