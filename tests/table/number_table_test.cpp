#include "table/number_table.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>

#include "tests/test_util.h"

namespace nomvex {
namespace {

using test::sj;

std::string Line(unsigned char key, std::string_view text) {
  return std::string(1, static_cast<char>(key)) + ScrambleText(text, key);
}

TEST(DecodeLine, KeyByteAIsPlainText) {
  auto e = DecodeLine("A" + sj("0901234=DoCoMo 関東"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->first, "0901234");
  EXPECT_EQ(e->second, sj("DoCoMo 関東"));
}

TEST(DecodeLine, WrapsBy255AndStopsAtZero) {
  // Shift 15: 5 - 15 = -10, plus 255 is 0xF5, not 0xF6.
  auto e = DecodeLine(Line(0x50, "abc=") + "\x05\x0F\x10");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->second, "\xF5\xFF\x01");
  // Shift -17: 0xF0 gives 257, which wraps to 1; 0xEF gives 256, a zero
  // byte that ends the text.
  e = DecodeLine(Line(0x30, "abc=") + "\xF0\xEFxyz");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->second, "\x01");
}

TEST(DecodeLine, AcceptanceRules) {
  struct Case {
    std::string line;
    bool accepted;
    std::string key, value;
  } cases[] = {
      {Line('A', "ab"), false, "", ""},
      {Line('A', "abcd"), false, "", ""},  // no "=": empty key
      {Line('A', "ab=xyz"), false, "", ""},
      {Line('A', "=abc"), false, "", ""},
      {Line('A', "abc="), true, "abc", ""},
      {Line('A', "abc=x=y"), true, "abc", "x=y"},
      {";" + ScrambleText("abc=def", ';'), false, "", ""},  // comment
      {"", false, "", ""},                                   // no key byte
      {"A" + std::string(97, 'x').replace(3, 1, "="), true, "xxx", std::string(93, 'x')},
      {"A" + std::string(98, 'x').replace(3, 1, "="), false, "", ""},  // over 99 bytes
      // The "=" after a lead byte is that character's second byte.
      {Line('A', "\x81=abc=v"), true, "\x81=abc", "v"},
  };
  for (const Case& c : cases) {
    auto e = DecodeLine(c.line);
    EXPECT_EQ(e.has_value(), c.accepted) << c.line;
    if (e && c.accepted) {
      EXPECT_EQ(e->first, c.key);
      EXPECT_EQ(e->second, c.value);
    }
  }
}

TEST(DecodeLine, ScrambleRoundTripsEveryByteUnderEveryKey) {
  for (int key = 0x41; key <= 0xFF; ++key) {
    for (int from = 1; from < 256; from += 90) {
      std::string bytes;
      for (int b = from; b < std::min(from + 90, 256); ++b) bytes.push_back(static_cast<char>(b));
      auto e = DecodeLine(Line(static_cast<unsigned char>(key), "abc=" + bytes));
      ASSERT_TRUE(e) << key;
      ASSERT_EQ(e->second, bytes) << key;
    }
  }
}

class LoadTest : public ::testing::Test {
 protected:
  int Load(const std::string& bytes) {
    test::WriteFile(dir_ / "Nomvex.dat", bytes);
    return table_.LoadNumberTable(dir_ / "Nomvex.dat");
  }
  test::TempDir dir_;
  NumberTable table_;
};

TEST_F(LoadTest, CrLfAndLfGiveTheSameTable) {
  std::string lf = ";comment first\n" + Line('B', "ver=v1") + "\n" + Line('C', "hdr=x") + "\n" +
                   Line('Z', "0901234=DoCoMo " + sj("関東")) + "\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  ASSERT_EQ(Load(lf), 0);
  EXPECT_EQ(table_.size(), 3u);
  EXPECT_EQ(table_.GetDataVersion(), "v1");  // comments take no entry number
  ASSERT_EQ(Load(crlf), 0);
  EXPECT_EQ(table_.size(), 3u);
  EXPECT_EQ(table_.value(2), "DoCoMo " + sj("関東"));
}

TEST_F(LoadTest, EndOfDataAndLinesOutsideTheFormat) {
  ASSERT_EQ(Load(Line('A', "ver=v1") + "\n\n" + Line('A', "hdr=") + "\n" +
                 std::string(120, 'A') + "\n" + Line('A', "0901234=a b") + "\x1A" +
                 Line('A', "0801234=c d") + "\n"),
            0);
  // The empty line and the over-long one are skipped; nothing after 0x1A.
  ASSERT_EQ(table_.size(), 3u);
  EXPECT_EQ(table_.key(2), "0901234");
  // A last line without LF is decoded whole.
  ASSERT_EQ(Load(Line('A', "ver=v2") + "\n" + Line('A', "hdr=") + "\n" + Line('A', "070=x y")), 0);
  EXPECT_EQ(table_.key(2), "070");
}

TEST_F(LoadTest, AnOverlongLineIsReadPastNotHeld) {
  // Half a gigabyte of zero bytes without an LF (sparse: no disk space),
  // between the header and an entry.
  const std::string path = dir_ / "Nomvex.dat";
  test::WriteFile(path, Line('A', "ver=v1") + "\n" + Line('A', "hdr=") + "\n");
  std::filesystem::resize_file(path, std::filesystem::file_size(path) + (512u << 20));
  std::ofstream(path, std::ios::binary | std::ios::app) << "\r\n" + Line('A', "0901234=a b") + "\n";
#ifndef _WIN32
  struct rusage before, after;
  getrusage(RUSAGE_SELF, &before);
#endif
  ASSERT_EQ(table_.LoadNumberTable(path), 0);
  ASSERT_EQ(table_.size(), 3u);
  EXPECT_EQ(table_.key(2), "0901234");
#ifndef _WIN32  // (the peak is measured here on Linux only)
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 << 10) << "KiB more at the peak";
#endif
}

