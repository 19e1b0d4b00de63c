#include "platform/console.h"

#include <unistd.h>

namespace nomvex::platform {

ConsoleStreams::ConsoleStreams() = default;
ConsoleStreams::~ConsoleStreams() = default;

bool StderrIsTerminal() { return isatty(STDERR_FILENO); }

}  // namespace nomvex::platform
