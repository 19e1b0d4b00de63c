#include "annotate/convert.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "examine/rules.h"
#include "table/number_table.h"

namespace nomvex {
namespace {

enum : unsigned char { kOther, kDigit, kSkip };

constexpr auto kClass = [] {
  std::array<unsigned char, 256> c{};
  for (int d = '0'; d <= '9'; ++d) c[d] = kDigit;
  c['"'] = kSkip;
  c['-'] = kSkip;
  return c;
}();

bool Qualifies(size_t digits, const char* first7) {
  return digits >= 7 && first7[0] == '0' && first7[2] == '0';
}

// What is appended to a line for each number a file holds: the merged
// operator and region as two more fields, and the line end.  A qualifying
// run's first seven digits are "0", a digit, "0" and four digits: 100,000
// numbers in all, so each is looked up once and then found with one read.
class Suffixes {
 public:
  Suffixes(const NumberTable& table, bool quoted) : table_(table), quoted_(quoted) {
    const size_t answers = table.answer_count();
    if (answers + 1 >= UINT16_MAX) return;  // too many to number: no memo
    suffixes_.reserve(answers + 1);
    for (uint32_t a = 0; a <= answers; ++a)
      suffixes_.push_back(Make(table.Answer(a < answers ? a : NumberTable::kNoAnswer)));
    ids_.assign(100000, 0);
  }

  std::string_view Get(const char digits[7]) {
    if (ids_.empty()) return plain_ = Make(table_.LookupNumber(std::string_view(digits, 7)));
    size_t key = static_cast<size_t>(digits[1] - '0') * 10000 + (digits[3] - '0') * 1000 +
                 (digits[4] - '0') * 100 + (digits[5] - '0') * 10 + (digits[6] - '0');
    uint16_t& id = ids_[key];
    if (id == 0) {
      uint32_t a = table_.LookupAnswer(std::string_view(digits, 7));
      id = static_cast<uint16_t>((a == NumberTable::kNoAnswer ? suffixes_.size() - 1 : a) + 1);
    }
    return suffixes_[id - 1];
  }

 private:
  std::string Make(LookupResult r) const {
    MergeOperator(r.Carrier, r.Region);
    const std::string_view q = quoted_ ? "\"" : "";
    std::string fields;
    fields.append(",").append(q).append(r.Carrier).append(q);
    fields.append(",").append(q).append(r.Region).append(q).append("\n");
    return platform::ToTextMode(fields);
  }

  const NumberTable& table_;
  const bool quoted_;
  std::vector<uint16_t> ids_;          // answer + 1; 0 until looked up
  std::vector<std::string> suffixes_;  // by answer; the last: not found
  std::string plain_;
};

// Puts an in-place file back under its own name after a failure and says
// where its content is.
void RestoreBackup(ConvertReport& report, const std::string& name,
                   const std::string& backup, bool remove_output) {
  if (remove_output) unlink(name.c_str());
  if (platform::RenameNoReplace(backup, name) != 0) report.content_at = backup;
}

}  // namespace

bool FindNumberRun(std::string_view line, char first7[7]) {
  size_t digits = 0;
  for (unsigned char c : line) {
    switch (kClass[c]) {
      case kDigit:
        if (digits < 7) first7[digits] = static_cast<char>(c);
        ++digits;
        break;
      case kSkip:
        break;
      default:
        if (Qualifies(digits, first7)) return true;
        digits = 0;
    }
  }
  // A run still open where the line's bytes end counts as ended there.
  return Qualifies(digits, first7);
}

namespace {

// Bit i of `digit` is set for a digit at p[i], of `other` for a byte that
// ends a run (the LF and the CR among them), of `lf` for an LF; n is 1 to
// 64.  No byte past n is read: from 16 bytes on, the last 16-byte load ends
// at n and its mask is shifted into place.
struct Masks {
  uint64_t digit = 0, other = 0, lf = 0;
};

Masks Classify(const char* p, size_t n) {
  Masks m;
#ifdef __SSE2__
  if (n >= 16) {
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    const __m128i quote = _mm_set1_epi8('"'), hyphen = _mm_set1_epi8('-');
    const __m128i newline = _mm_set1_epi8('\n');
    for (size_t at = 0; at < n; at += 16) {
      size_t from = at + 16 <= n ? at : n - 16;  // the last block overlaps
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
      __m128i d = _mm_sub_epi8(v, zero);
      __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d);
      __m128i is_skip = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, hyphen));
      const unsigned drop = static_cast<unsigned>(at - from);  // bytes already counted
      uint64_t digit = static_cast<uint32_t>(_mm_movemask_epi8(is_digit)) >> drop;
      uint64_t kept = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(is_digit, is_skip)));
      uint64_t other = (~kept & 0xFFFF) >> drop;
      uint64_t lf = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, newline))) >> drop;
      m.digit |= digit << at;
      m.other |= other << at;
      m.lf |= lf << at;
    }
    return m;
  }
