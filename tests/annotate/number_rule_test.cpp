// Looking for the number in a chosen column, and in the forms that
// normalisation accepts.
#include "annotate/number_rule.h"

#include <gtest/gtest.h>

#include <random>

#include "annotate/convert.h"
#include "annotate/normalize.h"
#include "table/number_table.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

using test::ReadFile;
using test::sj;
using test::WriteFile;

TEST(CsvField, Cases) {
  struct Case {
    std::string line;
    size_t column;
    bool found;
    std::string field;
  } cases[] = {
      {"a,b,c", 1, true, "a"},
      {"a,b,c", 3, true, "c"},
      {"a,b,c", 4, false, ""},
      {"a,,c", 2, true, ""},
      {"", 1, true, ""},
      {"\"x,y\",090", 2, true, "090"},             // a comma in quotes parts nothing
      {"\"say \"\"hi, there\"\"\",z", 2, true, "z"},  // doubled quotes inside quotes
      {sj("表,090"), 2, true, "090"},              // trail bytes are never commas
  };
  for (const Case& c : cases) {
    std::string_view field;
    ASSERT_EQ(CsvField(c.line, c.column, field), c.found) << c.line << " " << c.column;
    if (c.found) {
      EXPECT_EQ(field, c.field) << c.line << " " << c.column;
    }
  }
}

TEST(FindNumber, ColumnAndNormalize) {
  struct Case {
    std::string line;
    NumberRule rule;
    std::string first7;  // empty: none
  } cases[] = {
      // A postal code before the phone field wins without a column.
      {"080-2471,090-1234-5678", {}, "0802471"},
      {"080-2471,090-1234-5678", {2}, "0901234"},
      {"080-2471,090-1234-5678", {1}, "0802471"},
      {"080-2471,x", {2}, ""},
      {"080-2471", {2}, ""},  // too few fields
      {"\"a\",\"090-1234-5678\"", {2}, "0901234"},
      {"a,090 1234 5678", {2}, ""},
      {"a,090 1234 5678", {2, true}, "0901234"},
      {"+81 90-1234-5678,0801234", {1, true}, "0901234"},
  };
  for (const Case& c : cases) {
    char first7[7];
    const bool found = FindNumber(c.line, c.rule, first7);
    ASSERT_EQ(found, !c.first7.empty()) << c.line << " column " << c.rule.column;
    if (found) {
      EXPECT_EQ(std::string(first7, 7), c.first7) << c.line;
    }
  }
}

TEST(FindNormalizedRun, FormsInBothEncodings) {
  // Written in UTF-8; each is tried as Shift-JIS too.
  struct Case {
    std::string text;
    std::string first7;  // empty: none
  } cases[] = {
      {"+81 90-1234-5678", "0901234"},
      {"+81-90-1234-5678", "0901234"},
      {"+819012345678", "0901234"},
      {"+81 (0)90-1234-5678", "0901234"},
      {"+81 090-1234-5678", "0901234"},  // the 0 kept by mistake
      {"＋８１ ９０ １２３４ ５６７８", "0901234"},
      {"０９０－１２３４－５６７８", "0901234"},
      {"０９０ー１２３４ー５６７８", "0901234"},  // the IME's long vowel mark for "-"
      {"090‐1234―5678", "0901234"},
      {"090 1234 5678", "0901234"},
      {"090　1234　5678", "0901234"},  // ideographic spaces
      {"090.1234.5678", "0901234"},
      {"(090)1234-5678", "0901234"},
      {"（０９０） １２３４－５６７８", "0901234"},
      {"\"090\"-\"1234\"", "0901234"},  // the plain rule's forms still count
      {"tel 0801234", "0801234"},
      // Not numbers: a gap of two, other separators, too many digits.
      {"090  1234  5678", ""},
      {"090/1234/5678", ""},
      {"090 1234 56789", ""},
      {"090 1234", ""},
      {"+1 90-1234-5678", ""},
      {"+81 3-1234-5678", ""},
      {"03 1234 5678", ""},
      // A date, a count or a code before the number is not its start.
      {"2024.01.05 090-1234-5678", "0901234"},
      {"2024/01/05 090 1234 5678", "0901234"},
      {"No. 2 090 1234 5678", "0901234"},
      {"03-1234-5678 / 090.1111.2222", "0901111"},
  };
  for (const Case& c : cases) {
    for (bool utf8 : {true, false}) {
      const std::string text = utf8 ? c.text : sj(c.text);
      char first7[7];
      const bool found = FindNormalizedRun(text, utf8, first7);
      ASSERT_EQ(found, !c.first7.empty()) << c.text << (utf8 ? " in UTF-8" : " in Shift-JIS");
      if (found) {
        EXPECT_EQ(std::string(first7, 7), c.first7) << c.text;
      }
    }
  }
}

