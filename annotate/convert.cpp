#include "annotate/convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "annotate/number_rule.h"
#include "examine/rules.h"
#include "platform/codepage.h"
#include "table/number_table.h"

// The scan is compiled a second time for processors with AVX2 and BMI, picked
// once at start-up; their shorter instructions make it a few percent faster.
// (Not under the thread sanitizer: the pick runs before its runtime does.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define NOMVEX_CLONES __attribute__((target_clones("default", "arch=x86-64-v3")))
#else
#define NOMVEX_CLONES
#endif

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

// A qualifying run's first seven digits are "0", a digit, "0" and four
// digits: the five free digits make a number's key, below 100,000.
constexpr uint32_t kKeys = 100000;

uint32_t KeyOf(const char digits[7]) {
  return static_cast<uint32_t>(digits[1] - '0') * 10000 + (digits[3] - '0') * 1000 +
         (digits[4] - '0') * 100 + (digits[5] - '0') * 10 + (digits[6] - '0');
}

void DigitsOf(uint32_t key, char digits[7]) {
  digits[0] = digits[2] = '0';
  digits[1] = static_cast<char>('0' + key / 10000);
  for (int i = 6; i >= 3; --i, key /= 10) digits[i] = static_cast<char>('0' + key % 10);
}

// Which answer each key has, shared by the threads of one annotation: each
// key is looked up once, by whichever thread meets it first.  Entries are
// the answer's number + 1 (the last number: not found), 0 until looked up;
// a key looked up twice at once gets the same answer twice.
class KeyAnswers {
 public:
  explicit KeyAnswers(const NumberTable& table) : table_(table), answers_(kKeys, 0) {}

  const NumberTable& table() const { return table_; }
  uint32_t Known(uint32_t key) const {
    return std::atomic_ref<const uint32_t>(answers_[key]).load(std::memory_order_relaxed);
  }
  uint32_t Look(uint32_t key) {
    char digits[7];
    DigitsOf(key, digits);
    uint32_t answer = table_.LookupAnswer(std::string_view(digits, 7));
    if (answer == NumberTable::kNoAnswer) answer = static_cast<uint32_t>(table_.answer_count());
    std::atomic_ref<uint32_t>(answers_[key]).store(answer + 1, std::memory_order_relaxed);
    return answer + 1;
  }
  const uint32_t* at(uint32_t key) const { return &answers_[key]; }

 private:
  const NumberTable& table_;
  platform::BigVector<uint32_t> answers_;
};

// What is appended to a line for each number a file holds: the merged
// operator and region as two more fields, and the line end.  Each answer's
// suffix is made once, when first needed, in the source's encoding.  Every suffix is followed by at
// least kSuffixPad readable bytes, so that it can be copied in one
// fixed-size block.  One to a thread.
class Suffixes {
 public:
  static constexpr size_t kSuffixPad = 64;

  Suffixes(KeyAnswers& answers, bool quoted, bool utf8)
      : answers_(answers), quoted_(quoted), utf8_(utf8),
        by_answer_(answers.table().answer_count() + 1, 0) {
    text_.assign(kSuffixPad, '\0');
    at_.push_back(0);
    // "Not found" is suffix 0, so that telling it costs one compare.
    by_answer_.back() = Make(static_cast<uint32_t>(answers.table().answer_count())) + 1;
  }

  // Starts fetching the answer of a key that Get will soon be asked for.
  void Prefetch(uint32_t key) const { __builtin_prefetch(answers_.at(key)); }
  // Keys are mostly new early in a file and hardly ever later: fetching
  // ahead for lookups pays only while batches still meet new ones.
  bool keys_new() const { return keys_new_; }
  void EndBatch() {
    keys_new_ = lookups_ != lookups_at_batch_;
    lookups_at_batch_ = lookups_;
  }
  // For a key not looked up yet, starts fetching what its lookup reads.
  void PrefetchLookup(uint32_t key) const {
    if (answers_.Known(key) != 0) return;
    char digits[7];
    DigitsOf(key, digits);
    answers_.table().Prefetch(std::string_view(digits, 7));
  }

  // The suffix for a key, as a number for View.
  uint32_t Get(uint32_t key) {
    uint32_t answer = answers_.Known(key);
    if (answer == 0) {
      ++lookups_;
      answer = answers_.Look(key);
    }
    uint32_t& id = by_answer_[answer - 1];
    if (id == 0) id = Make(answer - 1) + 1;
    return id - 1;
  }
  // Whether a suffix is that of a number the table does not hold.
  static bool unknown(uint32_t suffix) { return suffix == 0; }
  // Valid until a Get makes a new suffix.
  std::string_view View(uint32_t suffix) const {
    return {text_.data() + at_[suffix], at_[suffix + 1] - at_[suffix]};
  }

