#include "sstp/notify.h"

#include "sstp/client.h"

namespace nomvex {
namespace {

void ReplaceFirst(std::string& script, std::string_view placeholder, const std::string& value) {
  size_t at = script.find(placeholder);
  if (at != std::string::npos) script.replace(at, placeholder.size(), value);
}

}  // namespace

std::string BuildScript(int kind, const SstpSettings& s, const BoxTexts& boxes) {
  if (s.UseSSTP != 1) return {};
  switch (kind) {
    case kNotifyStart:
      return s.SendStrOnStart;
    case kNotifyExit:
      return s.SendStrOnExit;
    case kNotifyKnown:
    case kNotifyUnknown: {
      std::string script = kind == kNotifyKnown ? s.SendStr1 : s.SendStr2;
      ReplaceFirst(script, "$$N$$", boxes.TelType + "-" + boxes.TelNo);
      ReplaceFirst(script, "$$C$$", boxes.Com);
      ReplaceFirst(script, "$$W$$", boxes.Where);
      return script;
    }
    default:
      return {};
  }
}

void NotifySstp(int kind, const BoxTexts& boxes, const std::string& exe_dir) {
  SstpSettings settings = ReadSstpSettings(SstpSettingsPath(exe_dir));
  std::string script = BuildScript(kind, settings, boxes);
  if (script.empty()) return;
  SstpStartup();
  SendSstp(settings.Server, "Nomvex", script, settings.Option, settings.Port);
  SstpCleanup();
}

}  // namespace nomvex
