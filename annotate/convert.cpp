#include "annotate/convert.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "examine/rules.h"
#include "table/number_table.h"

namespace nomvex {
namespace {

enum : unsigned char { kOther, kDigit, kSkip };

constexpr auto kClass = [] {
  std::array<unsigned char, 256> c{};
  for (int d = '0'; d <= '9'; ++d) c[d] = kDigit;
  c['"'] = kSkip;
  c['-'] = kSkip;
  return c;
}();

bool Qualifies(size_t digits, const char* first7) {
  return digits >= 7 && first7[0] == '0' && first7[2] == '0';
}

// Puts an in-place file back under its own name after a failure and says
// where its content is.
void RestoreBackup(ConvertReport& report, const std::string& name,
                   const std::string& backup, bool remove_output) {
  if (remove_output) unlink(name.c_str());
  if (platform::RenameNoReplace(backup, name) != 0) report.content_at = backup;
}

}  // namespace

bool FindNumberRun(std::string_view line, char first7[7]) {
  size_t digits = 0;
  for (unsigned char c : line) {
    switch (kClass[c]) {
      case kDigit:
        if (digits < 7) first7[digits] = static_cast<char>(c);
        ++digits;
        break;
      case kSkip:
        break;
      default:
        if (Qualifies(digits, first7)) return true;
        digits = 0;
    }
  }
  // A run still open where the line's bytes end counts as ended there.
  return Qualifies(digits, first7);
}

ConvertReport ConvertCsvFile(const NumberTable& table, const std::string& source,
                             const std::string& destination,
                             const ConvertOptions& options) {
  ConvertReport report;
  // Two names of one file would let creating the destination empty the
  // source before it is read: they are treated as the same name.
  const bool in_place = source == destination || platform::SameFile(source, destination);
  const std::string& write_name = in_place ? source : destination;
  std::string read_name = source;
  std::string backup;
  if (in_place) {
    backup = source + ".bak";
    // Never destroy an earlier backup, and never annotate it in place of the
    // file's current content.
    if (platform::Exists(backup)) {
      report.result = ConvertResult::kBackupExists;
      report.path = backup;
      report.error = EEXIST;
      return report;
    }
    if (int err = platform::RenameNoReplace(source, backup)) {
      report.result = err == ENOENT ? ConvertResult::kSourceOpen
                      : err == EEXIST ? ConvertResult::kBackupExists
                                      : ConvertResult::kRenameFailed;
      report.path = err == EEXIST ? backup : source;
      report.error = err;
      return report;
    }
    read_name = backup;
  }

  platform::TextReader in;
  if (int err = in.Open(read_name)) {
    report.result = ConvertResult::kSourceOpen;
    report.path = read_name;
    report.error = err;
    if (in_place) RestoreBackup(report, source, backup, false);
    return report;
  }
  platform::TextWriter out;
  out.set_write_fn(options.write_fn);
  if (int err = out.Create(write_name)) {
    report.result = ConvertResult::kDestCreate;
    report.path = write_name;
    report.error = err;
    if (in_place) RestoreBackup(report, source, backup, false);
    return report;
  }

  const bool quoted = in.PeekFirstByte() == '"';
  const std::string_view open = quoted ? ",\"" : ",";
  const std::string_view middle = quoted ? "\",\"" : ",";
  const std::string_view close = quoted ? "\"" : "";
  uint64_t reported = 0;
  std::string_view line;
  char digits[7];
  while (in.NextLine(line)) {
    if (options.progress && in.bytes_read() != reported) {
      reported = in.bytes_read();
      options.progress(reported, in.size());
    }
    if (!FindNumberRun(line, digits)) continue;
    LookupResult r = table.LookupNumber(std::string_view(digits, 7));
    MergeOperator(r.Carrier, r.Region);
    out.WriteNoLf(line);
    out.WriteNoLf(open);
    out.Write(r.Carrier);
    out.WriteNoLf(middle);
    out.Write(r.Region);
    out.WriteNoLf(close);
    out.WriteLineEnd();
    ++report.lines_written;
    if (out.error()) break;
  }

  int write_err = out.Close();
  if (in.error() || write_err) {
    report.result = write_err ? ConvertResult::kWriteFailed : ConvertResult::kReadFailed;
    report.path = write_err ? write_name : read_name;
    report.error = write_err ? write_err : in.error();
    // A partial annotation must not pass for a whole one.
    if (in_place) {
      RestoreBackup(report, source, backup, true);
    } else if (out.is_regular_file()) {
      unlink(write_name.c_str());
    }
    return report;
  }
  if (options.progress) options.progress(in.bytes_read(), in.size());
  return report;
}

std::string_view ConvertMessage(ConvertResult result) {
  switch (result) {
    case ConvertResult::kDone:
      return "終了しました。";
    case ConvertResult::kSourceOpen:
      return "ファイルをロードできませんでした。";
    case ConvertResult::kDestCreate:
      return "ファイルの作成に失敗しました。";
    case ConvertResult::kReadFailed:
      return "ファイルの読み込み中にエラーが発生しました。";
    case ConvertResult::kWriteFailed:
      return "ファイルの書き込みに失敗しました。";
    case ConvertResult::kBackupExists:
      return "バックアップファイルが既にあるため、変換しませんでした。";
    case ConvertResult::kRenameFailed:
      return "バックアップファイルを作成できませんでした。";
  }
  return {};
}

std::string ConvertDetails(const ConvertReport& report) {
  std::string text(ConvertMessage(report.result));
  if (report.result == ConvertResult::kDone) return text;
  if (!report.path.empty()) text += "\n" + report.path;
  if (report.error) text += std::string(" (") + std::strerror(report.error) + ")";
  if (!report.content_at.empty())
    text += "\n元の内容は " + report.content_at + " にあります。";
  return text;
}

}  // namespace nomvex
