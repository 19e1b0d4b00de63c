// Annotation on any bytes, by the single reader and by the pieces on two
// threads, against a plain reference of the line rule: text mode, lines,
// FindNumberRun, the lookup and the merge, the fields appended.
#include <cstdio>
#include <string>

#include "annotate/convert.h"
#include "examine/rules.h"
#include "fuzz/mem_file.h"
#include "platform/codepage.h"
#include "table/number_table.h"

using namespace nomvex;

namespace {

// Keys of several lengths that overlap, the operators the merge renames,
// a value without a region and one with a quote in it.
NumberTable MakeTable() {
  NumberTable table;
  table.Assign({{"ver", "fuzz"},
                {"hdr", "x"},
                {"0901234", "DoCoMo " + platform::ToCp932("関東")},
                {"090", "SoftBank " + platform::ToCp932("近畿")},
                {"0801", "IDO " + platform::ToCp932("首都")},
                {"1234", platform::ToCp932("セルラー 首都")},
                {"07000", "PHS"},
                {"0809", "\"q\" a,b"}});
  return table;
}

std::string Reference(std::string_view bytes, const NumberTable& table) {
  const std::string text = fuzz::TextMode(bytes);
  const std::string q = !text.empty() && text[0] == '"' ? "\"" : "";
  std::string out;
  fuzz::ForEachLine(text, [&](std::string_view line) {
    char first7[7];
    if (!FindNumberRun(line, first7)) return;
    const LookupResult r = table.LookupNumber(std::string_view(first7, 7));
    std::string carrier(r.Carrier), region(r.Region);
    MergeOperator(carrier, region);
    out.append(line).append(",").append(q).append(carrier).append(q);
    out.append(",").append(q).append(region).append(q).append("\r\n");
  });
  return out;
}

void Check(bool ok, const char* what, const std::string& got, const std::string& want) {
  if (ok) return;
  size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  std::fprintf(stderr, "annotate: %s: %zu bytes, %zu expected, first difference at %zu\n", what,
               got.size(), want.size(), at);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const NumberTable table = MakeTable();
  static fuzz::MemFile source, dest;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  source.Set(bytes);
  const std::string want = Reference(bytes, table);

  // The single reader.
  ConvertOptions one;
  one.threads = 1;
  ConvertReport report = ConvertCsvFile(table, source.path(), dest.path(), one);
  Check(report.result == ConvertResult::kDone, "single reader failed", "", "");
  Check(dest.Get() == want, "single reader", dest.Get(), want);

  // Pieces of a size the input chooses, so that lines cross their borders
  // in every way.
  ConvertOptions pieces;
  pieces.threads = 2;
  pieces.piece_size = 1 + (size > 0 ? data[size - 1] % 97 : 0);
  report = ConvertCsvFile(table, source.path(), dest.path(), pieces);
  Check(report.result == ConvertResult::kDone, "pieces failed", "", "");
  Check(dest.Get() == want, "pieces", dest.Get(), want);
  return 0;
}
