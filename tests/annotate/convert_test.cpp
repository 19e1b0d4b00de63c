#include "annotate/convert.h"

#include <errno.h>
#include <signal.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <set>

#include "examine/rules.h"
#include "table/number_table.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

using test::ReadFile;
using test::sj;
using test::WriteFile;

TEST(FindNumberRun, Cases) {
  struct Case {
    std::string line;
    bool found;
    std::string first7;
  } cases[] = {
      {"09012345678", true, "0901234"},
      {"090-1234-5678", true, "0901234"},
      {"0\"90\"-12\"34567", true, "0901234"},
      {"090 1234 5678", false, ""},
      {"(090)1234-5678", false, ""},
      {"0901234,", true, "0901234"},
      {"090123,", false, ""},
      {"0000-00-00", true, "0000000"},
      {"03-1234-5678,090-1111-2222", true, "0901111"},
      {sj("０９０１２３４５６７８"), false, ""},  // full-width digits
      {"x" + std::string(150, '0') + "y", true, "0000000"},  // any length
      {"tail 0801234", true, "0801234"},  // a run open at the end counts
  };
  for (const Case& c : cases) {
    char first7[7];
    ASSERT_EQ(FindNumberRun(c.line, first7), c.found) << c.line;
    if (c.found) {
      EXPECT_EQ(std::string(first7, 7), c.first7) << c.line;
    }
  }
}

class ConvertTest : public ::testing::Test {
 protected:
  ConvertTest() {
    table_.Assign({{"hdr", "v1"},
                   {"hd2", ""},
                   {"0901234", "DoCoMo " + sj("関東")},
                   {"0801234", "IDO " + sj("首都")},
                   {"0701234", "au " + sj("首都")}});
  }
  ConvertReport Run(const std::string& src, const std::string& dst, ConvertOptions o = {}) {
    return ConvertCsvFile(table_, src, dst, o);
  }
  std::string P(const std::string& name) { return dir_ / name; }

  test::TempDir dir_;
  NumberTable table_;
};

TEST_F(ConvertTest, WorkedExample) {
  WriteFile(P("in.csv"), sj("氏名,電話番号,備考\r\n"
                            "山田,090-1234-5678,自宅 03-3333-4444\r\n"
                            "鈴木,(080)1234-5678\r\n"
                            "佐藤,080-1234-0000\r\n"));
  ConvertOptions counting;
  counting.count_lines = true;
  ConvertReport r = Run(P("in.csv"), P("out.csv"), counting);
  EXPECT_EQ(r.result, ConvertResult::kDone);
  EXPECT_EQ(r.lines_read, 4u);
  EXPECT_EQ(r.lines_written, 2u);
  EXPECT_EQ(r.lines_unknown, 0u);
  EXPECT_EQ(r.encoding.encoding, TextEncoding::kCp932);
  EXPECT_EQ(ReadFile(P("out.csv")), sj("山田,090-1234-5678,自宅 03-3333-4444,DoCoMo,関東\r\n"
                                       "佐藤,080-1234-0000,au,関東\r\n"));
}

TEST_F(ConvertTest, QuotedModeFromTheFirstLineAlone) {
  WriteFile(P("q.csv"), sj("\"氏名\",\"電話番号\"\n\"山田\",\"090-1234-5678\"\n鈴木,0701234\n"));
  ASSERT_EQ(Run(P("q.csv"), P("q.out")).result, ConvertResult::kDone);
  EXPECT_EQ(ReadFile(P("q.out")), sj("\"山田\",\"090-1234-5678\",\"DoCoMo\",\"関東\"\r\n"
                                     "鈴木,0701234,\"au\",\"首都\"\r\n"));
  WriteFile(P("u.csv"), sj("名前\n\"山田\",\"0909999\"\n"));
  ConvertOptions counting;
  counting.count_lines = true;
  const ConvertReport r = Run(P("u.csv"), P("u.out"), counting);
  ASSERT_EQ(r.result, ConvertResult::kDone);
  EXPECT_EQ(r.lines_unknown, 1u);
  EXPECT_EQ(ReadFile(P("u.out")), sj("\"山田\",\"0909999\",？,？\r\n"));
}

