// Whole-process timings, side by side in one run: `nomvex SRC DST` against
// `cp SRC DST` on a generated CSV of names and numbers, writing new files
// and overwriting the previous outputs; the same file in UTF-8, and the
// options --column, --normalize and -v, each against cp of its source; and
// the program's peak memory for a file of 1,000,000 and of 4,000,000 lines.
//
// Overwriting, each program also pays the file system for destroying its
// previous output (on a file system mounted with discard, a wait that grows
// with that file), so both cases are shown.
//
// Usage: nomvex_annotate_bench [RUNS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "tests/test_util.h"

extern char** environ;

namespace {

struct Sample {
  double seconds;
  long peak_kib;
};

Sample RunOnce(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // -v's summary line is not wanted on the terminal; the status tells.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  const int spawned = posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) {
    std::perror(args[0]);
    std::exit(1);
  }
  int status;
  struct rusage ru;
  wait4(pid, &status, 0, &ru);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", args[0]);
    std::exit(1);
  }
  return {s, ru.ru_maxrss};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Shift-JIS, or UTF-8 with a BOM as Excel saves it.
void MakeCsv(const std::string& path, int lines, bool utf8 = false) {
  auto text = [utf8](const char* s) { return utf8 ? std::string(s) : nomvex::platform::ToCp932(s); };
  const std::string names[] = {text("山田 太郎"), text("鈴木 花子"), text("佐藤 一郎"),
                               text("高橋 美咲"), text("田中 健"), text("伊藤 さくら")};
  const char* prefixes[] = {"090", "080", "070"};
  const std::string address = text("東京都千代田区");
  std::mt19937 rng(7);
  // Streamed, so that this process stays small: a spawned child's peak
  // memory starts from its parent's.
  std::ofstream out(path, std::ios::binary);
  out << (utf8 ? "\xEF\xBB\xBF" : "") << text("氏名,電話番号,住所") << "\r\n";
  char number[32];
  for (int i = 0; i < lines; ++i) {
    std::snprintf(number, sizeof number, "%s-%04u-%04u", prefixes[rng() % 3],
                  static_cast<unsigned>(rng() % 10000), static_cast<unsigned>(rng() % 10000));
    out << names[rng() % 6] << "," << number << "," << address << i % 100 << "\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 9;
  const std::string nomvex = NOMVEX_BIN;
  nomvex::test::TempDir dir;
  const std::string src = dir / "names.csv", out = dir / "out.csv", copy = dir / "copy.csv";
  const std::string utf8 = dir / "names-utf8.csv";
  MakeCsv(src, 1000000);
  MakeCsv(utf8, 1000000, true);

  struct Series {
    const char* name;
    std::vector<std::string> options;
    std::string source;
    bool fresh;  // the previous outputs removed first
    std::vector<double> ratios = {}, ours = {}, theirs = {};
  };
  Series all[] = {
      {"new files", {}, src, true},
      {"overwriting", {}, src, false},
      {"UTF-8 with BOM, new files", {}, utf8, true},
      {"--column 2, new files", {"--column", "2"}, src, true},
      {"--normalize, new files", {"--normalize"}, src, true},
      {"-v, new files", {"-v"}, src, true},
  };
  long peak_1m = 0;
  auto pair = [&](Series& series) {
    std::vector<std::string> args = {nomvex};
    args.insert(args.end(), series.options.begin(), series.options.end());
    args.push_back(series.source);
    args.push_back(out);
    Sample a = RunOnce(args);
    Sample b = RunOnce({"/bin/cp", series.source, copy});
    series.ours.push_back(a.seconds);
    series.theirs.push_back(b.seconds);
    series.ratios.push_back(a.seconds / b.seconds);
    if (series.options.empty() && series.source == src) peak_1m = std::max(peak_1m, a.peak_kib);
  };
  RunOnce({nomvex, src, out});  // warm the page cache and the program
  RunOnce({"/bin/cp", src, copy});
  RunOnce({"/bin/cp", utf8, copy});
  for (int i = 0; i < runs; ++i) {
    for (Series& series : all) {
      // The previous outputs are removed outside the timing.
      if (series.fresh) {
        unlink(out.c_str());
        unlink(copy.c_str());
      }
      pair(series);
    }
  }
  for (const Series& series : all) {
    std::printf("annotate 1,000,000 lines, %s: nomvex %.1f ms, cp %.1f ms (medians of %d)\n",
                series.name, Median(series.ours) * 1e3, Median(series.theirs) * 1e3, runs);
    std::printf("annotate vs cp, %s: %.2fx the time of cp (median of pairwise ratios)\n",
                series.name, Median(series.ratios));
  }

  MakeCsv(src, 4000000);
  long peak_4m = 0;
  for (int i = 0; i < 3; ++i) peak_4m = std::max(peak_4m, RunOnce({nomvex, src, out}).peak_kib);
  std::printf("peak memory: %.1f MiB for 1,000,000 lines, %.1f MiB for 4,000,000 lines (%.2fx)\n",
              peak_1m / 1024.0, peak_4m / 1024.0, static_cast<double>(peak_4m) / peak_1m);
}
