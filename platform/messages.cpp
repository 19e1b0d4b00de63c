#include "platform/messages.h"

#ifndef _WIN32
#include <iconv.h>
#include <langinfo.h>
#include <libintl.h>
#endif

#include <cerrno>
#include <clocale>

namespace nomvex::platform {
namespace {

constexpr const char* kDomain = "nomvex";

// How many bytes the UTF-8 sequence that starts with `c` has; 1 for a byte
// that starts none.
size_t SequenceLength(unsigned char c) {
  if (c >= 0xF0 && c <= 0xF4) return 4;
  if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
  if (c >= 0xC2) return 2;
  return 1;
}

}  // namespace

#ifdef _WIN32
// No catalogues on Windows yet: the English texts, as they are.
void InitMessages(const std::string&) {}
const char* Tr(const char* msgid) { return msgid; }
std::string TerminalCodeset() { return {}; }
std::string ToCodeset(std::string_view utf8, const std::string&) { return std::string(utf8); }
#else
void InitMessages(const std::string& locale_dir) {
  // Only what messages need: the language, and the encoding.  Every
  // category costs start-up time (C.UTF-8 is read from many files), and the
  // window sets the rest itself.
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  bindtextdomain(kDomain, locale_dir.c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
  // The C library's own domain: strerror's reasons in UTF-8 too, so that
  // every text is converted for the terminal in one place.
  bind_textdomain_codeset("libc", "UTF-8");
}

const char* Tr(const char* msgid) { return dgettext(kDomain, msgid); }

std::string TerminalCodeset() {
  std::string codeset = nl_langinfo(CODESET);
  if (codeset == "UTF-8" || codeset == "ANSI_X3.4-1968" || codeset.empty()) return {};
  return codeset;
}

std::string ToCodeset(std::string_view utf8, const std::string& codeset) {
  if (codeset.empty()) return std::string(utf8);
  iconv_t cd = iconv_open((codeset + "//TRANSLIT").c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
  std::string out;
  char buf[1024];
  char* src = const_cast<char*>(utf8.data());
  size_t left = utf8.size();
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t rc = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // Not UTF-8 (EILSEQ), or cut off at the end (EINVAL): the byte as it is.
    out += *src++;
    --left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf;
  size_t room = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &room);  // the shift back, for stateful codesets
  out.append(buf, static_cast<size_t>(dst - buf));
  iconv_close(cd);
  return out;
}

#endif

ConvertingBuf::int_type ConvertingBuf::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
  return traits_type::not_eof(c);
}

std::streamsize ConvertingBuf::xsputn(const char* s, std::streamsize n) {
  pending_.append(s, static_cast<size_t>(n));
  return n;
}

int ConvertingBuf::sync() {
  // Keep back a last character whose bytes have not all come.
  size_t whole = pending_.size();
  for (size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
    unsigned char c = static_cast<unsigned char>(pending_[pending_.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    if (SequenceLength(c) > back) whole = pending_.size() - back;
    break;
  }
  std::string out = ToCodeset(std::string_view(pending_).substr(0, whole), codeset_);
  pending_.erase(0, whole);
  if (out_->sputn(out.data(), static_cast<std::streamsize>(out.size())) !=
      static_cast<std::streamsize>(out.size()))
    return -1;
  return out_->pubsync();
}

}  // namespace nomvex::platform