 private:
  uint32_t Make(uint32_t answer) {
    const NumberTable& table = answers_.table();
    LookupResult r = answer < table.answer_count() ? table.Answer(answer)
                                                   : table.Answer(NumberTable::kNoAnswer);
    MergeOperator(r.Carrier, r.Region);
    const std::string_view q = quoted_ ? "\"" : "";
    std::string fields;
    fields.append(",").append(q).append(r.Carrier).append(q);
    fields.append(",").append(q).append(r.Region).append(q).append("\n");
    if (utf8_) fields = platform::FromCp932(fields);
    text_.insert(text_.size() - kSuffixPad, platform::ToTextMode(fields));
    at_.push_back(static_cast<uint32_t>(text_.size() - kSuffixPad));
    return static_cast<uint32_t>(at_.size() - 2);
  }

  KeyAnswers& answers_;
  const bool quoted_;
  const bool utf8_;
  std::vector<uint32_t> by_answer_;  // suffix + 1 (the last: not found)
  // The suffixes one after another, then the padding; suffix i spans
  // [at_[i], at_[i + 1]).
  std::string text_;
  std::vector<uint32_t> at_;
  uint64_t lookups_ = 0;
  uint64_t lookups_at_batch_ = 0;
  bool keys_new_ = true;
};

bool Stopped(const ConvertOptions& options) {
  return options.stop && options.stop->load(std::memory_order_relaxed) != 0;
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
  uint64_t comma = 0, quote = 0;  // only from Classify64<true>
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

// All 64 bytes at p are readable.  kCsv: commas and quotes too, for a
// chosen column.
template <bool kCsv = false>
[[gnu::always_inline]] inline Masks Classify64(const char* p) {
#ifdef __SSE2__
  // Each 16 bytes: a digit is below "0" + 10 once "0" is taken away, as a
  // signed compare after moving "0" to the bottom of the signed range.
  const __m128i bias = _mm_set1_epi8(static_cast<char>('0' + 128));
  const __m128i ten = _mm_set1_epi8(-128 + 10);
  const __m128i quote = _mm_set1_epi8('"'), hyphen = _mm_set1_epi8('-');
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i comma = _mm_set1_epi8(',');
  uint64_t digit = 0, kept = 0, lf = 0, commas = 0, quotes = 0;
  auto block = [&](int at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    const __m128i is_digit = _mm_cmplt_epi8(_mm_sub_epi8(v, bias), ten);
    const __m128i is_quote = _mm_cmpeq_epi8(v, quote);
    const __m128i is_skip = _mm_or_si128(is_quote, _mm_cmpeq_epi8(v, hyphen));
    auto bits = [](__m128i x) {
      return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(x)));
    };
    digit |= bits(is_digit) << at;
    kept |= bits(_mm_or_si128(is_digit, is_skip)) << at;
    lf |= bits(_mm_cmpeq_epi8(v, newline)) << at;
    if constexpr (kCsv) {
      commas |= bits(_mm_cmpeq_epi8(v, comma)) << at;
      quotes |= bits(is_quote) << at;
    }
  };
  block(0);
  block(16);
  block(32);
  block(48);
  return {digit, ~kept, lf, commas, quotes};
#else
  Masks m = Classify(p, 64);
  if constexpr (kCsv) {
    for (int i = 0; i < 64; ++i) {
      m.comma |= static_cast<uint64_t>(p[i] == ',') << i;
      m.quote |= static_cast<uint64_t>(p[i] == '"') << i;
    }
  }
  return m;
#endif
}

// Bits from `from` up (none when from is 64).
uint64_t From(size_t from) { return from >= 64 ? 0 : ~0ull << from; }

// The bits of CSV field `column` (1-based) of a line that lies whole in one
// window (`in_line`), as CsvField finds it: commas outside double quotes part
// the fields.  0 when the line has fewer fields.
[[gnu::always_inline]] inline uint64_t FieldBits(const Masks& m, uint64_t in_line, size_t column) {
  // Set from each opening quote up to its closing one: a running parity.
  uint64_t inside = m.quote & in_line;
  inside ^= inside << 1;
  inside ^= inside << 2;
  inside ^= inside << 4;
  inside ^= inside << 8;
  inside ^= inside << 16;
  inside ^= inside << 32;
  uint64_t parts = m.comma & in_line & ~inside;
  size_t start = 0;
  for (size_t k = 1; k < column; ++k, parts &= parts - 1) {
    if (!parts) return 0;
    start = static_cast<size_t>(__builtin_ctzll(parts)) + 1;
  }
  const uint64_t before_end = parts ? (parts & (0 - parts)) - 1 : in_line;
  return before_end & From(start);
}

