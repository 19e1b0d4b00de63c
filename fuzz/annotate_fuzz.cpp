// Annotation on any bytes, by the single reader and by the pieces on two
// threads, against a plain reference: text mode, lines, the line rule byte
// by byte (FindNumber, FindNumberRun for the plain rule), the lookup and the
// merge, the fields appended.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "annotate/convert.h"
#include "annotate/encoding.h"
#include "annotate/number_rule.h"
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

// The annotation as the rule states it, line by line: the encoding and its
// byte-order mark as DetectEncoding tells them (tested on its own), text
// mode, FindNumber on each line, the lookup and the merge, the fields in
// the source's encoding.
std::string Reference(std::string_view bytes, const NumberTable& table, TextEncoding wanted,
                      NumberRule rule) {
  const SourceEncoding encoding = DetectEncoding(bytes.substr(0, kEncodingHeadBytes), wanted);
  rule.utf8 = encoding.encoding == TextEncoding::kUtf8;
  const std::string whole = fuzz::TextMode(bytes);
  const std::string_view text = std::string_view(whole).substr(encoding.bom);
  const std::string q = !text.empty() && text[0] == '"' ? "\"" : "";
  std::string out(bytes.substr(0, encoding.bom));
  fuzz::ForEachLine(text, [&](std::string_view line) {
    char first7[7];
    if (!FindNumber(line, rule, first7)) return;
    const LookupResult r = table.LookupNumber(std::string_view(first7, 7));
    std::string carrier(r.Carrier), region(r.Region);
    MergeOperator(carrier, region);
    std::string fields = "," + q + carrier + q + "," + q + region + q;
    if (rule.utf8) fields = platform::FromCp932(fields);
    out.append(line).append(fields).append("\r\n");
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
  // The last byte picks the options: the encoding asked for, the column,
  // normalisation, and the size of the pieces, so that lines cross their
  // borders in every way.
  const unsigned pick = size > 0 ? data[size - 1] : 0;
  ConvertOptions options;
  options.encoding = std::array{TextEncoding::kAuto, TextEncoding::kCp932, TextEncoding::kUtf8}[pick % 3];
  options.column = pick / 3 % 8 < 5 ? 0 : pick / 3 % 8 - 4;
  options.normalize = pick / 24 % 4 == 0;
  const bool supported = DetectEncoding(bytes.substr(0, kEncodingHeadBytes), options.encoding).supported();
  const std::string want =
      supported ? Reference(bytes, table, options.encoding, {options.column, options.normalize})
                : std::string();

  for (unsigned threads : {1u, 2u}) {
    const char* how = threads == 1 ? "single reader" : "pieces";
    options.threads = threads;  // one: the single reader
    options.piece_size = 1 + pick % 97;
    const ConvertReport report = ConvertCsvFile(table, source.path(), dest.path(), options);
    if (!supported) {
      Check(report.result == ConvertResult::kUnsupportedEncoding, how, "", "");
      continue;
    }
    Check(report.result == ConvertResult::kDone, how, "", "");
    const std::string got = dest.Get();
    Check(got == want, how, got, want);
  }
  return 0;
}