TEST_F(LoadTest, NoUsableTableGivesEmptyVersion) {
  for (std::string bytes : {std::string(), std::string(";only\n;comments\n"),
                            Line('A', "ver=") + "\n" + Line('A', "x=y") + "\n"}) {
    NumberTable fresh;
    test::WriteFile(dir_ / "t.dat", bytes);
    EXPECT_EQ(fresh.LoadNumberTable(dir_ / "t.dat"), 0);
    EXPECT_EQ(fresh.GetDataVersion(), "");
  }
  NumberTable missing;
  EXPECT_NE(missing.LoadNumberTable(dir_ / "absent.dat"), 0);
  EXPECT_EQ(missing.GetDataVersion(), "");
}

NumberTable Make(std::vector<std::pair<std::string, std::string>> numbers) {
  numbers.insert(numbers.begin(), {{"hdr", "h"}, {"0901234", "v"}});  // entries 0 and 1
  NumberTable t;
  t.Assign(std::move(numbers));
  return t;
}

TEST(Lookup, FirstEntryInFileOrderWhoseKeyOccurs) {
  NumberTable t = Make({{"090123", "first x"},
                        {"0901234", "second y"},
                        {"1234", "middle z"},
                        {"0701", "phs p"}});
  struct Case {
    std::string number, value;
  } cases[] = {
      {"0901234", "first x"},   // the first hit wins over a longer key
      {"0801234", "middle z"},  // a key matches in the middle
      {"07012", "phs p"},
      {"0801111", sj("？ ？")},
      {"09012", sj("？ ？")},  // shorter than every matching key
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t.FindEntry(c.number), c.value) << c.number;
    EXPECT_EQ(t.FindEntryScan(c.number), c.value) << c.number;
  }
  // Entries 0 and 1 never take part.
  EXPECT_EQ(Make({}).LookupNumber("0901234").Carrier, sj("？"));
}

TEST(Lookup, UsesTheFirstSevenBytes) {
  NumberTable t = Make({{"0901234", "DoCoMo " + sj("関東")}, {"2345678", "late z"}});
  LookupResult r = t.LookupNumber("09012345678");
  EXPECT_EQ(r.Carrier, "DoCoMo");
  EXPECT_EQ(r.Region, sj("関東"));
}

TEST(Lookup, SplitsTheValue) {
  std::string kanto = sj("関東");
  std::string long_name = sj("あいうえおかきくけこ");  // 20 bytes
  struct Case {
    std::string value, carrier, region;
  } cases[] = {
      {"DoCoMo " + kanto, "DoCoMo", kanto},
      {"  DoCoMo " + kanto, "DoCoMo", kanto},
      {"DoCoMo  " + kanto, "DoCoMo", " " + kanto},
      {sj("DDIポケット 北海道 東北"), sj("DDIポケット"), sj("北海道 東北")},
      {"", sj("？"), sj("？")},
      {"   ", sj("？"), sj("？")},
      {"DoCoMo", "DoCoMo", sj("？")},
      {"DoCoMo ", "DoCoMo", sj("？")},
      // Cut to 19 bytes without leaving half a character.
      {long_name + " " + long_name, sj("あいうえおかきくけ"), sj("あいうえおかきくけ")},
      {"x" + long_name + " r", "x" + sj("あいうえおかきくけ"), "r"},
  };
  for (const Case& c : cases) {
    LookupResult r = SplitValue(c.value);
    EXPECT_EQ(r.Carrier, c.carrier) << c.value;
    EXPECT_EQ(r.Region, c.region) << c.value;
  }
}

TEST(Lookup, IndexAgreesWithTheScanOnRandomTables) {
  std::mt19937 rng(20261211);
  auto digits = [&](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('0' + rng() % 3));
    return s;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::pair<std::string, std::string>> entries;
    size_t n = rng() % 60;
    for (size_t i = 0; i < n; ++i)
      entries.push_back({digits(3 + rng() % 7), "v" + std::to_string(i) + " r"});
    NumberTable t = Make(entries);
    for (int q = 0; q < 200; ++q) {
      std::string number = digits(rng() % 8);
      ASSERT_EQ(t.FindEntry(number), t.FindEntryScan(number)) << number;
    }
  }
}

}  // namespace
}  // namespace nomvex
