#include "sstp/client.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace nomvex {
namespace {

using Clock = std::chrono::steady_clock;

// The few places where Winsock and POSIX sockets differ.
#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
constexpr int kShutBoth = SD_BOTH;
constexpr int kNoSignal = 0;
void CloseSocket(Socket s) { closesocket(s); }
Socket NewSocket() { return socket(AF_INET, SOCK_STREAM, 0); }
void SetNonBlocking(Socket s) {
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
}
bool ConnectPending() { return WSAGetLastError() == WSAEWOULDBLOCK; }
bool RecvAgain() { return WSAGetLastError() == WSAEWOULDBLOCK; }
int Poll(pollfd* p, int ms) { return WSAPoll(p, 1, ms); }
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kNoSignal = MSG_NOSIGNAL;
void CloseSocket(Socket s) { close(s); }
Socket NewSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
void SetNonBlocking(Socket s) { fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK); }
bool ConnectPending() { return errno == EINPROGRESS; }
bool RecvAgain() { return errno == EINTR || errno == EAGAIN; }
int Poll(pollfd* p, int ms) { return poll(p, 1, ms); }
#endif

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void AppendLine(std::string& out, std::string_view text) {
  for (char c : text)
    if (c != '\r' && c != '\n') out.push_back(c);
}

[[maybe_unused]] bool ListensOn(const char* proc_file, uint16_t port) {
  std::ifstream in(proc_file);
  std::string line;
  std::getline(in, line);  // the header
  char local[128], remote[128], state[8];
  while (std::getline(in, line)) {
    if (std::sscanf(line.c_str(), "%*s %127s %127s %7s", local, remote, state) != 3) continue;
    const char* colon = std::strrchr(local, ':');
    if (colon && std::strcmp(state, "0A") == 0 &&
        std::strtoul(colon + 1, nullptr, 16) == port)
      return true;
  }
  return false;
}

}  // namespace

#ifdef _WIN32
int SstpStartup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0 ? 1 : 0;
}
void SstpCleanup() { WSACleanup(); }

// The host holds the mutex "sakura" while it runs.  Opened, never created,
// and closed at once.
int IsSstpHostRunning(uint16_t) {
  HANDLE mutex = OpenMutexA(0x1F0001, FALSE, "sakura");
  if (!mutex) return 0;
  CloseHandle(mutex);
  return 1;
}
#else
int SstpStartup() { return 1; }  // POSIX sockets need no start-up
void SstpCleanup() {}

int IsSstpHostRunning(uint16_t port) {
  return ListensOn("/proc/net/tcp", port) || ListensOn("/proc/net/tcp6", port) ? 1 : 0;
}
#endif

bool IsLocalServer(std::string_view server) {
  return server.empty() || server == "127.0.0.1" || server == "localhost";
}

uint16_t SstpPort(std::string_view text) {
  // strtol is atol with its overflow defined: clamped to the range of long.
  const long value = std::strtol(std::string(text).c_str(), nullptr, 10);
  if (value == 0) return 9801;
  return static_cast<uint16_t>(static_cast<unsigned long>(value));
}

std::string BuildSstpRequest(std::string_view sender, std::string_view script,
                             std::string_view option) {
  std::string r = "SEND SSTP/1.0\r\nSender: ";
  AppendLine(r, sender);
  r += "\r\nScript: ";
  AppendLine(r, script);
  r += "\\e\r\n";
  if (!option.empty()) {
    r += "Option: ";
    AppendLine(r, option);
    r += "\r\n";
  }
  r += "\r\n";
  return r;
}

bool ResolveIpv4(const std::string& host, uint32_t* address) {
  struct addrinfo hints {}, *found = nullptr;
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  *address = reinterpret_cast<struct sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

bool ResolveWithin(const std::string& host, std::chrono::milliseconds bound, uint32_t* address,
                   ResolveFn resolve) {
  // getaddrinfo has no time limit of its own.  What the thread and its
  // caller share lives as long as the later of the two needs it.
  struct Lookup {
    std::mutex lock;
    std::condition_variable done_cv;
    bool done = false;
    bool found = false;
    uint32_t address = 0;
  };
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host, resolve] {
      uint32_t a = 0;
      const bool found = resolve(host, &a);
      std::lock_guard<std::mutex> hold(lookup->lock);
      lookup->found = found;
      lookup->address = a;
      lookup->done = true;
      lookup->done_cv.notify_one();
    }).detach();
  } catch (const std::system_error&) {
    return false;  // no thread to be had: as a failed look-up, silently
  }
  std::unique_lock<std::mutex> hold(lookup->lock);
  if (!lookup->done_cv.wait_for(hold, bound, [&] { return lookup->done; }) || !lookup->found)
    return false;
  *address = lookup->address;
  return true;
}

int SendSstp(std::string_view server, std::string_view sender, std::string_view script,
             std::string_view option, std::string_view port_text,
             std::chrono::milliseconds bound, ResolveFn resolve) {
  const uint16_t port = SstpPort(port_text);
  if (IsLocalServer(server) && !IsSstpHostRunning(port)) return 0;
  const std::string host = server.empty() ? std::string("127.0.0.1") : std::string(server);

  Socket fd = NewSocket();
  if (fd == kNoSocket) return 0;
  struct sockaddr_in addr {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = inet_addr(host.c_str());
  if (addr.sin_addr.s_addr == INADDR_NONE) {
    uint32_t found;  // (Winsock's address field is a long)
    if (!ResolveWithin(host, bound, &found, resolve)) {
      CloseSocket(fd);
      return 0;
    }
    addr.sin_addr.s_addr = found;
  }

  // Connect within the bound: non-blocking, then wait for it to complete.
  auto deadline = Clock::now() + bound;
  SetNonBlocking(fd);
  if (connect(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0) {
    struct pollfd p {fd, POLLOUT, 0};
    int err = 0;
    socklen_t len = sizeof err;
    if (!ConnectPending() || Poll(&p, MsLeft(deadline)) != 1 ||
        getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 || err != 0) {
      CloseSocket(fd);
      return 0;
    }
  }

  const std::string request = BuildSstpRequest(sender, script, option);
  // One send, as the protocol's peers expect; a short count is not retried.
  if (send(fd, request.data(), static_cast<int>(request.size()), kNoSignal) < 0) {
    shutdown(fd, kShutBoth);
    CloseSocket(fd);
    return 0;
  }

  // Drain until the host closes, an error, or the bound.  The clock is
  // looked at on every round: a host that keeps sending always has data.
  deadline = Clock::now() + bound;
  char buf[200];
  for (;;) {
    const int left = MsLeft(deadline);
    if (left == 0) break;
    struct pollfd p {fd, POLLIN, 0};
    if (Poll(&p, left) != 1) break;
    const auto n = recv(fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && !RecvAgain())) break;
  }
  shutdown(fd, kShutBoth);
  CloseSocket(fd);
  return 1;
}

}  // namespace nomvex
