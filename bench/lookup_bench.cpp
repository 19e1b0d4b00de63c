// The lookup through the index against the scan in file order, on the
// default table; prints how many times faster the index is.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>

#include "table/number_table.h"

namespace {

const nomvex::NumberTable& Table() {
  static nomvex::NumberTable table = [] {
    nomvex::NumberTable t;
    if (t.LoadNumberTable(NOMVEX_DAT) != 0) std::fprintf(stderr, "cannot read %s\n", NOMVEX_DAT);
    return t;
  }();
  return table;
}

// Numbers as users examine them: blocks anywhere in the table, and some that
// it does not hold.
const std::vector<std::string>& Numbers() {
  static std::vector<std::string> numbers = [] {
    std::vector<std::string> n;
    std::mt19937 rng(1);
    const auto& t = Table();
    for (int i = 0; i < 1024; ++i) {
      if (i % 8 == 7) {
        n.push_back("0" + std::to_string(10000 + rng() % 90000) + "0");
      } else {
        n.emplace_back(t.key(2 + rng() % (t.size() - 2)));
      }
    }
    return n;
  }();
  return numbers;
}

void BM_LookupIndex(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Table().FindEntry(Numbers()[i++ & 1023]));
}
BENCHMARK(BM_LookupIndex);

void BM_LookupScan(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Table().FindEntryScan(Numbers()[i++ & 1023]));
}
BENCHMARK(BM_LookupScan);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) ns_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (ns_.count("BM_LookupIndex") && ns_.count("BM_LookupScan"))
      std::printf("index vs scan on %zu entries: the index is %.0fx faster\n", Table().size(),
                  ns_["BM_LookupScan"] / ns_["BM_LookupIndex"]);
  }

 private:
  std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
