#pragma once
// One secure WebSocket client connection, in the manner of WinHTTP's
// WebSocket as the program uses it: a blocking connect with the upgrade,
// blocking receives of message parts on one thread, sends from another, and
// an abortive close from any thread.
//
// Fixed rules: the TLS floor of tls_floor.h, peer and host-name verification on, SNI,
// trust in the system bundle /etc/ssl/certs/ca-certificates.crt (or a test's
// anchors), no proxy, no redirects, no compression. Keep-alive pings go out
// after half the idle time without traffic; when nothing, a pong included,
// comes back in the other half, the connection fails (12002).
//
// Each connection runs one internal I/O thread; the destructor joins it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The step of Connect that failed, in the order the steps are taken.
enum class WssStep {
  kNone,
  kHandle,         // the connection object could not be made
  kResolve,        // name lookup (4000 ms)
  kConnect,        // TCP connect (4000 ms)
  kTls,            // TLS handshake and certificate checks (5000 ms)
  kUpgrade,        // writing the upgrade request or reading its reply (5000 ms); a header
                   // line holding CR, LF or NUL fails here (87) before any traffic
  kUpgradeStatus,  // the reply's status was not 101 (`status` holds it)
  kUpgradeInvalid, // a 101 that is not a valid WebSocket upgrade
};

struct WssConnectResult {
  WssStep failed = WssStep::kNone;
  uint32_t detail = 0;  // WinHTTP-style number (see platform::LastError), 0 on success
  uint32_t status = 0;  // the upgrade reply's status when one was read
};

struct WssOptions {
  uint32_t idle_timeout_ms = 30000;  // pings after half of it
  uint32_t send_timeout_ms = 5000;
};

enum class WssReceiveKind {
  kTextPart,   // more of this text message follows
  kTextFinal,  // the last part of a text message
  kBinary,     // a binary message or part of one
  kClose,      // the service closed (`detail` = close status, 0 when absent)
  kError,      // the connection failed (`detail` = WinHTTP-style number)
};

struct WssReceiveResult {
  WssReceiveKind kind = WssReceiveKind::kError;
  size_t size = 0;  // bytes placed in the buffer
  uint32_t detail = 0;
};

class WssConnection {
 public:
  [[nodiscard]] static std::shared_ptr<WssConnection> Create(const WssOptions& options = {});
  ~WssConnection();
  WssConnection(const WssConnection&) = delete;
  WssConnection& operator=(const WssConnection&) = delete;

  // Connects, checks TLS and sends the upgrade request with `headers`
  // ("Name: value" lines, added after "User-Agent"). The copies of the header
  // values are wiped once the upgrade is over. The Host header is "host" for
  // port 443, else "host:port". Blocks; Close() ends it at once (12017).
  [[nodiscard]] WssConnectResult Connect(const std::string& host, uint16_t port, const std::string& path,
                                         const std::vector<std::string>& headers, const std::string& user_agent);

  // Blocks until some of a message, a close or a failure arrives.
  [[nodiscard]] WssReceiveResult Receive(uint8_t* buffer, size_t capacity);

  // One text message; 0 on success, else the failure's number. At most the
  // send timeout; fails at once after Close().
  [[nodiscard]] uint32_t Send(std::string_view text);

  // Drops the connection: any thread, idempotent, never blocks; a blocked
  // Receive or Send returns at once.
  void Close();
  [[nodiscard]] bool closed() const { return closed_.load(); }

 private:
  struct Impl;
  explicit WssConnection(const WssOptions& options);

  std::unique_ptr<Impl> impl_;
  std::atomic<bool> closed_{false};
};

}  // namespace platform
