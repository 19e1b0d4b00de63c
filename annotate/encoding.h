// Which encoding a source is in, told from its first bytes: Shift-JIS (code
// page 932) as always, or UTF-8 as Excel's "CSV UTF-8" and most systems
// export today.  UTF-16 and UTF-32 are recognised only to be refused.
#pragma once

#include <cstddef>
#include <string_view>

namespace nomvex {

namespace platform {
class TextReader;
}

enum class TextEncoding { kAuto, kCp932, kUtf8, kUtf16, kUtf32 };

// How much of the source's start the guess looks at.
inline constexpr size_t kEncodingHeadBytes = 64 * 1024;

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct SourceEncoding {
  TextEncoding encoding = TextEncoding::kCp932;
  size_t bom = 0;  // bytes of a byte-order mark at the head of the source
  bool supported() const {
    return encoding == TextEncoding::kCp932 || encoding == TextEncoding::kUtf8;
  }
};

// `head` is the source's first bytes (up to kEncodingHeadBytes; all of them
// for a shorter source).  A UTF-16 or UTF-32 byte-order mark always wins, as
// such a file cannot be read as either; otherwise `wanted` decides, and when
// it is kAuto: a UTF-8 BOM, or non-ASCII bytes that are all valid UTF-8,
// mean UTF-8; anything else is Shift-JIS.
SourceEncoding DetectEncoding(std::string_view head, TextEncoding wanted);

// True when `text` is valid UTF-8 and holds a byte above 0x7F.  A sequence
// cut off by the end of `text` is accepted when `cut` says the text is only
// the start of more.
bool IsNonAsciiUtf8(std::string_view text, bool cut);

// What an opened source starts with, read without taking anything from it:
// its encoding, and the first byte of its data after any BOM (-1 when none),
// which decides quoted mode.
struct SourceStart {
  SourceEncoding encoding;
  int first_byte = -1;
};
SourceStart ExamineStart(platform::TextReader& in, TextEncoding wanted);

// "Shift-JIS", "UTF-8", ... for messages.
std::string_view EncodingName(TextEncoding encoding);

// The first byte of text-mode data at `data` (CRs skipped, 0x1A ends the
// data), or -1 when `data` holds none.
int FirstDataByte(std::string_view data);

}  // namespace nomvex
