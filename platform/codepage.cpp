#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace nomvex::platform {
namespace {

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

}  // namespace

std::string ToCp932(std::string_view utf8) {
  return Convert("CP932", "UTF-8", utf8, "?", 1);
}

std::string FromCp932(std::string_view cp932) {
  return Convert("UTF-8", "CP932", cp932, "\xEF\xBF\xBD", 1);
}

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
