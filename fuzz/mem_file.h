// A file in memory that the code under test opens by name, as it opens a
// file on disk: nothing is left behind, and nothing waits on a disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace nomvex::fuzz {

class MemFile {
 public:
  MemFile() : fd_(memfd_create("nomvex-fuzz", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemFile() { close(fd_); }
  const std::string& path() const { return path_; }

  void Set(std::string_view bytes) {
    if (ftruncate(fd_, 0) != 0) std::abort();
    for (size_t at = 0; at < bytes.size();) {
      ssize_t n = pwrite(fd_, bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
      if (n <= 0) std::abort();
      at += static_cast<size_t>(n);
    }
  }
  std::string Get() const {
    std::string out;
    char buf[65536];
    for (off_t at = 0;;) {
      ssize_t n = pread(fd_, buf, sizeof buf, at);
      if (n < 0) std::abort();
      if (n == 0) return out;
      out.append(buf, static_cast<size_t>(n));
      at += n;
    }
  }

 private:
  int fd_;
  std::string path_;
};

// Text as the C runtime's text mode reads it: the data ends at the first
// 0x1A and every CR is dropped.  Byte by byte, as a reference.
inline std::string TextMode(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::string text;
  for (char c : bytes)
    if (c != '\r') text.push_back(c);
  return text;
}

// Calls f(line) for every line of `text`, without its LF; the last line
// counts without an LF too, unless it is empty.
template <class F>
void ForEachLine(std::string_view text, F f) {
  for (size_t at = 0; at < text.size();) {
    size_t lf = text.find('\n', at);
    if (lf == std::string_view::npos) lf = text.size();
    f(text.substr(at, lf - at));
    at = lf + 1;
  }
}

}  // namespace nomvex::fuzz
