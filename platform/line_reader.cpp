#include "platform/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include "platform/win32/wide.h"
#endif

#include <cerrno>
#include <cstring>

namespace nomvex::platform {
namespace {

constexpr size_t kBlock = 64 << 10;
constexpr char kEndOfData = 0x1A;

}  // namespace

BoundedLineReader::~BoundedLineReader() {
  if (fd_ >= 0) close(fd_);
}

int BoundedLineReader::Open(const std::string& path) {
  // Non-blocking, so that opening a FIFO does not wait for a writer; it is
  // refused below, and for a regular file the flag changes nothing.
#ifdef _WIN32
  if (int err = win32::OpenForReading(path, fd_)) return err;
#else
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) return errno;
#endif
  struct stat st;
  int err = 0;
  if (fstat(fd_, &st) != 0) err = errno;
  else if (S_ISDIR(st.st_mode)) err = EISDIR;
  else if (!S_ISREG(st.st_mode)) err = EINVAL;
  if (err) {
    close(fd_);
    fd_ = -1;
    return err;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  buf_ = std::make_unique<char[]>(kBlock);
  line_.reserve(limit_);
  return 0;
}

bool BoundedLineReader::Fill() {
  if (eof_ || error_ || fd_ < 0) return false;
  ssize_t got;
  do {
    got = read(fd_, buf_.get(), kBlock);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    if (got < 0) error_ = errno;
    eof_ = true;
    return false;
  }
  pos_ = 0;
  end_ = static_cast<size_t>(got);
  if (const void* stop = std::memchr(buf_.get(), kEndOfData, end_)) {
    end_ = static_cast<size_t>(static_cast<const char*>(stop) - buf_.get());
    eof_ = true;  // nothing after it is read
  }
  return true;
}

bool BoundedLineReader::NextLine(std::string_view& line, bool& cut) {
  line_.clear();
  cut = false;
  bool started = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      // A last line without LF counts; one cut short by a read error does not.
      if (!started || error_) return false;
      line = line_;
      return true;
    }
    const char* p = buf_.get() + pos_;
    const size_t n = end_ - pos_;
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', n));
    const size_t seg = lf ? static_cast<size_t>(lf - p) : n;
    if (lf && !started) {
      // The common case: a whole line in the buffer, at most a CR before its
      // LF, given out where it stands.
      size_t len = seg;
      if (len > 0 && p[len - 1] == '\r') --len;
      if (len <= limit_ && !std::memchr(p, '\r', len)) {
        pos_ += seg + 1;
        line = std::string_view(p, len);
        return true;
      }
    }
    started = true;
    for (size_t i = 0; i < seg && !cut; ++i) {
      if (p[i] == '\r') continue;
      if (line_.size() == limit_) cut = true;
      else line_.push_back(p[i]);
    }
    pos_ += seg;
    if (lf) {
      ++pos_;
      line = line_;
      return true;
    }
  }
}

}  // namespace nomvex::platform
