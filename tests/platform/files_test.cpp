#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
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

}  // namespace
}  // namespace nomvex::platform
