// The real program, copied into a temporary folder beside a table made for
// the test, run as a user would run it.
#include "annotate/cli.h"

#ifndef _WIN32
#include <fcntl.h>
#include <locale.h>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <optional>
#include <sstream>

#include "table/number_table.h"
#include "tests/test_util.h"

#ifndef _WIN32
extern char** environ;
#endif

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

  c = parse({"--table", "t.dat", "a.csv", "--table=u.dat", "-V"});
  EXPECT_EQ(c.mode, CommandLine::Mode::kVersion);
  EXPECT_EQ(c.table, "u.dat");
  EXPECT_EQ(c.files, (std::vector<std::string>{"a.csv"}));
  EXPECT_EQ(parse({"a.csv", "--table"}).mode, CommandLine::Mode::kBadOption);
  EXPECT_EQ(parse({"--", "--table", "x"}).table, "");
}

TEST(ParseCommandLine, AnnotationOptions) {
  auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "nomvex");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
  };
  CommandLine c = parse({"--encoding", "utf-8", "--column=3", "--normalize", "-v", "a.csv"});
  EXPECT_EQ(c.mode, CommandLine::Mode::kRun);
  EXPECT_EQ(c.encoding, TextEncoding::kUtf8);
  EXPECT_EQ(c.column, 3u);
  EXPECT_TRUE(c.normalize);
  EXPECT_TRUE(c.verbose);
  EXPECT_EQ(c.files, (std::vector<std::string>{"a.csv"}));
  EXPECT_EQ(parse({"--encoding=cp932", "-"}).encoding, TextEncoding::kCp932);
  for (auto bad : std::vector<std::vector<const char*>>{
           {"--encoding", "utf-16"}, {"--encoding"}, {"--column", "0"}, {"--column", "x"},
           {"--column=3x"}, {"--column"}, {"--column", "-1"}}) {
    c = parse(bad);
    EXPECT_EQ(c.mode, CommandLine::Mode::kBadOption) << bad[0];
    EXPECT_NE(c.usage_error.find(std::string(bad[0]).substr(0, 8)), std::string::npos) << c.usage_error;
  }
}

TEST(ParseCommandLine, AnnotateDialog) {
  auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "nomvex");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
  };
  // The desktop entry's "Open with": the file goes to the dialog, never to
  // the annotation that writes at once.
  struct {
    std::vector<const char*> args;
    std::optional<std::string> dialog;
    CommandLine::Mode mode;
  } cases[] = {
      {{"--annotate-dialog", "a.csv"}, "a.csv", CommandLine::Mode::kRun},
      {{"--annotate-dialog=-x.csv"}, "-x.csv", CommandLine::Mode::kRun},
      {{"--annotate-dialog"}, std::nullopt, CommandLine::Mode::kRun},  // started with no file
      {{"--annotate-dialog", "a.csv", "b.csv"}, "a.csv", CommandLine::Mode::kBadOption},
  };
  for (const auto& c : cases) {
    CommandLine cmd = parse(c.args);
    EXPECT_EQ(cmd.annotate_dialog, c.dialog) << c.args[0];
    EXPECT_EQ(cmd.mode, c.mode) << c.args[0];
    if (c.mode == CommandLine::Mode::kRun) {
      EXPECT_TRUE(cmd.files.empty());
    }
  }
}

