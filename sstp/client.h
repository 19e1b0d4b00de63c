// The SSTP client: one "SEND SSTP/1.0" request per connection, the reply
// read and thrown away.  Every failure is silent; the result only says
// whether the exchange took place.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace nomvex {

// How long a name look-up may take, then a connection, then the host to
// close it.  A host or resolver that never answers holds the window no
// longer than this for each step.
inline constexpr std::chrono::milliseconds kSstpBound{2000};

int SstpStartup();
void SstpCleanup();

// Whether an SSTP host runs on this machine.  Windows: its mutex "sakura"
// exists.  Linux: some socket of this machine listens on `port` (read from
// /proc/net/tcp and tcp6, so nothing is created and nothing is sent).
int IsSstpHostRunning(uint16_t port);

// The server counts as this machine: empty, "127.0.0.1" or "localhost",
// compared exactly.
bool IsLocalServer(std::string_view server);

// The port text read as atol does (a value beyond long is clamped to its
// range); 0 gives 9801, otherwise the low 16 bits.
uint16_t SstpPort(std::string_view port_text);

// The request, byte for byte.  CR and LF bytes inside the texts are dropped,
// so that no value can add lines to the request.
std::string BuildSstpRequest(std::string_view sender, std::string_view script,
                             std::string_view option);

// Looks a host name up: its first IPv4 address, in network byte order.
using ResolveFn = bool (*)(const std::string& host, uint32_t* address);
bool ResolveIpv4(const std::string& host, uint32_t* address);

// `resolve` within `bound`: a resolver that never answers is left to finish
// on a thread of its own, and the look-up counts as failed.
bool ResolveWithin(const std::string& host, std::chrono::milliseconds bound, uint32_t* address,
                   ResolveFn resolve = ResolveIpv4);

// 1 when the request was sent (whatever the host answered, and also when
// the host had not closed by the bound), 0 when no exchange took place.
// Each step (name look-up, connection, the wait for the host to close)
// takes at most `bound`; tests put a slow resolver in `resolve`.
int SendSstp(std::string_view server, std::string_view sender, std::string_view script,
             std::string_view option, std::string_view port,
             std::chrono::milliseconds bound = kSstpBound, ResolveFn resolve = ResolveIpv4);

}  // namespace nomvex
