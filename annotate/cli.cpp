#include "annotate/cli.h"

#include <signal.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <charconv>
#include <cstring>
#include <string_view>

#include "platform/messages.h"
#include "table/number_table.h"

namespace nomvex {
namespace {

// The signal that stopped the run, or 0.  Stored from a signal handler,
// which only a lock-free atomic allows.
std::atomic<int> caught_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void CatchSignal(int signal) { caught_signal.store(signal, std::memory_order_relaxed); }

#ifdef _WIN32
// Windows has no such signals: Ctrl+C and Ctrl+Break in the console stand
// for SIGINT, closing the console or ending the session for SIGTERM.
BOOL WINAPI CatchConsoleEvent(DWORD event) {
  CatchSignal(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
  return TRUE;
}

class SignalsStopRun {
 public:
  SignalsStopRun() { SetConsoleCtrlHandler(CatchConsoleEvent, TRUE); }
  ~SignalsStopRun() { SetConsoleCtrlHandler(CatchConsoleEvent, FALSE); }
  SignalsStopRun(const SignalsStopRun&) = delete;
  SignalsStopRun& operator=(const SignalsStopRun&) = delete;
};
#else
// While it lives, the signals that would end the process mid-run stop the
// run instead, so that it cleans up.  A signal that was ignored stays
// ignored (nohup, background jobs).  No SA_RESTART: a read or write waiting
// on a terminal or pipe must return.
class SignalsStopRun {
 public:
  SignalsStopRun() {
    struct sigaction catcher {};
    catcher.sa_handler = CatchSignal;
    sigemptyset(&catcher.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      installed_[i] = sigaction(kSignals[i], nullptr, &previous_[i]) == 0 &&
                      previous_[i].sa_handler != SIG_IGN &&
                      sigaction(kSignals[i], &catcher, nullptr) == 0;
    }
  }
  ~SignalsStopRun() {
    for (size_t i = 0; i < std::size(kSignals); ++i)
      if (installed_[i]) sigaction(kSignals[i], &previous_[i], nullptr);
  }
  SignalsStopRun(const SignalsStopRun&) = delete;
  SignalsStopRun& operator=(const SignalsStopRun&) = delete;

 private:
  // SIGPIPE: the reader of a pipe being written went away.
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
  struct sigaction previous_[std::size(kSignals)];
  bool installed_[std::size(kSignals)] = {};
};
#endif

}  // namespace

namespace {

// The value of an option given as "--name VALUE" or "--name=VALUE"; false
// when `arg` is not that option.  A missing value leaves `value` empty.
bool OptionValue(std::string_view arg, std::string_view name, int argc, const char* const* argv,
                 int& i, std::string_view& value) {
  if (arg == name) {
    value = i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
    return true;
  }
  if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

CommandLine Bad(CommandLine cmd, std::string_view option, std::string message) {
  cmd.mode = CommandLine::Mode::kBadOption;
  cmd.bad_option = std::string(option);
  cmd.usage_error = std::move(message);
  return cmd;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine cmd;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    if (options && OptionValue(arg, "--encoding", argc, argv, i, value)) {
      if (value == "cp932" || value == "shift-jis" || value == "sjis") {
        cmd.encoding = TextEncoding::kCp932;
      } else if (value == "utf-8" || value == "utf8") {
        cmd.encoding = TextEncoding::kUtf8;
      } else {
        return Bad(cmd, "--encoding",
                   std::string(platform::Tr("option --encoding takes cp932 or utf-8, not")) +
                       " '" + std::string(value) + "'");
      }
    } else if (options && OptionValue(arg, "--column", argc, argv, i, value)) {
      size_t n = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec != std::errc() || end != value.data() + value.size() || n == 0)
        return Bad(cmd, "--column",
                   std::string(platform::Tr("option --column takes a field number from 1, not")) +
                       " '" + std::string(value) + "'");
      cmd.column = n;
    } else if (options && arg == "--normalize") {
      cmd.normalize = true;
    } else if (options && (arg == "--verbose" || arg == "-v")) {
      cmd.verbose = true;
    } else if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "--help" || arg == "-h")) {
      cmd.mode = CommandLine::Mode::kHelp;
      return cmd;
    } else if (options && (arg == "--version" || arg == "-V")) {
      cmd.mode = CommandLine::Mode::kVersion;  // and read on: --table tells which table
    } else if (options && (arg == "--table" || arg.starts_with("--table="))) {
      if (arg == "--table" && i + 1 == argc) {
        cmd.mode = CommandLine::Mode::kBadOption;
        cmd.bad_option = std::string(arg);
        cmd.usage_error = platform::Tr("option --table needs a file name");
        return cmd;
      }
      cmd.table = arg == "--table" ? argv[++i] : arg.substr(std::strlen("--table="));
    } else if (options && (arg == "--annotate-dialog" || arg.starts_with("--annotate-dialog="))) {
      // Without a name (a desktop entry started with no file) the window
      // opens as usual.
      if (arg.size() > 17) {
        if (arg.size() > 18) cmd.annotate_dialog = std::string(arg.substr(18));
      } else if (i + 1 < argc) {
        cmd.annotate_dialog = argv[++i];
      }
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      cmd.mode = CommandLine::Mode::kBadOption;
      cmd.bad_option = std::string(arg);
      cmd.usage_error = std::string(platform::Tr("unknown option")) + " " + cmd.bad_option;
      return cmd;
    } else {
      cmd.files.emplace_back(arg);
    }
  }
  // The dialog is the only way in: names besides it would annotate at once.
  if (cmd.annotate_dialog && !cmd.files.empty())
    return Bad(cmd, "--annotate-dialog", platform::Tr("option --annotate-dialog takes one file name and no other"));
  return cmd;
}

