// Messages for the terminal: in the user's language (a gettext catalogue and
// the system's own reasons) and in the encoding the locale gives the
// terminal.  Texts are UTF-8 inside the program, whatever the locale.
#pragma once

#include <streambuf>
#include <string>
#include <string_view>

namespace nomvex::platform {

// Takes the language and the encoding from the environment (LC_ALL,
// LC_MESSAGES, LC_CTYPE, LANG, LANGUAGE) and finds the program's catalogues
// under `locale_dir`.  After it, Tr and strerror give UTF-8 in the user's
// language.
void InitMessages(const std::string& locale_dir);

// `msgid` in the user's language, UTF-8; `msgid` itself when there is no
// catalogue for it.
const char* Tr(const char* msgid);

// The encoding the locale gives the terminal, or empty when UTF-8 goes out
// unchanged: a UTF-8 locale, or the C locale, which says nothing of the
// terminal (UTF-8 has always gone out there).
std::string TerminalCodeset();

// `utf8` in `codeset`.  A character the codeset lacks becomes "?"; bytes
// that are not UTF-8 (a file name in the locale's own encoding) pass
// unchanged.
std::string ToCodeset(std::string_view utf8, const std::string& codeset);

// Converts what is written through it to `codeset` and hands it to `out`;
// for std::cerr on a terminal that is not UTF-8.  A character split between
// two writes waits for its rest.
class ConvertingBuf : public std::streambuf {
 public:
  ConvertingBuf(std::streambuf* out, std::string codeset)
      : out_(out), codeset_(std::move(codeset)) {}
  ~ConvertingBuf() override { sync(); }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  std::streambuf* out_;
  std::string codeset_;
  std::string pending_;
};

}  // namespace nomvex::platform
