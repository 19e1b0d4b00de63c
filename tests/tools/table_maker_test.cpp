// The table maker, its generator, and the default table they build.  Nothing
// here pins the data: a new libphonenumber release needs no edit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "table/number_table.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

using test::sj;

// Runs the table maker; its messages go to `err` when asked for.
int Tool(const std::string& args, std::string* err = nullptr) {
  test::TempDir dir;
  const int status =
      std::system((std::string(NOMVEX_TABLE_TOOL) + " " + args + " 2>" + (dir / "err")).c_str());
  if (err) *err = test::ReadFile(dir / "err");
  return status;
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
}

TEST(TableMaker, RefusesWhatCouldNotBeLoadedBack) {
  test::TempDir dir;
  for (std::string bad : std::vector<std::string>{"ab=x\n", "noequals\n", "\n", "abc=" + std::string(94, 'x') + "\n",
                          "abc=\xF0\x9F\x98\x80\n"}) {
    test::WriteFile(dir / "t.txt", "VER=1\n" + bad);
    EXPECT_NE(Tool("encode " + (dir / "t.txt") + " " + (dir / "t.dat")), 0) << bad;
  }
}

// The shipped table text is exactly what the generator makes of the shipped
// libphonenumber file, so that the committed text shows what a data update
// changed.
TEST(Generator, ReproducesTheCommittedTable) {
  test::TempDir dir;
  ASSERT_EQ(Tool(std::string("generate --release ") + NOMVEX_LPN_RELEASE + " " + NOMVEX_LPN_SOURCE +
                 " " + (dir / "table.txt")),
            0);
  EXPECT_TRUE(test::ReadFile(dir / "table.txt") == test::ReadFile(NOMVEX_TABLE_SOURCE))
      << "data/nomvex-table.txt is not what the generator makes of " << NOMVEX_LPN_SOURCE
      << "; after a data update, copy build/nomvex-table.txt over it.";
}

// Longest prefix wins, whatever the order of the lines; a short prefix gives
// only its 0?0 blocks, and prefixes with none (011...) are passed over.
TEST(Generator, LongestPrefixWinsAndOnlyQualifyingBlocks) {
  test::TempDir dir;
  test::WriteFile(dir / "81.txt",
                  "# comment\n\n"
                  "8190123|Softbank\n"
                  "819012|NTT Docomo\r\n"
                  "8190|KDDI\n"
                  "817|Okinawa Cellular\n"
                  "8111|Rakuten Communications\n");
  ASSERT_EQ(Tool("generate --release T " + (dir / "81.txt") + " " + (dir / "t.txt")), 0);
  ASSERT_EQ(Tool("encode " + (dir / "t.txt") + " " + (dir / "t.dat")), 0);
  NumberTable table;
  ASSERT_EQ(table.LoadNumberTable(dir / "t.dat"), 0);
  EXPECT_EQ(table.GetDataVersion(), "libphonenumber T / 20000");  // 090 and 070 whole
  const struct {
    const char* number;
    const char* carrier;
    const char* region;
  } cases[] = {
      {"0901234", "SoftBank", "全国"}, {"0901200", "DoCoMo", "全国"},
      {"0901199", "au", "全国"},       {"0909999", "au", "全国"},
      {"0700000", "セルラー", "沖縄"}, {"0709999", "セルラー", "沖縄"},
      {"0711234", "？", "？"},         {"0111234", "？", "？"},
  };
  for (const auto& c : cases) {
    LookupResult r = table.LookupNumber(c.number);
    EXPECT_EQ(r.Carrier, sj(c.carrier)) << c.number;
    EXPECT_EQ(r.Region, sj(c.region)) << c.number;
  }
}

TEST(Generator, StopsOnWhatItCannotPlaceAndNamesTheLine) {
  test::TempDir dir;
  const struct {
    const char* source;
    const char* message;
  } cases[] = {
      {"8190|KDDI\n8180|Okinawa Mobile\n", "81.txt:2: unknown operator 'Okinawa Mobile'"},
      {"# c\n8190 KDDI\n", "81.txt:2: not a line"},
      {"4490|KDDI\n", "81.txt:1: not a line"},
      {"819012345|KDDI\n", "81.txt:1: prefix 819012345 is finer than a 7-digit block"},
      {"8190|KDDI\n8190|Softbank\n", "81.txt:2: prefix 8190 given twice (also on line 1)"},
  };
  for (const auto& c : cases) {
    test::WriteFile(dir / "81.txt", c.source);
    std::string err;
    EXPECT_NE(Tool("generate --release T " + (dir / "81.txt") + " " + (dir / "t.txt"), &err), 0)
        << c.source;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

// The operator of each block by libphonenumber's own rule (the longest
// prefix of the international form wins), under the names users know.
std::map<std::string, std::pair<std::string, std::string>> ReferenceBlocks(const char* path) {
  const std::map<std::string, std::pair<std::string, std::string>> names = {
      {"NTT Docomo", {"DoCoMo", "全国"}},
      {"KDDI", {"au", "全国"}},
      {"Softbank", {"SoftBank", "全国"}},
      {"Rakuten Communications", {"楽天モバイル", "全国"}},
      {"Okinawa Cellular", {"セルラー", "沖縄"}},
  };
  std::map<std::string, std::string> prefixes;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    size_t bar = line.find('|');
    prefixes[line.substr(0, bar)] = line.substr(bar + 1);
  }
  std::map<std::string, std::pair<std::string, std::string>> blocks;
  for (int d = 0; d < 10; ++d) {
    for (int rest = 0; rest < 10000; ++rest) {
      char block[8];
      std::snprintf(block, sizeof block, "0%d0%04d", d, rest);
      const std::string international = "81" + std::string(block + 1);
      for (size_t len = international.size(); len >= 2; --len) {
        auto it = prefixes.find(international.substr(0, len));
        if (it == prefixes.end()) continue;
        const auto& [carrier, region] = names.at(it->second);
        blocks[block] = {sj(carrier), sj(region)};
        break;
      }
    }
  }
  return blocks;
}

// What the build installs answers, for every number the program can look
// up, what libphonenumber answers for the shipped file.
TEST(DefaultTable, EveryBlockLooksUpToItsLongestPrefix) {
  const auto expected = ReferenceBlocks(NOMVEX_LPN_SOURCE);
  ASSERT_FALSE(expected.empty());
  NumberTable table;
  ASSERT_EQ(table.LoadNumberTable(NOMVEX_BUILT_TABLE), 0);
  EXPECT_EQ(table.GetDataVersion(), std::string("libphonenumber ") + NOMVEX_LPN_RELEASE + " / " +
                                        std::to_string(expected.size()));

  std::mt19937 rng(10);
  for (int d = 0; d < 10; ++d) {
    for (int rest = 0; rest < 10000; ++rest) {
      char number[8];
      std::snprintf(number, sizeof number, "0%d0%04d", d, rest);
      auto it = expected.find(number);
      const std::string unknown(UnknownMarker());
      const std::string carrier = it == expected.end() ? unknown : it->second.first;
      const std::string region = it == expected.end() ? unknown : it->second.second;
      LookupResult r = table.LookupNumber(number);
      ASSERT_EQ(r.Carrier, carrier) << number;
      ASSERT_EQ(r.Region, region) << number;
      // The scan in file order is the rule; the index must agree with it.
      if (rng() % 1000 == 0) {
        ASSERT_EQ(table.FindEntryScan(number), table.FindEntry(number));
      }
    }
  }
}

}  // namespace
}  // namespace nomvex
