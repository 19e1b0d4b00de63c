// Start-up: the number table is loaded and the command line looked at before
// anything of the window exists; the window module is loaded only when the
// window is to start.  (On Windows the window is part of the program.)
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "annotate/cli.h"
#include "app/window_entry.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/module.h"
#include "table/number_table.h"

#ifdef _WIN32
#include "platform/win32/wide.h"
#endif

namespace {

// Beside the program (the build folder, a copied folder), or else where the
// install puts it, relative to the program.
std::string FindBeside(const std::string& exe_dir, const char* name, const char* installed_dir) {
  std::string beside = exe_dir + name;
  if (nomvex::platform::Exists(beside)) return beside;
  std::string installed = exe_dir + installed_dir + name;
  return nomvex::platform::Exists(installed) ? installed : beside;
}

// The places of the number table, in the order they are tried: beside the
// program, the install's data folder relative to the program (so that a
// moved install still finds its own), and the one the build was made for
// (for a program copied out of its install).
std::vector<std::string> TablePlaces(const std::string& exe_dir) {
#ifdef _WIN32
  return {exe_dir + "Nomvex.dat"};  // the Windows program has no install
#endif
  std::vector<std::string> places;
  for (std::string place : {exe_dir + "Nomvex.dat", exe_dir + NOMVEX_DATA_FROM_BIN "Nomvex.dat",
                            std::string(NOMVEX_DATA_DIR "Nomvex.dat")}) {
    place = std::filesystem::path(place).lexically_normal().string();
    if (std::find(places.begin(), places.end(), place) == places.end()) places.push_back(place);
  }
  return places;
}

}  // namespace

int Main(int argc, char** argv) {
  using nomvex::CommandLine;
  const std::string exe_dir = nomvex::platform::ExecutableDir();

  // Messages in the user's language; on a terminal that is not UTF-8 (a
  // Shift-JIS one), everything written to stderr is converted for it.
  using nomvex::platform::TerminalCodeset, nomvex::platform::ToCodeset, nomvex::platform::Tr;
  nomvex::platform::InitMessages(FindBeside(exe_dir, "locale", NOMVEX_SHARE_FROM_BIN));
  if (std::string codeset = TerminalCodeset(); !codeset.empty()) {
    // Never freed: it must outlive the flush of the standard streams at exit.
    std::cerr.rdbuf(new nomvex::platform::ConvertingBuf(std::cerr.rdbuf(), codeset));
  }

  CommandLine cmd = nomvex::ParseCommandLine(argc, argv);

  // Help and a bad option need no table: they answer even when Nomvex.dat
  // is missing, broken or slow to read.
  switch (cmd.mode) {
    case CommandLine::Mode::kHelp:
      std::cout << ToCodeset(nomvex::UsageText(), TerminalCodeset());
      return 0;
    case CommandLine::Mode::kBadOption:
      std::cerr << "nomvex: " << cmd.usage_error << "\n"
                << Tr("Try 'nomvex --help'.") << "\n";
      return nomvex::kExitUsage;
    case CommandLine::Mode::kVersion:
    case CommandLine::Mode::kRun:
      break;
  }

  nomvex::NumberTable table;
  std::string table_path, table_text;
  if (!cmd.table.empty()) {
    // Named for this run: it must load, or nothing would say which table
    // the answers came from.
    table_path = table_text = cmd.table;
    int err = table.LoadNumberTable(table_path);
    if (err || table.GetDataVersion().empty()) {
      std::cerr << "nomvex: " << table_path << ": データファイルが存在しないか、内容が異常です。";
      if (err) std::cerr << " (" << std::strerror(err) << ")";
      std::cerr << "\n";
      return nomvex::kExitNoTable;
    }
  } else {
    const std::vector<std::string> places = TablePlaces(exe_dir);
    for (const std::string& place : places) {
      if (nomvex::platform::Exists(place)) {
        table_path = table_text = place;
        break;
      }
    }
    if (table_path.empty()) {
      table_path = places.front();
      table_text = std::string(Tr("none found")) + " (";
      for (const std::string& place : places)
        table_text += (place == places.front() ? "" : ", ") + place;
      table_text += ")";
    }
    table.LoadNumberTable(table_path);
  }
  const std::string data_version = table.GetDataVersion();
  if (cmd.mode == CommandLine::Mode::kVersion) {
    std::cout << ToCodeset(nomvex::VersionText(data_version, table_text), TerminalCodeset());
    return 0;
  }

  // --annotate-dialog hands its file to the window only.
  if (!cmd.annotate_dialog) {
    if (auto status = nomvex::CommandLineHook(table, data_version, cmd, std::cerr,
                                              nomvex::platform::StderrIsTerminal()))
      return *status;
  }

#ifdef _WIN32
  nomvex::WindowStart start{argc, argv, &table, &data_version, &exe_dir,
                            cmd.annotate_dialog ? &*cmd.annotate_dialog : nullptr};
  return nomvex_window_main(&start);
#else
  std::string why;
  if (!nomvex::platform::HaveDisplay()) {
    why = Tr("no display to open the window on");
  } else if (void* entry = nomvex::platform::LoadModuleSymbol(
                 FindBeside(exe_dir, kWindowModuleName, NOMVEX_MODULE_FROM_BIN), kWindowEntryName,
                 why)) {
    nomvex::WindowStart start{argc, argv, &table, &data_version, &exe_dir,
                              cmd.annotate_dialog ? &*cmd.annotate_dialog : nullptr};
    return reinterpret_cast<decltype(&nomvex_window_main)>(entry)(&start);
  }
  std::cerr << "nomvex: " << Tr("the window cannot start:") << " " << why << "\n";
  if (data_version.empty() && !cmd.files.empty())
    std::cerr << "nomvex: " << table_path << ": "
              << "データファイルが存在しないか、内容が異常です。\n";
  std::cerr << "\n" << nomvex::UsageText();
  return nomvex::kExitNoWindow;
#endif
}

#ifdef _WIN32
// File names come as the user typed them, in UTF-16, and are UTF-8 inside.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(nomvex::platform::win32::Utf8(wargv[i]));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  nomvex::platform::ConsoleStreams streams;
  return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) {
  nomvex::platform::ConsoleStreams streams;
  return Main(argc, argv);
}
#endif
