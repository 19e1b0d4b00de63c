#include "platform/files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>

#include "platform/win32/wide.h"
#endif

#include <algorithm>
#ifdef __SSE2__
#include <immintrin.h>
#endif
#include <cerrno>
#include <cstring>

namespace nomvex::platform {
namespace {

// A read or write call can cost tens of microseconds on a virtual machine:
// at a megabyte a call that is little next to the copying.  The buffers come
// from the huge-page region, so their size costs no faults.
constexpr size_t kChunk = 1 << 20;

constexpr char kEndOfData = 0x1A;

// The offset of the first byte 0x1A or CR not followed by an LF (the last
// byte's follower is not known yet), or n: both are rare, and one pass
// looks for both.
size_t FindEndOrStrayCrNarrow(const char* p, size_t n) {
  size_t i = 0;
#ifdef __SSE2__
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  const __m128i end = _mm_set1_epi8(kEndOfData);
  for (; i + 17 <= n; i += 16) {
    __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
    __m128i stray = _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(here, cr));
    if (int m = _mm_movemask_epi8(_mm_or_si128(stray, _mm_cmpeq_epi8(here, end))))
      return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(m)));
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == kEndOfData) return i;
    if (p[i] == '\r' && i + 1 < n && p[i + 1] != '\n') return i;
  }
  return n;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same 32 bytes at a time, for processors with AVX2: this pass reads
// every byte of the file.
__attribute__((target("avx2"))) size_t FindEndOrStrayCrWide(const char* p, size_t n) {
  const __m256i cr = _mm256_set1_epi8('\r'), lf = _mm256_set1_epi8('\n');
  const __m256i end = _mm256_set1_epi8(kEndOfData);
  size_t i = 0;
  for (; i + 33 <= n; i += 32) {
    __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1));
    __m256i stray = _mm256_andnot_si256(_mm256_cmpeq_epi8(next, lf), _mm256_cmpeq_epi8(here, cr));
    if (int m = _mm256_movemask_epi8(_mm256_or_si256(stray, _mm256_cmpeq_epi8(here, end))))
      return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(m)));
  }
  return i + FindEndOrStrayCrNarrow(p + i, n - i);
}
#endif

size_t FindEndOrStrayCr(const char* p, size_t n) {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) return FindEndOrStrayCrWide(p, n);
#endif
  return FindEndOrStrayCrNarrow(p, n);
}

// Removes every CR from p[0, n); the new length.
size_t DropCr(char* p, size_t n) {
  char* end = p + n;
  char* cr = static_cast<char*>(std::memchr(p, '\r', n));
  if (!cr) return n;
  char* out = cr;
  for (char* q = cr + 1; q < end; ++q)
    if (*q != '\r') *out++ = *q;
  return static_cast<size_t>(out - p);
}

// How many bytes of p[0, n) come before a 0x1A (n when none does), and
// whether a CR not followed by an LF stands among them.
size_t BeforeEndOfData(const char* p, size_t n, bool& stray) {
  const size_t first = FindEndOrStrayCr(p, n);
  stray = first < n && p[first] == '\r';
  if (!stray) return first;
  const void* eot = std::memchr(p + first, kEndOfData, n - first);
  return eot ? static_cast<size_t>(static_cast<const char*>(eot) - p) : n;
}

// Text mode on whole lines in place: the data ends at the first 0x1A
// (`ended` then), and when a CR stands anywhere but before an LF every CR
// goes.  The new length.
size_t TextModeOnLines(char* p, size_t n, bool& ended) {
  bool stray;
  const size_t kept = BeforeEndOfData(p, n, stray);
  ended = kept < n;
  return stray ? DropCr(p, kept) : kept;
}

}  // namespace