#endif
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (kClass[c] == kDigit) m.digit |= 1ull << i;
    if (kClass[c] == kOther) m.other |= 1ull << i;
    if (c == '\n') m.lf |= 1ull << i;
  }
  return m;
}

// Bits from `from` up (none when from is 64).
uint64_t From(size_t from) { return from >= 64 ? 0 : ~0ull << from; }

// The state of the line being scanned, carried from one 64-byte window to
// the next: the run in progress and whether the line has its number.
struct LineScan {
  size_t digits = 0;  // of the run in progress, counted up to 8
  char first7[7];
  bool found = false;

  // Scans bytes [a, z) of a window.  A run that reaches z stays in
  // progress; the end of the line ends it (Finish).
  void Segment(const Masks& m, const char* window, size_t a, size_t z) {
    const uint64_t range = From(a) & ~From(z);
    const uint64_t digit = m.digit & range, other = m.other & range;
    size_t at = a;
    while (!found && at < z) {
      if (digits == 0) {  // no run yet: the next digit starts one
        uint64_t next = digit & From(at);
        if (!next) return;
        at = static_cast<size_t>(__builtin_ctzll(next));
      }
      uint64_t ender = other & From(at);
      size_t end = ender ? static_cast<size_t>(__builtin_ctzll(ender)) : z;
      for (uint64_t run = digit & From(at) & ~From(end); run && digits < 8; run &= run - 1) {
        if (digits < 7) first7[digits] = window[__builtin_ctzll(run)];
        ++digits;
      }
      if (!ender) return;
      Finish();
      at = end + 1;
    }
  }
  // The run in progress ends here.
  void Finish() {
    if (Qualifies(digits, first7)) found = true;
    digits = 0;
  }
};

// Annotates whole lines at once: each 64-byte window is classified with a
// few vector instructions, and the lines, runs and digits are found in the
// masks.  The outcome is that of FindNumberRun on every line.
void AnnotateLines(std::string_view lines, Suffixes& suffixes, platform::TextWriter& out,
                   uint64_t& written) {
  const char* p = lines.data();
  const size_t size = lines.size();
  size_t line_start = 0;
  LineScan scan;
  auto emit = [&](size_t line_end) {
    scan.Finish();
    if (scan.found) {
      std::string_view line(p + line_start, line_end - line_start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      out.Write(line);
      out.Write(suffixes.Get(scan.first7));
      ++written;
    }
    scan = LineScan();
  };
  for (size_t w = 0; w < size; w += 64) {
    const size_t n = std::min<size_t>(64, size - w);
    const Masks m = Classify(p + w, n);
    size_t at = 0;
    for (uint64_t lf = m.lf; lf; lf &= lf - 1) {
      size_t end = static_cast<size_t>(__builtin_ctzll(lf));
      scan.Segment(m, p + w, at, end);
      emit(w + end);
      line_start = w + end + 1;
      at = end + 1;
    }
    scan.Segment(m, p + w, at, n);
  }
  if (line_start < size) emit(size);  // the last line of the data, without LF
}

}  // namespace

