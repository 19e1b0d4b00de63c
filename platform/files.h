// What the program needs of the file system, in one place: the executable's
// own folder, Windows text-mode line reading and writing, file identity and
// a rename that never replaces an existing file.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory.h"

namespace nomvex::platform {

// The folder of the running executable, ending in "/" ("\\" on Windows).
// Names are UTF-8 on Windows too; the wide system calls get them converted.
std::string ExecutableDir();

// True when both names exist and are one file (links, aliases, other case).
bool SameFile(const std::string& a, const std::string& b);

bool Exists(const std::string& path);

// True when the name leads to a regular file (links followed).
bool IsRegularFile(const std::string& path);

// True when standard input is the regular file that `path` names.
bool StdinIsFile(const std::string& path);

// Renames without ever replacing an existing `to`; 0 or an errno value.
int RenameNoReplace(const std::string& from, const std::string& to);

// Reads n bytes at `at` unless the file ends first, without moving the
// descriptor's position (several threads may read one file): the count, or
// -errno.
ssize_t ReadAt(int fd, char* p, size_t n, uint64_t at);

// Removes a file; 0 or an errno value.
int RemoveFile(const std::string& path);

// Whether a name is a regular file itself (a link is not): 0 or an errno
// value (ENOENT when nothing has the name).
int NameIsRegular(const std::string& path, bool& regular);

// A second descriptor of an open file, not handed to child processes; -1
// with errno set on failure.
int DuplicateFd(int fd);

// The new content of a file that is replaced whole: written to a new file
// in the same folder, which takes the file's name only once complete, so
// that the name always holds either the old content or the whole new one.
class Replacement {
 public:
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement() { Discard(); }

  // Creates the new file beside `path`, with the owner and group of
  // `original` where the process may set them and its permission bits, never
  // readable by more than the original: a group that cannot be kept gets
  // only what others get.  Where the system allows it the file has no name
  // until Commit, so that nothing is left behind if the process dies.
  // 0 or an errno value.
  int Create(const std::string& path, const struct stat& original);
  int fd() const { return fd_; }
  // Moves the file at `path` to `backup` (never replacing an existing one)
  // and the new file to `path`.  Where hard links work, `path` never stops
  // naming a whole file: the backup is linked first, then the new file
  // renamed over `path`.  0 or an errno value (EEXIST: `backup` is taken);
  // after a failure `path` still holds the old content.
  int Commit(const std::string& backup);
  // Removes the new file, if it was not committed.
  void Discard();

  // A file to be made under `path`, which does not exist yet, created as
  // opening it would (the umask's permissions) but with no name, so that a
  // name never holds part of it.  EOPNOTSUPP where the system has no
  // unnamed files: the caller then creates `path` itself.
  int CreateNew(const std::string& path);
  // Gives the new file its name (replacing a file that appeared there
  // meanwhile); 0 or an errno value.
  int CommitNew();

 private:
  int GiveName();  // an unnamed file gets a name beside `path_`

  std::string path_;
  std::string temp_;  // the new file's name; empty while it has none
  int fd_ = -1;
};

// Bytes that must wait on disk, not in memory: a file with no name where
// the system allows it (otherwise its name is removed at once, or it goes
// when closed), made at the first Append in `dir` (unless empty) or else
// the temporary folder.
class ScratchFile {
 public:
  ScratchFile() = default;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile();