ssize_t ReadAt(int fd, char* p, size_t n, uint64_t at) {
#ifdef _WIN32
  return static_cast<ssize_t>(win32::ReadAt(fd, p, n, at));
#else
  size_t got = 0;
  while (got < n) {
    ssize_t r = pread(fd, p + got, n - got, static_cast<off_t>(at + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -errno;
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(got);
#endif
}

namespace {

#ifdef _WIN32
// The last byte c in p[0, n), as glibc's memrchr finds it.
const void* memrchr(const void* p, int c, size_t n) {
  const char* bytes = static_cast<const char*>(p);
  while (n > 0)
    if (bytes[--n] == static_cast<char>(c)) return bytes + n;
  return nullptr;
}

ssize_t WriteFd(int fd, const void* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
}
#else
ssize_t WriteFd(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
#endif

}  // namespace

std::string FolderOf(const std::string& path) {
#ifdef _WIN32
  const size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? ".\\" : path.substr(0, slash + 1);
#else
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
#endif
}

// What the system does for these is in platform/win32/files.cpp on Windows.
#ifndef _WIN32

std::string ExecutableDir() {
  std::string path(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return "./";
  path.resize(static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool StdinIsFile(const std::string& path) {
  struct stat in, named;
  return fstat(STDIN_FILENO, &in) == 0 && S_ISREG(in.st_mode) &&
         stat(path.c_str(), &named) == 0 && in.st_dev == named.st_dev && in.st_ino == named.st_ino;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing
  // name just the same.
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  if (unlink(from.c_str()) != 0) {
    int e = errno;
    unlink(to.c_str());
    return e;
  }
  return 0;
}


namespace {

// Whether a file made with O_TMPFILE can be given a name later: that goes
// through /proc.
bool CanNameUnnamed() {
  static const bool can = access("/proc/self/fd", X_OK) == 0;
  return can;
}

// File systems without O_TMPFILE answer one of these.
bool NoUnnamedFiles(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

}  // namespace

int Replacement::Create(const std::string& path, const struct stat& original) {
  Discard();
  path_ = path;
  if (CanNameUnnamed()) {
    fd_ = open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ < 0 && !NoUnnamedFiles(errno)) return errno;
  }
  if (fd_ < 0) {
    std::string name = path + ".nomvex-XXXXXX";
    fd_ = mkostemp(name.data(), O_CLOEXEC);  // 0600
    if (fd_ < 0) return errno;
    temp_ = name;
  }
  // Owner and group where allowed (root may set both, a member of the
  // group the group); failures leave the process's own.
  if (fchown(fd_, original.st_uid, original.st_gid) != 0)
    (void)!fchown(fd_, static_cast<uid_t>(-1), original.st_gid);
  mode_t mode = original.st_mode & 0777;
  struct stat now;
  if (fstat(fd_, &now) != 0 || now.st_gid != original.st_gid)
    mode = (mode & ~mode_t{070}) | (mode & ((mode & 07) << 3));
  // Should this fail, the file stays readable by its owner alone.
  (void)!fchmod(fd_, mode);
  return 0;
}

int Replacement::CreateNew(const std::string& path) {
  Discard();
  path_ = path;
  if (!CanNameUnnamed()) return EOPNOTSUPP;
  fd_ = open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ < 0) return NoUnnamedFiles(errno) ? EOPNOTSUPP : errno;
  return 0;
}

int Replacement::CommitNew() {
  if (fd_ < 0) return EBADF;
  const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
  int err = 0;
  if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    close(fd_);
    fd_ = -1;
    return 0;
  }
  err = errno;
  if (err == EEXIST && (err = GiveName()) == 0) {
    if (rename(temp_.c_str(), path_.c_str()) == 0) {
      temp_.clear();
      Discard();
      return 0;
    }
    err = errno;
  }
  Discard();
  return err;
}

int Replacement::GiveName() {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = path_ + ".nomvex-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp_ = std::move(name);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int Replacement::Commit(const std::string& backup) {
  if (fd_ < 0) return EBADF;
  if (temp_.empty()) {
    if (int err = GiveName()) {
      Discard();
      return err;
    }
  }
  close(fd_);
  fd_ = -1;
  int err = 0;
  if (link(path_.c_str(), backup.c_str()) == 0) {
    if (rename(temp_.c_str(), path_.c_str()) == 0) {
      temp_.clear();
      return 0;
    }
    err = errno;
    unlink(backup.c_str());
  } else if (errno == EEXIST || errno == ENOENT) {
    err = errno;
  } else if ((err = RenameNoReplace(path_, backup)) == 0) {
    // No hard links here: for a moment the file is under its backup name
    // alone.
    if (rename(temp_.c_str(), path_.c_str()) == 0) {
      temp_.clear();
      return 0;
    }
    err = errno;
    RenameNoReplace(backup, path_);
  }
  Discard();
  return err;
}

void Replacement::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

int RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : errno; }

int NameIsRegular(const std::string& path, bool& regular) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno;
  regular = S_ISREG(st.st_mode);
  return 0;
}

int DuplicateFd(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 0); }

#endif  // !_WIN32

bool ReadFileStart(int fd, size_t n, std::string& bytes) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || lseek(fd, 0, SEEK_CUR) != 0) return false;
  bytes.resize(n);
  const ssize_t got = ReadAt(fd, bytes.data(), n, 0);
  if (got < 0) return false;
  bytes.resize(static_cast<size_t>(got));
  return true;
}

