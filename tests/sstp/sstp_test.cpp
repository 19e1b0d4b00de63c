#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "sstp/client.h"
#include "sstp/notify.h"
#include "sstp/settings.h"
#include "tests/test_util.h"

namespace nomvex {
namespace {

using namespace std::chrono_literals;
using test::sj;

#ifdef _WIN32
constexpr int MSG_NOSIGNAL = 0;
constexpr int SHUT_RDWR = SD_BOTH;
void close(SOCKET s) { closesocket(s); }

// A host on this machine is known by the mutex it holds while it runs.
class HostMutex {
 public:
  HostMutex() : mutex_(CreateMutexA(nullptr, FALSE, "sakura")) {}
  ~HostMutex() { CloseHandle(mutex_); }

 private:
  HANDLE mutex_;
};

struct Winsock {
  Winsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Winsock() { WSACleanup(); }
};
#else
struct HostMutex {};
struct Winsock {};
using SOCKET = int;
#endif

// A host on the loopback that records every request and answers as told.
class TestHost {
 public:
  // kFlood answers without end (for 3 s at most, so that a client that
  // waits for the end fails a test rather than hanging it).
  enum class Mode { kAnswerAndClose, kCloseAtOnce, kStall, kGarbage, kFlood };

  // A host on this machine holds the mutex "sakura" while it runs (on
  // Windows; elsewhere its listening socket tells).
  explicit TestHost(Mode mode, bool holds_mutex = true) : mode_(mode) {
    if (holds_mutex) running_.emplace();
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen(fd_, 8);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TestHost() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::string port() const { return std::to_string(port_); }
  uint16_t port_number() const { return port_; }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stop_) {
      SOCKET c = accept(fd_, nullptr, nullptr);
      if (c == static_cast<SOCKET>(-1)) return;
      std::string got;
      if (mode_ != Mode::kCloseAtOnce) {
        char buf[512];
        while (got.find("\r\n\r\n") == std::string::npos) {
          auto n = recv(c, buf, sizeof buf, 0);
          if (n <= 0) break;
          got.append(buf, static_cast<size_t>(n));
        }
      }
      {
        std::lock_guard<std::mutex> lock(mu_);
        requests_.push_back(got);
      }
      if (mode_ == Mode::kAnswerAndClose) send(c, "SSTP/1.4 200 OK\r\n\r\n", 19, MSG_NOSIGNAL);
      if (mode_ == Mode::kGarbage) send(c, "\x00\xff garbage", 10, MSG_NOSIGNAL);
      if (mode_ == Mode::kStall)
        while (!stop_) std::this_thread::sleep_for(10ms);
      if (mode_ == Mode::kFlood) {
        // A full send buffer goes on filling the client's while this
        // thread waits for the processor.
        int size = 64 << 20;
        auto* value = reinterpret_cast<const char*>(&size);  // (Winsock takes a char*)
#ifdef SO_SNDBUFFORCE
        if (setsockopt(c, SOL_SOCKET, SO_SNDBUFFORCE, value, sizeof size) != 0)
#endif
          setsockopt(c, SOL_SOCKET, SO_SNDBUF, value, sizeof size);
        const std::string block(1 << 20, 'x');
        for (auto end = std::chrono::steady_clock::now() + 3s;
             !stop_ && std::chrono::steady_clock::now() < end;)
          if (send(c, block.data(), static_cast<int>(block.size()), MSG_NOSIGNAL) < 0) break;
      }
      close(c);
    }
  }