ConvertReport ConvertCsvFile(const NumberTable& table, const std::string& source,
                             const std::string& destination,
                             const ConvertOptions& options) {
  ConvertReport report;
  // Two names of one file would let creating the destination empty the
  // source before it is read: they are treated as the same name.
  const bool in_place = source == destination || platform::SameFile(source, destination);
  const std::string& write_name = in_place ? source : destination;
  std::string read_name = source;
  std::string backup;
  if (in_place) {
    backup = source + ".bak";
    // Never destroy an earlier backup, and never annotate it in place of the
    // file's current content.
    if (platform::Exists(backup)) {
      report.result = ConvertResult::kBackupExists;
      report.path = backup;
      report.error = EEXIST;
      return report;
    }
    if (int err = platform::RenameNoReplace(source, backup)) {
      report.result = err == ENOENT ? ConvertResult::kSourceOpen
                      : err == EEXIST ? ConvertResult::kBackupExists
                                      : ConvertResult::kRenameFailed;
      report.path = err == EEXIST ? backup : source;
      report.error = err;
      return report;
    }
    read_name = backup;
  }

  platform::TextReader in;
  if (int err = in.Open(read_name)) {
    report.result = ConvertResult::kSourceOpen;
    report.path = read_name;
    report.error = err;
    if (in_place) RestoreBackup(report, source, backup, false);
    return report;
  }
  platform::TextWriter out;
  out.set_write_fn(options.write_fn);
  if (int err = out.Create(write_name)) {
    report.result = ConvertResult::kDestCreate;
    report.path = write_name;
    report.error = err;
    if (in_place) RestoreBackup(report, source, backup, false);
    return report;
  }

  Suffixes suffixes(table, in.PeekFirstByte() == '"');
  std::string_view lines;
  while (in.NextLines(lines)) {
    AnnotateLines(lines, suffixes, out, report.lines_written);
    if (out.error()) break;
    if (options.progress) options.progress(in.bytes_read(), in.size());
  }

  int write_err = out.Close();
  if (in.error() || write_err) {
    report.result = write_err ? ConvertResult::kWriteFailed : ConvertResult::kReadFailed;
    report.path = write_err ? write_name : read_name;
    report.error = write_err ? write_err : in.error();
    // A partial annotation must not pass for a whole one.
    if (in_place) {
      RestoreBackup(report, source, backup, true);
    } else if (out.is_regular_file()) {
      unlink(write_name.c_str());
    }
    return report;
  }
  return report;
}

std::string_view ConvertMessage(ConvertResult result) {
  switch (result) {
    case ConvertResult::kDone:
      return "終了しました。";
    case ConvertResult::kSourceOpen:
      return "ファイルをロードできませんでした。";
    case ConvertResult::kDestCreate:
      return "ファイルの作成に失敗しました。";
    case ConvertResult::kReadFailed:
      return "ファイルの読み込み中にエラーが発生しました。";
    case ConvertResult::kWriteFailed:
      return "ファイルの書き込みに失敗しました。";
    case ConvertResult::kBackupExists:
      return "バックアップファイルが既にあるため、変換しませんでした。";
    case ConvertResult::kRenameFailed:
      return "バックアップファイルを作成できませんでした。";
  }
  return {};
}

std::string ConvertDetails(const ConvertReport& report) {
  std::string text(ConvertMessage(report.result));
  if (report.result == ConvertResult::kDone) return text;
  if (!report.path.empty()) text += "\n" + report.path;
  if (report.error) text += std::string(" (") + std::strerror(report.error) + ")";
  if (!report.content_at.empty())
    text += "\n元の内容は " + report.content_at + " にあります。";
  return text;
}

}  // namespace nomvex