TEST_F(ConvertTest, BytesPassThroughWhole) {
  // NUL bytes, a stray CR, a line far over 999 bytes, a last line without
  // line end and data after 0x1A.
  std::string big(5000, 'x');
  WriteFile(P("b.csv"), std::string("a\0b,0901234\r\n", 13) + big + ",0801234-9\n" +
                            "c\r,0701234" + "\x1A" + "0901234\n");
  ASSERT_EQ(Run(P("b.csv"), P("b.out")).result, ConvertResult::kDone);
  EXPECT_EQ(ReadFile(P("b.out")), std::string("a\0b,0901234,DoCoMo,", 19) + sj("関東") + "\r\n" +
                                      big + ",0801234-9,au," + sj("関東") + "\r\n" +
                                      "c,0701234,au," + sj("首都") + "\r\n");
}

TEST_F(ConvertTest, AgreesWithTheRuleLineByLine) {
  // Files of random lines made of the bytes that matter (digits, mostly 0,
  // quotes, hyphens, run enders, CR), long enough to cross every window and
  // read; each line's outcome must be FindNumberRun's.
  std::mt19937 rng(4);
  const char alphabet[] = "0000000123456789\"--, a\x82\x4F";
  for (int round = 0; round < 4; ++round) {
    std::string file, expected;
    while (file.size() < (2500u << 10)) {
      std::string line(rng() % (round == 3 ? 400 : 90), ' ');
      for (char& c : line) c = alphabet[rng() % (sizeof alphabet - 1)];
      if (round == 2 && rng() % 4 == 0) line.insert(rng() % (line.size() + 1), "\r");  // stray CRs
      file += line + (rng() % 2 ? "\r\n" : "\n");
      std::string text;
      for (char c : line) if (c != '\r') text += c;
      char digits[7];
      if (!FindNumberRun(text, digits)) continue;
      LookupResult r = table_.LookupNumber(std::string_view(digits, 7));
      MergeOperator(r.Carrier, r.Region);
      expected += text + "," + std::string(r.Carrier) + "," + std::string(r.Region) + "\r\n";
    }
    WriteFile(P("r.csv"), "x\n" + file + "0801234");  // and a last line without LF
    for (unsigned threads : {1u, 2u}) {  // one reader, or megabyte pieces
      ConvertOptions o;
      o.threads = threads;
      ASSERT_EQ(Run(P("r.csv"), P("r.out"), o).result, ConvertResult::kDone);
      ASSERT_EQ(ReadFile(P("r.out")), expected + "0801234,au," + sj("関東") + "\r\n")
          << round << " " << threads;
    }
  }
}

TEST_F(ConvertTest, PiecesGiveWhatOneReaderGives) {
  // Files cut into pieces as small as a byte, so that every mark falls on,
  // before and after a piece's edge: each must come out as one thread
  // reading the file whole makes it.
  const std::string lng(300, 'x');
  const std::string files[] = {
      "a,0901234\r\nb,0801234\n\nc,0701234\r\n0901234",  // last line without LF
      lng + ",0901234\r\n" + lng + lng + "\n0801234-0\r\n",    // lines over many pieces
      "a,0901234\r\nb,08012\x1A" "34\nc,0701234\n",              // 0x1A ends the data
      "0901234," + lng + "\x1A" + lng + "\n0701234\n",           // inside a long line
      "\x1A" "0901234\n0801234\n",                               // at the very start
      "a,0901234\r\nb,0801234\r\nc\r,0701234\r\r\n",            // stray CRs late
      "a,0901234\r\nb,0801234\r",                                // a CR at the very end
      "\r\r\"x\",\"0901234\"\r\n0801234\r\n",                    // quoted, after CRs
      "\n\n\n0901234\n\n\n\n0801234\n\n",                          // empty lines
  };
  for (const std::string& file : files) {
    WriteFile(P("f.csv"), file);
    ConvertOptions one;
    one.threads = 1;
    one.count_lines = true;
    const ConvertReport want = Run(P("f.csv"), P("want.out"), one);
    ASSERT_EQ(want.result, ConvertResult::kDone);
    for (size_t piece : {1, 2, 3, 7, 64}) {
      for (unsigned threads : {2u, 3u}) {
        ConvertOptions o;
        o.piece_size = piece;
        o.threads = threads;
        o.count_lines = true;
        const ConvertReport got = Run(P("f.csv"), P("got.out"), o);
        ASSERT_EQ(got.result, ConvertResult::kDone);
        EXPECT_EQ(got.lines_read, want.lines_read);
        EXPECT_EQ(got.lines_written, want.lines_written);
        EXPECT_EQ(got.lines_unknown, want.lines_unknown);
        ASSERT_EQ(ReadFile(P("got.out")), ReadFile(P("want.out")))
            << ::testing::PrintToString(file) << " in pieces of " << piece << " on " << threads;
      }
    }
  }
}