ScratchFile::~ScratchFile() {
  if (fd_ >= 0) close(fd_);
}

int ScratchFile::Append(const std::string& dir, std::string_view bytes) {
  if (fd_ < 0) {
#ifdef _WIN32
    // In the user's temporary folder, gone when closed.
    if (int err = win32::CreateScratch(fd_)) return err;
    (void)dir;
#else
    const char* tmp = getenv("TMPDIR");
    const std::string folders[] = {dir, tmp && *tmp ? std::string(tmp) + "/" : "/tmp/"};
    int err = 0;
    for (const std::string& folder : folders) {
      if (folder.empty()) continue;
      fd_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
      if (fd_ >= 0) break;
      std::string name = folder + "nomvex-XXXXXX";
      fd_ = mkostemp(name.data(), O_CLOEXEC);
      if (fd_ >= 0) {
        unlink(name.c_str());
        break;
      }
      err = errno;
    }
    if (fd_ < 0) return err;
#endif
  }
#ifdef _WIN32
  if (_lseeki64(fd_, static_cast<long long>(size_), SEEK_SET) < 0) return errno;
#endif
  for (size_t done = 0; done < bytes.size();) {
#ifdef _WIN32
    const ssize_t n = WriteFd(fd_, bytes.data() + done, bytes.size() - done);
#else
    const ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(size_ + done));
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  size_ += bytes.size();
  return 0;
}

ssize_t ScratchFile::Read(char* p, size_t n, uint64_t at) const { return ReadAt(fd_, p, n, at); }

TextReader::~TextReader() {
  if (fd_ >= 0) close(fd_);
}

int TextReader::Open(const std::string& path) {
#ifdef _WIN32
  int fd = -1;
  if (int err = win32::OpenForReading(path, fd)) return err;
  return Adopt(fd);
#else
  return Adopt(open(path.c_str(), O_RDONLY | O_CLOEXEC));
#endif
}

int TextReader::Adopt(int fd) {
  fd_ = fd;
  if (fd_ < 0) return errno;
  struct stat st;
  if (fstat(fd_, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      close(fd_);
      fd_ = -1;
      return EISDIR;
    }
    regular_ = S_ISREG(st.st_mode);
    if (regular_) size_ = static_cast<uint64_t>(st.st_size);
  }
  return 0;
}