// The state of the line being scanned, carried from one 64-byte window to
// the next: the run in progress and whether the line has its number.
struct LineScan {
  size_t digits = 0;  // of the run in progress, counted up to 8
  char first7[7];
  bool found = false;

  // Scans the first z bytes of a window.  A run that reaches z stays in
  // progress; the end of the line ends it (Finish).
  void Segment(const Masks& m, const char* window, size_t z) {
    const uint64_t digit = m.digit & ~From(z), other = m.other & ~From(z);
    size_t at = 0;
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

// The key of the first qualifying run of a line that lies whole in one
// window, or -1: bit i of `digit` is set for a digit at w[i], of `ender` for
// a byte that ends a run, and some ender follows every digit (the line's end
// is one).
[[gnu::always_inline]] inline int32_t FirstRun(uint64_t digit, uint64_t ender, const char* w) {
  while (digit) {
    const uint64_t start = digit & (0 - digit);
    const uint64_t after = ender & (0 - start);  // the enders from the run on
    const uint64_t before_end = (after & (0 - after)) - 1;
    const uint64_t r0 = digit & before_end;
    digit &= ~before_end;
    // The run's first seven digits, lowest bit first.
    const uint64_t r1 = r0 & (r0 - 1), r2 = r1 & (r1 - 1), r3 = r2 & (r2 - 1);
    const uint64_t r4 = r3 & (r3 - 1), r5 = r4 & (r4 - 1), r6 = r5 & (r5 - 1);
    if (r6 == 0) continue;  // fewer than seven
    auto at = [w](uint64_t r) { return w[__builtin_ctzll(r)] - '0'; };
    if (at(r0) != 0 || at(r2) != 0) continue;
    return at(r1) * 10000 + at(r3) * 1000 + at(r4) * 100 + at(r5) * 10 + at(r6);
  }
  return -1;
}

// The length of a line without the CR that may end it.
size_t WithoutCr(const char* line, size_t length) {
  return length - (length > 0 && line[length - 1] == '\r');
}

// A short line found to hold a number, waiting to be copied out with its
// suffix.  Lines are found a batch at a time while their keys' memos are
// fetched; then the suffixes are found, and last the lines are copied out.
// No step waits on the one before it line by line.
struct Found {
  const char* line;  // 64 bytes from here are readable
  uint32_t length;   // below 64, without the line end
  uint32_t key;      // then the suffix
};

struct LineCounts {
  uint64_t read = 0, written = 0, unknown = 0;
  void Add(const LineCounts& o) {
    read += o.read;
    written += o.written;
    unknown += o.unknown;
  }
};

template <bool kCount>
[[gnu::always_inline]] inline void CopyOut(Found* found, size_t count, Suffixes& suffixes,
                                         platform::TextWriter& out, uint64_t& unknown) {
  if (suffixes.keys_new())
    for (const Found* f = found; f != found + count; ++f) suffixes.PrefetchLookup(f->key);
  for (Found* f = found; f != found + count; ++f) f->key = suffixes.Get(f->key);
  suffixes.EndBatch();
  for (const Found* f = found; f != found + count; ++f) {
    const std::string_view suffix = suffixes.View(f->key);
    if constexpr (kCount) unknown += Suffixes::unknown(f->key);
    // The line and the padded suffix are copied in fixed-size blocks; the
    // output advances by their true lengths.
    char* to = out.Reserve(64 + Suffixes::kSuffixPad);
    std::memcpy(to, f->line, 64);
    std::memcpy(to + f->length, suffix.data(), Suffixes::kSuffixPad);
    out.Commit(f->length + suffix.size());
  }
}

// Annotates whole lines at once.  A line of up to 63 bytes is classified in
// one 64-byte window, with a few vector instructions, and its runs and
// digits are found in the masks.  A longer line (or one near the end of the
// data, where 64 bytes cannot be read) is scanned window by window.  The
// outcome is that of FindNumberRun on every line.  Lines read and lines
// not in the table are counted only with kCount: a few instructions a line.
// With kColumn the number is looked for only in CSV field `column` (as
// FindNumber does), by the same masks.
template <bool kCount, bool kColumn = false>
[[gnu::always_inline]] inline void AnnotateLinesWith(std::string_view lines, Suffixes& suffixes,
                                                     platform::TextWriter& out, LineCounts& total,
                                                     size_t column = 0) {
  // Counted here and added at the end: the output's bytes may alias the
  // caller's counts, which would then be stored line by line.
  LineCounts counts;
  uint64_t read = 0;  // apart, to stay in a register
  const char* p = lines.data();
  const size_t size = lines.size();
  constexpr size_t kBatch = 256;
  Found found[kBatch];
  size_t count = 0;
  auto copy_out = [&] {
    CopyOut<kCount>(found, count, suffixes, out, counts.unknown);
    counts.written += count;
    count = 0;
  };
  size_t s = 0;
  while (s < size) {
    if (count == kBatch) copy_out();
    if (size - s >= 64) {
      const Masks m = Classify64<kColumn>(p + s);
      if (m.lf) {
        const size_t end = static_cast<size_t>(__builtin_ctzll(m.lf));
        uint64_t in_line = (1ull << end) - 1;
        if constexpr (kColumn) in_line = FieldBits(m, in_line, column);
        const int32_t key = FirstRun(m.digit & in_line, m.other | ~in_line, p + s);
        if (key >= 0) {
          const size_t length = WithoutCr(p + s, end);
          found[count++] = {p + s, static_cast<uint32_t>(length), static_cast<uint32_t>(key)};
          suffixes.Prefetch(static_cast<uint32_t>(key));
        }
        s += end + 1;
        if constexpr (kCount) ++read;
        continue;
      }
    }
    // A long line, or one near the end of the data: the lines before it go
    // out first, then it on its own.
    const char* lf = static_cast<const char*>(std::memchr(p + s, '\n', size - s));
    const size_t end = lf ? static_cast<size_t>(lf - p) : size;
    LineScan scan;
    if constexpr (kColumn) {
      std::string_view field;
      scan.found = CsvField(std::string_view(p + s, WithoutCr(p + s, end - s)), column, field) &&
                   FindNumberRun(field, scan.first7);
    } else {
      for (size_t w = s; w < end && !scan.found; w += 64) {
        const size_t n = std::min<size_t>(64, end - w);
        scan.Segment(Classify(p + w, n), p + w, n);
      }
      scan.Finish();
    }
    if (scan.found) {
      copy_out();
      out.Write(std::string_view(p + s, WithoutCr(p + s, end - s)));
      const uint32_t suffix = suffixes.Get(KeyOf(scan.first7));
      out.Write(suffixes.View(suffix));
      ++counts.written;
      if constexpr (kCount) counts.unknown += Suffixes::unknown(suffix);
    }
    s = end + 1;
    if constexpr (kCount) ++read;
  }
  copy_out();
  counts.read = read;
  total.Add(counts);
}

NOMVEX_CLONES void AnnotateLines(std::string_view lines, Suffixes& suffixes,
                                 platform::TextWriter& out, LineCounts& total) {
  AnnotateLinesWith<false>(lines, suffixes, out, total);
}
NOMVEX_CLONES void AnnotateLinesCounting(std::string_view lines, Suffixes& suffixes,
                                         platform::TextWriter& out, LineCounts& total) {
  AnnotateLinesWith<true>(lines, suffixes, out, total);
}
NOMVEX_CLONES void AnnotateColumn(std::string_view lines, size_t column, Suffixes& suffixes,
                                  platform::TextWriter& out, LineCounts& total) {
  AnnotateLinesWith<true, true>(lines, suffixes, out, total, column);
}

// Annotates whole lines by the rule: the plain one and a chosen column in
// batches by masks; normalisation line by line.
void AnnotateLinesBy(std::string_view lines, const NumberRule& rule, bool count,
                     Suffixes& suffixes, platform::TextWriter& out, LineCounts& counts) {
  if (rule.plain()) {
    return count ? AnnotateLinesCounting(lines, suffixes, out, counts)
                 : AnnotateLines(lines, suffixes, out, counts);
  }
  if (!rule.normalize) return AnnotateColumn(lines, rule.column, suffixes, out, counts);
  const char* p = lines.data();
  const size_t size = lines.size();
  for (size_t s = 0; s < size; ++counts.read) {
    const char* lf = static_cast<const char*>(std::memchr(p + s, '\n', size - s));
    const size_t end = lf ? static_cast<size_t>(lf - p) : size;
    const std::string_view line(p + s, WithoutCr(p + s, end - s));
    char first7[7];
    if (FindNumber(line, rule, first7)) {
      out.Write(line);
      const uint32_t suffix = suffixes.Get(KeyOf(first7));
      out.Write(suffixes.View(suffix));
      ++counts.written;
      counts.unknown += Suffixes::unknown(suffix);
    }
    s = end + 1;
  }
}

// How a source is read, decided from its head: quoted mode, the bytes of a
// byte-order mark to pass over, and the rule (in UTF-8, the fields are too).
struct Reading {
  bool quoted = false;
  size_t bom = 0;
  NumberRule rule;
};

// A line too long to hold (a multi-gigabyte line, /dev/zero) is scanned
// part by part, CRs dropped.  Only a run's length and first seven digits
// decide a line under the plain rule, so a qualifying run is known at its
// seventh digit: the parts before it are kept where they can be had again,
// and written once the line is known to be written; the rest is written as
// it comes.  (A column or normalisation needs the whole line: their lines
// are held as before.)
void ScanPart(LineScan& scan, std::string_view part) {
  for (size_t w = 0; w < part.size() && !scan.found; w += 64) {
    const size_t n = std::min<size_t>(64, part.size() - w);
    scan.Segment(Classify(part.data() + w, n), part.data() + w, n);
  }
  if (!scan.found && Qualifies(scan.digits, scan.first7)) scan.found = true;
}

// Writes the suffix of a long line found to hold a number, and counts it.
void EndLongLine(const LineScan& scan, bool count, Suffixes& suffixes,
                 platform::TextWriter& out, LineCounts& counts) {
  if (count) ++counts.read;
  if (!scan.found) return;
  const uint32_t suffix = suffixes.Get(KeyOf(scan.first7));
  out.Write(suffixes.View(suffix));
  ++counts.written;
  if (count) counts.unknown += Suffixes::unknown(suffix);
}

// Where an over-long line of a regular file ended.
struct LongLineEnd {
  bool end_of_data = false;
  int error = 0;
};

// Annotates the over-long line that starts at `at` in a regular file:
// scanned stretch by stretch until its number decides it, then read again
// from its start to be written.
LongLineEnd AnnotateLongLine(const platform::PieceReader& pieces, uint64_t at,
                             Suffixes& suffixes, platform::TextWriter& out,
                             platform::BigVector<char>& buf, const ConvertOptions& options,
                             LineCounts& counts) {
  LongLineEnd end;
  LineScan scan;
  platform::PieceReader::Stretch s;
  // Reads the line from its start, a stretch at a time, handing each to
  // `take` until the line ends or `take` wants no more; false on a stop or
  // a read error.
  auto stretches = [&](auto take) {
    uint64_t pos = at;
    do {
      if (Stopped(options)) return false;
      s = pieces.ReadLongLine(pos, buf);
      if (s.error) {
        end.error = s.error;
        return false;
      }
    } while (take(s.bytes) && !s.line_ended);
    return true;
  };
  if (!stretches([&](std::string_view part) {
        ScanPart(scan, part);
        return !scan.found;
      }))
    return end;
  if (!scan.found) scan.Finish();  // a run open where the line ends counts
  if (scan.found && !stretches([&](std::string_view part) {
        out.Write(part);
        return !out.error();
      }))
    return end;
  EndLongLine(scan, options.count_lines, suffixes, out, counts);
  end.end_of_data = s.end_of_data;
  return end;
}

// An over-long line of a pipe or device, given part by part: the parts wait
// in a scratch file on disk until the line's number decides it.
class StreamedLongLine {
 public:
  StreamedLongLine(Suffixes& suffixes, platform::TextWriter& out, std::string scratch_dir)
      : suffixes_(suffixes), out_(out), scratch_dir_(std::move(scratch_dir)) {}

  void Begin() {
    scan_ = LineScan();
    writing_ = false;
    kept_.Clear();
  }
  // The next part; a CR may stand in it (before the LF that ends the line).
  void Add(std::string_view part) {
    while (!part.empty() && !error_) {
      const void* cr = std::memchr(part.data(), '\r', part.size());
      const size_t n = cr ? static_cast<size_t>(static_cast<const char*>(cr) - part.data())
                          : part.size();
      AddWithoutCr(part.substr(0, n));
      part.remove_prefix(cr ? n + 1 : n);
    }
  }
  void End(bool count, LineCounts& counts) {
    if (!scan_.found) {
      scan_.Finish();
      if (scan_.found) WriteKept();
    }
    if (!error_) EndLongLine(scan_, count, suffixes_, out_, counts);
    kept_.Clear();
  }
  // 0 or the errno of the scratch file's failure.
  int error() const { return error_; }

 private:
  void AddWithoutCr(std::string_view bytes) {
    if (bytes.empty()) return;
    if (writing_) {
      out_.Write(bytes);
      return;
    }
    error_ = kept_.Append(scratch_dir_, bytes);
    ScanPart(scan_, bytes);
    if (scan_.found) WriteKept();
  }
  // The parts kept so far, straight into the writer's buffer.
  void WriteKept() {
    writing_ = true;
    constexpr size_t kBlock = 1 << 20;
    for (uint64_t at = 0; at < kept_.size() && !error_;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, kept_.size() - at));
      const ssize_t got = kept_.Read(out_.Reserve(n), n, at);
      if (got <= 0) {
        error_ = got < 0 ? static_cast<int>(-got) : EIO;
        return;
      }
      out_.Commit(static_cast<size_t>(got));
      at += static_cast<uint64_t>(got);
    }
    kept_.Clear();
  }

