// What the program needs of the file system, in one place: the executable's
// own folder, Windows text-mode line reading and writing, file identity and
// a rename that never replaces an existing file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory.h"

namespace nomvex::platform {

// The folder of the running executable, ending in "/".
std::string ExecutableDir();

// True when both names exist and are one file (links, aliases, other case).
bool SameFile(const std::string& a, const std::string& b);

bool Exists(const std::string& path);

// Renames without ever replacing an existing `to`; 0 or an errno value.
int RenameNoReplace(const std::string& from, const std::string& to);

// Reads a file the way the C runtime's text mode does: every CR is dropped,
// a byte 0x1A ends the data, a line ends at LF.  Lines of any length come
// whole; memory grows with the longest line, never with the file.
//
// CRs are dropped cheaply: a file whose CRs all stand before an LF (CR LF
// line ends) keeps them in the buffer, and only the CR at a line's end is
// cut off; in any other file every CR is removed as it is read.
class TextReader {
 public:
  TextReader() = default;
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;
  ~TextReader();

  // 0 or an errno value (EISDIR for a folder).
  int Open(const std::string& path);
  // The next line without its LF; false at the end of the data or on error.
  bool NextLine(std::string_view& line);
  // The next run of whole lines, each ending in LF (the last line of the
  // data may have none); false at the end of the data or on error.  A CR
  // may still stand before an LF and at the very end, nowhere else.  The
  // view stays valid until the next call.
  bool NextLines(std::string_view& lines);
  // The first byte of the data (after CRs are dropped), or -1 when empty.
  int PeekFirstByte();
  int error() const { return error_; }
  uint64_t bytes_read() const { return bytes_read_; }
  uint64_t size() const { return size_; }  // 0 when unknown (a pipe)

 private:
  bool Fill();  // reads more; false at the end or on error
  std::string_view TakeLine(size_t lf);  // the line from start_ to `lf`
  void DropAllCr(size_t from);           // from `from` to end_

  int fd_ = -1;
  int error_ = 0;
  bool eof_ = false;
  // Whether a CR stood anywhere but before an LF: from then on every CR is
  // removed as it is read.
  bool stray_cr_ = false;
  bool cr_at_end_ = false;  // the last read ended in a CR
  uint64_t bytes_read_ = 0;
  uint64_t size_ = 0;
  BigVector<char> buf_;
  size_t start_ = 0;
  size_t end_ = 0;
};

// Text as the C runtime's text mode writes it: every LF becomes CR LF.
std::string ToTextMode(std::string_view text);

// Writes a file through a buffer, bytes as they are: text that holds LFs goes
// through ToTextMode first.  The first failing write is kept and later
// writes are dropped.
class TextWriter {
 public:
  using WriteFn = ssize_t (*)(int fd, const void* data, size_t size);

  TextWriter() = default;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter();

  // Creates or empties the file; 0 or an errno value.
  int Create(const std::string& path);
  void Write(std::string_view text) {
    if (text.size() <= buf_.size() - used_) {  // the common case, inline
      std::memcpy(buf_.data() + used_, text.data(), text.size());
      used_ += text.size();
    } else {
      Raw(text.data(), text.size());
    }
  }
  // Room for `n` more bytes at the end of what is written, to be filled and
  // then kept with Commit: lets a caller copy in fixed-size blocks.
  char* Reserve(size_t n) {
    if (buf_.size() - used_ < n) MakeRoom(n);
    return buf_.data() + used_;
  }
  void Commit(size_t n) { used_ += n; }
  // Flushes and closes; 0 or the errno of the first failure.
  int Close();
  int error() const { return error_; }
  bool is_regular_file() const { return regular_; }
  // Tests put a failing write here to stand for a full disk.
  void set_write_fn(WriteFn fn) { write_ = fn; }

 private:
  void Raw(const char* data, size_t size);
  void MakeRoom(size_t n);
  void Flush();

  int fd_ = -1;
  int error_ = 0;
  bool regular_ = false;
  WriteFn write_ = nullptr;
  BigVector<char> buf_;
  size_t used_ = 0;
};

}  // namespace nomvex::platform