bool TextReader::Fill() {
  if (eof_ || error_ || fd_ < 0) return false;
  if (buf_.empty()) buf_.resize(kChunk);
  if (start_ > 0) {
    std::memmove(buf_.data(), buf_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  if (buf_.size() - end_ < kChunk / 2) buf_.resize(buf_.size() * 2);
  ssize_t got;
  do {
    got = read(fd_, buf_.data() + end_, buf_.size() - end_);
  } while (got < 0 && errno == EINTR && !(stop_ && stop_->load(std::memory_order_relaxed)));
  if (got < 0) {
    error_ = errno;
    return false;
  }
  if (got == 0) {
    eof_ = true;
    return false;
  }
  bytes_read_ += static_cast<uint64_t>(got);
  char* fresh = buf_.data() + end_;
  bool stray;
  const size_t n = BeforeEndOfData(fresh, static_cast<size_t>(got), stray);
  if (n < static_cast<size_t>(got)) eof_ = true;
  end_ += n;
  if (stray_cr_) {
    DropAllCr(end_ - n);
  } else if (n > 0) {
    // A CR that ended the last read is judged by the first byte of this one;
    // it is still in the buffer, in the line not yet given out.
    stray_cr_ = (cr_at_end_ && fresh[0] != '\n') || stray;
    cr_at_end_ = fresh[n - 1] == '\r';
    if (stray_cr_) DropAllCr(start_);
  }
  return true;
}

void TextReader::DropAllCr(size_t from) {
  end_ = from + DropCr(buf_.data() + from, end_ - from);
}

std::string_view TextReader::TakeLine(size_t lf) {
  std::string_view line(buf_.data() + start_, lf - start_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  start_ = lf < end_ ? lf + 1 : end_;
  return line;
}

bool TextReader::NextLines(std::string_view& lines) {
  size_t searched = start_;
  partial_ = false;
  for (;;) {
    const char* base = buf_.data();
    const void* lf = end_ > searched ? memrchr(base + searched, '\n', end_ - searched) : nullptr;
    if (lf) {
      size_t last = static_cast<size_t>(static_cast<const char*>(lf) - base);
      lines = std::string_view(base + start_, last + 1 - start_);
      start_ = last + 1;
      return true;
    }
    size_t pending = end_ - start_;
    if (line_limit_ && pending > line_limit_) {
      lines = std::string_view(buf_.data() + start_, pending);
      start_ = end_;
      partial_ = true;
      return true;
    }
    if (!Fill()) {
      if (!eof_ || end_ == start_) return false;
      lines = std::string_view(buf_.data() + start_, end_ - start_);  // no LF at the end
      start_ = end_;
      return true;
    }
    searched = start_ + pending;
  }
}

bool TextReader::NextLine(std::string_view& line) {
  size_t searched = start_;
  for (;;) {
    const char* base = buf_.data();
    const void* lf = end_ > searched ? std::memchr(base + searched, '\n', end_ - searched) : nullptr;
    if (lf) {
      line = TakeLine(static_cast<size_t>(static_cast<const char*>(lf) - base));
      return true;
    }
    size_t pending = end_ - start_;
    if (!Fill()) {
      if (eof_ && end_ > start_) {  // a last line without LF
        line = TakeLine(end_);
        return true;
      }
      return false;
    }
    searched = start_ + pending;  // Fill moved the pending bytes to start_
  }
}

int TextReader::PeekFirstByte() {
  for (size_t at = start_;; ++at) {
    while (at >= end_) {
      size_t offset = at - start_;
      if (!Fill()) return -1;
      at = start_ + offset;
    }
    if (buf_[at] != '\r') return static_cast<unsigned char>(buf_[at]);
  }
}

std::string_view TextReader::Peek(size_t n) {
  while (end_ - start_ < n && Fill()) {
  }
  return {buf_.data() + start_, end_ - start_};
}

PieceReader::PieceReader(int fd, uint64_t size, size_t piece_size, size_t line_limit)
    : fd_(fd), size_(size), piece_(piece_size), line_limit_(std::max<size_t>(1, line_limit)),
      count_(static_cast<size_t>(std::max<uint64_t>(1, (size + piece_size - 1) / piece_size))) {}

int PieceReader::FirstByte() const {
  char block[4096];
  for (uint64_t at = 0;; at += sizeof block) {
    const ssize_t n = ReadAt(fd_, block, sizeof block, at);
    for (ssize_t i = 0; i < n; ++i) {
      if (block[i] == kEndOfData) return -1;
      if (block[i] != '\r') return static_cast<unsigned char>(block[i]);
    }
    if (n < static_cast<ssize_t>(sizeof block)) return -1;
  }
}

ssize_t PieceReader::Append(BigVector<char>& buf, size_t& used, uint64_t at, size_t n) const {
  if (buf.size() < used + n) buf.resize(std::max(used + n, buf.size() + buf.size() / 2));
  const ssize_t got = ReadAt(fd_, buf.data() + used, n, at);
  if (got > 0) used += static_cast<size_t>(got);
  return got;
}

PieceReader::Piece PieceReader::Read(size_t index, BigVector<char>& buf) const {
  Piece piece;
  const uint64_t begin = static_cast<uint64_t>(index) * piece_;
  piece.end = std::min(begin + piece_, size_);
  // The byte before the piece is read too: an LF there starts a line at
  // `begin`.
  const uint64_t from = begin > 0 ? begin - 1 : 0;
  // Room for the usual overrun into the next piece, once for all pieces.
  if (buf.size() < piece_ + 65536) buf.resize(piece_ + 65536);
  size_t used = 0;
  const ssize_t got = Append(buf, used, from, piece.end - from);
  if (got < 0) {
    piece.error = static_cast<int>(-got);
    return piece;
  }
  size_t start = 0;
  if (begin > 0) {
    const void* lf = std::memchr(buf.data(), '\n', used);
    if (!lf) return piece;  // inside a line that began earlier
    start = static_cast<size_t>(static_cast<const char*>(lf) - buf.data()) + 1;
  }
  // A line that starts after the piece's last byte is the next piece's.
  if (start == used) return piece;
  // The last line goes on to its LF, up to the line limit past the piece.
  const size_t own = used;
  for (size_t step = 4096; buf[used - 1] != '\n'; step = std::min(step * 2, piece_ + 4096)) {
    if (used - own >= line_limit_) {
      const void* lf = memrchr(buf.data() + start, '\n', own - start);
      const size_t last = lf ? static_cast<size_t>(static_cast<const char*>(lf) - buf.data()) + 1
                             : start;
      piece.long_line = from + last;
      used = last;
      break;
    }
    const size_t before = used;
    const ssize_t got = Append(buf, used, from + used, std::min(step, line_limit_ - (used - own)));
    if (got < 0) {
      piece.error = static_cast<int>(-got);
      return piece;
    }
    if (got == 0) break;  // the last line of the data, without LF
    if (const void* lf = std::memchr(buf.data() + before, '\n', used - before))
      used = static_cast<size_t>(static_cast<const char*>(lf) - buf.data()) + 1;
  }
  const size_t n = TextModeOnLines(buf.data() + start, used - start, piece.end_of_data);
  piece.lines = std::string_view(buf.data() + start, n);
  if (piece.end_of_data) piece.long_line = kNoLongLine;
  return piece;
}

PieceReader::Stretch PieceReader::ReadLongLine(uint64_t& at, BigVector<char>& buf) const {
  Stretch s;
  if (buf.size() < line_limit_) buf.resize(line_limit_);
  const ssize_t got = ReadAt(fd_, buf.data(), line_limit_, at);
  if (got < 0) {
    s.error = static_cast<int>(-got);
    return s;
  }
  char* p = buf.data();
  size_t n = static_cast<size_t>(got);
  s.line_ended = n == 0;
  const char* lf = static_cast<const char*>(std::memchr(p, '\n', n));
  const size_t line = lf ? static_cast<size_t>(lf - p) : n;
  if (const void* eot = std::memchr(p, kEndOfData, line)) {
    n = static_cast<size_t>(static_cast<const char*>(eot) - p);
    s.line_ended = s.end_of_data = true;
  } else if (lf) {
    n = line;
    s.line_ended = true;
  }
  at += n + (lf && !s.end_of_data);
  s.bytes = std::string_view(p, DropCr(p, n));
  return s;
}

TextWriter::~TextWriter() {
  if (fd_ >= 0) close(fd_);
}

int TextWriter::Create(const std::string& path) {
#ifdef _WIN32
  if (int err = win32::CreateForWriting(path, fd_)) return err;
#else
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return errno;
#endif
  struct stat st;
  regular_ = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  return 0;
}

void TextWriter::Adopt(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  struct stat st;
  regular_ = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

void TextWriter::Hold(size_t n) {
  holding_ = true;
  buf_.resize(n);
}

void TextWriter::WriteThrough(std::string_view block) {
  Flush();
  Put(block.data(), block.size());
}

std::string ToTextMode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

void TextWriter::Raw(const char* data, size_t size) {
  if (error_ || size == 0) return;
  std::memcpy(Reserve(size), data, size);
  Commit(size);
}

void TextWriter::MakeRoom(size_t n) {
  if (holding_) {
    buf_.resize(std::max(used_ + n, buf_.size() * 2));
    return;
  }
  Flush();
  if (n > buf_.size()) buf_.resize(std::max(n, kChunk));
}

void TextWriter::Flush() {
  Put(buf_.data(), used_);
  used_ = 0;
}

void TextWriter::Put(const char* p, size_t left) {
  WriteFn fn = write_ ? write_ : &WriteFd;
  while (left > 0 && !error_) {
    ssize_t n = fn(fd_, p, left);
    if (n < 0) {
      if (errno != EINTR || (stop_ && stop_->load(std::memory_order_relaxed))) error_ = errno;
      continue;
    }
    if (n == 0) error_ = EIO;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

int TextWriter::Close() {
  if (fd_ < 0) return error_;
  Flush();
  if (close(fd_) != 0 && !error_) error_ = errno;
  fd_ = -1;
  return error_;
}

}  // namespace nomvex::platform
