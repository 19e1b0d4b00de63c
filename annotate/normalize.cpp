#include "annotate/normalize.h"

#include <array>
#include <cstddef>

#include "platform/codepage.h"

namespace nomvex {
namespace {

enum class Kind { kDigit, kJoin, kSpace, kDot, kOpen, kClose, kPlus, kOther };

struct Token {
  Kind kind;
  size_t size;     // bytes
  char digit = 0;  // "0" to "9" for a digit
};

// Looked up, not switched on: most of a line is ASCII.
constexpr auto kAscii = [] {
  std::array<Kind, 128> k{};
  k.fill(Kind::kOther);
  for (int d = '0'; d <= '9'; ++d) k[d] = Kind::kDigit;
  k['-'] = k['"'] = Kind::kJoin;
  k[' '] = Kind::kSpace;
  k['.'] = Kind::kDot;
  k['('] = Kind::kOpen;
  k[')'] = Kind::kClose;
  k['+'] = Kind::kPlus;
  return k;
}();

Token Ascii(unsigned char c) { return {kAscii[c], 1, static_cast<char>(c)}; }

// Shift-JIS: a lead byte and a trail byte make one character; anything
// else is one byte, so that a stray lead byte never swallows an ASCII digit.
Token Cp932(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  if (c == 0xB0) return {Kind::kJoin, 1};  // ｰ, half-width
  if (!platform::IsLeadByte(c) || left < 2) return {Kind::kOther, 1};
  const unsigned char t = p[1];
  if (t < 0x40 || t == 0x7F || t > 0xFC) return {Kind::kOther, 1};
  if (c == 0x82 && t >= 0x4F && t <= 0x58) return {Kind::kDigit, 2, static_cast<char>('0' + t - 0x4F)};
  if (c == 0x81) {
    switch (t) {
      case 0x5B:  // ー
      case 0x5C:  // ―
      case 0x5D:  // ‐
      case 0x7C:  // －
        return {Kind::kJoin, 2};
      case 0x40:  // ideographic space
        return {Kind::kSpace, 2};
      case 0x44:  // ．
        return {Kind::kDot, 2};
      case 0x69:  // （
        return {Kind::kOpen, 2};
      case 0x6A:  // ）
        return {Kind::kClose, 2};
      case 0x7B:  // ＋
        return {Kind::kPlus, 2};
    }
  }
  return {Kind::kOther, 2};
}

// UTF-8: only the few three-byte characters above are told apart; any other
// non-ASCII byte is a character of its own that ends a run.
Token Utf8(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  if (left < 3) return {Kind::kOther, 1};
  const unsigned char b = p[1], t = p[2];
  if (c == 0xEF && b == 0xBC) {
    if (t >= 0x90 && t <= 0x99) return {Kind::kDigit, 3, static_cast<char>('0' + t - 0x90)};
    switch (t) {
      case 0x8D:  // － U+FF0D
        return {Kind::kJoin, 3};
      case 0x8E:  // ．
        return {Kind::kDot, 3};
      case 0x88:  // （
        return {Kind::kOpen, 3};
      case 0x89:  // ）
        return {Kind::kClose, 3};
      case 0x8B:  // ＋
        return {Kind::kPlus, 3};
    }
  }
  if (c == 0xEF && b == 0xBD && t == 0xB0) return {Kind::kJoin, 3};              // ｰ U+FF70
  if (c == 0xE2 && b == 0x80 && t >= 0x90 && t <= 0x95) return {Kind::kJoin, 3};  // U+2010-2015
  if (c == 0xE2 && b == 0x88 && t == 0x92) return {Kind::kJoin, 3};              // − U+2212
  if (c == 0xE3 && b == 0x83 && t == 0xBC) return {Kind::kJoin, 3};              // ー U+30FC
  if (c == 0xE3 && b == 0x80 && t == 0x80) return {Kind::kSpace, 3};             // U+3000
  return {Kind::kOther, 1};
}

class Scanner {
 public:
  Scanner(std::string_view text, bool utf8)
      : p_(reinterpret_cast<const unsigned char*>(text.data())), n_(text.size()), utf8_(utf8) {}