#ifndef _WIN32
// The program under test: this build's, or the one NOMVEX_PROGRAM names, run
// by NOMVEX_PROGRAM_RUNNER (the Windows program under Wine, which runs the
// cases that make sense on Windows: see CMakeLists.txt).
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* other = std::getenv("NOMVEX_PROGRAM");
    const char* runner = std::getenv("NOMVEX_PROGRAM_RUNNER");
    const std::string name = other && std::string_view(other).ends_with(".exe") ? "nomvex.exe" : "nomvex";
    program_ = (runner ? std::string(runner) + " " : std::string()) + "./" + name;
    std::filesystem::copy_file(other ? other : NOMVEX_BIN, dir_ / name);
    std::filesystem::permissions(dir_ / name, std::filesystem::perms::owner_all);
    WriteFile(dir_ / "Nomvex.dat",
              "AVERSION=test 1\nAHDR=x\nA0901234=DoCoMo " + sj("関東") + "\n");
  }
  // Runs the program with no display; gives the exit status, and stderr.
  // A run that hangs is stopped (status 124).
  int Run(const std::string& args, std::string* err = nullptr, const std::string& before = "") {
    std::string cmd = "cd '" + dir_.path().string() + "' && " + before +
                      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 " + program_ +
                      " " + args + " >out.txt 2>err.txt";
    int status = std::system(cmd.c_str());
    if (err) *err = ReadFile(dir_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The name of a file in the folder as the program sees its own folder.
  // The file's full name as the program shows it: under Wine the root is
  // drive Z:.
  std::string Real(const std::string& name) {
    std::string real = (std::filesystem::canonical(dir_.path()) / name).string();
    if (program_.ends_with(".exe")) {
      std::replace(real.begin(), real.end(), '/', '\\');
      real = "Z:" + real;
    }
    return real;
  }
  bool windows() const { return program_.ends_with(".exe"); }
  test::TempDir dir_;
  std::string program_;  // the command that starts it
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
  if (!windows()) EXPECT_EQ(Run("a.csv /dev/full", &err), 4);  // a Linux device
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

TEST_F(ProgramTest, InPlaceRefusesWhatIsNotARegularFile) {
  std::string err;
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(Run("fifo", &err), 7);
  EXPECT_NE(err.find("fifo: 通常のファイルではないため"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "fifo.bak"));
  // Standard input that is a file still names a link in /dev.
  WriteFile(dir_ / "a.csv", "0901234\n");
  EXPECT_EQ(Run("/dev/stdin <a.csv", &err), 7);
  EXPECT_TRUE(std::filesystem::is_symlink("/dev/stdin"));
  EXPECT_FALSE(std::filesystem::exists("/dev/stdin.bak"));
  // Standard input into a file still works.
  EXPECT_EQ(Run("/dev/stdin b.csv <a.csv"), 0);
  EXPECT_EQ(ReadFile(dir_ / "b.csv"), "0901234,DoCoMo," + sj("関東") + "\r\n");
}

TEST_F(ProgramTest, InPlaceByAnotherUserNeverWidensWhoMayRead) {
  // Run by a user who cannot give the file its group, the annotation's own
  // group gets no more than everybody: a file of root's group, writable by
  // that group, must not become so for the user's own group.
  if (geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv";
  namespace fs = std::filesystem;
  fs::permissions(dir_.path(), fs::perms::all);
  fs::permissions(dir_ / "nomvex", fs::perms::owner_all | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
  WriteFile(dir_ / "a.csv", "a,0901234\n");
  ASSERT_EQ(chown((dir_ / "a.csv").c_str(), 0, 0), 0);
  ASSERT_EQ(chmod((dir_ / "a.csv").c_str(), 0664), 0);
  EXPECT_EQ(Run("a.csv", nullptr, "exec setpriv --reuid=65534 --regid=65534 --clear-groups "), 0);
  struct stat st;
  ASSERT_EQ(stat((dir_ / "a.csv").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << std::oct << (st.st_mode & 0777);
  EXPECT_EQ(ReadFile(dir_ / "a.csv.bak"), "a,0901234\n");
}

// Starts the program on `args` in the test's folder with `out` as its
// standard output; gives its process id.
pid_t Start(const std::string& dir, std::vector<std::string> args, int out = -1, int in = -1) {
  args.insert(args.begin(), dir + "/nomvex");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  if (in >= 0) posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir + "/err.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // The signals as a shell gives them, whatever the test runner ignores.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return pid;
}

// The exit status, or -1 when the process was killed by a signal; and its
// peak memory.
int Wait(pid_t pid, long* peak_kib = nullptr) {
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  if (peak_kib) *peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The last `n` bytes of a file.
std::string Tail(const std::string& path, size_t n) {
  std::string bytes(n, '\0');
  const int fd = open(path.c_str(), O_RDONLY);
  const off_t size = lseek(fd, 0, SEEK_END);
  bytes.resize(static_cast<size_t>(std::max<ssize_t>(0, pread(fd, bytes.data(), n, size - static_cast<off_t>(n)))));
  close(fd);
  return bytes;
}

// A child's peak memory counts from its parent's peak (the address space
// it was started from): the parent's is brought down to what it uses now.
bool ResetPeakMemory() {
  malloc_trim(0);
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return static_cast<bool>(clear);
}

// The sanitizers' own memory would be counted too.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kPeakBoundKib = 1L << 40;
#else
constexpr long kPeakBoundKib = 48L << 10;
#endif

TEST_F(ProgramTest, OneEndlessLineKeepsMemoryBounded) {
  // A line of 128 MiB (zeros of a sparse file) with its number at the very
  // end, then one of 32 MiB through a pipe: written byte for byte, while
  // the program stays within tens of MiB.
  constexpr off_t kLong = off_t{128} << 20;
  const std::string head = "a,", tail = ",090-1234-5678\r\nb,0801234\n";
  const std::string written_tail =
      ",090-1234-5678,DoCoMo," + sj("関東") + "\r\nb,0801234," + sj("？,？") + "\r\n";
  {
    const int fd = open((dir_ / "sparse.csv").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(pwrite(fd, head.data(), head.size(), 0), 2);
    ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), kLong), static_cast<ssize_t>(tail.size()));
    close(fd);
  }
  if (!ResetPeakMemory()) GTEST_SKIP() << "cannot reset the peak memory here";
  long peak = 0;
  EXPECT_EQ(Wait(Start(dir_.path(), {dir_ / "sparse.csv", dir_ / "out.csv"}), &peak), 0);
  EXPECT_LT(peak, kPeakBoundKib) << "KiB";
  EXPECT_EQ(std::filesystem::file_size(dir_ / "out.csv"),
            static_cast<uintmax_t>(kLong) + written_tail.size());
  EXPECT_EQ(Tail(dir_ / "out.csv", written_tail.size() + 4), std::string(4, '\0') + written_tail);
  std::filesystem::remove(dir_ / "sparse.csv");

  constexpr size_t kPiped = size_t{32} << 20;
  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);
  const pid_t pid = Start(dir_.path(), {"/dev/stdin", dir_ / "out.csv"}, -1, pipe_ends[0]);
  close(pipe_ends[0]);
  std::string block(1 << 20, '\0');
  bool sent = write(pipe_ends[1], head.data(), head.size()) == 2;
  for (size_t n = 0; n < kPiped && sent; n += block.size())
    sent = write(pipe_ends[1], block.data(), block.size()) == static_cast<ssize_t>(block.size());
  sent = sent && write(pipe_ends[1], tail.data(), tail.size()) == static_cast<ssize_t>(tail.size());
  close(pipe_ends[1]);
  EXPECT_TRUE(sent);
  EXPECT_EQ(Wait(pid, &peak), 0);
  EXPECT_LT(peak, kPeakBoundKib) << "KiB";
  EXPECT_EQ(std::filesystem::file_size(dir_ / "out.csv"), head.size() + kPiped + written_tail.size());
  EXPECT_EQ(Tail(dir_ / "out.csv", written_tail.size() + 4), std::string(4, '\0') + written_tail);
}

TEST_F(ProgramTest, SignalsCleanUpAndExitWith128PlusTheSignal) {
  // A run waiting on a pipe that has sent part of a file: the destination
  // it began (an existing one, emptied and written as it comes) is removed.
  // (The part is longer than the 64 KiB in which the encoding is told,
  // after which the destination is opened.)
  ASSERT_EQ(mkfifo((dir_ / "in.fifo").c_str(), 0600), 0);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    WriteFile(dir_ / "out.csv", "old");
    pid_t pid = Start(dir_.path(), {dir_ / "in.fifo", dir_ / "out.csv"});
    const int fifo = open((dir_ / "in.fifo").c_str(), O_WRONLY);  // the program has it open
    ASSERT_GE(fifo, 0);
    std::string part;
    while (part.size() <= 65536) part += "a,0901234\nb,0801234\n";
    ASSERT_EQ(write(fifo, part.data(), part.size()), static_cast<ssize_t>(part.size()));
    for (int i = 0; i < 500 && std::filesystem::file_size(dir_ / "out.csv") == 3; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(std::filesystem::file_size(dir_ / "out.csv"), 0u);
    kill(pid, signal);
    close(fifo);  // were the signal early, the read that follows would end here
    EXPECT_EQ(Wait(pid), 128 + signal) << signal;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.csv")) << signal;
    EXPECT_NE(ReadFile(dir_ / "err.txt").find("中断しました。"), std::string::npos);
  }
}

TEST_F(ProgramTest, WritesIntoAPipeUntilItsReaderGoesAway) {
  std::string lines;
  for (int i = 0; i < 200000; ++i) lines += "x,090-1234-5678\n";
  WriteFile(dir_ / "big.csv", lines);
  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);
  pid_t pid = Start(dir_.path(), {dir_ / "big.csv", "/dev/stdout"}, pipe_ends[1]);
  close(pipe_ends[1]);
  size_t got = 0;
  char block[65536];
  for (ssize_t n; (n = read(pipe_ends[0], block, sizeof block)) > 0;) got += static_cast<size_t>(n);
  close(pipe_ends[0]);
  EXPECT_EQ(Wait(pid), 0);
  EXPECT_EQ(got, 200000 * ("x,090-1234-5678,DoCoMo," + sj("関東") + "\r\n").size());

  // As `nomvex big.csv /dev/stdout | head` does once head has enough.
  ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);
  close(pipe_ends[0]);
  pid = Start(dir_.path(), {dir_ / "big.csv", "/dev/stdout"}, pipe_ends[1]);
  close(pipe_ends[1]);
  EXPECT_EQ(Wait(pid), 128 + SIGPIPE);
  EXPECT_EQ(ReadFile(dir_ / "err.txt"), "");
}

// The help, the messages and the system's reasons follow the locale, and
// go out in its encoding.  Needs the locales made by scripts/deps.
TEST_F(ProgramTest, MessagesInTheUsersLanguageAndEncoding) {
  std::filesystem::copy(NOMVEX_LOCALE_DIR, dir_ / "locale", std::filesystem::copy_options::recursive);
  auto have = [](const char* name) {
    locale_t l = newlocale(LC_ALL_MASK, name, nullptr);
    if (l) freelocale(l);
    return l != nullptr;
  };
  auto run = [&](const char* locale, const std::string& args, std::string* out, std::string* err) {
    int status = Run(args, nullptr, std::string("LC_ALL=") + locale + " ");
    *out = ReadFile(dir_ / "out.txt");
    *err = ReadFile(dir_ / "err.txt");
    return status;
  };
  std::string out, err;

  // Not Japanese: English help; the annotation's own Japanese texts in UTF-8.
  EXPECT_EQ(run("C", "--help", &out, &err), 0);
  EXPECT_NE(out.find("Usage: nomvex"), std::string::npos) << out;
  EXPECT_EQ(run("C", "missing.csv out.csv", &out, &err), 1);
  EXPECT_EQ(err, "nomvex: missing.csv: ファイルをロードできませんでした。 (No such file or directory)\n");

  if (!have("ja_JP.UTF-8")) GTEST_SKIP() << "no ja_JP.UTF-8 locale (scripts/deps makes it)";
  EXPECT_EQ(run("ja_JP.UTF-8", "--help", &out, &err), 0);
  EXPECT_NE(out.find("使い方: nomvex"), std::string::npos) << out;
  EXPECT_NE(out.find("  -h, --help       この説明を表示する\n"), std::string::npos) << out;
  EXPECT_EQ(run("ja_JP.UTF-8", "missing.csv out.csv", &out, &err), 1);
  EXPECT_EQ(err, "nomvex: missing.csv: ファイルをロードできませんでした。 "
                 "(そのようなファイルやディレクトリはありません)\n");
  EXPECT_EQ(run("ja_JP.UTF-8", "--bogus", &out, &err), kExitUsage);
  EXPECT_EQ(err, "nomvex: 不明なオプションです: --bogus\n'nomvex --help' で使い方を表示します。\n");

  if (!have("ja_JP.SJIS")) GTEST_SKIP() << "no ja_JP.SJIS locale (scripts/deps makes it)";
  const std::string name = sj("名簿.csv");  // typed on that terminal: Shift-JIS bytes
  EXPECT_EQ(run("ja_JP.SJIS", "--help", &out, &err), 0);
  EXPECT_NE(out.find(sj("使い方: nomvex")), std::string::npos);
  EXPECT_EQ(run("ja_JP.SJIS", "'" + name + "' out.csv", &out, &err), 1);
  EXPECT_EQ(err, "nomvex: " + name + ": " + sj("ファイルをロードできませんでした。 ") + "(" +
                     sj("そのようなファイルやディレクトリはありません") + ")\n");
}

TEST_F(ProgramTest, DashIsStandardInputAndOutput) {
  const std::string line = "x,090-1234-5678\r\n";
  const std::string annotated = "x,090-1234-5678,DoCoMo," + sj("関東") + "\r\n";
  WriteFile(dir_ / "a.csv", line);
  for (const char* args : {"- < a.csv", "- - < a.csv", "a.csv -", "- b.csv < a.csv && cat b.csv"}) {
    std::filesystem::remove(dir_ / "b.csv");
    ASSERT_EQ(Run(args), 0) << args;
    EXPECT_EQ(ReadFile(dir_ / "out.txt"), annotated) << args;
    EXPECT_EQ(ReadFile(dir_ / "a.csv"), line) << args;  // never in place
    EXPECT_FALSE(std::filesystem::exists(dir_ / "a.csv.bak")) << args;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "-")) << args;
  }
  // Into the very file standard input reads: in place, never emptied first.
  ASSERT_EQ(Run("- a.csv < a.csv"), 0);
  EXPECT_EQ(ReadFile(dir_ / "a.csv"), annotated);
  EXPECT_EQ(ReadFile(dir_ / "a.csv.bak"), line);
  std::filesystem::rename(dir_ / "a.csv.bak", dir_ / "a.csv");
  // Standard input that a shell has read a line of: the rest.
  WriteFile(dir_ / "two.csv", "y,0901234\r\n" + line);
  ASSERT_EQ(Run("- ; } < two.csv", nullptr, "{ read -r skipped; "), 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), annotated);
  // From a pipe, in UTF-8.
  WriteFile(dir_ / "u8.csv", "\xEF\xBB\xBF名,0901234\n");
  ASSERT_EQ(Run("-", nullptr, "cat u8.csv | "), 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), "\xEF\xBB\xBF名,0901234,DoCoMo,関東\r\n");
}

