// The Win32 file services of win32_api.h, on POSIX calls.

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "win32_api.h"

namespace {

// A handle is a small heap record; the tag catches a file handle passed where
// a mapping is expected and the other way round.
enum HandleKind : uint32_t { kFileHandle = 0x46494c45, kMappingHandle = 0x4d415050 };

// An open file, shared by its handle and the mappings made from it: a
// Windows mapping keeps its file open after the file's handle is closed.
struct OpenFile {
  int fd;
  int users;
};

struct PosixHandle {
  HandleKind kind;
  OpenFile* file;
  uint64_t length;  // mappings only: the file's length when the mapping was made
};

// Windows unmaps a view by its base address alone; munmap needs the length too.
struct ViewRecord {
  void* base;
  size_t length;
  ViewRecord* next;
};

std::mutex views_lock;
ViewRecord* views = nullptr;

// A view up to this size is read in whole when it is mapped: one call instead
// of a page fault every few pages. Larger views are not, so that a view of
// any size costs only a bounded amount of memory.
const size_t kPopulateLimit = 4 << 20;

// Writes go to the OS in pieces of this size. Measured on Linux: one write()
// of a whole large view is slower than pieces, and pieces let the pages of a
// large view be dropped behind the write. 512 KiB to 2 MiB measured alike;
// from 3 MiB on, a 1 GiB save took twice as long.
const size_t kWritePiece = 1 << 20;

// The length of the view that holds all of [start, start + length), or 0.
size_t ViewLengthHolding(const void* start, size_t length) {
  const char* p = static_cast<const char*>(start);
  std::lock_guard<std::mutex> hold(views_lock);
  for (ViewRecord* v = views; v != nullptr; v = v->next) {
    const char* base = static_cast<const char*>(v->base);
    if (p >= base && p + length <= base + v->length) return v->length;
  }
  return 0;
}

// Reads in the pages of a view in [from, to) in one call, before a write
// would fault them in a few at a time. Kernels before 5.14 refuse it, and
// then the write faults them in as usual.
void PopulatePages(const char* from, const char* to) {
  uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t first = reinterpret_cast<uintptr_t>(from) & ~(page - 1);
  madvise(reinterpret_cast<void*>(first), static_cast<size_t>(reinterpret_cast<uintptr_t>(to) - first),
          MADV_POPULATE_READ);
}

// Unmaps the pages of a read-only file view from the one that holds from up
// to the one that holds to: they are read again from the file if they are
// touched again, and meanwhile they no longer count towards the process's
// memory. The page that holds from was finished by the write before.
void DropPages(const char* from, const char* to) {
  uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t first = reinterpret_cast<uintptr_t>(from) & ~(page - 1);
  uintptr_t last = reinterpret_cast<uintptr_t>(to) & ~(page - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Appends the UTF-8 form of one code point; false for a value that is not a
// Unicode scalar value, which no file name can hold.
bool AppendUtf8(uint32_t c, char** out) {
  unsigned char* p = reinterpret_cast<unsigned char*>(*out);
  if (c < 0x80) {
    *p++ = static_cast<unsigned char>(c);
  } else if (c < 0x800) {
    *p++ = static_cast<unsigned char>(0xC0 | (c >> 6));
    *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    *p++ = static_cast<unsigned char>(0xE0 | (c >> 12));
    *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  } else if (c <= 0x10FFFF) {
    *p++ = static_cast<unsigned char>(0xF0 | (c >> 18));
    *p++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  } else {
    return false;
  }
  *out = reinterpret_cast<char*>(p);
  return true;
}

// The OS's form of a wide path, in a buffer the caller frees; null, with errno
// set, for a path this layer cannot name.
char* NativePath(LPCWSTR path) {
  if (path == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  if (path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
    path += 4;
  } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
    errno = ENOENT;
    return nullptr;
  }
  size_t length = wcslen(path);
  if (length == 0) {
    errno = ENOENT;
    return nullptr;
  }
  char* native = static_cast<char*>(malloc(length * 4 + 1));
  if (native == nullptr) return nullptr;
  char* end = native;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = path[i] == L'\\' ? '/' : static_cast<uint32_t>(path[i]);
    if (!AppendUtf8(c, &end)) {
      free(native);
      errno = EINVAL;
      return nullptr;
    }
  }
  *end = '\0';
  return native;
}

// Returns the result of close() when this was the file's last user.
int ReleaseFile(OpenFile* file) {
  if (__atomic_sub_fetch(&file->users, 1, __ATOMIC_ACQ_REL) > 0) return 0;
  int result = close(file->fd);
  free(file);
  return result;
}

HANDLE NewHandle(HandleKind kind, OpenFile* file, uint64_t length) {
  PosixHandle* handle = static_cast<PosixHandle*>(malloc(sizeof(PosixHandle)));
  if (handle == nullptr) {
    ReleaseFile(file);
    return nullptr;
  }
  handle->kind = kind;
  handle->file = file;
  handle->length = length;
  return handle;
}

HANDLE NewFileHandle(int fd) {
  OpenFile* file = static_cast<OpenFile*>(malloc(sizeof(OpenFile)));
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  file->fd = fd;
  file->users = 1;
  return NewHandle(kFileHandle, file, 0);
}

PosixHandle* AsKind(HANDLE handle, HandleKind kind) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  PosixHandle* record = static_cast<PosixHandle*>(handle);
  return record->kind == kind ? record : nullptr;
}

// Opens a file that must already exist; only regular files are files here.
// A read-only open of a FIFO would wait for a writer: O_NONBLOCK keeps one of
// the source's name from stalling the run, and changes nothing for a
// descriptor that is only ever mapped. A read-write open never waits, and its
// writes block, as on Windows.
int OpenExisting(const char* native, int access_mode, struct stat* st) {
  int nonblock = access_mode == O_RDONLY ? O_NONBLOCK : 0;
  int fd = open(native, access_mode | nonblock | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

// Creates the file, or empties an existing one. An existing file without any
// write permission bit is refused before anything is truncated: root could
// open it, but Windows refuses a read-only file to everyone.
int CreateAlways(const char* native) {
  int fd = open(native, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd >= 0 || errno != EEXIST) return fd;
  struct stat st;
  fd = OpenExisting(native, O_RDWR, &st);
  if (fd < 0) return -1;
  if ((st.st_mode & 0222) == 0 || ftruncate(fd, 0) != 0) {
    close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

}  // namespace

DWORD GetFileAttributesW(LPCWSTR path) {
  char* native = NativePath(path);
  if (native == nullptr) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  int result = stat(native, &st);
  free(native);
  if (result != 0) return INVALID_FILE_ATTRIBUTES;
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD /*share*/, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*template_file*/) {
  char* native = NativePath(path);
  if (native == nullptr) return INVALID_HANDLE_VALUE;
  int fd = -1;
  if (disposition == OPEN_EXISTING) {
    struct stat st;
    fd = OpenExisting(native, (access & GENERIC_WRITE) ? O_RDWR : O_RDONLY, &st);
    // A file small enough to be read in whole when it is mapped has no use
    // for read-ahead advice.
    if (fd >= 0 && (flags & FILE_FLAG_SEQUENTIAL_SCAN) && static_cast<uint64_t>(st.st_size) > kPopulateLimit)
      posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  } else if (disposition == CREATE_ALWAYS) {
    fd = CreateAlways(native);
  } else {
    errno = EINVAL;
  }
  free(native);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  HANDLE handle = NewFileHandle(fd);
  return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
}

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES /*security*/, DWORD protect,
                          DWORD maximum_size_high, DWORD maximum_size_low, LPCWSTR name) {
  PosixHandle* source = AsKind(file, kFileHandle);
  if (source == nullptr || protect != PAGE_READONLY || maximum_size_high != 0 || maximum_size_low != 0 ||
      name != nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  struct stat st;
  if (fstat(source->file->fd, &st) != 0) return nullptr;
  if (st.st_size <= 0 || static_cast<uint64_t>(st.st_size) > SIZE_MAX) {
    errno = EINVAL;
    return nullptr;
  }
  __atomic_add_fetch(&source->file->users, 1, __ATOMIC_ACQ_REL);
  return NewHandle(kMappingHandle, source->file, static_cast<uint64_t>(st.st_size));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD desired_access, DWORD offset_high, DWORD offset_low,
                     SIZE_T bytes_to_map) {
  PosixHandle* source = AsKind(mapping, kMappingHandle);
  if (source == nullptr || desired_access != FILE_MAP_READ || offset_high != 0 || offset_low != 0 ||
      bytes_to_map > source->length) {
    errno = EINVAL;
    return nullptr;
  }
  size_t length = bytes_to_map == 0 ? static_cast<size_t>(source->length) : bytes_to_map;
  ViewRecord* record = static_cast<ViewRecord*>(malloc(sizeof(ViewRecord)));
  if (record == nullptr) return nullptr;
  int populate = length <= kPopulateLimit ? MAP_POPULATE : 0;
  void* base = mmap(nullptr, length, PROT_READ, MAP_SHARED | populate, source->file->fd, 0);
  if (base == MAP_FAILED) {
    free(record);
    return nullptr;
  }
  record->base = base;
  record->length = length;
  std::lock_guard<std::mutex> hold(views_lock);
  record->next = views;
  views = record;
  return base;
}

BOOL UnmapViewOfFile(LPCVOID base) {
  ViewRecord* found = nullptr;
  {
    std::lock_guard<std::mutex> hold(views_lock);
    for (ViewRecord** link = &views; *link != nullptr; link = &(*link)->next) {
      if ((*link)->base == base) {
        found = *link;
        *link = found->next;
        break;
      }
    }
  }
  if (found == nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  int result = munmap(found->base, found->length);
  free(found);
  return result == 0;
}

BOOL CloseHandle(HANDLE handle) {
  PosixHandle* record = AsKind(handle, kFileHandle);
  if (record == nullptr) record = AsKind(handle, kMappingHandle);
  if (record == nullptr) {
    errno = EBADF;
    return FALSE;
  }
  // close() may report a failed write-back (on a network file system, say);
  // EINTR still leaves the descriptor closed on Linux.
  OpenFile* file = record->file;
  record->kind = static_cast<HandleKind>(0);
  free(record);
  return ReleaseFile(file) == 0 || errno == EINTR;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
               LPOVERLAPPED overlapped) {
  if (bytes_written != nullptr) *bytes_written = 0;
  PosixHandle* record = AsKind(file, kFileHandle);
  if (record == nullptr || overlapped != nullptr) {
    errno = EINVAL;
    return FALSE;
  }
  const char* next = static_cast<const char*>(buffer);
  size_t left = bytes_to_write;
  // Straight from a large file view, the pages written are dropped behind the
  // write, so that memory stays flat whatever the file's size.
  bool drop_behind = ViewLengthHolding(buffer, bytes_to_write) > kPopulateLimit;
  while (left > 0) {
    size_t piece = left < kWritePiece ? left : kWritePiece;
    if (drop_behind) PopulatePages(next, next + piece);
    ssize_t written = write(record->file->fd, next, piece);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    if (drop_behind) DropPages(next, next + written);
    next += written;
    left -= static_cast<size_t>(written);
  }
  if (bytes_written != nullptr) *bytes_written = static_cast<DWORD>(bytes_to_write - left);
  return left == 0;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES /*security*/) {
  char* native = NativePath(path);
  if (native == nullptr) return FALSE;
  int result = mkdir(native, 0777);
  free(native);
  return result == 0;
}

BOOL DeleteFileW(LPCWSTR path) {
  char* native = NativePath(path);
  if (native == nullptr) return FALSE;
  int result = unlink(native);
  free(native);
  return result == 0;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
  PosixHandle* record = AsKind(file, kFileHandle);
  struct stat st;
  if (record == nullptr || size == nullptr || fstat(record->file->fd, &st) != 0) return FALSE;
  size->QuadPart = st.st_size;
  return TRUE;
}
