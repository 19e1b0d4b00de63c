#include "annotate/encoding.h"

#include <cstring>
#include <string>

#include "platform/files.h"

namespace nomvex {

bool IsNonAsciiUtf8(std::string_view text, bool cut) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  bool non_ascii = false;
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    non_ascii = true;
    // The well-formed sequences: the lead byte fixes the length and the
    // range of the second byte (no overlong forms, no surrogates, nothing
    // above U+10FFFF); later bytes are 0x80 to 0xBF.
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    for (size_t k = 1; k < len; ++k) {
      if (i + k == n) return cut;  // the head ends inside the character
      const unsigned char t = p[i + k];
      if (k == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) return false;
    }
    i += len;
  }
  return non_ascii;
}

SourceEncoding DetectEncoding(std::string_view head, TextEncoding wanted) {
  // UTF-32LE's mark begins with UTF-16LE's: test the longer first.
  if (head.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
      head.starts_with(std::string_view("\0\0\xFE\xFF", 4)))
    return {TextEncoding::kUtf32, 4};
  if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF"))
    return {TextEncoding::kUtf16, 2};
  const size_t bom = head.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
  switch (wanted) {
    case TextEncoding::kCp932:
      return {TextEncoding::kCp932, 0};  // a BOM is then part of the first line
    case TextEncoding::kUtf8:
      return {TextEncoding::kUtf8, bom};
    default:
      break;
  }
  if (bom) return {TextEncoding::kUtf8, bom};
  // Only the head counts, and the data ends at a 0x1A, as text mode reads it.
  bool cut = head.size() >= kEncodingHeadBytes;
  head = head.substr(0, kEncodingHeadBytes);
  if (const void* eot = std::memchr(head.data(), 0x1A, head.size())) {
    cut = false;
    head = head.substr(0, static_cast<size_t>(static_cast<const char*>(eot) - head.data()));
  }
  if (IsNonAsciiUtf8(head, cut)) return {TextEncoding::kUtf8, 0};
  return {TextEncoding::kCp932, 0};
}

SourceStart ExamineStart(platform::TextReader& in, TextEncoding wanted) {
  SourceStart start;
  std::string buf;
  std::string_view head;
  // A file opened here is looked at by offset, so that the reader (or the
  // pieces read by offset) still starts at the first byte; standard input,
  // which may stand further on or be a pipe, through what is read of it,
  // which stays buffered.
  const bool from_start = platform::ReadFileStart(in.fd(), kEncodingHeadBytes, buf);
  if (from_start) {
    head = buf;
  } else {
    head = in.Peek(kEncodingHeadBytes);
  }
  start.encoding = DetectEncoding(head, wanted);
  start.first_byte = FirstDataByte(head.substr(start.encoding.bom));
  // A head of nothing but CRs: the first byte lies further on.
  if (start.first_byte < 0 && start.encoding.bom == 0 && head.size() >= kEncodingHeadBytes &&
      head.find('\x1A') == std::string_view::npos)
    start.first_byte = from_start
                           ? platform::PieceReader(in.fd(), in.size(), kEncodingHeadBytes).FirstByte()
                           : in.PeekFirstByte();
  return start;
}

std::string_view EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kCp932:
      return "Shift-JIS";
    case TextEncoding::kUtf8:
      return "UTF-8";
    case TextEncoding::kUtf16:
      return "UTF-16";
    case TextEncoding::kUtf32:
      return "UTF-32";
    case TextEncoding::kAuto:
      break;
  }
  return "?";
}

int FirstDataByte(std::string_view data) {
  for (char c : data) {
    if (c == 0x1A) return -1;
    if (c != '\r') return static_cast<unsigned char>(c);
  }
  return -1;
}

}  // namespace nomvex