  size_t size() const { return n_; }
  [[gnu::always_inline]] Token At(size_t i) const {
    if (p_[i] < 0x80) return Ascii(p_[i]);
    return utf8_ ? Utf8(p_ + i, n_ - i) : Cp932(p_ + i, n_ - i);
  }

  // Past the gap at i when it may part two digit groups: at least one
  // space, dot or parenthesis, but at most one space or dot and one of each
  // parenthesis, with dashes and quotes anywhere; npos when it may not.
  // After "+81" the gap may be empty or dashes alone.
  size_t SkipGap(size_t i, bool after_code = false) const {
    int soft = 0, open = 0, close = 0;
    while (i < n_) {
      const Token t = At(i);
      switch (t.kind) {
        case Kind::kDigit:
          return after_code || soft + open + close > 0 ? i : npos;
        case Kind::kJoin:
          break;
        case Kind::kSpace:
        case Kind::kDot:
          if (++soft > 1) return npos;
          break;
        case Kind::kOpen:
          if (++open > 1) return npos;
          break;
        case Kind::kClose:
          if (++close > 1) return npos;
          break;
        default:
          return npos;
      }
      i += t.size;
    }
    return npos;
  }

  // Whether the number that starts with the digit at i qualifies; `country`:
  // i follows "+81", and the number's leading "0" may be left out.  A group
  // (digits joined by dashes and quotes) of seven or more digits is judged
  // as the plain rule judges a run.  Groups parted by spaces, dots or
  // parentheses count only as a whole number of 10 or 11 digits, as
  // Japanese numbers have: so that a date or a count before a number
  // ("2024.01.05 090 1234 5678") is not taken for its start.
  bool TryRun(size_t i, bool country, char first7[7]) const {
    size_t digits = 0;
    for (bool first_group = true;; first_group = false) {
      while (i < n_) {
        const Token t = At(i);
        if (t.kind == Kind::kDigit) {
          if (country && digits == 0 && t.digit != '0') first7[digits++] = '0';
          if (digits < 7) first7[digits] = t.digit;
          ++digits;
        } else if (t.kind != Kind::kJoin) {
          break;
        }
        i += t.size;
        if (digits >= 3 && (first7[0] != '0' || first7[2] != '0')) return false;
        if (first_group && digits >= 7) return true;
        if (digits > 11) return false;
      }
      if (!first_group && (digits == 10 || digits == 11)) return true;
      if (digits >= 11) return false;
      i = SkipGap(i);
      if (i == npos) return false;
    }
  }

  // Past "81" right at i (either width), or npos.
  size_t After81(size_t i) const {
    if (i >= n_) return npos;
    const Token eight = At(i);
    if (eight.kind != Kind::kDigit || eight.digit != '8' || i + eight.size >= n_) return npos;
    const Token one = At(i + eight.size);
    if (one.kind != Kind::kDigit || one.digit != '1') return npos;
    return i + eight.size + one.size;
  }

  static constexpr size_t npos = static_cast<size_t>(-1);

 private:
  const unsigned char* p_;
  size_t n_;
  bool utf8_;
};

}  // namespace

bool FindNormalizedRun(std::string_view text, bool utf8, char first7[7]) {
  const Scanner s(text, utf8);
  // Whether the last character is a digit, or a dash or quote after one:
  // a digit then continues a group and starts no run of its own.
  bool in_group = false;
  for (size_t i = 0; i < s.size();) {
    const Token t = s.At(i);
    switch (t.kind) {
      case Kind::kDigit:
        if (!in_group && s.TryRun(i, false, first7)) return true;
        in_group = true;
        break;
      case Kind::kJoin:
        break;
      case Kind::kPlus:
        if (const size_t after = s.After81(i + t.size); after != Scanner::npos) {
          const size_t digit = s.SkipGap(after, true);
          if (digit != Scanner::npos && s.TryRun(digit, true, first7)) return true;
        }
        in_group = false;
        break;
      default:
        in_group = false;
    }
    i += t.size;
  }
  return false;
}

}  // namespace nomvex
