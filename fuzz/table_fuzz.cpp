// The table loader against a plain reading of the format: text mode, lines,
// each line decoded on its own.  Then lookups: the index gives what a scan
// of every entry in file order gives.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/mem_file.h"
#include "table/number_table.h"

using namespace nomvex;

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "table: %s\n", what);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemFile file;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  file.Set(bytes);
  NumberTable table;
  Check(table.LoadNumberTable(file.path()) == 0, "a regular file does not load");

  std::vector<std::pair<std::string, std::string>> expected;
  fuzz::ForEachLine(fuzz::TextMode(bytes), [&](std::string_view line) {
    if (auto entry = DecodeLine(line)) expected.push_back(std::move(*entry));
  });
  Check(table.size() == expected.size(), "entry count");
  for (size_t i = 0; i < expected.size(); ++i) {
    Check(table.key(i) == expected[i].first, "key");
    Check(table.value(i) == expected[i].second, "value");
  }
  Check(table.GetDataVersion() == (expected.empty() ? "" : expected[0].second), "data version");

  // Numbers that hit keys (each key, and each key inside others' digits)
  // and numbers made of the input's own bytes.
  std::vector<std::string> numbers;
  for (size_t i = 0; i < table.size() && i < 64; ++i) {
    std::string key(table.key(i).substr(0, kLookupDigits));
    numbers.push_back(key);
    numbers.push_back(("0" + key).substr(0, kLookupDigits));
    numbers.push_back((key + "0123").substr(0, kLookupDigits));
  }
  for (size_t at = 0; at < size && numbers.size() < 256; at += 5)
    numbers.emplace_back(bytes.substr(at, kLookupDigits));
  for (const std::string& n : numbers) {
    Check(table.FindEntry(n) == table.FindEntryScan(n), "index and scan differ");
    const LookupResult got = table.LookupNumber(n);
    const LookupResult want = SplitValue(table.FindEntryScan(n));
    Check(got.Carrier == want.Carrier && got.Region == want.Region, "lookup and split differ");
  }
  return 0;
}
