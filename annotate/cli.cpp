#include "annotate/cli.h"

#include <cstring>
#include <string_view>

#include "table/number_table.h"

namespace nomvex {

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine cmd;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "--help" || arg == "-h")) {
      cmd.mode = CommandLine::Mode::kHelp;
      return cmd;
    } else if (options && (arg == "--version" || arg == "-V")) {
      cmd.mode = CommandLine::Mode::kVersion;
      return cmd;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      cmd.mode = CommandLine::Mode::kBadOption;
      cmd.bad_option = std::string(arg);
      return cmd;
    } else {
      cmd.files.emplace_back(arg);
    }
  }
  return cmd;
}

std::string UsageText() {
  return "Usage: nomvex [FILE [DEST]]\n"
         "Tells the operator of Japanese mobile (090, 080) and PHS (070) numbers.\n"
         "\n"
         "  nomvex              open the window\n"
         "  nomvex FILE         annotate FILE in place; its old content is kept as FILE.bak\n"
         "  nomvex FILE DEST    annotate FILE into DEST\n"
         "\n"
         "Each line of FILE that holds a mobile number is written with its operator\n"
         "and region appended; other lines are left out.  Files are Shift-JIS.\n"
         "The number table Nomvex.dat is read from the program's own folder, or\n"
         "from share/nomvex/ of the install.\n"
         "\n"
         "  -h, --help       show this help\n"
         "  -V, --version    show the version and the table's data version\n"
         "  --               end of options (for names that begin with -)\n"
         "\n"
         "Exit status: 0 done; 1 FILE cannot be opened; 2 DEST cannot be created;\n"
         "3 read error; 4 write error; 5 FILE.bak exists already; 6 FILE cannot be\n"
         "moved to FILE.bak; 64 unknown option; 69 no window can be opened here.\n";
}

std::string VersionText(const std::string& data_version) {
  return std::string("nomvex ") + kProgramVersion + "\nData : " +
         (data_version.empty() ? std::string("No Data") : data_version) + "\n";
}

std::string TerminalMessage(const ConvertReport& report) {
  std::string text = "nomvex: ";
  if (!report.path.empty()) text += report.path + ": ";
  text += ConvertMessage(report.result);
  if (report.error) text += std::string(" (") + std::strerror(report.error) + ")";
  text += "\n";
  if (!report.content_at.empty())
    text += "nomvex: 元の内容は " + report.content_at + " にあります。\n";
  return text;
}

std::optional<int> CommandLineHook(const NumberTable& table, const std::string& data_version,
                                   const std::vector<std::string>& files, std::ostream& err,
                                   bool show_progress) {
  if (data_version.empty() || files.empty() || files.size() > 2) return std::nullopt;
  ConvertOptions options;
  int shown = -1;
  if (show_progress) {
    options.progress = [&](uint64_t done, uint64_t total) {
      if (total < (64u << 20)) return;  // small files finish before it matters
      int percent = static_cast<int>(done * 100 / total);
      if (percent == shown) return;
      shown = percent;
      err << "\rnomvex: " << percent << "%" << std::flush;
    };
  }
  ConvertReport report =
      ConvertCsvFile(table, files[0], files.size() == 2 ? files[1] : files[0], options);
  if (shown >= 0) err << "\r\033[K" << std::flush;
  if (report.result != ConvertResult::kDone) err << TerminalMessage(report);
  return static_cast<int>(report.result);
}

}  // namespace nomvex