// In pieces, so that a catalogue translates each and a new option adds one.
std::string UsageText() {
  using platform::Tr;
  std::string text;
  for (const char* piece : {
           Tr("Usage: nomvex [OPTION]... [FILE [DEST]]\n"
              "Tells the operator of Japanese mobile (090, 080) and PHS (070) numbers.\n"),
           "\n",
           Tr("  nomvex              open the window\n"),
           Tr("  nomvex FILE         annotate FILE in place; its old content is kept as FILE.bak\n"),
           Tr("  nomvex FILE DEST    annotate FILE into DEST\n"),
           Tr("  nomvex --annotate-dialog FILE\n"
              "                      open the window's annotation dialog with FILE as the\n"
              "                      source; nothing is written before you press OK\n"),
           Tr("  nomvex -            annotate standard input to standard output; \"-\" as FILE\n"
              "                      or DEST alone reads or writes that stream, never in place\n"
              "                      e.g. some-export | nomvex - > out.csv\n"),
           "\n",
           Tr("Each line of FILE that holds a mobile number is written with its operator\n"
              "and region appended; other lines are left out.  FILE is read as UTF-8 when\n"
              "it starts with a UTF-8 BOM, or when its first 64 KiB hold non-ASCII text\n"
              "that is all UTF-8, and as Shift-JIS otherwise; the operator and region are\n"
              "written in the same encoding.\n"),
           Tr("The operator is the one the number's block was allotted to; a number\n"
              "moved to another operator (number portability) is not followed.\n"),
           Tr("The number table Nomvex.dat is read from the program's own folder, or\n"
              "else from share/nomvex/ of the install.\n"),
           "\n",
           Tr("  --encoding cp932|utf-8\n"
              "                   read FILE, and write the fields, in this encoding\n"
              "                   e.g. nomvex --encoding utf-8 list.csv out.csv\n"),
           Tr("  --column N       look for the number only in CSV field N (from 1)\n"
              "                   e.g. nomvex --column 3 list.csv out.csv\n"),
           Tr("  --normalize      also take +81 90-1234-5678, full-width digits and dashes,\n"
              "                   and 090 1234 5678, 090.1234.5678, (090)1234-5678\n"
              "                   e.g. nomvex --normalize list.csv out.csv\n"),
           Tr("  -v, --verbose    at the end, tell the lines read, written and not in the\n"
              "                   table, and the encoding, on standard error\n"
              "                   e.g. nomvex -v list.csv out.csv\n"),
           Tr("  --table FILE     read the number table from FILE instead\n"),
           Tr("  -h, --help       show this help\n"),
           Tr("  -V, --version    show the version, the table's data version and its file\n"),
           Tr("  --               end of options (for names that begin with -)\n"),
           "\n",
           Tr("Exit status: 0 done; 1 FILE cannot be opened; 2 DEST cannot be created;\n"
              "3 read error; 4 write error; 5 FILE.bak exists already; 6 FILE cannot be\n"
              "moved to FILE.bak; 7 FILE is not a regular file and cannot be annotated in\n"
              "place; 8 FILE is UTF-16 or UTF-32 (nothing is written); 10 out of memory;\n"
              "64 unknown option or bad option value; 66 the table of --table cannot\n"
              "be loaded; 69 no window can be opened here;\n"
              "128+N stopped by signal N (130 Ctrl+C, 143 SIGTERM); a partial DEST is removed\n"
              "and, in place, FILE is left as it was.\n"),
       })
    text += piece;
  return text;
}

std::string VersionText(const std::string& data_version, const std::string& table) {
  return std::string("nomvex ") + kProgramVersion + "\nData : " +
         (data_version.empty() ? std::string("No Data") : data_version) + "\nTable : " + table +
         "\n";
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

std::string SummaryLine(const ConvertReport& report) {
  using platform::Tr;
  std::string text = std::string("nomvex: ") + Tr("lines read") + " " +
                     std::to_string(report.lines_read) + ", " + Tr("written") + " " +
                     std::to_string(report.lines_written) + ", " + Tr("not in the table") + " " +
                     std::to_string(report.lines_unknown) + "; " + Tr("encoding") + " " +
                     std::string(EncodingName(report.encoding.encoding));
  if (report.encoding.bom) text += " (BOM)";
  return text + "\n";
}

std::optional<int> CommandLineHook(const NumberTable& table, const std::string& data_version,
                                   const CommandLine& cmd, std::ostream& err,
                                   bool show_progress) {
  const std::vector<std::string>& files = cmd.files;
  if (data_version.empty() || files.empty() || files.size() > 2) return std::nullopt;
  ConvertOptions options;
  options.encoding = cmd.encoding;
  options.column = cmd.column;
  options.normalize = cmd.normalize;
  options.dash_is_stdio = true;
  options.count_lines = cmd.verbose;
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
  ConvertReport report;
  {
    caught_signal = 0;
    options.stop = &caught_signal;
    SignalsStopRun signals;
    report = ConvertCsvFile(table, files[0], files.size() == 2 ? files[1] : files[0], options);
  }
  if (shown >= 0) err << "\r\033[K" << std::flush;
  const int signal = caught_signal.load();
  if (report.result == ConvertResult::kStopped && signal > 0) {
    // The shell's way of telling a run ended by a signal.  A reader that
    // went away needs no word.
#ifdef SIGPIPE
    if (signal != SIGPIPE) err << TerminalMessage(report);
#else
    err << TerminalMessage(report);
#endif
    return 128 + signal;
  }
  if (report.result != ConvertResult::kDone) {
    err << TerminalMessage(report);
  } else if (cmd.verbose) {
    err << SummaryLine(report);
  }
  return static_cast<int>(report.result);
}

}  // namespace nomvex
