#include "annotate/cli.h"

#include <signal.h>

#include <atomic>
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

}  // namespace

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
      cmd.mode = CommandLine::Mode::kVersion;  // and read on: --table tells which table
    } else if (options && (arg == "--table" || arg.starts_with("--table="))) {
      if (arg == "--table" && i + 1 == argc) {
        cmd.mode = CommandLine::Mode::kBadOption;
        cmd.bad_option = std::string(arg);
        cmd.usage_error = platform::Tr("option --table needs a file name");
        return cmd;
      }
      cmd.table = arg == "--table" ? argv[++i] : arg.substr(std::strlen("--table="));
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      cmd.mode = CommandLine::Mode::kBadOption;
      cmd.bad_option = std::string(arg);
      cmd.usage_error = std::string(platform::Tr("unknown option")) + " " + cmd.bad_option;
      return cmd;
    } else {
      cmd.files.emplace_back(arg);
    }
  }
  return cmd;
}

// In pieces, so that a catalogue translates each and a new option adds one.
std::string UsageText() {
  using platform::Tr;
  std::string text;
  for (const char* piece : {
           Tr("Usage: nomvex [FILE [DEST]]\n"
              "Tells the operator of Japanese mobile (090, 080) and PHS (070) numbers.\n"),
           "\n",
           Tr("  nomvex              open the window\n"),
           Tr("  nomvex FILE         annotate FILE in place; its old content is kept as FILE.bak\n"),
           Tr("  nomvex FILE DEST    annotate FILE into DEST\n"),
           "\n",
           Tr("Each line of FILE that holds a mobile number is written with its operator\n"
              "and region appended; other lines are left out.  Files are Shift-JIS.\n"),
           Tr("The operator is the one the number's block was allotted to; a number\n"
              "moved to another operator (number portability) is not followed.\n"),
           Tr("The number table Nomvex.dat is read from the program's own folder, or\n"
              "else from share/nomvex/ of the install.\n"),
           "\n",
           Tr("  --table FILE     read the number table from FILE instead\n"),
           Tr("  -h, --help       show this help\n"),
           Tr("  -V, --version    show the version, the table's data version and its file\n"),
           Tr("  --               end of options (for names that begin with -)\n"),
           "\n",
           Tr("Exit status: 0 done; 1 FILE cannot be opened; 2 DEST cannot be created;\n"
              "3 read error; 4 write error; 5 FILE.bak exists already; 6 FILE cannot be\n"
              "moved to FILE.bak; 7 FILE is not a regular file and cannot be annotated in\n"
              "place; 10 out of memory; 64 unknown option; 66 the table of --table cannot\n"
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
    if (signal != SIGPIPE) err << TerminalMessage(report);
    return 128 + signal;
  }
  if (report.result != ConvertResult::kDone) err << TerminalMessage(report);
  return static_cast<int>(report.result);
}

}  // namespace nomvex
