#include "platform/module.h"

#include <dlfcn.h>

#include <cstdlib>

namespace nomvex::platform {

void* LoadModuleSymbol(const std::string& path, const char* symbol, std::string& error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    error = dlerror();
    return nullptr;
  }
  void* fn = dlsym(module, symbol);
  if (!fn) error = dlerror();
  return fn;
}

bool HaveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v && *v) return true;
  }
  return false;
}

}  // namespace nomvex::platform
