// The file system through the wide Windows API: what platform/files.cpp
// does with POSIX calls on Linux.  Names are UTF-8 and converted here.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/files.h"
#include "platform/win32/wide.h"

namespace nomvex::platform {
namespace {

using win32::ErrnoOf;
using win32::Wide;

// An open handle to what a name leads to, links followed, for asking about
// it; nothing is read or written through it.
HANDLE OpenToAsk(const std::string& name) {
  return CreateFileW(Wide(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The full name: ReplaceFileW wants no relative one.
std::wstring Full(const std::string& name) {
  const std::wstring wide = Wide(name);
  std::wstring full(32768, L'\0');
  const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0 || n >= full.size()) return wide;
  full.resize(n);
  return full;
}

bool IsDiskFile(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string ExecutableDir() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return ".\\";
  path.resize(n);
  return win32::Utf8(path.substr(0, path.find_last_of(L"\\/") + 1));
}

bool SameFile(const std::string& a, const std::string& b) {
  // One file: the same volume and the same file index, whatever the names
  // (another case, a short name, a hard link).
  auto identify = [](const std::string& name, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = OpenToAsk(name);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!identify(a, ia) || !identify(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsRegularFile(const std::string& path) {
  HANDLE h = OpenToAsk(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool regular = IsDiskFile(h);
  CloseHandle(h);
  return regular;
}

bool StdinIsFile(const std::string& path) {
  HANDLE in = reinterpret_cast<HANDLE>(_get_osfhandle(0));
  if (in == INVALID_HANDLE_VALUE || GetFileType(in) != FILE_TYPE_DISK) return false;
  HANDLE named = OpenToAsk(path);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  bool same;
  if (GetFileInformationByHandle(in, &a) && GetFileInformationByHandle(named, &b)) {
    same = a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
  } else {
    // Some handles do not tell their file (Wine's standard input from a
    // Unix file): the same size and time of last writing count as the same
    // file, since taking another file for it costs a needless in-place run
    // with a backup, while the mistake the other way empties the input.
    FILE_STANDARD_INFO sa{}, sb{};
    FILE_BASIC_INFO ba{}, bb{};
    same = GetFileInformationByHandleEx(in, FileStandardInfo, &sa, sizeof sa) &&
           GetFileInformationByHandleEx(named, FileStandardInfo, &sb, sizeof sb) &&
           GetFileInformationByHandleEx(in, FileBasicInfo, &ba, sizeof ba) &&
           GetFileInformationByHandleEx(named, FileBasicInfo, &bb, sizeof bb) &&
           sa.EndOfFile.QuadPart == sb.EndOfFile.QuadPart &&
           ba.LastWriteTime.QuadPart == bb.LastWriteTime.QuadPart;
  }
  CloseHandle(named);
  return same;
}

int NameIsRegular(const std::string& path, bool& regular) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOf(GetLastError());
  // A folder or a link is no regular file of its own; nor is a device.
  regular = !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            IsRegularFile(path);
  return 0;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name.
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0)) return 0;
  return ErrnoOf(GetLastError());
}

int RemoveFile(const std::string& path) {
  if (DeleteFileW(Wide(path).c_str())) return 0;
  return ErrnoOf(GetLastError());
}

int DuplicateFd(int fd) {
  // Standard output starts in text mode, which would turn each CR LF into
  // CR CR LF: the copy writes bytes as they are.
  const int copy = _dup(fd);
  if (copy >= 0) _setmode(copy, _O_BINARY);
  return copy;
}

int Replacement::Create(const std::string& path, const struct stat&) {
  Discard();
  path_ = path;
  // A new name beside the file, taken by no one else.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = path + ".nomvex-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(attempt);
    HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = GetLastError();
      if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) continue;
      return ErrnoOf(e);
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd_ < 0) {
      CloseHandle(h);
      DeleteFileW(Wide(name).c_str());
      return EMFILE;
    }
    temp_ = std::move(name);
    return 0;
  }
  return EEXIST;
}

// Windows has no unnamed files: the new destination is written under a
// name of its own beside it and renamed when whole.
int Replacement::CreateNew(const std::string& path) { return Create(path, {}); }

int Replacement::CommitNew() {
  if (fd_ < 0) return EBADF;
  _close(fd_);
  fd_ = -1;
  if (MoveFileExW(Full(temp_).c_str(), Full(path_).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    temp_.clear();
    return 0;
  }
  const int err = ErrnoOf(GetLastError());
  Discard();
  return err;
}

int Replacement::GiveName() { return 0; }  // the new file always has one here

// No unnamed files here: the caller creates a new file under its name.

int Replacement::Commit(const std::string& backup) {
  if (fd_ < 0) return EBADF;
  _close(fd_);
  fd_ = -1;
  const std::wstring path = Full(path_), temp = Full(temp_), bak = Full(backup);
  // The backup as a second name of the file (never replacing one), then the
  // new content under the file's name.  ReplaceFileW keeps the file's
  // attributes and access rights, as the file had them.
  int err = 0;
  if (CreateHardLinkW(bak.c_str(), path.c_str(), nullptr)) {
    if (ReplaceFileW(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
      temp_.clear();
      return 0;
    }
    err = ErrnoOf(GetLastError());
    DeleteFileW(bak.c_str());
  } else if (const DWORD e = GetLastError(); e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ||
                                             e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
    err = ErrnoOf(e);
  } else if ((err = RenameNoReplace(path_, backup)) == 0) {
    // No hard links here: for a moment the file is under its backup name
    // alone.
    if (MoveFileExW(temp.c_str(), path.c_str(), 0)) {
      temp_.clear();
      return 0;
    }
    err = ErrnoOf(GetLastError());
    RenameNoReplace(backup, path_);
  }
  Discard();
  return err;
}

void Replacement::Discard() {
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
  if (!temp_.empty()) DeleteFileW(Wide(temp_).c_str());
  temp_.clear();
}

}  // namespace nomvex::platform
