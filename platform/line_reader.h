// Reading the program's own small files (the number table, the settings):
// short lines, read the way the C runtime's text mode reads them, with a
// bound on what is held whatever the file holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace nomvex::platform {

// Every CR is dropped, a byte 0x1A ends the data, a line ends at LF (the
// last one may have none).  At most `limit` bytes of a line are kept: the
// rest of a longer line is read past, never held.  Only a regular file is
// opened: a FIFO would hold the reader until someone writes, and a device
// such as /dev/zero would feed it without end.
class BoundedLineReader {
 public:
  explicit BoundedLineReader(size_t limit) : limit_(limit) {}
  BoundedLineReader(const BoundedLineReader&) = delete;
  BoundedLineReader& operator=(const BoundedLineReader&) = delete;
  ~BoundedLineReader();

  // 0 or an errno value: EISDIR for a folder, EINVAL for anything else that
  // is not a regular file.
  int Open(const std::string& path);
  // The next line without its LF, cut to `limit` bytes; `cut` tells that it
  // was longer.  False at the end of the data or on a read error.  The view
  // stays valid until the next call.
  bool NextLine(std::string_view& line, bool& cut);
  uint64_t size() const { return size_; }
  int error() const { return error_; }

 private:
  bool Fill();

  size_t limit_;
  int fd_ = -1;
  int error_ = 0;
  bool eof_ = false;
  uint64_t size_ = 0;
  std::unique_ptr<char[]> buf_;
  size_t pos_ = 0;
  size_t end_ = 0;
  std::string line_;  // a line that is not whole in the buffer, or holds CRs
};

}  // namespace nomvex::platform
