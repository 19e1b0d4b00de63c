// The table maker and the default table it builds.
#include <gtest/gtest.h>

#include <cstdlib>

#include "table/number_table.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

int Tool(const std::string& args) {
  return std::system((std::string(NOMVEX_TABLE_TOOL) + " " + args + " 2>/dev/null").c_str());
}

TEST(TableMaker, DefaultTableRoundTripsAndLoads) {
  test::TempDir dir;
  ASSERT_EQ(Tool(std::string("encode ") + NOMVEX_TABLE_SOURCE + " " + (dir / "Nomvex.dat")), 0);
  ASSERT_EQ(Tool("decode " + (dir / "Nomvex.dat") + " " + (dir / "back.txt")), 0);
  EXPECT_EQ(test::ReadFile(dir / "back.txt"), test::ReadFile(NOMVEX_TABLE_SOURCE));

  std::string dat = test::ReadFile(dir / "Nomvex.dat");
  EXPECT_EQ(dat.find('\x1A'), std::string::npos);
  size_t start = 0, lines = 0, plain = 0;
  for (size_t lf; (lf = dat.find('\n', start)) != std::string::npos; start = lf + 1, ++lines) {
    std::string_view line(dat.data() + start, lf - start);
    ASSERT_EQ(line.back(), '\r');
    line.remove_suffix(1);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    if (line[0] == 'A') ++plain;
  }
  EXPECT_LT(plain * 10, lines);  // scrambled, not stored as plain text

  NumberTable table;
  ASSERT_EQ(table.LoadNumberTable(dir / "Nomvex.dat"), 0);
  EXPECT_EQ(table.size(), 25190u + 2);
  EXPECT_EQ(table.GetDataVersion(), "libphonenumber 8.12.57 (25190 blocks)");
  EXPECT_EQ(table.LookupNumber("0901234").Region, test::sj("全国"));
}

TEST(TableMaker, RefusesWhatCouldNotBeLoadedBack) {
  test::TempDir dir;
  for (std::string bad : std::vector<std::string>{"ab=x\n", "noequals\n", "\n", "abc=" + std::string(94, 'x') + "\n",
                          "abc=\xF0\x9F\x98\x80\n"}) {
    test::WriteFile(dir / "t.txt", "VER=1\n" + bad);
    EXPECT_NE(Tool("encode " + (dir / "t.txt") + " " + (dir / "t.dat")), 0) << bad;
  }
}

}  // namespace
}  // namespace nomvex
