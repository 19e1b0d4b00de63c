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
    std::string s = quoted_ ? ",\"" : ",";
    s += platform::ToTextMode(r.Carrier);
    s += quoted_ ? "\",\"" : ",";
    s += platform::ToTextMode(r.Region);
    s += quoted_ ? "\"\r\n" : "\r\n";
    return s;
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

bool FindNumberRunPlain(std::string_view line, char first7[7]) {
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

#ifdef __SSE2__
namespace {

// Bit i of `digit` is set for a digit at p[i], of `other` for a byte that
// ends a run; n is 16 to 64.  Bytes past n are never read: the last block
// is loaded ending at n and shifted into place.
struct Masks {
  uint64_t digit = 0, other = 0;
};

Masks Classify(const char* p, size_t n) {
  const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
  const __m128i quote = _mm_set1_epi8('"'), hyphen = _mm_set1_epi8('-');
  Masks m;
  for (size_t at = 0; at < n; at += 16) {
    size_t from = at + 16 <= n ? at : n - 16;  // the last block overlaps
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    __m128i d = _mm_sub_epi8(v, zero);
    __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d);
    __m128i is_skip = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, hyphen));
    uint64_t digit = static_cast<uint32_t>(_mm_movemask_epi8(is_digit));
    uint64_t other = static_cast<uint32_t>(~_mm_movemask_epi8(_mm_or_si128(is_digit, is_skip))) & 0xFFFF;
    digit >>= at - from;  // drop the overlap already counted
    other >>= at - from;
    m.digit |= digit << at;
    m.other |= other << at;
  }
  return m;
}

}  // namespace
#endif

bool FindNumberRun(std::string_view line, char first7[7]) {
#ifdef __SSE2__
  // Whole windows of up to 64 bytes at a time: a run is found, measured and
  // judged from two masks.  A run that reaches past its window goes to the
  // byte-by-byte scan from its first digit, which judges it the same way.
  size_t base = 0;
  while (line.size() - base >= 16) {
    const size_t n = std::min<size_t>(64, line.size() - base);
    const bool last = base + n == line.size();
    const char* p = line.data() + base;
    Masks m = Classify(p, n);
    uint64_t digits = m.digit;
    while (digits) {
      unsigned start = static_cast<unsigned>(__builtin_ctzll(digits));
      uint64_t after = m.other & (~0ull << start);
      if (!after && !last) return FindNumberRunPlain(line.substr(base + start), first7);
      uint64_t run = after ? m.digit & ((1ull << __builtin_ctzll(after)) - 1) & (~0ull << start)
                           : m.digit & (~0ull << start);
      uint64_t bits = run;
      int got = 0;
      for (; got < 7 && bits; ++got, bits &= bits - 1) first7[got] = p[__builtin_ctzll(bits)];
      if (got == 7 && first7[0] == '0' && first7[2] == '0') return true;
      digits &= ~run;
    }
    if (last) return false;
    base += n;
  }
  return FindNumberRunPlain(line.substr(base), first7);
#else
  return FindNumberRunPlain(line, first7);
#endif
}

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
  uint64_t reported = 0;
  constexpr size_t kBatch = 64;
  std::string_view lines[kBatch];
  char digits[7];
  size_t n;
  while ((n = in.NextLines(lines, kBatch)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      if (!FindNumberRun(lines[i], digits)) continue;
      out.Write(lines[i]);
      out.Write(suffixes.Get(digits));
      ++report.lines_written;
    }
    if (out.error()) break;
    if (options.progress && in.bytes_read() != reported) {
      reported = in.bytes_read();
      options.progress(reported, in.size());
    }
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
  if (options.progress) options.progress(in.bytes_read(), in.size());
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
