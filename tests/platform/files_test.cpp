#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/codepage.h"
#include "platform/memory.h"
#include "tests/test_util.h"

namespace nomvex::platform {
namespace {

TEST(TextReader, LinesOfAnyLengthAcrossBlocks) {
  test::TempDir dir;
  std::string huge(3 << 20, 'y');  // longer than one read
  test::WriteFile(dir / "t", "a\r\n\r\n" + huge + "\nlast");
  TextReader r;
  ASSERT_EQ(r.Open(dir / "t"), 0);
  EXPECT_EQ(r.PeekFirstByte(), 'a');
  std::vector<std::string> lines;
  std::string_view line;
  while (r.NextLine(line)) lines.emplace_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "", huge, "last"}));
  EXPECT_EQ(r.error(), 0);
}

TEST(TextReader, EndOfDataAndStrayCrWhereverTheyStand) {
  // The search for both runs many bytes at a time: each is placed at the
  // start, inside and at the end of such blocks.  Lines of "x" end in CR LF;
  // a stray CR makes every CR go; nothing after 0x1A is data.
  test::TempDir dir;
  for (size_t at : {0u, 5u, 15u, 16u, 31u, 32u, 33u, 40u, 63u, 64u, 100u, 997u}) {
    std::string text;
    while (text.size() < 1200) text += "xxxxxxxxxx\r\n";
    for (const char mark : {'\x1A', '\r'}) {
      std::string data = text;
      data[at] = mark;
      if (mark == '\r' && at + 1 < data.size() && data[at + 1] == '\n') continue;
      test::WriteFile(dir / "t", data);
      std::string expected = mark == '\x1A' ? data.substr(0, at) : data;
      expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
      TextReader r;
      ASSERT_EQ(r.Open(dir / "t"), 0);
      std::string got;
      std::string_view lines;
      while (r.NextLines(lines)) got += lines;
      got.erase(std::remove(got.begin(), got.end(), '\r'), got.end());
      // CRs left before LFs are the caller's to drop; any other CR is gone.
      EXPECT_EQ(got, expected) << at << " " << int(mark);
      std::string_view view;
      TextReader again;
      ASSERT_EQ(again.Open(dir / "t"), 0);
      std::string joined;
      while (again.NextLine(view)) joined += std::string(view) + "\n";
      if (!expected.empty() && expected.back() != '\n') expected += "\n";
      EXPECT_EQ(joined, expected) << at << " " << int(mark);
    }
  }
}

TEST(RenameNoReplace, NeverReplaces) {
  test::TempDir dir;
  test::WriteFile(dir / "a", "A");
  test::WriteFile(dir / "b", "B");
  EXPECT_EQ(RenameNoReplace(dir / "a", dir / "b"), EEXIST);
  EXPECT_EQ(test::ReadFile(dir / "b"), "B");
  EXPECT_EQ(RenameNoReplace(dir / "a", dir / "c"), 0);
  EXPECT_EQ(test::ReadFile(dir / "c"), "A");
}

TEST(Codepage, ConvertsAndCutsOnCharacters) {
  EXPECT_EQ(ToCp932("関東"), "\x8A\xD6\x93\x8C");
  EXPECT_EQ(FromCp932("\x8A\xD6\x93\x8C"), "関東");
  EXPECT_EQ(FromCp932("a\x81"), "a\xEF\xBF\xBD");  // half a character
  EXPECT_EQ(CutCp932("a\x8A\xD6\x93\x8C", 4), "a\x8A\xD6");
  EXPECT_EQ(CutCp932("ab", 4), "ab");
}

TEST(BigAllocator, BlocksNeverOverlapWhateverTheOrderOfFreeing) {
  // More than the huge-page region holds, freed out of order and taken
  // again: every live block must keep its own bytes.
  std::vector<BigVector<unsigned char>> blocks;
  auto fill = [](BigVector<unsigned char>& v, unsigned char mark) {
    std::fill(v.begin(), v.end(), mark);
  };
  for (int i = 0; i < 12; ++i) {
    blocks.emplace_back((700u + 50u * i) << 10);
    fill(blocks.back(), static_cast<unsigned char>(i));
  }
  for (int i : {11, 3, 7, 10}) blocks[i] = BigVector<unsigned char>();  // top first, then holes
  for (int i : {11, 3, 7, 10}) {
    blocks[i] = BigVector<unsigned char>(900u << 10);
    fill(blocks[i], static_cast<unsigned char>(i));
  }
  blocks[0].resize(blocks[0].size() * 3, 0);  // grows out of place
  std::fill(blocks[0].begin(), blocks[0].end(), 0);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(std::count(blocks[i].begin(), blocks[i].end(), static_cast<unsigned char>(i)),
              static_cast<long>(blocks[i].size()))
        << i;
}

}  // namespace
}  // namespace nomvex::platform
