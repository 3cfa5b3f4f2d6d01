#include "loopback_service.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdio>
#include <cstring>

namespace quorix_test {
namespace http = boost::beast::http;

namespace {

std::string Key(const std::string& method, std::string_view path) { return method + " " + std::string(path); }

asio::awaitable<void> Pause(std::chrono::steady_clock::duration duration) {
  asio::steady_timer timer(co_await asio::this_coro::executor, duration);
  boost::system::error_code error;
  co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, error));
}

asio::awaitable<bool> Write(TlsStream& stream, std::string_view bytes) {
  boost::system::error_code error;
  co_await asio::async_write(stream, asio::buffer(bytes.data(), bytes.size()),
                             asio::redirect_error(asio::use_awaitable, error));
  co_return !error;
}

void Drop(TlsStream& stream) {
  boost::system::error_code ignored;
  stream.lowest_layer().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  stream.lowest_layer().close(ignored);
}

}  // namespace

ScriptedReply ScriptedReply::Json(unsigned status, std::string body) {
  ScriptedReply reply;
  reply.status = status;
  reply.headers = {{"Content-Type", "application/json"}};
  reply.body = std::move(body);
  return reply;
}

LoopbackService::LoopbackService(LeafKind leaf) {
  listener_ = std::make_unique<LoopbackListener>(
      leaf, [this](TlsStream& stream, ConnectionInfo info) { return Session(stream, std::move(info)); });
  gate_ = std::make_unique<asio::steady_timer>(listener_->io(), std::chrono::steady_clock::time_point::max());
}

LoopbackService::~LoopbackService() {
  // The thread first, then the timer, then the io_context with whatever
  // connections were still open.
  listener_->Stop();
  gate_.reset();
  listener_.reset();
}

void LoopbackService::Script(const std::string& method, const std::string& path, ScriptedReply reply) {
  Script(method, path, [reply](const RecordedRequest&) { return reply; });
}

void LoopbackService::Script(const std::string& method, const std::string& path, Compute compute) {
  std::lock_guard lock(mutex_);
  script_[Key(method, path)] = std::move(compute);
}

void LoopbackService::Release() {
  asio::post(listener_->io(), [this] {
    {
      std::lock_guard lock(mutex_);
      released_ = true;
    }
    gate_->cancel();
  });
}

ScriptedReply LoopbackService::Answer(const RecordedRequest& request) {
  record_.AddRequest(request);
  Compute compute;
  {
    std::lock_guard lock(mutex_);
    const std::string_view target = request.target;
    const auto it = script_.find(Key(request.method, target.substr(0, target.find('?'))));
    if (it != script_.end()) compute = it->second;
  }
  if (!compute) return ScriptedReply::Json(404, R"({"ok":false})");
  return compute(request);
}

asio::awaitable<void> LoopbackService::Session(TlsStream& stream, ConnectionInfo info) {
  boost::beast::flat_buffer buffer;
  for (;;) {
    http::request_parser<http::string_body> parser;
    parser.body_limit(16 * 1024 * 1024);
    boost::system::error_code error;
    co_await http::async_read(stream, buffer, parser, asio::redirect_error(asio::use_awaitable, error));
    if (error) {
      // The client ended the connection (or broke it) between requests.
      record_.AddClientClose();
      co_return;
    }
    const auto& message = parser.get();
    RecordedRequest request;
    request.connection = info.index;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    for (const auto& field : message) request.headers.emplace_back(field.name_string(), field.value());
    request.body = message.body();
    request.server_name = info.server_name;
    const bool keep_alive = message.keep_alive();
    const ScriptedReply reply = Answer(request);

    if (reply.close_without_answer) {
      Drop(stream);
      co_return;
    }
    if (reply.delay_before_headers.count() > 0) co_await Pause(reply.delay_before_headers);
    while (reply.hold_until_released) {
      {
        std::lock_guard lock(mutex_);
        if (released_) break;
      }
      boost::system::error_code ignored;
      co_await gate_->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    }

    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                       std::string(http::obsolete_reason(static_cast<http::status>(reply.status))) + "\r\n";
    for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
    std::string wire_body = reply.body;
    size_t payload_offset = 0;  // where the payload starts inside wire_body
    switch (reply.framing) {
      case ScriptedReply::Framing::kContentLength:
        head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        break;
      case ScriptedReply::Framing::kChunked: {
        head += "Transfer-Encoding: chunked\r\n";
        char size_line[32];
        std::snprintf(size_line, sizeof size_line, "%zx\r\n", reply.body.size());
        payload_offset = std::strlen(size_line);
        wire_body = reply.body.empty() ? "0\r\n\r\n" : size_line + reply.body + "\r\n0\r\n\r\n";
        break;
      }
      case ScriptedReply::Framing::kCloseDelimited:
        head += "Connection: close\r\n";
        break;
    }
    if (!keep_alive && reply.framing != ScriptedReply::Framing::kCloseDelimited) head += "Connection: close\r\n";
    head += "\r\n";
    if (!co_await Write(stream, head)) co_return;

    const std::optional<size_t> cut = reply.stall_after_body_bytes ? reply.stall_after_body_bytes : reply.close_after_body_bytes;
    if (cut) {
      const size_t upto = std::min(wire_body.size(), payload_offset + *cut);
      co_await Write(stream, std::string_view(wire_body).substr(0, upto));
      if (reply.stall_after_body_bytes) co_await Pause(std::chrono::hours(24));
      Drop(stream);
      co_return;
    }
    if (!co_await Write(stream, wire_body)) co_return;
    if (reply.framing == ScriptedReply::Framing::kCloseDelimited || !keep_alive) {
      boost::system::error_code ignored;
      co_await stream.async_shutdown(asio::redirect_error(asio::use_awaitable, ignored));
      Drop(stream);
      co_return;
    }
  }
}

}  // namespace quorix_test