// Lines longer than the line limit, each kind where it matters: the number
// early, late, split by a part's edge or a stray CR, at the very end, none,
// a 0x1A inside, quoted CR LF files, a first line after a UTF-8 mark.
std::vector<std::string> LongLineFiles(const std::string& lng) {
  return {
      lng + ",0901234\r\nb,0801234\n",
      "0901234" + lng + "\r\nb\n" + lng + "\n",
      lng + lng + "\n0801234\n",
      "a\n" + lng + "0701234",
      lng + "09\r01234" + lng + "\n" + lng + "\r",
      lng + "090123\x1A" "4\n0801234\n",
      "\"q\"," + lng + ",0901234\r\n" + lng + "\r\n\"0801234\"\r\n",
      lng + "0-9\"0-1\"2" + lng + "34\n0901" + lng + "234\n",
      std::string(lng.size(), '0') + "\n" + std::string(lng.size(), '7') + "\n",
      "\xEF\xBB\xBF" + lng + ",0901234\n" + lng + "\n",  // UTF-8, its mark kept first
  };
}

TEST_F(ConvertTest, LinesPastTheLimitComeOutAsAnyOther) {
  // Lines never held whole give what lines read whole give, byte for byte:
  // from a regular file in pieces (read again), and from the single reader
  // (kept in a scratch file).  The reader takes a megabyte at a time, so
  // its lines are longer.
  auto check = [&](const std::string& file, const std::vector<ConvertOptions>& configs) {
    WriteFile(P("l.csv"), file);
    ConvertOptions whole;
    whole.threads = 1;
    whole.piece_size = size_t{1} << 40;
    whole.line_limit = size_t{1} << 40;
    const ConvertReport want = Run(P("l.csv"), P("want.out"), whole);
    ASSERT_EQ(want.result, ConvertResult::kDone);
    const std::string wanted = ReadFile(P("want.out"));
    for (const ConvertOptions& o : configs) {
      const ConvertReport got = Run(P("l.csv"), P("got.out"), o);
      ASSERT_EQ(got.result, ConvertResult::kDone);
      EXPECT_EQ(got.lines_written, want.lines_written);
      const bool same = ReadFile(P("got.out")) == wanted;
      EXPECT_TRUE(same) << file.substr(0, 40) << "... in pieces of " << o.piece_size
                        << ", limit " << o.line_limit << ", " << o.threads << " threads";
    }
  };
  std::vector<ConvertOptions> in_pieces, streamed;
  for (size_t piece : {1, 16, 100}) {
    for (size_t limit : {1, 64}) {
      for (unsigned threads : {1u, 2u}) {
        ConvertOptions o;
        o.piece_size = piece;
        o.line_limit = limit;
        o.threads = threads;
        in_pieces.push_back(o);
      }
    }
  }
  for (size_t limit : {7, 4096}) {
    ConvertOptions o;
    o.piece_size = size_t{1} << 40;
    o.line_limit = limit;
    streamed.push_back(o);
  }
  for (const std::string& file : LongLineFiles(std::string(300, 'x'))) check(file, in_pieces);
  for (const std::string& file : LongLineFiles(std::string(1100000, 'x'))) check(file, streamed);
}

