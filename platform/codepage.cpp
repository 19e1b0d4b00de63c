#include "platform/codepage.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cerrno>

namespace nomvex::platform {
namespace {

#ifdef _WIN32
// The system's own tables, through UTF-16.
std::wstring ToWide(UINT from, std::string_view in, DWORD flags) {
  std::wstring wide(in.size(), L'\0');
  const int n = MultiByteToWideChar(from, flags, in.data(), static_cast<int>(in.size()), wide.data(),
                                    static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(n > 0 ? n : 0));
  return wide;
}

std::string FromWide(UINT to, std::wstring_view wide) {
  std::string out(wide.size() * 4 + 1, '\0');
  const int m = WideCharToMultiByte(to, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                                    static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(static_cast<size_t>(m > 0 ? m : 0));
  return out;
}

// Code page 932 to UTF-16.  The system would give a middle dot for a byte
// that is no character; as on Linux, such a byte becomes U+FFFD instead.
std::wstring WideOfCp932(std::string_view in) {
  std::wstring whole = ToWide(932, in, MB_ERR_INVALID_CHARS);
  if (!whole.empty() || in.empty()) return whole;
  std::wstring out;
  for (size_t i = 0; i < in.size();) {
    const size_t width = IsLeadByte(static_cast<unsigned char>(in[i])) ? 2 : 1;
    std::wstring one = i + width <= in.size() ? ToWide(932, in.substr(i, width), MB_ERR_INVALID_CHARS)
                                              : std::wstring();
    if (one.empty()) {
      out.push_back(L'\xFFFD');
      i += 1;
    } else {
      out += one;
      i += width;
    }
  }
  return out;
}
#else
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, size_t skip_bytes) {
  std::string out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  out.resize(in.size() * 2 + 8);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  size_t used = 0;
  while (src_left > 0) {
    char* dst = out.data() + used;
    size_t dst_left = out.size() - used;
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    used = out.size() - dst_left;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      // EILSEQ or EINVAL: replace one unit and carry on.
      out.resize(used);
      out.append(replacement);
      used = out.size();
      size_t n = std::min(skip_bytes, src_left);
      src += n;
      src_left -= n;
      out.resize(used + src_left * 2 + 8);
    }
  }
  out.resize(used);
  iconv_close(cd);
  return out;
}

#endif

}  // namespace

#ifdef _WIN32
// What does not convert into code page 932 becomes "?".
std::string ToCp932(std::string_view utf8) { return FromWide(932, ToWide(CP_UTF8, utf8, 0)); }
std::string FromCp932(std::string_view cp932) { return FromWide(CP_UTF8, WideOfCp932(cp932)); }
#else
std::string ToCp932(std::string_view utf8) {
  return Convert("CP932", "UTF-8", utf8, "?", 1);
}

std::string FromCp932(std::string_view cp932) {
  return Convert("UTF-8", "CP932", cp932, "\xEF\xBF\xBD", 1);
}
#endif

std::string_view CutCp932(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t i = 0;
  while (i < max_bytes) {
    size_t width = IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + width > max_bytes) break;
    i += width;
  }
  return text.substr(0, i);
}

}  // namespace nomvex::platform
