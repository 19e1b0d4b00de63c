// Where the command line's messages go.  On Linux: the terminal or whatever
// stdout and stderr are.  A Windows window program has no console of its
// own: it writes to the console it was started from, or to what its output
// was redirected to, and when there is neither, what it wrote to stderr is
// shown in a message box when it ends.
#pragma once

namespace nomvex::platform {

// Set up for the whole run; on Windows routes std::cout and std::cerr (UTF-8
// text) to the console as UTF-16, to a redirection as bytes, or to the box.
class ConsoleStreams {
 public:
  ConsoleStreams();
  ~ConsoleStreams();  // shows the box, when there is one to show
  ConsoleStreams(const ConsoleStreams&) = delete;
  ConsoleStreams& operator=(const ConsoleStreams&) = delete;
};

// Whether stderr is a terminal (a console on Windows): progress is shown
// only there.
bool StderrIsTerminal();

}  // namespace nomvex::platform
