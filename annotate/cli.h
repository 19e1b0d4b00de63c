// The command line: options, and the step of start-up that annotates one or
// two files without any window.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "annotate/convert.h"

namespace nomvex {

class NumberTable;

inline constexpr const char* kProgramVersion = "1.57";

// Exit statuses besides those of ConvertResult (0 to 10), and 128 + N for a
// run stopped by signal N.
inline constexpr int kExitUsage = 64;     // unknown option
inline constexpr int kExitNoTable = 66;   // the table named by --table cannot be loaded
inline constexpr int kExitNoWindow = 69;  // the window cannot start here

struct CommandLine {
  enum class Mode { kRun, kHelp, kVersion, kBadOption } mode = Mode::kRun;
  std::vector<std::string> files;  // every parameter that is not an option
  std::string table;               // --table FILE; empty: look in the usual places
  std::string bad_option;
  std::string usage_error;  // what is wrong, for kBadOption
  // How files are annotated.
  TextEncoding encoding = TextEncoding::kAuto;
  size_t column = 0;
  bool normalize = false;
  bool verbose = false;
  // --annotate-dialog FILE: the window opens with its annotation dialog
  // showing FILE as the source; nothing is written before the user's OK.
  // Given without FILE, the window opens as usual.
  std::optional<std::string> annotate_dialog;
};

// --help, -h, --version, -V and --table FILE (or --table=FILE) are options,
// as are --encoding cp932|utf-8, --column N (a value may also follow "="),
// --normalize, -v/--verbose and --annotate-dialog FILE; "--" ends them, so that any name can be
// given after it.  "-" alone is a name: standard input or output.
CommandLine ParseCommandLine(int argc, const char* const* argv);

std::string UsageText();
// `table` tells which file the table was loaded from, or where none was found.
std::string VersionText(const std::string& data_version, const std::string& table);

// With a loaded table (non-empty data version) and exactly one or two files,
// annotates (one: in place, two: first into second) and gives the exit
// status; otherwise gives nothing and start-up goes on.  Messages go to
// `err` in UTF-8; progress too, when `show_progress`.  Meanwhile SIGINT,
// SIGTERM, SIGHUP and SIGPIPE stop the run, which cleans up.  "-" reads
// standard input or writes standard output; "-" alone does both.  With
// `cmd.verbose`, a summary line goes to `err` at the end.
std::optional<int> CommandLineHook(const NumberTable& table, const std::string& data_version,
                                   const CommandLine& cmd, std::ostream& err,
                                   bool show_progress);

// "nomvex: lines read 3, written 2, not in the table 1; encoding UTF-8 (BOM)".
std::string SummaryLine(const ConvertReport& report);

// One line for the terminal: "nomvex: FILE: message (reason)".
std::string TerminalMessage(const ConvertReport& report);

}  // namespace nomvex