  Suffixes& suffixes_;
  platform::TextWriter& out_;
  const std::string scratch_dir_;
  platform::ScratchFile kept_;  // the line's bytes until its number is found
  int error_ = 0;
  LineScan scan_;
  bool writing_ = false;
};

struct StreamErrors {
  int read = 0;
  int scratch = 0;
};

// Annotates what `in` reads, in one thread.  Under the plain rule, lines
// longer than the limit wait in a scratch file in `scratch_dir` (or the
// temporary folder).
StreamErrors AnnotateStream(const NumberTable& table, platform::TextReader& in,
                            platform::TextWriter& out, size_t line_limit,
                            const std::string& scratch_dir, const ConvertOptions& options,
                            const Reading& reading, LineCounts& counts) {
  KeyAnswers answers(table);
  Suffixes suffixes(answers, reading.quoted, reading.rule.utf8);
  StreamedLongLine long_line(suffixes, out, scratch_dir);
  bool in_long_line = false;
  if (reading.rule.plain()) in.set_line_limit(line_limit);
  std::string_view lines;
  for (bool first = true; !Stopped(options) && in.NextLines(lines); first = false) {
    if (first) lines.remove_prefix(std::min(reading.bom, lines.size()));
    if (in_long_line) {
      // The rest of the long line, up to its LF.
      const void* lf = std::memchr(lines.data(), '\n', lines.size());
      const size_t n = lf ? static_cast<size_t>(static_cast<const char*>(lf) - lines.data())
                          : lines.size();
      long_line.Add(lines.substr(0, n));
      if (!lf && in.partial_line()) continue;
      long_line.End(options.count_lines, counts);  // at its LF, or the end of the data
      in_long_line = false;
      lines.remove_prefix(lf ? n + 1 : n);
    }
    if (in.partial_line()) {
      long_line.Begin();
      long_line.Add(lines);
      in_long_line = true;
    } else {
      AnnotateLinesBy(lines, reading.rule, options.count_lines, suffixes, out, counts);
    }
    if (out.error() || long_line.error()) break;
    if (options.progress) options.progress(in.bytes_read(), in.size());
  }
  // The data ended right after a part of a long line.
  if (in_long_line && !in.error() && !out.error() && !Stopped(options))
    long_line.End(options.count_lines, counts);
  return {in.error(), long_line.error()};
}

