// Loading a module beside the executable and finding a function in it.
#pragma once

#include <string>

namespace nomvex::platform {

// The address of `symbol` in the module at `path`, or nullptr with `error`
// set to the system's reason.  The module stays loaded.
void* LoadModuleSymbol(const std::string& path, const char* symbol, std::string& error);

// True when a window can be shown: a display, or a platform chosen by hand.
bool HaveDisplay();

}  // namespace nomvex::platform
