#include "platform/win32/wide.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace nomvex::platform::win32 {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

int ErrnoOf(unsigned long e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    default:
      return EIO;
  }
}

namespace {

int Open(const std::string& path, bool write, int& fd) {
  const std::wstring name = Wide(path);
  if (!write) {
    // A folder opens only with backup semantics; say what it is instead.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;
  }
  // Others may go on reading, writing or renaming the file meanwhile, as
  // they may on Linux.
  HANDLE h = CreateFileW(name.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if (write && e == ERROR_ACCESS_DENIED) {
      const DWORD attributes = GetFileAttributesW(name.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;
    }
    return ErrnoOf(e);
  }
  fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), (write ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return EMFILE;
  }
  return 0;
}

}  // namespace

int OpenForReading(const std::string& path, int& fd) { return Open(path, false, fd); }

int CreateScratch(int& fd) {
  wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
  if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"nvx", 0, name))
    return ErrnoOf(GetLastError());
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    DeleteFileW(name);
    return ErrnoOf(e);
  }
  fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return EMFILE;
  }
  return 0;
}
int CreateForWriting(const std::string& path, int& fd) { return Open(path, true, fd); }

long long ReadAt(int fd, char* p, size_t n, uint64_t at) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  // A read at an offset moves a synchronous handle's position too: it is
  // put back, so that reading in order goes on where it was.  One at a
  // time, so that no thread puts back another's.
  static std::mutex one_at_a_time;
  std::lock_guard<std::mutex> hold(one_at_a_time);
  LARGE_INTEGER was{}, zero{};
  const bool restore = SetFilePointerEx(h, zero, &was, FILE_CURRENT) != 0;
  struct PutBack {
    HANDLE h;
    LARGE_INTEGER was;
    bool restore;
    ~PutBack() {
      if (restore) SetFilePointerEx(h, was, nullptr, FILE_BEGIN);
    }
  } put_back{h, was, restore};
  size_t got = 0;
  while (got < n) {
    OVERLAPPED where{};
    const uint64_t offset = at + got;
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const DWORD ask = static_cast<DWORD>(std::min<size_t>(n - got, 1u << 30));
    if (!ReadFile(h, p + got, ask, &read, &where)) {
      const DWORD e = GetLastError();
      if (e == ERROR_HANDLE_EOF) break;
      return -ErrnoOf(e);
    }
    if (read == 0) break;
    got += read;
  }
  return static_cast<long long>(got);
}

}  // namespace nomvex::platform::win32