// Annotates a regular file in pieces on up to `threads` threads: each takes
// the next piece, annotates it into memory of its own, and writes it once
// the pieces before it are written.  Writes into one file go one at a time;
// meanwhile the other threads read and scan.  Progress is told on the
// calling thread.  0 or the errno of a failed read.
int AnnotatePieces(const NumberTable& table, const platform::PieceReader& pieces,
                   unsigned threads, platform::TextWriter& out, const ConvertOptions& options,
                   const Reading& reading, LineCounts& counts) {
  KeyAnswers answers(table);
  std::atomic<size_t> next{0};
  std::mutex lock;
  std::condition_variable turn_taken;
  size_t turn = 0;    // the piece to be written next
  bool halt = false;  // the data ended, or something failed: nothing more is written
  int read_error = 0;
  uint64_t done = 0;  // bytes of the source whose lines are written
  std::exception_ptr failure;

  auto work = [&](bool caller) {
    try {
      Suffixes suffixes(answers, reading.quoted, reading.rule.utf8);
      platform::TextWriter held;
      // Lines grow by a quarter, as a rule.
      held.Hold(pieces.piece_size() + pieces.piece_size() / 2 + 4096);
      platform::BigVector<char> buf;
      for (size_t i; (i = next++) < pieces.count();) {
        platform::PieceReader::Piece piece = pieces.Read(i, buf);
        // The first piece's lines begin at the file's first byte.
        if (i == 0) piece.lines.remove_prefix(std::min(reading.bom, piece.lines.size()));
        LineCounts lines;
        if (!piece.error)
          AnnotateLinesBy(piece.lines, reading.rule, options.count_lines, suffixes, held, lines);
        uint64_t done_now;
        {
          std::unique_lock<std::mutex> hold(lock);
          turn_taken.wait(hold, [&] { return turn == i || halt; });
          if (halt) return;
          if (piece.error) {
            read_error = piece.error;
            halt = true;
          } else if (Stopped(options)) {
            halt = true;
          } else {
            out.WriteThrough(held.held());
            counts.Add(lines);
            done = piece.end;
            halt = piece.end_of_data || out.error();
            // A last line too long to hold is written now, straight from
            // the file, while the others wait their turn.  The first piece's
            // starts after the byte-order mark.
            if (!halt && piece.long_line != platform::PieceReader::kNoLongLine) {
              const uint64_t at = std::max<uint64_t>(piece.long_line, reading.bom);
              const LongLineEnd end =
                  AnnotateLongLine(pieces, at, suffixes, out, buf, options, counts);
              if (end.error) read_error = end.error;
              halt = end.error || end.end_of_data || out.error() || Stopped(options);
            }
          }
          ++turn;
          done_now = done;
        }
        turn_taken.notify_all();
        held.Clear();
        if (caller && options.progress) options.progress(done_now, pieces.size());
      }
    } catch (...) {
      std::lock_guard<std::mutex> hold(lock);
      if (!failure) failure = std::current_exception();
      halt = true;
      turn_taken.notify_all();
    }
  };

  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work, false);
    } catch (const std::system_error&) {
      break;  // fewer threads do the same work
    }
  }
  work(true);
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
  if (options.progress) options.progress(done, pieces.size());
  return read_error;
}

}  // namespace

