#include "platform/console.h"

#include <windows.h>

#include <iostream>
#include <streambuf>
#include <string>

#include "platform/win32/wide.h"

namespace nomvex::platform {
namespace {

// A stream of UTF-8 text to one of the process's standard handles.  Whole
// lines are converted at once, so that no character is split.
class HandleBuf : public std::streambuf {
 public:
  HandleBuf(HANDLE handle, bool console, std::string* box)
      : handle_(handle), console_(console), box_(box) {}
  ~HandleBuf() override { sync(); }

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    pending_.push_back(static_cast<char>(c));
    if (c == '\n') sync();
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<size_t>(n));
    if (pending_.find('\n') != std::string::npos) sync();
    return n;
  }
  int sync() override {
    if (pending_.empty()) return 0;
    if (box_) {
      box_->append(pending_);
    } else if (console_) {
      const std::wstring wide = win32::Wide(pending_);
      DWORD written;
      WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else if (handle_) {
      DWORD written;
      WriteFile(handle_, pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr);
    }
    pending_.clear();
    return 0;
  }

 private:
  HANDLE handle_;
  bool console_;
  std::string* box_;  // collects the text for the box instead
  std::string pending_;
};

bool stderr_console = false;
std::string box_text;
HandleBuf* out_buf = nullptr;
HandleBuf* err_buf = nullptr;
std::streambuf* saved_out = nullptr;
std::streambuf* saved_err = nullptr;

bool Usable(HANDLE h) { return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN; }

bool IsConsole(HANDLE h) {
  DWORD mode;
  return Usable(h) && GetConsoleMode(h, &mode);
}

}  // namespace

ConsoleStreams::ConsoleStreams() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  // Started from a console, a window program gets no handles of its own:
  // it borrows the console of the process that started it.
  if (!Usable(out) && !Usable(err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    err = out;
  }
  const bool have_err = Usable(err);
  stderr_console = IsConsole(err);
  out_buf = new HandleBuf(Usable(out) ? out : nullptr, IsConsole(out), nullptr);
  // Nowhere to write to: what goes to stderr is shown in a box at the end.
  err_buf = new HandleBuf(have_err ? err : nullptr, stderr_console, have_err ? nullptr : &box_text);
  saved_out = std::cout.rdbuf(out_buf);
  saved_err = std::cerr.rdbuf(err_buf);
}

ConsoleStreams::~ConsoleStreams() {
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(saved_out);
  std::cerr.rdbuf(saved_err);
  delete out_buf;
  delete err_buf;
  if (box_text.empty()) return;
  // The terminal's form, "nomvex: FILE: message", without the program's
  // name: the box's caption names it.
  std::string text;
  size_t start = 0;
  while (start < box_text.size()) {
    size_t end = box_text.find('\n', start);
    if (end == std::string::npos) end = box_text.size();
    std::string_view line(box_text.data() + start, end - start);
    if (line.substr(0, 8) == "nomvex: ") line.remove_prefix(8);
    text.append(line).append("\r\n");
    start = end + 1;
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  MessageBoxW(nullptr, win32::Wide(text).c_str(), L"Nomvex", MB_OK);
}

bool StderrIsTerminal() { return stderr_console; }

}  // namespace nomvex::platform
