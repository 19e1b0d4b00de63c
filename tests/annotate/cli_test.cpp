// The real program, copied into a temporary folder beside a table made for
// the test, run as a user would run it.
#include "annotate/cli.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "table/number_table.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

using test::ReadFile;
using test::sj;
using test::WriteFile;

TEST(ParseCommandLine, OptionsAndNames) {
  auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "nomvex");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
  };
  EXPECT_EQ(parse({"--help"}).mode, CommandLine::Mode::kHelp);
  EXPECT_EQ(parse({"a.csv", "-V"}).mode, CommandLine::Mode::kVersion);
  EXPECT_EQ(parse({"-x"}).mode, CommandLine::Mode::kBadOption);
  CommandLine c = parse({"--", "-x", "--help"});
  EXPECT_EQ(c.mode, CommandLine::Mode::kRun);
  EXPECT_EQ(c.files, (std::vector<std::string>{"-x", "--help"}));
  EXPECT_EQ(parse({"a b.csv", "-"}).files, (std::vector<std::string>{"a b.csv", "-"}));
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(NOMVEX_BIN, dir_ / "nomvex");
    std::filesystem::permissions(dir_ / "nomvex", std::filesystem::perms::owner_all);
    WriteFile(dir_ / "Nomvex.dat",
              "AVERSION=test 1\nAHDR=x\nA0901234=DoCoMo " + sj("関東") + "\n");
  }
  // Runs the program with no display; gives the exit status, and stderr.
  // A run that hangs is stopped (status 124).
  int Run(const std::string& args, std::string* err = nullptr, const std::string& before = "") {
    std::string cmd = "cd '" + dir_.path().string() + "' && " + before +
                      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 ./nomvex " +
                      args + " >out.txt 2>err.txt";
    int status = std::system(cmd.c_str());
    if (err) *err = ReadFile(dir_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  test::TempDir dir_;
};

TEST_F(ProgramTest, AnnotatesOneOrTwoFiles) {
  WriteFile(dir_ / "a.csv", "x,090-1234-5678\r\n");
  EXPECT_EQ(Run("a.csv b.csv"), 0);
  EXPECT_EQ(ReadFile(dir_ / "b.csv"), "x,090-1234-5678,DoCoMo," + sj("関東") + "\r\n");
  EXPECT_EQ(Run("'a.csv'"), 0);
  EXPECT_EQ(ReadFile(dir_ / "a.csv.bak"), "x,090-1234-5678\r\n");
  EXPECT_EQ(ReadFile(dir_ / "a.csv"), ReadFile(dir_ / "b.csv"));
}

TEST_F(ProgramTest, FailuresHaveTheirOwnStatusAndMessage) {
  std::string err;
  EXPECT_EQ(Run("missing.csv out.csv", &err), 1);
  EXPECT_NE(err.find("missing.csv: ファイルをロードできませんでした。"), std::string::npos) << err;
  WriteFile(dir_ / "a.csv", "0901234\n");
  EXPECT_EQ(Run("a.csv no/dir/out.csv", &err), 2);
  EXPECT_NE(err.find("ファイルの作成に失敗しました。"), std::string::npos) << err;
  WriteFile(dir_ / "a.csv.bak", "old\n");
  EXPECT_EQ(Run("a.csv", &err), 5);
  EXPECT_EQ(ReadFile(dir_ / "a.csv"), "0901234\n");
  EXPECT_EQ(Run("a.csv /dev/full", &err), 4);
  EXPECT_EQ(Run("--bogus", &err), kExitUsage);
}

TEST_F(ProgramTest, WithoutFilesOrTableTheWindowWouldStart) {
  std::string err;
  // No display here: usage on stderr and a non-zero status.
  EXPECT_EQ(Run("", &err), kExitNoWindow);
  EXPECT_NE(err.find("Usage: nomvex"), std::string::npos);
  EXPECT_EQ(Run("a b c", &err), kExitNoWindow);
  std::filesystem::remove(dir_ / "Nomvex.dat");
  WriteFile(dir_ / "a.csv", "0901234\n");
  EXPECT_EQ(Run("a.csv", &err), kExitNoWindow);
  EXPECT_NE(err.find("データファイルが存在しないか"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "a.csv"), "0901234\n");
}

TEST_F(ProgramTest, HelpAndVersion) {
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(ReadFile(dir_ / "out.txt").find("Usage: nomvex"), std::string::npos);
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), "nomvex 1.57\nData : test 1\n");
}

TEST_F(ProgramTest, ATableThatIsNoRegularFileCountsAsNone) {
  std::string err;
  WriteFile(dir_ / "a.csv", "0901234\n");
  std::filesystem::remove(dir_ / "Nomvex.dat");
  // A FIFO nobody writes to: opening it to read would wait for ever.
  ASSERT_EQ(mkfifo((dir_ / "Nomvex.dat").c_str(), 0600), 0);
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), "nomvex 1.57\nData : No Data\n");
  EXPECT_EQ(Run("a.csv", &err), kExitNoWindow);
  EXPECT_NE(err.find("データファイルが存在しないか"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(dir_ / "a.csv"), "0901234\n");

  // Endless zeros.  Without the sanitizers, which need the address space,
  // a bound on memory turns a failure into a quick one.
  std::filesystem::remove(dir_ / "Nomvex.dat");
  std::filesystem::create_symlink("/dev/zero", dir_ / "Nomvex.dat");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string limit;
#else
  const std::string limit = "ulimit -v 2000000; ";
#endif
  EXPECT_EQ(Run("--version", nullptr, limit), 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), "nomvex 1.57\nData : No Data\n");
}

}  // namespace
}  // namespace nomvex
