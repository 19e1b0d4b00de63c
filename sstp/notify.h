// Announcing start, exit and examined numbers to an SSTP host, with scripts
// made from the templates of sstp.ini.
#pragma once

#include <string>

#include "sstp/settings.h"

namespace nomvex {

enum NotifyKind : int { kNotifyStart = 1, kNotifyExit = 2, kNotifyKnown = 3, kNotifyUnknown = 4 };

// The four boxes of the main window as the user sees them (code page 932).
struct BoxTexts {
  std::string TelType, TelNo, Com, Where;
};

// The script of a kind, or empty when nothing is to be sent.  Kinds 3 and 4
// fill the first "$$N$$", then "$$C$$", then "$$W$$", each searched in the
// script as the step before left it.
std::string BuildScript(int kind, const SstpSettings& settings, const BoxTexts& boxes);

// Reads sstp.ini afresh (SstpSettingsPath) and sends the script of `kind`,
// silently.
void NotifySstp(int kind, const BoxTexts& boxes, const std::string& exe_dir);

}  // namespace nomvex
