// sstp.ini: whether and how the program announces what it does to a
// desktop-mascot host.  Read afresh at every notification, from the user's
// settings folder or else from beside the executable.
#pragma once

#include <string>

namespace nomvex {

struct SstpSettings {
  int UseSSTP = 0;  // notifications are on only when this is exactly 1
  std::string SendStr1;        // kind 3, a known number
  std::string SendStr2;        // kind 4, an unknown number
  std::string SendStrOnStart;  // kind 1
  std::string SendStrOnExit;   // kind 2
  std::string Server;
  std::string Port;
  std::string Option;
};

// The defaults of every key, as a missing file gives them.
SstpSettings DefaultSstpSettings();

// Reads section "SSTP" the way the Windows profile functions do: section and
// key names in any letter case, blanks around names and values dropped, one
// pair of matching quotes around a value removed, the first section and key
// of a name used, at most 1023 bytes of a value.  A missing key gives its
// default; a key with an empty value gives the empty text.
SstpSettings ReadSstpSettings(const std::string& path);

// The user's own $XDG_CONFIG_HOME/nomvex/sstp.ini (~/.config/nomvex/ when
// XDG_CONFIG_HOME is unset, empty or not absolute) when that file exists;
// otherwise `exe_dir`/sstp.ini.  An installed program's folder is not the
// user's to edit, and an upgrade would replace a file kept there.
std::string SstpSettingsPath(const std::string& exe_dir);

// A whole number (blanks, sign, digits, nothing else), or `fallback`.
int ProfileInt(const std::string& text, int fallback);

}  // namespace nomvex
