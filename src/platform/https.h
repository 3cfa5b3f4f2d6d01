#pragma once
// One synchronous HTTPS request at a time over a kept connection, in the
// manner of WinHTTP as the program uses it.
//
// Each caller keeps one HttpsConnection per thread (thread_local), so handles
// are never shared between threads and close when their thread ends. A request
// to another host or port closes the old handle first.
//
// Fixed rules: HTTPS only, the TLS floor of tls_floor.h, peer and host-name verification
// on, trust in the system bundle /etc/ssl/certs/ca-certificates.crt, no proxy
// (proxy variables are ignored), HTTP/1.1, redirects never followed, the path
// sent as given (bytes outside 0x21..0x7E percent-encoded), no compression, no
// "Expect: 100-continue". Nothing is ever traced: headers carry tokens.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/secret_buffer.h"

namespace platform {

// Once per process, before any thread: libcurl's global set-up (never undone)
// and SIGPIPE ignored process-wide.
void InitializeNetwork();

struct HttpsRequest {
  std::string host;                  // [A-Za-z0-9.-] only, else refused
  uint16_t port = 0;
  std::string method;                // "GET", "POST", ...
  std::string path;                  // absolute path, sent as is
  std::vector<std::string> headers;  // "Name: value" lines, in order; they replace libcurl's own
  std::string_view body;             // a POST always sends it, also when empty
  std::string user_agent;
  size_t body_cap = 1 << 20;         // a longer reply body fails with kTooLarge
  uint32_t connect_timeout_ms = 8000;  // name resolution + connect + TLS handshake
  uint32_t send_timeout_ms = 6000;     // idle while the request goes out
  uint32_t receive_timeout_ms = 8000;  // idle while waiting for and reading the reply
  // When given and set, the request ends within about a second (12017).
  const std::atomic<bool>* abort = nullptr;
};

// The step that failed, in the order the steps are taken.
enum class HttpsFailure {
  kNone,
  kHandle,          // the handle could not be made
  kHostRefused,     // the host is not a plain name; nothing was sent
  kRequest,         // the request could not be prepared
  kRedirectPolicy,  // redirects could not be turned off
  kHeader,          // header `failed_header` could not be added, or holds CR, LF or NUL (87); nothing was sent
  kSend,            // connect, TLS, or sending the request
  kReceive,         // waiting for or reading the reply headers
  kStatus,          // no status code
  kBodyNetwork,     // the connection failed while the body came in
  kTooLarge,        // the body would pass the cap
  kBodyLocal,       // the body could not be stored
};

struct HttpsResponse {
  HttpsFailure failure = HttpsFailure::kNone;
  size_t failed_header = 0;
  uint32_t status = 0;   // 0 on failure
  // The status of a reply whose headers were read, kept also when its body
  // then failed; 0 when none was read.
  uint32_t status_read = 0;
  SecretBuffer body;     // empty (wiped) on failure
};

class HttpsConnection {
 public:
  HttpsConnection();
  ~HttpsConnection();
  HttpsConnection(const HttpsConnection&) = delete;
  HttpsConnection& operator=(const HttpsConnection&) = delete;

  // Performs one request and blocks until it ends. Never throws.
  [[nodiscard]] HttpsResponse Send(const HttpsRequest& request);

 private:
  void Close();

  void* handle_ = nullptr;
  int kept_socket_ = -1;  // the kept connection's socket after the last request, -1 when none
  std::string host_;
  uint16_t port_ = 0;
};

// False when a header line (name or value) holds CR, LF or NUL, any of which
// could split a request; both clients refuse such a line before sending.
[[nodiscard]] bool HeaderLineSafe(std::string_view line);

// The WinHTTP-style number of the calling thread's last failure: 12002
// timeout, 12007 name not resolved, 12029 cannot connect, 12030 connection
// lost, 12175 TLS or certificate, 12152 bad reply, 87 refused before any
// traffic, 12017 aborted; 0 after a success.
[[nodiscard]] uint32_t LastError();

// Sets the calling thread's number for a failure found before any traffic.
void SetLastError(uint32_t error);

}  // namespace platform