ConvertReport ConvertCsvFile(const NumberTable& table, const std::string& source,
                             const std::string& destination,
                             const ConvertOptions& options) {
  ConvertReport report;
  auto fail = [&](ConvertResult result, const std::string& path, int error) {
    // A signal may also show as an interrupted open, read or write.
    if (Stopped(options)) result = ConvertResult::kStopped, error = 0;
    report.result = result;
    report.path = path;
    report.error = error;
    return report;
  };
  const bool from_stdin = options.dash_is_stdio && source == "-";
  const bool to_stdout = options.dash_is_stdio && destination == "-";
  // "- FILE" with standard input redirected from FILE: creating FILE would
  // empty what is about to be read.  FILE is annotated in place instead.
  if (from_stdin && !to_stdout && platform::StdinIsFile(destination)) {
    ConvertOptions named = options;
    named.dash_is_stdio = false;
    return ConvertCsvFile(table, destination, destination, named);
  }
  // Two names of one file would let creating the destination empty the
  // source before it is read: they are treated as the same name.  A
  // terminal or pipe has nothing to lose that way (/dev/stdin and
  // /dev/stdout in a terminal name one), and is read and written as usual.
  const bool in_place =
      !from_stdin && !to_stdout &&
      (source == destination ||
       (platform::SameFile(source, destination) && platform::IsRegularFile(source)));
  const std::string backup = in_place ? source + ".bak" : std::string();
  if (in_place) {
    // Only a regular file has content to keep and can be replaced whole;
    // moving a device, a pipe or a link away would harm the system, not
    // annotate a file.
    bool regular = false;
    const int lstat_error = platform::NameIsRegular(source, regular);
    const bool exists = lstat_error == 0;
    if (exists && !regular) return fail(ConvertResult::kNotRegularFile, source, 0);
    // Never destroy an earlier backup, and never annotate it in place of the
    // file's current content.
    if (platform::Exists(backup)) return fail(ConvertResult::kBackupExists, backup, EEXIST);
    if (!exists) return fail(ConvertResult::kSourceOpen, source, lstat_error);
  }

  platform::TextReader in;
  in.set_stop(options.stop);
  if (int err = from_stdin ? in.Adopt(platform::DuplicateFd(STDIN_FILENO)) : in.Open(source))
    return fail(ConvertResult::kSourceOpen, source, err);
  // Before anything is written: a source neither encoding can read is
  // refused whole.
  const SourceStart start = ExamineStart(in, options.encoding);
  if (Stopped(options)) return fail(ConvertResult::kStopped, source, 0);
  report.encoding = start.encoding;
  if (!start.encoding.supported()) return fail(ConvertResult::kUnsupportedEncoding, source, 0);
  Reading reading;
  reading.quoted = start.first_byte == '"';
  reading.bom = start.encoding.bom;
  reading.rule = {options.column, options.normalize,
                  start.encoding.encoding == TextEncoding::kUtf8};

  platform::TextWriter out;
  out.set_write_fn(options.write_fn);
  out.set_stop(options.stop);
  // In place, the annotation goes to a new file with the original's
  // permissions and owner, which takes the name only once it is whole.
  platform::Replacement replacement;
  bool new_destination = false;  // written unnamed, named at the end
  if (in_place) {
    struct stat original;
    if (fstat(in.fd(), &original) != 0 || !S_ISREG(original.st_mode))
      return fail(ConvertResult::kNotRegularFile, source, 0);
    if (int err = replacement.Create(source, original))
      return fail(ConvertResult::kDestCreate, source, err);
    const int fd = platform::DuplicateFd(replacement.fd());
    if (fd < 0) return fail(ConvertResult::kDestCreate, source, errno);
    out.Adopt(fd);
  } else if (to_stdout) {
    const int fd = platform::DuplicateFd(STDOUT_FILENO);
    if (fd < 0) return fail(ConvertResult::kDestCreate, destination, errno);
    out.Adopt(fd);
  } else {
    // A destination that does not exist yet gets its name only once whole,
    // so that a run killed part-way leaves none that looks done.
    if (!destination.empty() && destination.back() != '/' && !platform::Exists(destination)) {
      if (int err = replacement.CreateNew(destination); err == 0) {
        const int fd = platform::DuplicateFd(replacement.fd());
        if (fd < 0) return fail(ConvertResult::kDestCreate, destination, errno);
        out.Adopt(fd);
        new_destination = true;
      } else if (err != EOPNOTSUPP) {
        return fail(ConvertResult::kDestCreate, destination, err);
      }
    }
    if (!new_destination) {
      if (int err = out.Create(destination)) return fail(ConvertResult::kDestCreate, destination, err);
    }
  }
  const std::string& write_name = in_place ? source : destination;

  // A megabyte a piece: its read and write calls cost little next to the
  // copying.  Two threads at most: writes into one file go one at a time,
  // so a second thread gains most; more were never measured.  Writing to a
  // pipe or a terminal, which may block for as long as its reader pleases,
  // only the calling thread writes, so that a signal there interrupts it.
  const size_t piece_size = options.piece_size ? options.piece_size : size_t{1} << 20;
  unsigned threads =
      options.threads ? options.threads : std::min(2u, std::thread::hardware_concurrency());
  if (!out.is_regular_file()) threads = 1;
  // Beyond this a line is never held whole.  A regular file reads it again
  // from the file, a pipe from a scratch file beside the destination.
  const size_t line_limit = !reading.rule.plain() ? std::numeric_limits<size_t>::max()
                            : options.line_limit  ? options.line_limit
                                                  : size_t{1} << 20;
  // The mark goes first, so that the output reads as the source does.
  if (reading.bom) out.Write(std::string_view(kUtf8Bom).substr(0, reading.bom));
  LineCounts counts;
  int read_err = 0, write_err = 0, scratch_err = 0;
  bool out_of_memory = false;
  try {
    // Standard input is read from where it stands, never by offset.  A
    // regular file past one piece is read in pieces even by one thread: a
    // long line is then read again from the file, not kept on disk.
    if (!from_stdin && in.is_regular_file() && in.size() > piece_size) {
      platform::PieceReader pieces(in.fd(), in.size(), piece_size, line_limit);
      read_err = AnnotatePieces(table, pieces, threads, out, options, reading, counts);
    } else {
      const std::string scratch_dir =
          out.is_regular_file() && !to_stdout ? platform::FolderOf(write_name) : std::string();
      const StreamErrors errors = AnnotateStream(table, in, out, line_limit, scratch_dir, options,
                                                 reading, counts);
      read_err = errors.read;
      scratch_err = errors.scratch;
    }
    write_err = out.Close();
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  }
  report.lines_read = counts.read;
  report.lines_written = counts.written;
  report.lines_unknown = counts.unknown;

  const bool stopped = Stopped(options);
  if (stopped || out_of_memory || read_err || write_err || scratch_err) {
    if (stopped) {
      fail(ConvertResult::kStopped, write_name, 0);
    } else if (out_of_memory) {
      fail(ConvertResult::kOutOfMemory, source, ENOMEM);
    } else if (write_err || scratch_err) {
      // A long line's scratch file lies beside the destination.
      fail(ConvertResult::kWriteFailed, write_name, write_err ? write_err : scratch_err);
    } else {
      fail(ConvertResult::kReadFailed, source, read_err);
    }
    // A partial annotation must not pass for a whole one.  In place the
    // file never left its name; a new destination never had one.
    if (in_place || new_destination) {
      replacement.Discard();
    } else if (out.is_regular_file() && !to_stdout) {
      platform::RemoveFile(destination);
    }
    return report;
  }
  if (new_destination) {
    if (int err = replacement.CommitNew()) return fail(ConvertResult::kDestCreate, destination, err);
  }
  if (in_place) {
    if (int err = replacement.Commit(backup)) {
      return err == EEXIST ? fail(ConvertResult::kBackupExists, backup, err)
                           : fail(ConvertResult::kRenameFailed, source, err);
    }
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
    case ConvertResult::kNotRegularFile:
      return "通常のファイルではないため、上書きで変換できません。変換先を指定してください。";
    case ConvertResult::kUnsupportedEncoding:
      return "UTF-16・UTF-32 のファイルには対応していません。UTF-8 か Shift-JIS で保存してください。";
    case ConvertResult::kStopped:
      return "中断しました。";
    case ConvertResult::kOutOfMemory:
      return "メモリが足りません。";
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

std::string ConvertOutcome(const ConvertReport& report) {
  switch (report.result) {
    case ConvertResult::kDone:
    case ConvertResult::kSourceOpen:
    case ConvertResult::kDestCreate:
      return std::string(ConvertMessage(report.result));
    default:
      return ConvertDetails(report);
  }
}

}  // namespace nomvex
