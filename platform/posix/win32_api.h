#pragma once
// The Win32 file services the project is written against, declared for POSIX
// systems and implemented in win32_api-posix.cc. Only the calls, types and
// values the project uses are here; each behaves as Windows documents it for
// the arguments the project passes. Where a call differs from Windows, the
// comment above it says how and why.

#include <stdint.h>
#include <wchar.h>

typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef int BOOL;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef size_t SIZE_T;
typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

// Never used with a value other than null: the project has no security
// descriptors and no overlapped I/O.
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u

#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u

// Paths: wide strings of code points, handed to the OS as UTF-8. The backslash
// is a separator like the slash, and a leading "\\?\" or "\\.\" is dropped, so
// that the same path strings work on both systems. Any other path that begins
// with two separators names a network share, which this layer does not reach:
// it is refused rather than taken as a path from the root.

// Directory, read-only (a regular file with no write permission bit) or
// normal. Nothing else is reported.
DWORD GetFileAttributesW(LPCWSTR path);

// Only the two forms the project uses: OPEN_EXISTING for reading and
// CREATE_ALWAYS for reading and writing. Share modes have no POSIX counterpart
// and are not enforced. A directory is never opened as a file. CREATE_ALWAYS
// fails on an existing file without write permission bits even for root, as
// Windows does on a file with the read-only attribute. FILE_FLAG_SEQUENTIAL_SCAN
// becomes sequential read-ahead advice.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE template_file);

// Read-only mappings of the whole file only (both size words 0, no name).
// Returns null on failure, as Windows does; a file of length zero cannot be
// mapped.
HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD maximum_size_high,
                          DWORD maximum_size_low, LPCWSTR name);

// FILE_MAP_READ of the whole mapping from offset 0 only. The layer keeps the
// view's length for UnmapViewOfFile.
LPVOID MapViewOfFile(HANDLE mapping, DWORD desired_access, DWORD offset_high, DWORD offset_low,
                     SIZE_T bytes_to_map);
BOOL UnmapViewOfFile(LPCVOID base);

BOOL CloseHandle(HANDLE handle);

// Synchronous only. Succeeds only when every byte was written: a short write
// from the OS is continued, as Windows completes a synchronous write to a file.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
               LPOVERLAPPED overlapped);

// Fails when the directory exists already, as on Windows.
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);

// A directory is not deleted, as on Windows.
BOOL DeleteFileW(LPCWSTR path);

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