TEST_F(ProgramTest, VerboseSummaryAndTheEncodingStatus) {
  WriteFile(dir_ / "a.csv", "h\n0901234\n0909999\n");
  std::string err;
  ASSERT_EQ(Run("a.csv b.csv", &err), 0);
  EXPECT_EQ(err, "");  // nothing on success without -v
  ASSERT_EQ(Run("-v a.csv b.csv", &err, "LC_ALL=C "), 0);
  EXPECT_EQ(err, "nomvex: lines read 3, written 2, not in the table 1; encoding Shift-JIS\n");
  WriteFile(dir_ / "u.csv", std::string("\xFF\xFE" "0\0", 4));
  EXPECT_EQ(Run("-v u.csv c.csv", &err), 8);
  EXPECT_NE(err.find("u.csv: UTF-16・UTF-32 のファイルには対応していません。"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "c.csv"));
  EXPECT_EQ(Run("--column 0 a.csv", &err), kExitUsage);
  EXPECT_NE(err.find("--column"), std::string::npos) << err;
}

// "Open with" from a file manager runs the desktop entry's command: it must
// write nothing by itself (here, with no display, the window cannot open).
TEST_F(ProgramTest, OpenWithWritesNothing) {
  std::string exec;
  for (std::istringstream entry(ReadFile(NOMVEX_DESKTOP_ENTRY)); std::getline(entry, exec);)
    if (exec.starts_with("Exec=")) break;
  ASSERT_TRUE(exec.starts_with("Exec=nomvex ")) << exec;
  std::string args = exec.substr(12);
  for (const char* code : {"%f", "%F"})
    if (auto at = args.find(code); at != std::string::npos) args.replace(at, 2, "a.csv");
  WriteFile(dir_ / "a.csv", "x,090-1234-5678\r\n");
  std::string err;
  EXPECT_EQ(Run(args, &err), kExitNoWindow) << err;
  EXPECT_EQ(ReadFile(dir_ / "a.csv"), "x,090-1234-5678\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.csv.bak"));
  EXPECT_EQ(Run("--annotate-dialog a.csv b.csv", &err), kExitUsage);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "b.csv"));
}