TEST_F(ConvertTest, TablesWithVeryManyDistinctValues) {
  // More distinct values than a 16-bit number counts: each answer must keep
  // its own suffix.
  std::vector<std::pair<std::string, std::string>> entries = {{"hdr", "v"}, {"hd2", ""}};
  for (int i = 0; i < 70000; ++i) {
    char key[8];
    std::snprintf(key, sizeof key, "0%d0%04d", i / 10000, i % 10000);
    entries.push_back({key, "op" + std::to_string(i) + " r" + std::to_string(i)});
  }
  table_.Assign(std::move(entries));
  WriteFile(P("m.csv"), "a,0501234\nb,0602345\nc,0102345\n");
  ASSERT_EQ(Run(P("m.csv"), P("m.out")).result, ConvertResult::kDone);
  EXPECT_EQ(ReadFile(P("m.out")), "a,0501234,op51234,r51234\r\nb,0602345,op62345,r62345\r\n"
                                  "c,0102345,op12345,r12345\r\n");
}

TEST_F(ConvertTest, EmptySourceGivesEmptyDestination) {
  WriteFile(P("e.csv"), "");
  EXPECT_EQ(Run(P("e.csv"), P("e.out")).result, ConvertResult::kDone);
  EXPECT_TRUE(std::filesystem::exists(P("e.out")));
  EXPECT_EQ(ReadFile(P("e.out")), "");
}

TEST_F(ConvertTest, OpenFailures) {
  ConvertReport r = Run(P("missing.csv"), P("never.csv"));
  EXPECT_EQ(r.result, ConvertResult::kSourceOpen);
  EXPECT_FALSE(std::filesystem::exists(P("never.csv")));
  EXPECT_EQ(Run(dir_.path().string(), P("never.csv")).result, ConvertResult::kSourceOpen);
  WriteFile(P("in.csv"), "0901234\n");
  r = Run(P("in.csv"), P("no/such/folder.csv"));
  EXPECT_EQ(r.result, ConvertResult::kDestCreate);
  EXPECT_EQ(r.error, ENOENT);
  EXPECT_EQ(Run("", "").result, ConvertResult::kSourceOpen);
}

TEST_F(ConvertTest, InPlaceKeepsTheOldContentAsBackup) {
  const std::string old = "a,090-1234-5678\r\nno number\r\n";
  WriteFile(P("list.csv"), old);
  ASSERT_EQ(Run(P("list.csv"), P("list.csv")).result, ConvertResult::kDone);
  EXPECT_EQ(ReadFile(P("list.csv.bak")), old);
  EXPECT_EQ(ReadFile(P("list.csv")), "a,090-1234-5678,DoCoMo," + sj("関東") + "\r\n");
}

TEST_F(ConvertTest, InPlaceNeverTouchesAnExistingBackup) {
  WriteFile(P("list.csv"), "current,0901234\n");
  WriteFile(P("list.csv.bak"), "older,0801234\n");
  ConvertReport r = Run(P("list.csv"), P("list.csv"));
  EXPECT_EQ(r.result, ConvertResult::kBackupExists);
  EXPECT_EQ(r.path, P("list.csv.bak"));
  EXPECT_EQ(ReadFile(P("list.csv")), "current,0901234\n");
  EXPECT_EQ(ReadFile(P("list.csv.bak")), "older,0801234\n");
  EXPECT_EQ(Run(P("gone.csv"), P("gone.csv")).result, ConvertResult::kSourceOpen);
}