  Mode mode_;
  SOCKET fd_;
  uint16_t port_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::vector<std::string> requests_;
  Winsock winsock_;
  std::optional<HostMutex> running_;
};

TEST(SstpRequest, BytesOfTheRequest) {
  EXPECT_EQ(BuildSstpRequest("Nomvex", "abc", "notranslate"),
            "SEND SSTP/1.0\r\nSender: Nomvex\r\nScript: abc\\e\r\nOption: notranslate\r\n\r\n");
  EXPECT_EQ(BuildSstpRequest("Nomvex", "abc", "notranslate").size(), 69u);
  EXPECT_EQ(BuildSstpRequest("Nomvex", "abc", "").size(), 48u);
  EXPECT_EQ(BuildSstpRequest("N", "", ""), "SEND SSTP/1.0\r\nSender: N\r\nScript: \\e\r\n\r\n");
  EXPECT_EQ(BuildSstpRequest("N", "x\\e", ""), "SEND SSTP/1.0\r\nSender: N\r\nScript: x\\e\\e\r\n\r\n");
  // No value can add a line to the request.
  EXPECT_EQ(BuildSstpRequest("N\r\nX: 1", "a\nb\rc", "o\r\n"),
            "SEND SSTP/1.0\r\nSender: NX: 1\r\nScript: abc\\e\r\nOption: o\r\n\r\n");
}

TEST(SstpRequest, PortAndLocalRule) {
  struct Case {
    std::string text;
    uint16_t port;
  } cases[] = {{"", 9801},       {"0", 9801},      {"abc", 9801}, {" 9821", 9821},
               {"9821x", 9821},  {"-1", 65535},    {"65536", 0},  {"+80", 80},
               {"\t\n 80", 80},   {"- 80", 9801},   {"00080", 80},
               // Beyond long: clamped as atol does, then the low 16 bits.
               {"20000000000000000000", 65535}, {"20000000000000200000", 65535},
               {"99999999999999999999999999", 65535}, {"-20000000000000000000", 0},
               {"9223372036854775807", 65535}, {"-9223372036854775808", 0}};
  for (const Case& c : cases) EXPECT_EQ(SstpPort(c.text), c.port) << c.text;
  for (std::string s : {"", "127.0.0.1", "localhost"}) EXPECT_TRUE(IsLocalServer(s)) << s;
  for (std::string s : {"LOCALHOST", "127.0.0.2", " localhost"}) EXPECT_FALSE(IsLocalServer(s)) << s;
}

TEST(SendSstp, DeliversOneRequestAndReadsTheAnswer) {
  for (auto mode : {TestHost::Mode::kAnswerAndClose, TestHost::Mode::kGarbage}) {
    TestHost host(mode);
    EXPECT_EQ(IsSstpHostRunning(host.port_number()), 1);
    EXPECT_EQ(SendSstp("127.0.0.1", "Nomvex", "abc", "notranslate", host.port()), 1);
    ASSERT_EQ(host.requests().size(), 1u);
    EXPECT_EQ(host.requests()[0], BuildSstpRequest("Nomvex", "abc", "notranslate"));
  }
  TestHost closing(TestHost::Mode::kCloseAtOnce);
  EXPECT_EQ(SendSstp("", "Nomvex", "abc", "", closing.port()), 1);
}

TEST(SendSstp, NoHostOrNoConnection) {
  uint16_t free_port;
  {
    TestHost gone(TestHost::Mode::kAnswerAndClose);
    free_port = gone.port_number();
  }
  // A local server with no host listening: nothing is tried.
  EXPECT_EQ(IsSstpHostRunning(free_port), 0);
  EXPECT_EQ(SendSstp("", "Nomvex", "abc", "", std::to_string(free_port)), 0);
  // Other names of this machine count as remote and are tried: refused.
  EXPECT_EQ(SendSstp("127.0.0.2", "Nomvex", "abc", "", std::to_string(free_port)), 0);
}

#ifdef _WIN32
TEST(SendSstp, ALocalHostIsContactedOnlyWhileItsMutexExists) {
  auto mutex_exists = [] {
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, "sakura");
    if (m) CloseHandle(m);
    return m != nullptr;
  };
  TestHost host(TestHost::Mode::kAnswerAndClose, /*holds_mutex=*/false);
  EXPECT_EQ(IsSstpHostRunning(host.port_number()), 0);
  EXPECT_FALSE(mutex_exists());  // asking created nothing
  for (std::string server : {"", "127.0.0.1", "localhost"})
    EXPECT_EQ(SendSstp(server, "Nomvex", "abc", "", host.port()), 0) << server;
  EXPECT_TRUE(host.requests().empty());
  // Any other name of this machine counts as remote and is tried.
  EXPECT_EQ(SendSstp("LOCALHOST", "Nomvex", "abc", "", host.port()), 1);
  EXPECT_EQ(host.requests().size(), 1u);

  HostMutex running;
  EXPECT_EQ(IsSstpHostRunning(host.port_number()), 1);
  EXPECT_EQ(SendSstp("", "Nomvex", "abc", "", host.port()), 1);
  EXPECT_EQ(host.requests().size(), 2u);
}
#endif

TEST(SendSstp, AStalledHostCostsNoMoreThanTheBound) {
  TestHost host(TestHost::Mode::kStall);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendSstp("127.0.0.1", "Nomvex", "abc", "", host.port(), 300ms), 1);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 250ms);  // poll counts whole milliseconds
  EXPECT_LT(took, 1500ms);
  EXPECT_EQ(host.requests().size(), 1u);
}

