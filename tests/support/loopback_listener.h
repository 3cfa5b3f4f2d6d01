#pragma once
// The TLS side of the loopback test service: a listener on 127.0.0.1 with an
// ephemeral port, one chosen leaf certificate and one io_context thread. It
// counts accepts and finished handshakes and hands each connection, with its
// index and TLS server name, to a protocol handler (HTTP here; a WebSocket
// upgrade can sit on the same listener).
#include <atomic>
#include <utility>  // before Asio: its awaitable.hpp (1.74) uses std::exchange without it
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "test_pki.h"

namespace quorix_test {

namespace asio = boost::asio;
using TlsStream = asio::ssl::stream<asio::ip::tcp::socket>;

struct ConnectionInfo {
  size_t index = 0;         // 0 for the first accepted connection
  std::string server_name;  // the name the client sent (SNI), empty when none
};

class LoopbackListener {
 public:
  // Runs on the io_context thread once the handshake is done; owns nothing of
  // the stream, which lives until the handler's coroutine ends.
  using Handler = std::function<asio::awaitable<void>(TlsStream& stream, ConnectionInfo info)>;

  LoopbackListener(LeafKind leaf, Handler handler);
  // Stops at once: the thread is joined; open connections are dropped when
  // the listener is destroyed. Idempotent.
  void Stop();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t port() const { return port_; }
  asio::io_context& io() { return io_; }
  size_t accepts() const { return accepts_; }
  size_t handshakes() const { return handshakes_; }

 private:
  asio::awaitable<void> Accept();
  asio::awaitable<void> Serve(asio::ip::tcp::socket socket, size_t index);

  Handler handler_;
  asio::io_context io_;
  asio::ssl::context tls_;
  asio::ip::tcp::acceptor acceptor_;
  uint16_t port_ = 0;
  std::atomic<size_t> accepts_{0};
  std::atomic<size_t> handshakes_{0};
  std::thread thread_;
};

}  // namespace quorix_test
