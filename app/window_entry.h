// What the program hands the window module when the window is to start.
// The module is loaded only then, so that the command line never pays for
// loading the window toolkit.
#pragma once

#include <string>

namespace nomvex {

class NumberTable;

struct WindowStart {
  int argc;
  char** argv;
  const NumberTable* table;         // loaded once at start-up
  const std::string* data_version;  // empty when no usable table was loaded
  const std::string* exe_dir;       // ends in "/"
  // The source to show in the annotation dialog at once, or null.
  const std::string* annotate_dialog;
};

}  // namespace nomvex

// The module's one exported function; returns the process's exit status.
extern "C" int nomvex_window_main(const nomvex::WindowStart* start);
inline constexpr const char* kWindowModuleName = "nomvex-window.so";
inline constexpr const char* kWindowEntryName = "nomvex_window_main";
