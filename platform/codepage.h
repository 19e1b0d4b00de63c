// Code page 932 (Shift-JIS) <-> UTF-8, used only at the edges: window texts,
// terminal output, and the few fixed texts the core compares data with.
#pragma once

#include <string>
#include <string_view>

namespace nomvex::platform {

// Bytes that cannot be converted become "?" (to CP932) or U+FFFD (to UTF-8),
// so a conversion never fails and never drops the rest of a text.
std::string ToCp932(std::string_view utf8);
std::string FromCp932(std::string_view cp932);

// True for the first byte of a double-byte CP932 character.
constexpr bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The longest prefix of `text` of at most `max_bytes` bytes that does not end
// in the first half of a double-byte character.
std::string_view CutCp932(std::string_view text, size_t max_bytes);

}  // namespace nomvex::platform
