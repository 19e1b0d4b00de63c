#include "examine/rules.h"

#include <gtest/gtest.h>

#include "table/number_table.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

using test::sj;

TEST(CheckInput, PrefixFirstThenNumber) {
  struct Case {
    std::string prefix, number;
    InputError error;
  } cases[] = {
      {"090", "12345678", InputError::kNone}, {"080", "1", InputError::kNone},
      {"070", "12", InputError::kNone},       {"050", "1234", InputError::kPrefix},
      {"90", "", InputError::kPrefix},        {"", "", InputError::kPrefix},
      {"080", "", InputError::kNumber},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckInput(c.prefix, c.number), c.error) << c.prefix;
  EXPECT_EQ(sj(InputErrorMessage(InputError::kPrefix)).size(), 36u);
}

TEST(MergeOperator, OnlyIdoAndCellularAndThenShuto) {
  struct Case {
    std::string carrier, region, merged_carrier, merged_region;
  } cases[] = {
      {"IDO", sj("首都"), "au", sj("関東")},
      {sj("セルラー"), sj("九州"), "au", sj("九州")},
      {"au", sj("首都"), "au", sj("首都")},
      {"DoCoMo", sj("首都"), "DoCoMo", sj("首都")},
      {"ido", sj("首都"), "ido", sj("首都")},
  };
  for (Case c : cases) {
    MergeOperator(c.carrier, c.region);
    EXPECT_EQ(c.carrier, c.merged_carrier);
    EXPECT_EQ(c.region, c.merged_region);
  }
}

TEST(OperatorColor, EveryOperatorAndWhiteOtherwise) {
  struct Case {
    std::string carrier;
    uint32_t color;
  } cases[] = {
      {"DoCoMo", 0x00BFFFFF},          {"IDO", 0x00BFFFBF},
      {"au", 0x00BFFFBF},              {"J-PHONE", 0x00BFBFFF},
      {sj("セルラー"), 0x00FFBFBF},    {sj("ツーカー"), 0x00FFFFBF},
      {sj("DDIポケット"), 0x00FFBFBF}, {sj("デジタルツーカー"), 0x00BFBFFF},
      {sj("アステル"), 0x00BFBFFF},    {"SoftBank", 0x00BFBFFF},
      {sj("楽天モバイル"), 0x00FFBFFF}, {"docomo", kWhite},
      {"Softbank", kWhite},            {sj("楽天"), kWhite},
      {sj("？"), kWhite},              {"", kWhite},
      {sj("ＤｏＣｏＭｏ"), kWhite},
  };
  for (const Case& c : cases) EXPECT_EQ(OperatorColor(c.carrier), c.color) << c.carrier;
}

TEST(ReportRules, UnknownAndTheDialogNumber) {
  EXPECT_TRUE(IsUnknownResult(sj("？"), sj("？")));
  EXPECT_TRUE(IsUnknownResult("DoCoMo", sj("？")));
  EXPECT_FALSE(IsUnknownResult("docomo", sj("関東")));
  EXPECT_FALSE(IsUnknownResult(sj("？？"), sj("関東")));
  EXPECT_EQ(UnknownDialogNumber("090", "12345678"), "0901234");
  EXPECT_EQ(UnknownDialogNumber("070", "12"), "07012");
  // Never half a double-byte character: "1あ" is 3 bytes, "1あい" would cut.
  EXPECT_EQ(UnknownDialogNumber("090", "1" + sj("あい")), "0901" + sj("あ"));
  EXPECT_EQ(MakeLookupNumber("090", "12-34567"), "09012-3");
  EXPECT_EQ(MakeLookupNumber("070", "12"), "07012");
}

TEST(Examine, TheWholeCommandAsBothWindowsRunIt) {
  NumberTable table;
  table.Assign({{"hdr", "v1"},
                {"hd2", ""},
                {"0801234", "IDO " + sj("首都")},
                {"0901234", "DoCoMo " + sj("？")},
                {"0701234", sj("セルラー 九州")}});
  struct Case {
    std::string prefix, number;
    bool keep_apart;
    InputError error;
    std::string carrier, region;
    uint32_t color;
    bool unknown;
    std::string dialog_number;
  } cases[] = {
      {"080", "12345678", false, InputError::kNone, "au", sj("関東"), 0x00BFFFBF, false, ""},
      {"080", "12345678", true, InputError::kNone, "IDO", sj("首都"), 0x00BFFFBF, false, ""},
      {"070", "1234", true, InputError::kNone, sj("セルラー"), sj("九州"), 0x00FFBFBF, false, ""},
      // A known operator with an unknown region: its colour, yet unknown.
      {"090", "12345678", false, InputError::kNone, "DoCoMo", sj("？"), 0x00BFFFFF, true, "0901234"},
      {"070", "12", false, InputError::kNone, sj("？"), sj("？"), kWhite, true, "07012"},
      {"050", "", false, InputError::kPrefix, "", "", kWhite, false, ""},
      {"080", "", false, InputError::kNumber, "", "", kWhite, false, ""},
  };
  for (const Case& c : cases) {
    const Examination e = Examine(table, c.prefix, c.number, c.keep_apart);
    const std::string what = c.prefix + "-" + c.number;
    EXPECT_EQ(e.error, c.error) << what;
    EXPECT_EQ(e.carrier, c.carrier) << what;
    EXPECT_EQ(e.region, c.region) << what;
    EXPECT_EQ(e.color, c.color) << what;
    EXPECT_EQ(e.unknown, c.unknown) << what;
    EXPECT_EQ(e.dialog_number, c.dialog_number) << what;
  }
}

}  // namespace
}  // namespace nomvex