TEST_F(ConvertTest, TwoNamesOfOneFileAnnotateInPlace) {
  const std::string old = "a,0901234\n";
  WriteFile(P("f.csv"), old);
  std::vector<std::string> others = {P("link.csv"), dir_ / "./f.csv"};
  // (No relative name from another drive.)
  if (std::string relative = test::Utf8(std::filesystem::relative(P("f.csv"))); !relative.empty())
    others.push_back(relative);
#ifdef _WIN32
  others.push_back(P("F.CSV"));  // names differ in case only
#endif
  for (const std::string& other : others) {
    std::filesystem::remove(P("f.csv.bak"));
    std::filesystem::remove(P("link.csv"));
    WriteFile(P("f.csv"), old);
#ifdef _WIN32
    std::filesystem::create_hard_link(test::PathOf(P("f.csv")), test::PathOf(P("link.csv")));
#else
    ASSERT_EQ(symlink(P("f.csv").c_str(), P("link.csv").c_str()), 0);
#endif
    ASSERT_EQ(Run(P("f.csv"), other).result, ConvertResult::kDone) << other;
    EXPECT_EQ(ReadFile(P("f.csv.bak")), old) << other;
    EXPECT_EQ(ReadFile(P("f.csv")), "a,0901234,DoCoMo," + sj("関東") + "\r\n") << other;
  }
}