TEST(SendSstp, AHostThatKeepsSendingCostsNoMoreThanTheBound) {
  TestHost host(TestHost::Mode::kFlood);
  // Whether the client ever finds nothing to read depends on how the two
  // threads are scheduled: a few rounds, so that one of them finds data
  // waiting at every turn.
  for (int round = 0; round < 3; ++round) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendSstp("127.0.0.1", "Nomvex", "abc", "", host.port(), 300ms), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << round;
  }
}

// Resolvers for the tests: one that never answers in time, one that knows
// every name as this machine.
bool SlowResolver(const std::string&, uint32_t*) {
  std::this_thread::sleep_for(10s);
  return false;
}
bool LoopbackResolver(const std::string&, uint32_t* address) {
  *address = htonl(INADDR_LOOPBACK);
  return true;
}

TEST(SendSstp, ANameLookUpCostsNoMoreThanTheBound) {
  TestHost host(TestHost::Mode::kAnswerAndClose);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendSstp("mascot.example", "Nomvex", "abc", "", host.port(), 300ms, SlowResolver), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_EQ(host.requests().size(), 0u);
  // The same name, answered: delivered to the address it gives.
  EXPECT_EQ(SendSstp("mascot.example", "Nomvex", "abc", "", host.port(), 300ms, LoopbackResolver), 1);
  EXPECT_EQ(host.requests().size(), 1u);
  // A name the real resolver knows, and one it cannot know.
  EXPECT_EQ(SendSstp("LOCALHOST", "Nomvex", "abc", "", host.port()), 1);
  EXPECT_EQ(SendSstp("no-such-host.invalid", "Nomvex", "abc", "", host.port()), 0);
  EXPECT_EQ(host.requests().size(), 2u);
}

TEST(SstpSettings, ReadLikeTheProfileFunctions) {
  test::TempDir dir;
  SstpSettings d = DefaultSstpSettings();
  EXPECT_EQ(ReadSstpSettings(dir / "absent.ini").UseSSTP, 0);
  EXPECT_EQ(ReadSstpSettings(dir / "absent.ini").SendStr1, d.SendStr1);

  test::WriteFile(dir / "a.ini", "[Other]\r\nUseSSTP=1\r\n; comment\r\n[sstp]\r\n usesstp = 1 \r\n"
                                 "SendStr1=\r\nServer = \"host name\" \r\nPort=9821\r\n"
                                 "Option=" + std::string(1500, 'o') + "\r\nServer=second\r\n"
                                 "[Next]\r\nPort=1\r\n");
  SstpSettings s = ReadSstpSettings(dir / "a.ini");
  EXPECT_EQ(s.UseSSTP, 1);
  EXPECT_EQ(s.SendStr1, "");  // present and empty: not the default
  EXPECT_EQ(s.SendStr2, d.SendStr2);
  EXPECT_EQ(s.Server, "host name");
  EXPECT_EQ(s.Port, "9821");
  EXPECT_EQ(s.Option.size(), 1023u);

  // The example beside the program: notifications off, every default shown.
  SstpSettings e = ReadSstpSettings(NOMVEX_EXAMPLE_INI);
  EXPECT_EQ(e.UseSSTP, 0);
  for (auto field : {&SstpSettings::SendStr1, &SstpSettings::SendStr2, &SstpSettings::SendStrOnStart,
                     &SstpSettings::SendStrOnExit, &SstpSettings::Server, &SstpSettings::Port,
                     &SstpSettings::Option})
    EXPECT_EQ(e.*field, d.*field);

#ifndef _WIN32
  // Read at every notification: a FIFO in its place must not hold the window.
  ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  EXPECT_EQ(ReadSstpSettings(dir / "fifo.ini").UseSSTP, 0);
#endif

  for (std::string use : {"2", "-1", "yes", "1x", ""}) {
    test::WriteFile(dir / "b.ini", "[SSTP]\nUseSSTP=" + use + "\n");
    EXPECT_NE(ReadSstpSettings(dir / "b.ini").UseSSTP, 1) << use;
  }
}

