// The Windows edge of the core: names are UTF-8 inside the program and
// UTF-16 at the system's wide API; system errors become errno values, so that
// the core reports them the same way on both systems.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nomvex::platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The errno value nearest to a GetLastError() code (EIO when none is near).
int ErrnoOf(unsigned long win32_error);

// Opens a file through CreateFileW and gives a C runtime descriptor for it
// (binary, no translation).  0 or an errno value; EISDIR for a folder.
int OpenForReading(const std::string& path, int& fd);
int CreateForWriting(const std::string& path, int& fd);

// A new file in the user's temporary folder, removed by the system when
// closed (also when the process dies), open for reading and writing.
int CreateScratch(int& fd);

// Reads up to n bytes at `at` without using the descriptor's position, so
// that several threads may read one file: the count, or -errno.
long long ReadAt(int fd, char* p, size_t n, uint64_t at);

}  // namespace nomvex::platform::win32
