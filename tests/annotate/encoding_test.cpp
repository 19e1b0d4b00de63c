// Telling the encoding of a source, and annotating in it.
#include "annotate/encoding.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "annotate/convert.h"
#include "table/number_table.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

using test::ReadFile;
using test::sj;
using test::WriteFile;

TEST(DetectEncoding, Cases) {
  const std::string ascii_head(kEncodingHeadBytes - 1, 'a');
  struct Case {
    std::string head;
    TextEncoding wanted;
    TextEncoding encoding;
    size_t bom;
  } cases[] = {
      {"", TextEncoding::kAuto, TextEncoding::kCp932, 0},
      {"name,0901234\n", TextEncoding::kAuto, TextEncoding::kCp932, 0},  // ASCII: as always
      {sj("山田,0901234\n"), TextEncoding::kAuto, TextEncoding::kCp932, 0},
      {"山田,0901234\n", TextEncoding::kAuto, TextEncoding::kUtf8, 0},
      {"\xEF\xBB\xBF" "a\n", TextEncoding::kAuto, TextEncoding::kUtf8, 3},
      {"\xEF\xBB\xBF" + sj("山田"), TextEncoding::kAuto, TextEncoding::kUtf8, 3},  // the BOM wins
      {"\xEF\xBB\xBF" "a\n", TextEncoding::kCp932, TextEncoding::kCp932, 0},
      {sj("山田"), TextEncoding::kUtf8, TextEncoding::kUtf8, 0},
      {"\xFF\xFE" "a", TextEncoding::kAuto, TextEncoding::kUtf16, 2},
      {"\xFE\xFF\0a", TextEncoding::kUtf8, TextEncoding::kUtf16, 2},  // refused whatever is asked
      {std::string("\xFF\xFE\0\0", 4), TextEncoding::kAuto, TextEncoding::kUtf32, 4},
      {std::string("\0\0\xFE\xFF", 4), TextEncoding::kCp932, TextEncoding::kUtf32, 4},
      // Not UTF-8: overlong, a surrogate, above U+10FFFF, a lone trail byte.
      {"\xC0\xAF", TextEncoding::kAuto, TextEncoding::kCp932, 0},
      {"\xED\xA0\x80", TextEncoding::kAuto, TextEncoding::kCp932, 0},
      {"\xF4\x90\x80\x80", TextEncoding::kAuto, TextEncoding::kCp932, 0},
      {"a\x80", TextEncoding::kAuto, TextEncoding::kCp932, 0},
      // A character cut where the head ends counts; cut where the data ends,
      // or by 0x1A, it does not.
      {ascii_head + "\xE5\xB1", TextEncoding::kAuto, TextEncoding::kUtf8, 0},
      {"a\xE5\xB1", TextEncoding::kAuto, TextEncoding::kCp932, 0},
      {"a\xE5\xB1\x1A\x81", TextEncoding::kAuto, TextEncoding::kCp932, 0},
      {"山\x1A\x81\x40", TextEncoding::kAuto, TextEncoding::kUtf8, 0},  // after 0x1A: no data
  };
  for (const Case& c : cases) {
    const SourceEncoding e = DetectEncoding(c.head, c.wanted);
    EXPECT_EQ(e.encoding, c.encoding) << ::testing::PrintToString(c.head.substr(0, 16));
    EXPECT_EQ(e.bom, c.bom) << ::testing::PrintToString(c.head.substr(0, 16));
  }
}

class EncodingTest : public ::testing::Test {
 protected:
  EncodingTest() {
    table_.Assign({{"hdr", "v1"},
                   {"hd2", ""},
                   {"0901234", "DoCoMo " + sj("関東")},
                   {"0801234", "IDO " + sj("首都")}});
  }
  std::string P(const std::string& name) { return dir_ / name; }

  test::TempDir dir_;
  NumberTable table_;
};

TEST_F(EncodingTest, FieldsAreWrittenInTheSourcesEncoding) {
  const std::string bom = "\xEF\xBB\xBF";
  struct Case {
    std::string name;
    std::string source;
    TextEncoding wanted;
    std::string output;
  } cases[] = {
      {"Excel's CSV UTF-8: the BOM is kept, the header left out",
       bom + "名前,電話\r\n山田,090-1234-5678\r\n佐藤,0801234\r\n", TextEncoding::kAuto,
       bom + "山田,090-1234-5678,DoCoMo,関東\r\n佐藤,0801234,au,関東\r\n"},
      {"quoted mode looks past the BOM", bom + "\"名前\"\n\"山田\",\"0909999\"\n",
       TextEncoding::kAuto, bom + "\"山田\",\"0909999\",\"？\",\"？\"\r\n"},
      {"a BOM and nothing else", bom, TextEncoding::kAuto, bom},
      {"UTF-8 without a BOM", "山田,0901234\n", TextEncoding::kAuto,
       "山田,0901234,DoCoMo,関東\r\n"},
      {"Shift-JIS as always", sj("山田,0901234\n"), TextEncoding::kAuto,
       sj("山田,0901234,DoCoMo,関東\r\n")},
      {"ASCII alone is Shift-JIS", "x,0901234\n", TextEncoding::kAuto,
       sj("x,0901234,DoCoMo,関東\r\n")},
      {"asked for UTF-8", "x,0901234\n", TextEncoding::kUtf8, "x,0901234,DoCoMo,関東\r\n"},
      {"asked for Shift-JIS: the BOM is bytes of the first line", bom + "0901234\n",
       TextEncoding::kCp932, bom + sj("0901234,DoCoMo,関東\r\n")},
  };
  for (const Case& c : cases) {
    WriteFile(P("in.csv"), c.source);
    // One reader, and pieces of two bytes on two threads.
    for (size_t piece : {0, 2}) {
      ConvertOptions o;
      o.encoding = c.wanted;
      o.piece_size = piece;
      o.threads = piece ? 2 : 1;
      const ConvertReport r = ConvertCsvFile(table_, P("in.csv"), P("out.csv"), o);
      ASSERT_EQ(r.result, ConvertResult::kDone) << c.name;
      EXPECT_EQ(ReadFile(P("out.csv")), c.output) << c.name << ", pieces of " << piece;
    }
  }
}

TEST_F(EncodingTest, Utf16AndUtf32AreRefusedWithNothingWritten) {
  const std::string sources[] = {
      std::string("\xFF\xFE" "0\0" "9\0" "0\0", 8),
      std::string("\xFE\xFF\0" "0\0" "9", 6),
      std::string("\xFF\xFE\0\0" "0\0\0\0", 8),
  };
  for (const std::string& source : sources) {
    WriteFile(P("u.csv"), source);
    ConvertReport r = ConvertCsvFile(table_, P("u.csv"), P("out.csv"));
    EXPECT_EQ(r.result, ConvertResult::kUnsupportedEncoding);
    EXPECT_EQ(static_cast<int>(r.result), 8);
    EXPECT_EQ(r.path, P("u.csv"));
    EXPECT_FALSE(std::filesystem::exists(P("out.csv")));
    // In place: the file stays under its name, and no backup is made.
    r = ConvertCsvFile(table_, P("u.csv"), P("u.csv"));
    EXPECT_EQ(r.result, ConvertResult::kUnsupportedEncoding);
    EXPECT_EQ(ReadFile(P("u.csv")), source);
    EXPECT_FALSE(std::filesystem::exists(P("u.csv.bak")));
  }
}

}  // namespace
}  // namespace nomvex
