#include "loopback_listener.h"

#include <openssl/ssl.h>

namespace quorix_test {

LoopbackListener::LoopbackListener(LeafKind leaf, Handler handler)
    : handler_(std::move(handler)), tls_(asio::ssl::context::tls_server), acceptor_(io_) {
  const TlsIdentity& identity = TestPki::Get().leaf(leaf);
  SSL_CTX_set_min_proto_version(tls_.native_handle(), TLS1_2_VERSION);
  tls_.use_certificate_chain(asio::buffer(identity.certificate_pem));
  tls_.use_private_key(asio::buffer(identity.private_key_pem), asio::ssl::context::pem);
  const asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
  acceptor_.open(endpoint.protocol());
  acceptor_.bind(endpoint);
  acceptor_.listen();
  port_ = acceptor_.local_endpoint().port();
  asio::co_spawn(io_, Accept(), asio::detached);
  thread_ = std::thread([this] { io_.run(); });
}

void LoopbackListener::Stop() {
  io_.stop();
  if (thread_.joinable()) thread_.join();
}

LoopbackListener::~LoopbackListener() { Stop(); }

asio::awaitable<void> LoopbackListener::Accept() {
  for (;;) {
    boost::system::error_code error;
    asio::ip::tcp::socket socket = co_await acceptor_.async_accept(asio::redirect_error(asio::use_awaitable, error));
    if (error) co_return;
    const size_t index = accepts_++;
    asio::co_spawn(io_, Serve(std::move(socket), index), asio::detached);
  }
}

asio::awaitable<void> LoopbackListener::Serve(asio::ip::tcp::socket socket, size_t index) {
  boost::system::error_code ignored;
  socket.set_option(asio::ip::tcp::no_delay(true), ignored);  // replies go out whole, without Nagle's wait
  TlsStream stream(std::move(socket), tls_);
  boost::system::error_code error;
  co_await stream.async_handshake(asio::ssl::stream_base::server, asio::redirect_error(asio::use_awaitable, error));
  if (error) co_return;
  ++handshakes_;
  ConnectionInfo info;
  info.index = index;
  if (const char* name = SSL_get_servername(stream.native_handle(), TLSEXT_NAMETYPE_host_name)) info.server_name = name;
  co_await handler_(stream, std::move(info));
}

}  // namespace quorix_test
