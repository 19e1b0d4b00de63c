#include "platform/messages.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

#include "tests/test_util.h"

namespace nomvex::platform {
namespace {

using test::sj;

// Terminal encodings are Linux's: Windows writes UTF-16 to its console.
#ifndef _WIN32
TEST(ToCodeset, ConvertsUtf8AndPassesTheRest) {
  const std::string sjis_name = sj("名簿.csv");  // a file name in the terminal's own encoding
  struct Case {
    std::string in, codeset, want;
  } cases[] = {
      {"nomvex: ファイル", "", "nomvex: ファイル"},
      {"nomvex: ファイル", "SHIFT_JIS", "nomvex: " + sj("ファイル")},
      {"ファイル", "EUC-JP", "\xA5\xD5\xA5\xA1\xA5\xA4\xA5\xEB"},
      {"nomvex: " + sjis_name + ": 失敗", "SHIFT_JIS", "nomvex: " + sjis_name + ": " + sj("失敗")},
      {"a\xE3\x83", "SHIFT_JIS", "a\xE3\x83"},  // cut off at the end
      {"ファイル x", "ISO-8859-1", "???? x"},      // characters the codeset lacks
      {"abc", "NO-SUCH-CODESET", "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToCodeset(c.in, c.codeset), c.want) << c.codeset;
}

TEST(ConvertingBuf, ACharacterSplitBetweenWritesComesWhole) {
  std::ostringstream sink;
  ConvertingBuf buf(sink.rdbuf(), "SHIFT_JIS");
  std::ostream out(&buf);
  const std::string text = "元の内容";
  out << text.substr(0, 4) << std::flush;  // the second character cut after 1 byte
  EXPECT_EQ(sink.str(), sj("元"));
  out << text.substr(4) << std::flush;
  EXPECT_EQ(sink.str(), sj("元の内容"));
  out << "\r" << 42 << "%\n" << std::flush;
  EXPECT_EQ(sink.str(), sj("元の内容") + "\r42%\n");
}

#endif  // !_WIN32

}  // namespace
}  // namespace nomvex::platform
