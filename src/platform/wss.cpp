#include "platform/wss.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <utility>  // before Asio: its awaitable.hpp (1.74) uses std::exchange without it
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "platform/crypto.h"
#include "platform/https.h"
#include "platform/test_hook_state.h"
#include "platform/tls_floor.h"

namespace platform {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using error_code = boost::system::error_code;
using Stream = websocket::stream<beast::ssl_stream<beast::tcp_stream>>;

constexpr char kTrustBundle[] = "/etc/ssl/certs/ca-certificates.crt";
constexpr auto kResolveTimeout = std::chrono::milliseconds(4000);
constexpr auto kConnectTimeout = std::chrono::milliseconds(4000);
constexpr auto kTlsTimeout = std::chrono::milliseconds(5000);
constexpr auto kUpgradeTimeout = std::chrono::milliseconds(5000);
// After the service's close frame: its end of the connection is awaited this long.
constexpr auto kCloseTimeout = std::chrono::milliseconds(5000);
// A frame or message longer than this is a protocol error (RFC 6455 keeps the
// top bit of a 64-bit length clear); Beast's 0 would mean no bound at all.
constexpr uint64_t kMessageMax = UINT64_MAX >> 1;

bool IsTimeout(const error_code& ec) {
  return ec == beast::error::timeout || ec == asio::error::timed_out;
}

// The WinHTTP-style number of a failed transfer on an open connection.
uint32_t TransferError(const error_code& ec, bool closed_by_us) {
  if (closed_by_us) return 12017;
  if (IsTimeout(ec)) return 12002;
  const error_code ws_error = websocket::error::closed;
  const error_code http_error = beast::http::error::bad_version;
  if (ec.category() == ws_error.category() && ec != ws_error) return 12152;
  if (ec.category() == http_error.category()) return 12152;
  // Beast fails a connection that broke the protocol (invalid UTF-8 in a text
  // message, a bad frame) with a close frame and a TLS shutdown; when the
  // service answers that close, the shutdown's error is what we get.
  if (ec.category() == asio::error::get_ssl_category() &&
      ERR_GET_REASON(static_cast<unsigned long>(ec.value())) == SSL_R_APPLICATION_DATA_AFTER_CLOSE_NOTIFY) {
    return 12152;
  }
  return 12030;
}

// Wipes the copies of the header lines the decorator adds.
struct SecretLines {
  std::vector<std::string> lines;
  ~SecretLines() { Wipe(); }
  void Wipe() {
    for (std::string& line : lines) {
      SecureZero(line.data(), line.size());
      line.clear();
    }
  }
};

}  // namespace

struct WssConnection::Impl {
  explicit Impl(const WssOptions& opts)
      : options(opts), work(asio::make_work_guard(io)), tls(asio::ssl::context::tls_client), resolver(io) {}

  // Runs `start` on the I/O thread and waits for the value it hands to its
  // completion. A completion never called (the thread gone) gives `fallback`.
  template <class T, class Start>
  [[nodiscard]] T Await(Start start, T fallback) {
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> future = promise->get_future();
    asio::post(io, [promise, start = std::move(start)]() mutable {
      start([promise](T value) { promise->set_value(std::move(value)); });
    });
    try {
      return future.get();
    } catch (const std::future_error&) {
      return fallback;
    }
  }

  // On the I/O thread: drops the socket and everything waiting on it.
  void Drop() {
    resolver.cancel();
    if (send_timer) send_timer->cancel();
    if (close_timer) close_timer->cancel();
    if (stream) beast::get_lowest_layer(*stream).close();
  }

  // One part as it came off the connection, kept until Receive takes it.
  struct Part {
    WssReceiveKind kind = WssReceiveKind::kError;
    std::vector<uint8_t> bytes;
    size_t offset = 0;
    uint32_t detail = 0;
  };
  static constexpr size_t kReadAhead = 256 * 1024;
  static constexpr size_t kReadChunk = 16384;

  // On the I/O thread: reads ahead of Receive, so keep-alive pongs and close
  // frames are seen while the caller is busy, up to kReadAhead bytes.
  void ReadNext() {
    if (!stream || finished) return;
    {
      std::lock_guard lock(parts_mutex);
      if (buffered >= kReadAhead) {
        read_paused = true;
        return;
      }
    }
    stream->async_read_some(asio::buffer(chunk), [this](error_code ec, size_t n) { OnRead(ec, n); });
  }

