#include "sstp/settings.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

#include "platform/codepage.h"
#include "platform/line_reader.h"

namespace nomvex {
namespace {

constexpr size_t kValueMax = 1023;  // the profile reader's buffer, less its zero
// Far beyond any real line; only this much of a longer one is looked at.
constexpr size_t kLineMax = 64 << 10;

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The keys of section "SSTP", by lower-case name; the first of a name wins.
std::map<std::string, std::string> ReadSection(const std::string& path) {
  std::map<std::string, std::string> keys;
  // Read at every notification: a FIFO or a device in its place counts as
  // no file rather than holding the window.
  platform::BoundedLineReader in(kLineMax);
  if (in.Open(path) != 0) return keys;
  enum { kBefore, kInside, kAfter } state = kBefore;
  std::string_view raw;
  bool cut;
  while (state != kAfter && in.NextLine(raw, cut)) {
    std::string_view line = Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      std::string name = Lower(Trim(line.substr(1, close == std::string_view::npos ? close : close - 1)));
      if (state == kInside) state = kAfter;
      else if (name == "sstp") state = kInside;
      continue;
    }
    if (state != kInside) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    keys.try_emplace(Lower(Trim(line.substr(0, eq))), std::string(value.substr(0, kValueMax)));
  }
  return keys;
}

}  // namespace

SstpSettings DefaultSstpSettings() {
  SstpSettings s;
  s.SendStr1 = platform::ToCp932("\\h$$N$$ってどう？\\u$$C$$ $$W$$やな。");
  s.SendStr2 = platform::ToCp932("\\h$$N$$ってどう？\\uこれはちょっとわからんな。");
  s.SendStrOnStart = platform::ToCp932("\\hNomvexが起動しました。");
  s.SendStrOnExit = platform::ToCp932("\\hNomvexが終了しました。");
  s.Server = "127.0.0.1";
  s.Port = "9801";
  s.Option = "notranslate";
  return s;
}

int ProfileInt(const std::string& text, int fallback) {
  std::string_view t = Trim(text);
  size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  if (i == t.size() || t.find_first_not_of("0123456789", i) != std::string_view::npos)
    return fallback;
  long long v = std::strtoll(std::string(t).c_str(), nullptr, 10);
  return v > INT32_MAX || v < INT32_MIN ? fallback : static_cast<int>(v);
}

std::string SstpSettingsPath(const std::string& exe_dir) {
#ifdef _WIN32
  // The Windows program keeps its settings beside itself, as it always has.
  return exe_dir + "sstp.ini";
#else
  std::string config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (xdg && xdg[0] == '/') config = xdg;
  else if (home && home[0]) config = std::string(home) + "/.config";
  if (!config.empty()) {
    std::string own = config + "/nomvex/sstp.ini";
    std::error_code ec;
    if (std::filesystem::exists(own, ec)) return own;
  }
  return exe_dir + "sstp.ini";
#endif
}

SstpSettings ReadSstpSettings(const std::string& path) {
  SstpSettings s = DefaultSstpSettings();
  auto keys = ReadSection(path);
  auto text = [&](const char* name, std::string& field) {
    if (auto it = keys.find(Lower(name)); it != keys.end()) field = it->second;
  };
  if (auto it = keys.find("usesstp"); it != keys.end()) s.UseSSTP = ProfileInt(it->second, 0);
  text("SendStr1", s.SendStr1);
  text("SendStr2", s.SendStr2);
  text("SendStrOnStart", s.SendStrOnStart);
  text("SendStrOnExit", s.SendStrOnExit);
  text("Server", s.Server);
  text("Port", s.Port);
  text("Option", s.Option);
  return s;
}

}  // namespace nomvex
