// Whole-process timings, side by side in one run: `nomvex SRC DST` against
// `cp SRC DST` on a generated CSV of names and numbers, writing new files
// and overwriting the previous outputs; and the program's peak memory for a
// file of 1,000,000 and of 4,000,000 lines.
//
// Overwriting, each program also pays the file system for destroying its
// previous output (on a file system mounted with discard, a wait that grows
// with that file), so both cases are shown.
//
// Usage: nomvex_annotate_bench [RUNS]
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
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
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

void MakeCsv(const std::string& path, int lines) {
  using nomvex::platform::ToCp932;
  const std::string names[] = {ToCp932("山田 太郎"), ToCp932("鈴木 花子"), ToCp932("佐藤 一郎"),
                               ToCp932("高橋 美咲"), ToCp932("田中 健"), ToCp932("伊藤 さくら")};
  const char* prefixes[] = {"090", "080", "070"};
  const std::string address = ToCp932("東京都千代田区");
  std::mt19937 rng(7);
  // Streamed, so that this process stays small: a spawned child's peak
  // memory starts from its parent's.
  std::ofstream out(path, std::ios::binary);
  out << ToCp932("氏名,電話番号,住所") << "\r\n";
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
  MakeCsv(src, 1000000);

  struct Series {
    std::vector<double> ratios, ours, theirs;
  } fresh, over;
  long peak_1m = 0;
  auto pair = [&](Series& series) {
    Sample a = RunOnce({nomvex, src, out});
    Sample b = RunOnce({"/bin/cp", src, copy});
    series.ours.push_back(a.seconds);
    series.theirs.push_back(b.seconds);
    series.ratios.push_back(a.seconds / b.seconds);
    peak_1m = std::max(peak_1m, a.peak_kib);
  };
  RunOnce({nomvex, src, out});  // warm the page cache and the program
  RunOnce({"/bin/cp", src, copy});
  for (int i = 0; i < runs; ++i) {
    // The previous outputs are removed outside the timing.
    unlink(out.c_str());
    unlink(copy.c_str());
    pair(fresh);
    pair(over);
  }
  for (auto [name, series] : {std::pair{"new files", &fresh}, std::pair{"overwriting", &over}}) {
    std::printf("annotate 1,000,000 lines, %s: nomvex %.1f ms, cp %.1f ms (medians of %d)\n", name,
                Median(series->ours) * 1e3, Median(series->theirs) * 1e3, runs);
    std::printf("annotate vs cp, %s: %.2fx the time of cp (median of pairwise ratios)\n", name,
                Median(series->ratios));
  }

  MakeCsv(src, 4000000);
  long peak_4m = 0;
  for (int i = 0; i < 3; ++i) peak_4m = std::max(peak_4m, RunOnce({nomvex, src, out}).peak_kib);
  std::printf("peak memory: %.1f MiB for 1,000,000 lines, %.1f MiB for 4,000,000 lines (%.2fx)\n",
              peak_1m / 1024.0, peak_4m / 1024.0, static_cast<double>(peak_4m) / peak_1m);
}
