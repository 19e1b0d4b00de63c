// What the window smoke test needs on the Windows side, under Wine:
//
//   win32_helper host PORTFILE LOGFILE STOPFILE
//     an SSTP host on the loopback that holds the mutex "sakura" as a host
//     on this machine does; writes its port to PORTFILE, appends every
//     request to LOGFILE, answers and closes; ends when STOPFILE exists.
//   win32_helper probe
//     prints the texts and the colours (RRGGBB) of the result boxes of the
//     window titled "Nomvex", one box a line.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

int Host(const char* port_file, const char* log_file, const char* stop_file) {
  HANDLE running = CreateMutexA(nullptr, FALSE, "sakura");
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  listen(listener, 8);
  std::ofstream(port_file) << ntohs(a.sin_port) << "\n";
  for (;;) {
    if (GetFileAttributesA(stop_file) != INVALID_FILE_ATTRIBUTES) break;
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval wait{0, 200000};
    if (select(0, &ready, nullptr, nullptr, &wait) != 1) continue;
    SOCKET c = accept(listener, nullptr, nullptr);
    if (c == INVALID_SOCKET) continue;
    std::string got;
    char buf[512];
    while (got.find("\r\n\r\n") == std::string::npos) {
      const int n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    std::ofstream(log_file, std::ios::binary | std::ios::app) << got;
    send(c, "SSTP/1.4 200 OK\r\n\r\n", 19, 0);
    shutdown(c, SD_BOTH);
    closesocket(c);
  }
  closesocket(listener);
  WSACleanup();
  CloseHandle(running);
  return 0;
}

int Probe() {
  HWND main = FindWindowW(nullptr, L"Nomvex");
  if (!main) {
    std::fprintf(stderr, "no window titled Nomvex\n");
    return 1;
  }
  // The result boxes by their numbers (app/win32/forms.h: kCom, kWhere).
  for (int id : {103, 104}) {
    HWND box = GetDlgItem(main, id);
    if (!box) return 1;
    wchar_t text[64] = {};
    // (GetWindowText would give the box's first text: it is another
    // process's window.)
    SendMessageW(box, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    char utf8[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    RECT r;
    GetClientRect(box, &r);
    // Beside the text's right end: the box's own colour, as the screen
    // shows it.
    POINT at{r.right - 4, r.bottom / 2};
    ClientToScreen(box, &at);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    std::printf("%s %02X%02X%02X\n", utf8, GetRValue(c), GetGValue(c), GetBValue(c));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "host" && argc == 5) return Host(argv[2], argv[3], argv[4]);
  if (mode == "probe") return Probe();
  std::fprintf(stderr, "usage: win32_helper host PORTFILE LOGFILE STOPFILE | probe\n");
  return 64;
}