// The user's own settings file: Linux only (Windows keeps it beside the program).
#ifndef _WIN32
// Sets an environment variable for one scope, or unsets it (nullptr).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(SstpSettings, TheUsersOwnFileComesFirst) {
  test::TempDir dir;
  const std::string exe_dir = dir / "bin/";
  const std::string xdg = dir / "xdg", home = dir / "home";
  std::filesystem::create_directories(xdg + "/nomvex");
  std::filesystem::create_directories(home + "/.config/nomvex");
  test::WriteFile(xdg + "/nomvex/sstp.ini", "");
  test::WriteFile(home + "/.config/nomvex/sstp.ini", "");
  struct Case {
    const char* xdg_config_home;  // nullptr: unset
    const char* home;
    std::string want;
  } cases[] = {
      {xdg.c_str(), home.c_str(), xdg + "/nomvex/sstp.ini"},
      {nullptr, home.c_str(), home + "/.config/nomvex/sstp.ini"},
      {"", home.c_str(), home + "/.config/nomvex/sstp.ini"},
      {"relative/dir", home.c_str(), home + "/.config/nomvex/sstp.ini"},
      {exe_dir.c_str(), home.c_str(), exe_dir + "sstp.ini"},  // no file there
      {nullptr, exe_dir.c_str(), exe_dir + "sstp.ini"},
      {nullptr, nullptr, exe_dir + "sstp.ini"},
  };
  for (const Case& c : cases) {
    ScopedEnv x("XDG_CONFIG_HOME", c.xdg_config_home);
    ScopedEnv h("HOME", c.home);
    EXPECT_EQ(SstpSettingsPath(exe_dir), c.want)
        << (c.xdg_config_home ? c.xdg_config_home : "(unset)") << " "
        << (c.home ? c.home : "(unset)");
  }
}
#endif  // !_WIN32

TEST(BuildScript, Placeholders) {
  SstpSettings s = DefaultSstpSettings();
  s.UseSSTP = 1;
  BoxTexts boxes{"090", "12345678", "DoCoMo", sj("関東")};
  EXPECT_EQ(BuildScript(kNotifyKnown, s, boxes),
            sj("\\h090-12345678ってどう？\\uDoCoMo 関東やな。"));
  EXPECT_EQ(BuildScript(kNotifyUnknown, s, {"090", "12345678", sj("？"), sj("？")}),
            sj("\\h090-12345678ってどう？\\uこれはちょっとわからんな。"));
  struct Case {
    std::string tmpl, script;
  } cases[] = {
      {"$$N$$ $$N$$", "090-12345678 $$N$$"},
      {"$$W$$/$$C$$", sj("関東") + "/DoCoMo"},
      {"", ""},
  };
  for (const Case& c : cases) {
    s.SendStr1 = c.tmpl;
    EXPECT_EQ(BuildScript(kNotifyKnown, s, boxes), c.script) << c.tmpl;
  }
  // A placeholder typed into a box is filled by a later step.
  s.SendStr1 = "$$N$$ $$C$$";
  EXPECT_EQ(BuildScript(kNotifyKnown, s, {"090", "$$C$$", "DoCoMo", "x"}), "090-DoCoMo $$C$$");
  s.SendStrOnStart = "start $$N$$";
  EXPECT_EQ(BuildScript(kNotifyStart, s, boxes), "start $$N$$");
  EXPECT_EQ(BuildScript(5, s, boxes), "");
  s.UseSSTP = 2;
  EXPECT_EQ(BuildScript(kNotifyStart, s, boxes), "");
}

TEST(NotifySstp, SendsTheFilledTemplateToTheHost) {
  TestHost host(TestHost::Mode::kAnswerAndClose);
  test::TempDir dir;
  std::string exe_dir = dir.path().string() + "/";
  test::WriteFile(dir / "sstp.ini", "[SSTP]\r\nUseSSTP=1\r\nPort=" + host.port() + "\r\n");
  NotifySstp(kNotifyKnown, {"090", "12345678", "DoCoMo", sj("関東")}, exe_dir);
  NotifySstp(kNotifyUnknown, {"090", "1", "\x81\x48", "\x81\x48"}, "/nonexistent/");  // no ini
  ASSERT_EQ(host.requests().size(), 1u);
#ifndef _WIN32
  {
    // The user's own file wins over the one beside the program.
    test::TempDir config;
    std::filesystem::create_directory(config / "nomvex");
    test::WriteFile(config / "nomvex/sstp.ini", "[SSTP]\r\nUseSSTP=0\r\n");
    ScopedEnv x("XDG_CONFIG_HOME", config.path().c_str());
    NotifySstp(kNotifyStart, {}, exe_dir);
  }
  ASSERT_EQ(host.requests().size(), 1u);
#endif
  EXPECT_EQ(host.requests()[0],
            "SEND SSTP/1.0\r\nSender: Nomvex\r\nScript: " +
                sj("\\h090-12345678ってどう？\\uDoCoMo 関東やな。") +
                "\\e\r\nOption: notranslate\r\n\r\n");
}

}  // namespace
}  // namespace nomvex