// Pipes, terminals, links, owners and mode bits: what Linux has of them.
#ifndef _WIN32
TEST_F(ConvertTest, InPlaceOnlyOnARegularFile) {
  // Nothing that is not a regular file is moved away or replaced: not a
  // pipe, not a link (to a file or to a pipe), not a folder.
  WriteFile(P("f.csv"), "a,0901234\n");
  ASSERT_EQ(mkfifo(P("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink(P("f.csv").c_str(), P("link.csv").c_str()), 0);
  ASSERT_EQ(symlink(P("fifo").c_str(), P("link.fifo").c_str()), 0);
  std::filesystem::create_directory(P("folder"));
  const std::set<std::string> before = {"f.csv", "fifo", "link.csv", "link.fifo", "folder"};
  for (const std::string name : {"fifo", "link.csv", "link.fifo", "folder"}) {
    ConvertReport r = Run(P(name), P(name));
    EXPECT_EQ(r.result, ConvertResult::kNotRegularFile) << name;
    EXPECT_EQ(r.path, P(name));
    std::set<std::string> now;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      now.insert(e.path().filename().string());
    EXPECT_EQ(now, before) << name;
  }
  EXPECT_TRUE(std::filesystem::is_symlink(P("link.csv")));
  EXPECT_EQ(ReadFile(P("f.csv")), "a,0901234\n");
  EXPECT_EQ(Run(P("link.csv"), P("f.csv")).result, ConvertResult::kNotRegularFile);
  EXPECT_EQ(ReadFile(P("f.csv")), "a,0901234\n");
}

TEST_F(ConvertTest, TwoNamesOfOneTerminalAreReadAndWritten) {
  // As /dev/stdin and /dev/stdout are in a terminal: one device, two names.
  // It is read to its end (Ctrl+D) and written, with nothing renamed.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pty";
  const std::string tty = ptsname(master);
  const int slave = open(tty.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  const std::string typed = "a,0901234\n\x04";
  ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  ConvertReport r = Run("/proc/self/fd/" + std::to_string(slave), tty);
  EXPECT_EQ(r.result, ConvertResult::kDone) << ConvertDetails(r);
  EXPECT_EQ(r.lines_written, 1u);
  EXPECT_FALSE(std::filesystem::exists(tty + ".bak"));
  close(slave);
  close(master);
}

TEST_F(ConvertTest, InPlaceKeepsPermissionsAndOwner) {
  // A private list must not come back readable by everyone; as root, the
  // owner and group are kept too.
  for (mode_t mode : {0600, 0640, 0604, 0755, 0400}) {
    std::filesystem::remove(P("l.csv.bak"));
    std::filesystem::remove(P("l.csv"));
    WriteFile(P("l.csv"), "a,0901234\n");
    ASSERT_EQ(chmod(P("l.csv").c_str(), mode), 0);
    const bool root = geteuid() == 0;
    if (root) {
      ASSERT_EQ(chown(P("l.csv").c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(Run(P("l.csv"), P("l.csv")).result, ConvertResult::kDone);
    struct stat st;
    ASSERT_EQ(stat(P("l.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
    if (root) {
      EXPECT_EQ(st.st_uid, 65534u);
      EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_EQ(ReadFile(P("l.csv.bak")), "a,0901234\n");
  }
}
#endif  // !_WIN32

// What the file's name holds at every write of an in-place run, and what
// a write may do meanwhile: stand for a signal.
struct InPlaceWatch {
  static inline std::string name, original;
  static inline int writes = 0, broken = 0, stop_at = -1;
  static inline std::atomic<int> stop{0};
  static ssize_t Write(int fd, const void* p, size_t n) {
    ++writes;
    if (ReadFile(name) != original) ++broken;
    if (writes == stop_at) stop = SIGTERM;
    return write(fd, p, n);
  }
};

TEST_F(ConvertTest, InPlaceTheNameHoldsTheOriginalUntilTheAnnotationIsWhole) {
  // Were the process killed at any write, the file's name would still give
  // the original: the annotation goes to another file until it is whole.
  std::string old;
  for (int i = 0; i < 150000; ++i) old += "n" + std::to_string(i) + ",090-1234-5678\r\n";
  for (unsigned threads : {1u, 2u}) {
    std::filesystem::remove(P("big.csv.bak"));
    WriteFile(P("big.csv"), old);
    InPlaceWatch::name = P("big.csv");
    InPlaceWatch::original = old;
    InPlaceWatch::writes = InPlaceWatch::broken = 0;
    InPlaceWatch::stop_at = -1;
    ConvertOptions o;
    o.write_fn = &InPlaceWatch::Write;
    o.threads = threads;
    o.piece_size = 256 << 10;  // many writes
    ASSERT_EQ(Run(P("big.csv"), P("big.csv"), o).result, ConvertResult::kDone);
    EXPECT_GT(InPlaceWatch::writes, 2);
    EXPECT_EQ(InPlaceWatch::broken, 0);
    EXPECT_TRUE(ReadFile(P("big.csv.bak")) == old);
    EXPECT_EQ(ReadFile(P("big.csv")).size(),
              old.size() + 150000 * (std::string(",DoCoMo,").size() + sj("関東").size()));
  }
}

TEST_F(ConvertTest, ANewDestinationAppearsOnlyWhole) {
  // Were the process killed at any write, there would be no destination
  // rather than part of one.
  std::string lines;
  for (int i = 0; i < 150000; ++i) lines += "n" + std::to_string(i) + ",090-1234-5678\n";
  WriteFile(P("in.csv"), lines);
  for (unsigned threads : {1u, 2u}) {
    std::filesystem::remove(P("new.csv"));
    InPlaceWatch::name = P("new.csv");
    InPlaceWatch::original = "";  // no file reads as empty
    InPlaceWatch::writes = InPlaceWatch::broken = 0;
    InPlaceWatch::stop_at = -1;
    ConvertOptions o;
    o.write_fn = &InPlaceWatch::Write;
    o.threads = threads;
    o.piece_size = 256 << 10;
    ASSERT_EQ(Run(P("in.csv"), P("new.csv"), o).result, ConvertResult::kDone);
    EXPECT_GT(InPlaceWatch::writes, 2);
    EXPECT_EQ(InPlaceWatch::broken, 0);
    EXPECT_EQ(std::filesystem::file_size(P("new.csv")),
              lines.size() + 150000 * (std::string(",DoCoMo,\r").size() + sj("関東").size()));
    struct stat st;
    ASSERT_EQ(stat(P("new.csv").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);  // as a file simply created
  }
}

TEST_F(ConvertTest, StoppedRunsCleanUpAsAfterAWriteError) {
  // In place the file is as it was, with no backup and no new file left
  // beside it; a destination file is removed.
  std::string old;
  for (int i = 0; i < 150000; ++i) old += "n" + std::to_string(i) + ",090-1234-5678\n";
  for (bool in_place : {true, false}) {
    for (unsigned threads : {1u, 2u}) {
      WriteFile(P("s.csv"), old);
      InPlaceWatch::name = P("s.csv");
      InPlaceWatch::original = old;
      InPlaceWatch::writes = 0;
      InPlaceWatch::stop_at = 2;
      InPlaceWatch::stop = 0;
      ConvertOptions o;
      o.write_fn = &InPlaceWatch::Write;
      o.threads = threads;
      o.piece_size = 256 << 10;
      o.stop = &InPlaceWatch::stop;
      const std::string dest = in_place ? P("s.csv") : P("out.csv");
      ConvertReport r = Run(P("s.csv"), dest, o);
      EXPECT_EQ(r.result, ConvertResult::kStopped) << in_place << threads;
      EXPECT_TRUE(ReadFile(P("s.csv")) == old);
      std::vector<std::string> left;
      for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
        left.push_back(e.path().filename().string());
      EXPECT_EQ(left, std::vector<std::string>{"s.csv"}) << in_place << threads;
    }
  }
  // Stopped before it began (the user was quick): nothing is made.
  std::atomic<int> user{-1};
  ConvertOptions o;
  o.stop = &user;
  EXPECT_EQ(Run(P("s.csv"), P("out.csv"), o).result, ConvertResult::kStopped);
  EXPECT_FALSE(std::filesystem::exists(P("out.csv")));
}

ssize_t DiskFull(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

TEST_F(ConvertTest, WriteErrorsFailAndLoseNothing) {
  const std::string old = "a,0901234\nb,0801234\n";
  WriteFile(P("list.csv"), old);
  ConvertOptions full;
  full.write_fn = &DiskFull;
  ConvertReport r = Run(P("list.csv"), P("list.csv"), full);
  EXPECT_EQ(r.result, ConvertResult::kWriteFailed);
  EXPECT_EQ(r.error, ENOSPC);
  EXPECT_EQ(ReadFile(P("list.csv")), old);  // back under its own name
  EXPECT_FALSE(std::filesystem::exists(P("list.csv.bak")));
  EXPECT_TRUE(r.content_at.empty());

  r = Run(P("list.csv"), P("out.csv"), full);
  EXPECT_EQ(r.result, ConvertResult::kWriteFailed);
  EXPECT_FALSE(std::filesystem::exists(P("out.csv")));  // no partial file left
  EXPECT_EQ(ReadFile(P("list.csv")), old);

  full.piece_size = 4;  // written piece by piece from two threads
  full.threads = 2;
  r = Run(P("list.csv"), P("out.csv"), full);
  EXPECT_EQ(r.result, ConvertResult::kWriteFailed);
  EXPECT_FALSE(std::filesystem::exists(P("out.csv")));
}

ssize_t NoMemory(int, const void*, size_t) { throw std::bad_alloc(); }

TEST_F(ConvertTest, OutOfMemoryCleansUpAsAWriteErrorDoes) {
  const std::string old = "a,0901234\nb,0801234\n";
  for (unsigned threads : {1u, 2u}) {
    WriteFile(P("list.csv"), old);
    ConvertOptions o;
    o.write_fn = &NoMemory;
    o.threads = threads;
    o.piece_size = 4;
    EXPECT_EQ(Run(P("list.csv"), P("list.csv"), o).result, ConvertResult::kOutOfMemory);
    EXPECT_EQ(Run(P("list.csv"), P("out.csv"), o).result, ConvertResult::kOutOfMemory);
    EXPECT_EQ(ReadFile(P("list.csv")), old);
    EXPECT_FALSE(std::filesystem::exists(P("list.csv.bak")));
    EXPECT_FALSE(std::filesystem::exists(P("out.csv")));
  }
}

TEST_F(ConvertTest, RealDiskFullDevice) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
  WriteFile(P("list.csv"), "a,0901234\n");
  EXPECT_EQ(Run(P("list.csv"), "/dev/full").result, ConvertResult::kWriteFailed);
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(ConvertTest, ReportsProgressToTheEnd) {
  std::string lines;
  for (int i = 0; i < 100000; ++i) lines += "name,090-1234-5678\n";
  WriteFile(P("p.csv"), lines);
  uint64_t last = 0, total = 0;
  ConvertOptions o;
  o.progress = [&](uint64_t done, uint64_t size) {
    EXPECT_GE(done, last);
    last = done;
    total = size;
  };
  ASSERT_EQ(Run(P("p.csv"), P("p.out"), o).result, ConvertResult::kDone);
  EXPECT_EQ(last, lines.size());
  EXPECT_EQ(total, lines.size());
}

}  // namespace
}  // namespace nomvex