  // Adds bytes at the end; 0 or an errno value.
  int Append(const std::string& dir, std::string_view bytes);
  uint64_t size() const { return size_; }
  // Up to n bytes from `at`: the count, or -errno.
  ssize_t Read(char* p, size_t n, uint64_t at) const;
  // Empty again; the file is written over.
  void Clear() { size_ = 0; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The folder part of a name, ending in "/" ("./" for a bare name; on
// Windows "\\" or ":" may end it too).
std::string FolderOf(const std::string& path);

// The first `n` bytes of an open regular file (all of a shorter one), read
// by offset so that the file's position does not move; false when the file
// is not regular or not positioned at its start (standard input may be
// either), or cannot be read.
bool ReadFileStart(int fd, size_t n, std::string& bytes);

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
  // Reads from an open descriptor (standard input), which it then owns.
  int Adopt(int fd);
  // A read interrupted by a signal gives up (error EINTR) once *stop is
  // nonzero, and is tried again otherwise.
  void set_stop(const std::atomic<int>* stop) { stop_ = stop; }
  // The next line without its LF; false at the end of the data or on error.
  bool NextLine(std::string_view& line);
  // The next run of whole lines, each ending in LF (the last line of the
  // data may have none); false at the end of the data or on error.  A CR
  // may still stand before an LF and at the very end, nowhere else.  The
  // view stays valid until the next call.
  //
  // With a line limit, a line that grows past it without an LF comes in
  // parts instead (partial_line() tells one, with no LF in it); the next
  // call goes on with the rest of that line.  Memory then stays within the
  // limit and a read, whatever the lines.
  bool NextLines(std::string_view& lines);
  void set_line_limit(size_t bytes) { line_limit_ = bytes; }
  bool partial_line() const { return partial_; }
  // The first byte of the data (after CRs are dropped), or -1 when empty.
  int PeekFirstByte();
  // The data not yet given out, at least `n` bytes of it unless the data
  // ends first; nothing is consumed.  Valid until the next call.
  std::string_view Peek(size_t n);
  int error() const { return error_; }
  uint64_t bytes_read() const { return bytes_read_; }
  uint64_t size() const { return size_; }  // 0 when unknown (a pipe)
  bool is_regular_file() const { return regular_; }
  int fd() const { return fd_; }

 private:
  bool Fill();  // reads more; false at the end or on error
  std::string_view TakeLine(size_t lf);  // the line from start_ to `lf`
  void DropAllCr(size_t from);           // from `from` to end_

  int fd_ = -1;
  int error_ = 0;
  const std::atomic<int>* stop_ = nullptr;
  bool eof_ = false;
  // Whether a CR stood anywhere but before an LF: from then on every CR is
  // removed as it is read.
  bool stray_cr_ = false;
  bool cr_at_end_ = false;  // the last read ended in a CR
  bool regular_ = false;
  bool partial_ = false;
  size_t line_limit_ = 0;  // 0: none
  uint64_t bytes_read_ = 0;
  uint64_t size_ = 0;
  BigVector<char> buf_;
  size_t start_ = 0;
  size_t end_ = 0;
};

// A regular file read in pieces, by several threads at once.  Piece i holds
// the lines that start in its bytes [i * piece_size, (i + 1) * piece_size),
// the last of them whole (it may reach into later pieces), read as
// TextReader reads them.  The pieces in order give what TextReader gives,
// but that no piece counts after one that ends the data (a 0x1A).
class PieceReader {
 public:
  static constexpr uint64_t kNoLongLine = ~uint64_t{0};
  struct Piece {
    std::string_view lines;  // whole lines, in the caller's buffer
    bool end_of_data = false;
    uint64_t end = 0;  // where the piece's bytes end in the file
    int error = 0;
    // Where the piece's last line starts in the file, when it reaches more
    // than the line limit past its start: it is not in `lines`, and is read
    // with ReadLongLine.
    uint64_t long_line = kNoLongLine;
  };
  // A part of a line too long to hold, as text mode reads it (CRs dropped).
  struct Stretch {
    std::string_view bytes;  // in the caller's buffer
    bool line_ended = false;  // at its LF, a 0x1A or the end of the file
    bool end_of_data = false;  // at a 0x1A
    int error = 0;
  };

  // The file stays the caller's; `size` is its size when opened.  A last
  // line reaching more than `line_limit` bytes past the piece is left to
  // ReadLongLine.
  PieceReader(int fd, uint64_t size, size_t piece_size, size_t line_limit = ~size_t{0});
  size_t count() const { return count_; }
  size_t piece_size() const { return piece_; }
  uint64_t size() const { return size_; }
  // The first byte of the data, CRs skipped; -1 when there is none.
  int FirstByte() const;
  // May be called from any thread, each with a buffer of its own.
  Piece Read(size_t index, BigVector<char>& buf) const;
  // The next stretch of at most the line limit of a line, from `at`, which
  // moves past it (past the LF at the line's end).
  Stretch ReadLongLine(uint64_t& at, BigVector<char>& buf) const;

 private:
  // Appends up to `n` bytes from `at` to buf[0, used); 0 at the end of the
  // file, or -errno.
  ssize_t Append(BigVector<char>& buf, size_t& used, uint64_t at, size_t n) const;

  int fd_;
  uint64_t size_;
  size_t piece_;
  size_t line_limit_;
  size_t count_;
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
  // Writes to an open file, which the writer then owns.
  void Adopt(int fd);
  void Write(std::string_view text) {
    if (!text.empty() && text.size() <= buf_.size() - used_) {  // the common case, inline
      std::memcpy(buf_.data() + used_, text.data(), text.size());
      used_ += text.size();
    } else {
      Raw(text.data(), text.size());
    }
  }
  // Keeps what is written in memory instead of a file, growing as needed,
  // with room for `n` bytes to begin with: for a thread that waits for its
  // turn to write.
  void Hold(size_t n);
  std::string_view held() const { return {buf_.data(), used_}; }
  void Clear() { used_ = 0; }
  // Writes a block after what is buffered, without copying it.
  void WriteThrough(std::string_view block);
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
  // As TextReader::set_stop, for a write interrupted by a signal.
  void set_stop(const std::atomic<int>* stop) { stop_ = stop; }

 private:
  void Raw(const char* data, size_t size);
  void MakeRoom(size_t n);
  void Flush();
  void Put(const char* p, size_t n);

  int fd_ = -1;
  int error_ = 0;
  bool regular_ = false;
  bool holding_ = false;
  WriteFn write_ = nullptr;
  const std::atomic<int>* stop_ = nullptr;
  BigVector<char> buf_;
  size_t used_ = 0;
};

}  // namespace nomvex::platform
