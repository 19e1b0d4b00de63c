// Annotation of a CSV or text file: every line holding a mobile number gets
// the operator and the region appended; other lines are left out.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "annotate/encoding.h"
#include "platform/files.h"

namespace nomvex {

class NumberTable;

enum class ConvertResult : int {
  kDone = 0,
  kSourceOpen = 1,    // the source cannot be opened
  kDestCreate = 2,    // the destination cannot be created
  kReadFailed = 3,    // reading the source failed part-way
  kWriteFailed = 4,   // writing failed (disk full, I/O error)
  kBackupExists = 5,  // in place: the backup name is taken; nothing changed
  kRenameFailed = 6,  // in place: the file could not be moved to its backup
  kNotRegularFile = 7,  // in place on a device, pipe, link or folder: refused
  kUnsupportedEncoding = 8,  // UTF-16 or UTF-32: nothing was written
  kStopped = 9,         // stopped by the user or a signal
  kOutOfMemory = 10,
};

struct ConvertReport {
  ConvertResult result = ConvertResult::kDone;
  std::string path;   // the file the failure concerns
  int error = 0;      // the system's errno, when there is one
  // In place, after a failure: where the file's content is now.  Empty when
  // it is under its own name, as it is after any failure but a rare one
  // (the system refusing the last rename).
  std::string content_at;
  uint64_t lines_written = 0;
  // With ConvertOptions::count_lines:
  uint64_t lines_read = 0;
  uint64_t lines_unknown = 0;  // written with the table's "not found"
  SourceEncoding encoding;     // as the source was read
};

struct ConvertOptions {
  // Called after each block read: bytes read so far, the source's size.
  std::function<void(uint64_t done, uint64_t total)> progress;
  // Tests put a failing write here to stand for a full disk.
  platform::TextWriter::WriteFn write_fn = nullptr;
  // A regular file is annotated in pieces of this many bytes by up to this
  // many threads at once; 0: the usual.  Tests make pieces small.
  size_t piece_size = 0;
  unsigned threads = 0;
  // A line longer than this many bytes is never held whole: it is scanned
  // in parts and, once its number is found, read again from a regular file
  // or from a scratch file that held it.  0: a megabyte.  Tests make it
  // small.
  size_t line_limit = 0;
  // When this turns nonzero the run stops and cleans up as after a write
  // error, with kStopped: a signal's number, or below 0 for the user.
  const std::atomic<int>* stop = nullptr;
  // kAuto: told from the source's head (DetectEncoding).
  TextEncoding encoding = TextEncoding::kAuto;
  size_t column = 0;       // look only in this CSV field (1-based); 0: anywhere
  bool normalize = false;  // FindNormalizedRun's forms count too
  // "-" names standard input as the source and standard output as the
  // destination (the command line); never in place.
  bool dash_is_stdio = false;
  // Count lines read and lines not in the table (ConvertReport); the plain
  // rule's fastest path does without.
  bool count_lines = false;
};

// Annotates `source` into `destination`.  The same name twice, or two names
// of one regular file, annotate in place: the annotation is written to a new
// file beside it, and once whole the file moves to its name with ".bak"
// appended and the annotation takes its name.  In place is only done to a
// regular file; two names of one terminal or pipe are read and written as
// two files.  After any failure a partial regular destination is removed.
ConvertReport ConvertCsvFile(const NumberTable& table, const std::string& source,
                             const std::string& destination,
                             const ConvertOptions& options = {});

// The first run of digits in a line that qualifies: double quotes and
// hyphens are skipped, any other byte ends a run, and a run qualifies with 7
// or more digits whose first and third are "0".  Writes its first 7 digits.
// Byte by byte: the rule as stated; annotation applies it to many lines at
// once, and is tested against it.
bool FindNumberRun(std::string_view line, char first7[7]);

// The user's words for a result (UTF-8): the fixed message of the failure.
std::string_view ConvertMessage(ConvertResult result);
// The message with the file, the system's reason and where the content is.
std::string ConvertDetails(const ConvertReport& report);
// What a window shows when an annotation it started has ended: the fixed
// message for done and for the two open failures, the details otherwise.
std::string ConvertOutcome(const ConvertReport& report);

}  // namespace nomvex
