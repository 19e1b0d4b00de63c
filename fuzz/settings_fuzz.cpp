// The settings reader on any bytes, and what is built from what it reads:
// values within their bound, and requests that no value can add a line to.
#include <cstdio>
#include <string>

#include "fuzz/mem_file.h"
#include "sstp/client.h"
#include "sstp/notify.h"
#include "sstp/settings.h"

using namespace nomvex;

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "settings: %s\n", what);
  __builtin_trap();
}

// Every CR stands before an LF, and the request has `lines` lines.
void CheckRequest(const std::string& request, size_t lines) {
  size_t count = 0;
  for (size_t i = 0; i < request.size(); ++i) {
    if (request[i] == '\r') Check(i + 1 < request.size() && request[i + 1] == '\n', "lone CR");
    if (request[i] == '\n') {
      Check(i > 0 && request[i - 1] == '\r', "lone LF");
      ++count;
    }
  }
  Check(count == lines, "line count");
  Check(request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0, "end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemFile file;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  file.Set(bytes);
  const SstpSettings s = ReadSstpSettings(file.path());
  for (const std::string* v : {&s.SendStr1, &s.SendStr2, &s.SendStrOnStart, &s.SendStrOnExit,
                               &s.Server, &s.Port, &s.Option}) {
    Check(v->size() <= 1023, "value longer than 1023 bytes");
    Check(v->find('\n') == std::string::npos, "LF in a value");
  }

  // The boxes as a user may fill them: parts of the same bytes.
  const std::string part(bytes.substr(0, 32));
  const BoxTexts boxes{"090", part, "DoCoMo", part};
  for (int kind = 0; kind <= 5; ++kind) {
    const std::string script = BuildScript(kind, s, boxes);
    if (s.UseSSTP != 1 || kind < 1 || kind > 4) Check(script.empty(), "script while off");
    CheckRequest(BuildSstpRequest("Nomvex", script, s.Option), s.Option.empty() ? 4 : 5);
  }
  SstpPort(s.Port);
  SstpPort(bytes);
  ProfileInt(std::string(bytes), 0);
  return 0;
}