TEST(FindNormalizedRun, AgreesWithThePlainRuleWhereNoNewFormIsUsed) {
  // Digits, quotes, hyphens and run enders, no space, dot, parenthesis, plus
  // or full-width character: the plain rule's answer.
  std::mt19937 rng(11);
  const char alphabet[] = "00000001234567899\"--,a;\x82\x41";
  for (int i = 0; i < 20000; ++i) {
    std::string line(rng() % 40, ' ');
    for (char& c : line) c = alphabet[rng() % (sizeof alphabet - 1)];
    char plain[7], normal[7];
    const bool found = FindNumberRun(line, plain);
    ASSERT_EQ(FindNormalizedRun(line, false, normal), found) << line;
    if (found) {
      ASSERT_EQ(std::string(normal, 7), std::string(plain, 7)) << line;
    }
  }
}

TEST(ConvertCsvFile, ColumnAndNormalizeOnWholeFiles) {
  test::TempDir dir;
  NumberTable table;
  table.Assign({{"hdr", "v1"}, {"hd2", ""}, {"0901234", "DoCoMo " + sj("関東")}});
  const std::string source = sj("〒,電話\r\n080-2471,090-1234-5678\r\n"
                                "1000001,+81 90-1234-0000\r\n0901234,\r\n"
                                "x,０９０－１２３４－９９９９\r\n");
  WriteFile(dir / "in.csv", source);
  struct Case {
    size_t column;
    bool normalize;
    std::string output;
  } cases[] = {
      {0, false, sj("080-2471,090-1234-5678,？,？\r\n0901234,,DoCoMo,関東\r\n")},
      {2, false, sj("080-2471,090-1234-5678,DoCoMo,関東\r\n")},
      {2, true, sj("080-2471,090-1234-5678,DoCoMo,関東\r\n1000001,+81 90-1234-0000,DoCoMo,関東\r\n"
                   "x,０９０－１２３４－９９９９,DoCoMo,関東\r\n")},
  };
  for (const Case& c : cases) {
    for (size_t piece : {0, 3}) {
      ConvertOptions o;
      o.column = c.column;
      o.normalize = c.normalize;
      o.count_lines = true;
      o.piece_size = piece;
      o.threads = piece ? 2 : 1;
      const ConvertReport r = ConvertCsvFile(table, dir / "in.csv", dir / "out.csv", o);
      ASSERT_EQ(r.result, ConvertResult::kDone);
      EXPECT_EQ(r.lines_read, 5u);
      EXPECT_EQ(ReadFile(dir / "out.csv"), c.output) << c.column << " " << c.normalize << " " << piece;
    }
  }
}

TEST(ConvertCsvFile, ColumnAgreesWithFindNumberLineByLine) {
  // Random lines of digits, quotes, commas and run enders, short and long,
  // so that fields fall anywhere in a window and past it.
  test::TempDir dir;
  NumberTable table;
  table.Assign({{"hdr", "v1"}, {"hd2", ""}, {"0901234", "DoCoMo " + sj("関東")}});
  std::mt19937 rng(5);
  const char alphabet[] = "000000123456789\"\",,,- a\x82";
  for (size_t column : {1, 2, 3, 7}) {
    std::string file, expected;
    for (int i = 0; i < 3000; ++i) {
      std::string line(rng() % (i % 10 == 0 ? 150 : 60), ' ');
      for (char& c : line) c = alphabet[rng() % (sizeof alphabet - 1)];
      file += line + (rng() % 2 ? "\r\n" : "\n");
      char digits[7];
      if (!FindNumber(line, {column}, digits)) continue;
      LookupResult r = table.LookupNumber(std::string_view(digits, 7));
      expected += line + "," + std::string(r.Carrier) + "," + std::string(r.Region) + "\r\n";
    }
    WriteFile(dir / "r.csv", file);
    for (size_t piece : {0, 4096}) {
      ConvertOptions o;
      o.column = column;
      o.piece_size = piece;
      o.threads = piece ? 2 : 1;
      ASSERT_EQ(ConvertCsvFile(table, dir / "r.csv", dir / "r.out", o).result, ConvertResult::kDone);
      ASSERT_EQ(ReadFile(dir / "r.out"), expected) << "column " << column << ", pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace nomvex