  // On the I/O thread, when the service's close frame was read: Beast answers
  // it and waits for the service to end the connection, at most kCloseTimeout.
  void OnCloseFrame() {
    close_read = true;
    close_timer = std::make_unique<asio::steady_timer>(io, kCloseTimeout);
    close_timer->async_wait([this](error_code ec) {
      if (!ec && stream) beast::get_lowest_layer(*stream).close();
    });
  }

  void OnRead(error_code ec, size_t n) {
    Part part;
    if (ec) {
      finished = true;
      if (close_timer) close_timer->cancel();
      // A close frame that was read is the close, whatever TCP or TLS did
      // after it (an end without close_notify, a timeout).
      if ((ec == websocket::error::closed || close_read) && !closed->load()) {
        part.kind = WssReceiveKind::kClose;
        part.detail = static_cast<uint32_t>(stream->reason().code);
      } else {
        part.detail = TransferError(ec, closed->load());
      }
    } else {
      part.kind = stream->got_binary()        ? WssReceiveKind::kBinary
                  : stream->is_message_done() ? WssReceiveKind::kTextFinal
                                              : WssReceiveKind::kTextPart;
      part.bytes.assign(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
      SecureZero(chunk.data(), n);
    }
    {
      std::lock_guard lock(parts_mutex);
      buffered += part.bytes.size();
      parts.push_back(std::move(part));
    }
    parts_ready.notify_all();
    if (!finished) ReadNext();
  }

  // The stages of Connect, in order; each gives its own failure.
  using Endpoints = asio::ip::tcp::resolver::results_type;
  [[nodiscard]] WssConnectResult PrepareTls(const std::string& host);
  [[nodiscard]] WssConnectResult Resolve(const std::string& host, uint16_t port, Endpoints* endpoints);
  [[nodiscard]] WssConnectResult ConnectTcp(const Endpoints& endpoints);
  [[nodiscard]] WssConnectResult Handshake();
  [[nodiscard]] WssConnectResult Upgrade(const std::string& host_header, const std::string& path,
                                         const std::vector<std::string>& headers, const std::string& user_agent);
  [[nodiscard]] bool StartReading();

  WssOptions options;
  const std::atomic<bool>* closed = nullptr;
  std::array<uint8_t, kReadChunk> chunk{};
  bool finished = false;  // I/O thread only
  bool close_read = false;  // I/O thread only
  std::mutex parts_mutex;
  std::condition_variable parts_ready;
  std::deque<Part> parts;
  size_t buffered = 0;
  bool read_paused = false;
  bool reading_started = false;
  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> work;
  asio::ssl::context tls;
  asio::ip::tcp::resolver resolver;
  std::unique_ptr<Stream> stream;
  std::unique_ptr<asio::steady_timer> send_timer;
  std::unique_ptr<asio::steady_timer> close_timer;  // I/O thread only
  std::thread thread;
};

std::shared_ptr<WssConnection> WssConnection::Create(const WssOptions& options) {
  try {
    return std::shared_ptr<WssConnection>(new WssConnection(options));
  } catch (...) {
    return nullptr;
  }
}

WssConnection::WssConnection(const WssOptions& options) : impl_(std::make_unique<Impl>(options)) {
  impl_->closed = &closed_;
  impl_->thread = std::thread([impl = impl_.get()] { impl->io.run(); });
}

WssConnection::~WssConnection() {
  Close();
  Impl* impl = impl_.get();
  impl->work.reset();
  // The stream goes on the I/O thread, then the thread ends; handlers still
  // queued are destroyed with the io_context.
  asio::post(impl->io, [impl] {
    impl->stream.reset();
    impl->send_timer.reset();
    impl->close_timer.reset();
    impl->io.stop();
  });
  if (impl->thread.joinable()) impl->thread.join();
}

void WssConnection::Close() {
  if (closed_.exchange(true)) return;
  Impl* impl = impl_.get();
  {
    std::lock_guard lock(impl->parts_mutex);  // held only briefly by either side
  }
  impl->parts_ready.notify_all();
  asio::post(impl->io, [impl] { impl->Drop(); });
}

namespace {

WssConnectResult Failed(WssStep step, uint32_t detail) {
  WssConnectResult result;
  result.failed = step;
  result.detail = detail;
  return result;
}

bool Ok(const WssConnectResult& stage) { return stage.failed == WssStep::kNone; }

// A line that could split the upgrade request fails it before any traffic.
WssConnectResult CheckHeaderLines(const std::vector<std::string>& headers, const std::string& user_agent) {
  if (!HeaderLineSafe(user_agent)) return Failed(WssStep::kUpgrade, 87);
  for (const std::string& line : headers) {
    if (!HeaderLineSafe(line)) return Failed(WssStep::kUpgrade, 87);
  }
  return {};
}

// The failure of an upgrade whose reply (status 0 when none was read) did not open the connection.
WssConnectResult UpgradeFailure(const error_code& ec, uint32_t status, bool closed_by_us) {
  if (closed_by_us) return Failed(WssStep::kUpgrade, 12017);
  if (ec == websocket::error::upgrade_declined && status != 101 && status != 0) {
    return Failed(WssStep::kUpgradeStatus, status);
  }
  if (status == 101) return Failed(WssStep::kUpgradeInvalid, 12152);
  return Failed(WssStep::kUpgrade, IsTimeout(ec) ? 12002 : TransferError(ec, false));
}

// Adds the caller's "Name: value" lines to the upgrade request, after the user agent.
void DecorateUpgrade(const SecretLines& lines, websocket::request_type& request) {
  request.set(beast::http::field::user_agent, lines.lines.front());
  for (size_t i = 1; i < lines.lines.size(); ++i) {
    const std::string_view line = lines.lines[i];
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const size_t value = line.find_first_not_of(' ', colon + 1);
    request.insert(beast::string_view(line.data(), colon),
                   value == std::string_view::npos ? beast::string_view()
                                                   : beast::string_view(line.data() + value, line.size() - value));
  }
}

}  // namespace

// TLS: our floor, the peer verified against our bundle only, the name
// checked, SNI sent. The stream is made on the I/O thread, the only one that
// touches it while the connection lives (Close may already be dropping it).
WssConnectResult WssConnection::Impl::PrepareTls(const std::string& host) {
  try {
    if (!ApplyTlsFloor(tls.native_handle())) return Failed(WssStep::kHandle, 12001);
    tls.set_verify_mode(asio::ssl::verify_peer);
    const std::string anchors = hooks::TrustAnchorsPem();
    if (anchors.empty()) {
      tls.load_verify_file(kTrustBundle);
    } else {
      tls.add_certificate_authority(asio::buffer(anchors));
    }
  } catch (...) {
    return Failed(WssStep::kHandle, 12001);
  }
  const bool made = Await<bool>(
      [this, &host](auto done) {
        try {
          stream = std::make_unique<Stream>(io, tls);
          auto& ssl = stream->next_layer();
          if (!SSL_set_tlsext_host_name(ssl.native_handle(), host.c_str())) return done(false);
          ssl.set_verify_mode(asio::ssl::verify_peer);
          ssl.set_verify_callback(asio::ssl::host_name_verification(host));
        } catch (...) {
          return done(false);
        }
        done(true);
      },
      false);
  if (!made) return Failed(WssStep::kHandle, 12001);
  return {};
}

// Name lookup (the test override goes to the loopback port instead).
WssConnectResult WssConnection::Impl::Resolve(const std::string& host, uint16_t port, Endpoints* endpoints) {
  const uint16_t loopback = hooks::ConnectOverrideFor(host, port);
  const std::string lookup_host = loopback != 0 ? "127.0.0.1" : host;
  const std::string lookup_port = std::to_string(loopback != 0 ? loopback : port);
  using Resolved = std::pair<error_code, Endpoints>;
  Resolved resolved = Await<Resolved>(
      [this, lookup_host, lookup_port](auto done) {
        auto timer = std::make_shared<asio::steady_timer>(io, kResolveTimeout);
        auto timed_out = std::make_shared<bool>(false);
        timer->async_wait([this, timed_out](error_code ec) {
          if (!ec) {
            *timed_out = true;
            resolver.cancel();
          }
        });
        resolver.async_resolve(lookup_host, lookup_port, [timer, timed_out, done](error_code ec, Endpoints r) {
          timer->cancel();
          if (*timed_out) ec = asio::error::timed_out;
          done(Resolved{ec, std::move(r)});
        });
      },
      Resolved{asio::error::operation_aborted, {}});
  if (resolved.first) return Failed(WssStep::kResolve, IsTimeout(resolved.first) ? 12002 : 12007);
  *endpoints = std::move(resolved.second);
  return {};
}

WssConnectResult WssConnection::Impl::ConnectTcp(const Endpoints& endpoints) {
  const error_code connected = Await<error_code>(
      [this, endpoints](auto done) {
        auto& tcp = beast::get_lowest_layer(*stream);
        tcp.expires_after(kConnectTimeout);
        tcp.async_connect(endpoints, [done](error_code ec, const asio::ip::tcp::endpoint&) { done(ec); });
      },
      asio::error::operation_aborted);
  if (connected) return Failed(WssStep::kConnect, IsTimeout(connected) ? 12002 : 12029);
  return {};
}

WssConnectResult WssConnection::Impl::Handshake() {
  const error_code secured = Await<error_code>(
      [this](auto done) {
        beast::get_lowest_layer(*stream).expires_after(kTlsTimeout);
        stream->next_layer().async_handshake(asio::ssl::stream_base::client, done);
      },
      asio::error::operation_aborted);
  if (secured) return Failed(WssStep::kTls, IsTimeout(secured) ? 12002 : 12175);
  return {};
}

// The upgrade. The decorator's copies of the lines are wiped and the
// decorator dropped as soon as it is over; the request as written may still
// sit in Beast's buffers, and that copy goes with the stream.
WssConnectResult WssConnection::Impl::Upgrade(const std::string& host_header, const std::string& path,
                                              const std::vector<std::string>& headers, const std::string& user_agent) {
  auto lines = std::make_shared<SecretLines>();
  try {
    lines->lines.push_back(user_agent);
    for (const std::string& line : headers) lines->lines.push_back(line);
  } catch (...) {
    return Failed(WssStep::kHandle, 8);
  }
  auto response = std::make_shared<websocket::response_type>();
  // Beast leaves the response as it was when none was read (its default says 200).
  response->result(beast::http::status::unknown);
  const error_code upgraded = Await<error_code>(
      [this, lines, response, host_header, path](auto done) {
        stream->set_option(websocket::stream_base::decorator(
            [lines](websocket::request_type& request) { DecorateUpgrade(*lines, request); }));
        beast::get_lowest_layer(*stream).expires_after(kUpgradeTimeout);
        stream->async_handshake(*response, host_header, path, done);
      },
      asio::error::operation_aborted);
  const bool undecorated = Await<bool>(
      [this](auto done) {
        stream->set_option(websocket::stream_base::decorator([](websocket::request_type&) {}));
        done(true);
      },
      false);
  lines->Wipe();
  WssConnectResult result;
  if (!undecorated) {
    result = Failed(WssStep::kUpgrade, 12017);  // the I/O thread is gone
  } else if (upgraded) {
    result = UpgradeFailure(upgraded, response->result_int(), closed->load());
  } else if (response->count(beast::http::field::sec_websocket_extensions) != 0 ||
             response->count(beast::http::field::sec_websocket_protocol) != 0) {
    // We offer no extension and no subprotocol, so a 101 naming one is not ours.
    result = Failed(WssStep::kUpgradeInvalid, 12152);
  }
  result.status = response->result_int();
  return result;
}

// Sets the open connection's timeouts and limits and starts reading ahead.
bool WssConnection::Impl::StartReading() {
  return Await<bool>(
      [this](auto done) {
        beast::get_lowest_layer(*stream).expires_never();
        websocket::stream_base::timeout timeout;
        timeout.handshake_timeout = kUpgradeTimeout;
        timeout.idle_timeout = std::chrono::milliseconds(options.idle_timeout_ms);
        timeout.keep_alive_pings = true;
        stream->set_option(timeout);
        stream->auto_fragment(false);
        stream->read_message_max(kMessageMax);
        stream->control_callback([this](websocket::frame_type kind, beast::string_view) {
          if (kind == websocket::frame_type::close) OnCloseFrame();
        });
        {
          std::lock_guard lock(parts_mutex);
          reading_started = true;
        }
        ReadNext();
        done(true);
      },
      false);
}

WssConnectResult WssConnection::Connect(const std::string& host, uint16_t port, const std::string& path,
                                        const std::vector<std::string>& headers, const std::string& user_agent) {
  if (closed_.load()) return Failed(WssStep::kHandle, 12017);
  Impl& impl = *impl_;
  Impl::Endpoints endpoints;
  const std::string host_header = port == 443 ? host : host + ":" + std::to_string(port);
  WssConnectResult result = CheckHeaderLines(headers, user_agent);
  if (Ok(result)) result = impl.PrepareTls(host);
  if (Ok(result)) result = impl.Resolve(host, port, &endpoints);
  if (Ok(result)) result = impl.ConnectTcp(endpoints);
  if (Ok(result)) result = impl.Handshake();
  if (Ok(result)) result = impl.Upgrade(host_header, path, headers, user_agent);
  if (Ok(result) && (!impl.StartReading() || closed_.load())) result = Failed(WssStep::kUpgrade, 12017);
  if (!Ok(result) && closed_.load()) result.detail = 12017;
  return result;
}

WssReceiveResult WssConnection::Receive(uint8_t* buffer, size_t capacity) {
  WssReceiveResult result;
  Impl& impl = *impl_;
  std::unique_lock lock(impl.parts_mutex);
  impl.parts_ready.wait(lock, [&] { return closed_.load() || !impl.parts.empty() || !impl.reading_started; });
  if (closed_.load() || !impl.reading_started) {
    result.detail = closed_.load() ? 12017 : 6;
    return result;
  }
  Impl::Part& part = impl.parts.front();
  result.detail = part.detail;
  const size_t n = std::min(capacity, part.bytes.size() - part.offset);
  if (n > 0) std::memcpy(buffer, part.bytes.data() + part.offset, n);
  result.size = n;
  part.offset += n;
  const bool whole = part.offset == part.bytes.size();
  // A part longer than the caller's buffer goes out in pieces; only its last
  // piece can end a text message.
  result.kind = (!whole && part.kind == WssReceiveKind::kTextFinal) ? WssReceiveKind::kTextPart : part.kind;
  if (whole) {
    impl.buffered -= part.bytes.size();
    SecureZero(part.bytes.data(), part.bytes.size());
    impl.parts.pop_front();
    if (impl.read_paused && impl.buffered < Impl::kReadAhead) {
      impl.read_paused = false;
      asio::post(impl.io, [&impl] { impl.ReadNext(); });
    }
  }
  return result;
}

uint32_t WssConnection::Send(std::string_view text) {
  Impl& impl = *impl_;
  bool open = false;
  {
    std::lock_guard lock(impl.parts_mutex);
    open = impl.reading_started;
  }
  if (closed_.load() || !open) return closed_.load() ? 12017 : 6;
  struct Sent {
    error_code ec;
    bool timed_out = false;
  };
  const Sent sent = impl.Await<Sent>(
      [&impl, text](auto done) {
        auto timer = std::make_shared<asio::steady_timer>(impl.io, std::chrono::milliseconds(impl.options.send_timeout_ms));
        auto timed_out = std::make_shared<bool>(false);
        timer->async_wait([&impl, timed_out](error_code ec) {
          if (!ec) {
            *timed_out = true;
            if (impl.stream) beast::get_lowest_layer(*impl.stream).close();
          }
        });
        impl.stream->text(true);
        impl.stream->async_write(asio::buffer(text.data(), text.size()), [timer, timed_out, done](error_code ec, size_t) {
          timer->cancel();
          done(Sent{ec, *timed_out});
        });
      },
      Sent{asio::error::operation_aborted, false});
  if (!sent.ec) return 0;
  if (sent.timed_out) return 12002;
  return TransferError(sent.ec, closed_.load());
}

}  // namespace platform