TEST_F(ProgramTest, HelpAndVersion) {
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(ReadFile(dir_ / "out.txt").find("Usage: nomvex"), std::string::npos);
  EXPECT_NE(ReadFile(dir_ / "out.txt").find("number portability"), std::string::npos);
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"),
            "nomvex 1.57\nData : test 1\nTable : " + Real("Nomvex.dat") + "\n");
}

// Beside the program first, then the install's share/nomvex/ relative to
// the program; --table names one for a single run and must load.
TEST_F(ProgramTest, WhereTheTableIsFound) {
  std::filesystem::create_directories(dir_ / "bin");
  std::filesystem::copy_file(dir_ / "nomvex", dir_ / "bin/nomvex");
  const std::string share = dir_ / "bin/" NOMVEX_DATA_FROM_BIN;
  std::filesystem::create_directories(share);
  WriteFile(share + "Nomvex.dat", "AVERSION=installed\nAHDR=x\nA0901234=au " + sj("全国") + "\n");
  WriteFile(dir_ / "other.dat", "AVERSION=other\nAHDR=x\nA0901234=SoftBank " + sj("全国") + "\n");
  WriteFile(dir_ / "a.csv", "x,0901234\n");

  const struct {
    const char* args;
    std::string table;
    std::string answer;
  } cases[] = {
      {"", Real("Nomvex.dat"), "DoCoMo," + sj("関東")},  // beside wins over the install's
      {"--table other.dat", "other.dat", "SoftBank," + sj("全国")},
      {"--table=other.dat", "other.dat", "SoftBank," + sj("全国")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(std::string(c.args) + " --version"), 0);
    EXPECT_NE(ReadFile(dir_ / "out.txt").find("Table : " + c.table + "\n"), std::string::npos)
        << c.args << ReadFile(dir_ / "out.txt");
    EXPECT_EQ(Run(std::string(c.args) + " a.csv b.csv"), 0);
    EXPECT_EQ(ReadFile(dir_ / "b.csv"), "x,0901234," + c.answer + "\r\n") << c.args;
  }

  // The program of an install, with nothing beside it.
  std::string cmd = "cd '" + dir_.path().string() + "' && bin/nomvex a.csv c.csv 2>err.txt";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadFile(dir_ / "c.csv"), "x,0901234,au," + sj("全国") + "\r\n");
  cmd = "cd '" + dir_.path().string() + "' && bin/nomvex --version >out.txt";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  const std::string installed =
      std::filesystem::path(Real("bin/" NOMVEX_DATA_FROM_BIN "Nomvex.dat")).lexically_normal();
  EXPECT_EQ(ReadFile(dir_ / "out.txt"),
            "nomvex 1.57\nData : installed\nTable : " + installed + "\n");

  // A named table that does not load stops the run before anything is written.
  std::string err;
  WriteFile(dir_ / "empty.dat", "; nothing\n");
  for (const char* bad : {"missing.dat", "empty.dat", "."}) {
    EXPECT_EQ(Run(std::string("--table ") + bad + " a.csv", &err), kExitNoTable) << bad;
    EXPECT_NE(err.find(std::string(bad) + ": データファイルが存在しないか"), std::string::npos)
        << err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.csv.bak"));
  EXPECT_EQ(Run("a.csv --table", &err), kExitUsage);
  EXPECT_NE(err.find("--table needs a file name"), std::string::npos) << err;
}

TEST_F(ProgramTest, ATableThatIsNoRegularFileCountsAsNone) {
  std::string err;
  WriteFile(dir_ / "a.csv", "0901234\n");
  std::filesystem::remove(dir_ / "Nomvex.dat");
  // A FIFO nobody writes to: opening it to read would wait for ever.
  ASSERT_EQ(mkfifo((dir_ / "Nomvex.dat").c_str(), 0600), 0);
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"),
            "nomvex 1.57\nData : No Data\nTable : " + Real("Nomvex.dat") + "\n");
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
  EXPECT_EQ(ReadFile(dir_ / "out.txt"),
            "nomvex 1.57\nData : No Data\nTable : " + Real("Nomvex.dat") + "\n");
}

#endif  // _WIN32

}  // namespace
}  // namespace nomvex
