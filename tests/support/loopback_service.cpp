#include "loopback_service.h"

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <cstdio>
#include <cstring>

namespace quorix_test {
namespace http = boost::beast::http;
namespace websocket = boost::beast::websocket;
using WsStream = websocket::stream<TlsStream&>;

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

asio::awaitable<void> EndConnection(TlsStream& stream, ScriptedReply::End end) {
  if (end == ScriptedReply::End::kTls) {
    boost::system::error_code ignored;
    co_await stream.async_shutdown(asio::redirect_error(asio::use_awaitable, ignored));
  }
  Drop(stream);
}

}  // namespace

ScriptedReply ScriptedReply::Json(unsigned status, std::string body) {
  ScriptedReply reply;
  reply.status = status;
  reply.headers = {{"Content-Type", "application/json"}};
  reply.body = std::move(body);
  return reply;
}

WsAction WsAction::Text(std::string text, size_t repeat) {
  WsAction a;
  a.bytes = std::move(text);
  a.repeat = repeat;
  return a;
}

WsAction WsAction::Ready(const std::string& connection_id, bool media_ready) {
  return Text(R"({"type":"phone_ready_idle","connection_id":")" + connection_id + R"(","media_ready":)" +
              (media_ready ? "true" : "false") + "}");
}

WsAction WsAction::Fragments(std::string text, std::vector<size_t> sizes) {
  WsAction a;
  a.kind = Kind::kFragments;
  a.bytes = std::move(text);
  a.sizes = std::move(sizes);
  return a;
}

WsAction WsAction::Binary(std::string bytes) {
  WsAction a;
  a.kind = Kind::kBinary;
  a.bytes = std::move(bytes);
  return a;
}

WsAction WsAction::Raw(std::string bytes) {
  WsAction a;
  a.kind = Kind::kRaw;
  a.bytes = std::move(bytes);
  return a;
}

WsAction WsAction::Close(std::optional<uint16_t> code) {
  WsAction a;
  a.kind = Kind::kClose;
  a.close_code = code;
  return a;
}

WsAction WsAction::Reset() {
  WsAction a;
  a.kind = Kind::kReset;
  return a;
}

WsAction WsAction::ResetMidMessage(std::string first_part) {
  WsAction a;
  a.kind = Kind::kResetMidMessage;
  a.bytes = std::move(first_part);
  return a;
}

WsAction WsAction::Freeze() {
  WsAction a;
  a.kind = Kind::kFreeze;
  return a;
}

WsAction WsAction::WaitSignal() {
  WsAction a;
  a.kind = Kind::kWaitSignal;
  return a;
}

WsAction WsAction::Pause(std::chrono::milliseconds duration) {
  WsAction a;
  a.kind = Kind::kPause;
  a.pause = duration;
  return a;
}

WsAction WsAction::EndTcp() {
  WsAction a;
  a.kind = Kind::kEndTcp;
  return a;
}

WsAction WsAction::ReadRaw() {
  WsAction a;
  a.kind = Kind::kReadRaw;
  return a;
}

WsAction WsAction::ServePushes() {
  WsAction a;
  a.kind = Kind::kServePushes;
  return a;
}

LoopbackService::LoopbackService(LeafKind leaf) {
  listener_ = std::make_unique<LoopbackListener>(
      leaf, [this](TlsStream& stream, ConnectionInfo info) { return Session(stream, std::move(info)); });
  gate_ = std::make_unique<asio::steady_timer>(listener_->io(), std::chrono::steady_clock::time_point::max());
  signal_gate_ = std::make_unique<asio::steady_timer>(listener_->io(), std::chrono::steady_clock::time_point::max());
}

LoopbackService::~LoopbackService() {
  // The thread first, then the timer, then the io_context with whatever
  // connections were still open.
  listener_->Stop();
  gate_.reset();
  signal_gate_.reset();
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

void LoopbackService::ScriptWebSocket(WsPlan plan) {
  std::lock_guard lock(mutex_);
  ws_plan_ = std::move(plan);
}

void LoopbackService::Signal() {
  asio::post(listener_->io(), [this] {
    ++signals_;
    signal_gate_->cancel();
  });
}

void LoopbackService::Push(std::string text) {
  std::lock_guard lock(mutex_);
  pushes_.push_back(std::move(text));
}

std::vector<std::string> LoopbackService::ClientMessages() const {
  std::lock_guard lock(mutex_);
  return client_messages_;
}

std::vector<RecordedRequest> LoopbackService::RequestsTo(const std::string& path) const {
  std::vector<RecordedRequest> out;
  for (RecordedRequest& r : record_.Requests()) {
    if (std::string_view(r.target).substr(0, r.target.find('?')) == path) out.push_back(std::move(r));
  }
  return out;
}

asio::awaitable<void> LoopbackService::WebSocketReader(void* raw, std::shared_ptr<bool> done,
                                                       std::shared_ptr<asio::steady_timer> wake) {
  auto& ws = *static_cast<WsStream*>(raw);
  for (;;) {
    boost::beast::flat_buffer message;
    boost::system::error_code error;
    co_await ws.async_read(message, asio::redirect_error(asio::use_awaitable, error));
    if (error) break;
    std::lock_guard lock(mutex_);
    client_messages_.push_back(boost::beast::buffers_to_string(message.data()));
  }
  *done = true;
  wake->cancel();
}

// Looks for pushed texts every few milliseconds; a text is taken only by the
// session that sends it.
asio::awaitable<void> LoopbackService::ServePushes(void* raw, std::shared_ptr<bool> done) {
  auto& ws = *static_cast<WsStream*>(raw);
  ws.text(true);
  while (!*done) {
    std::optional<std::string> text;
    {
      std::lock_guard lock(mutex_);
      if (!pushes_.empty()) {
        text = std::move(pushes_.front());
        pushes_.pop_front();
      }
    }
    if (!text) {
      co_await Pause(std::chrono::milliseconds(5));
      continue;
    }
    boost::system::error_code error;
    co_await ws.async_write(asio::buffer(*text), asio::redirect_error(asio::use_awaitable, error));
    if (error) break;
  }
}

asio::awaitable<void> LoopbackService::PlayAction(void* raw, TlsStream& stream, const WsAction& action, bool* ended) {
  auto& ws = *static_cast<WsStream*>(raw);
  boost::system::error_code error;
  auto on_error = asio::redirect_error(asio::use_awaitable, error);
  switch (action.kind) {
    case WsAction::Kind::kText:
      ws.text(true);
      for (size_t i = 0; i < action.repeat && !error; ++i) co_await ws.async_write(asio::buffer(action.bytes), on_error);
      break;
    case WsAction::Kind::kFragments: {
      ws.text(true);
      size_t offset = 0;
      for (size_t i = 0; i < action.sizes.size() && !error; ++i) {
        const size_t n = std::min(action.sizes[i], action.bytes.size() - offset);
        const bool last = i + 1 == action.sizes.size();
        co_await ws.async_write_some(last, asio::buffer(action.bytes.data() + offset, n), on_error);
        offset += n;
      }
      break;
    }
    case WsAction::Kind::kBinary:
      ws.binary(true);
      co_await ws.async_write(asio::buffer(action.bytes), on_error);
      ws.text(true);
      break;
    case WsAction::Kind::kRaw:
      co_await asio::async_write(stream, asio::buffer(action.bytes), on_error);
      break;
    case WsAction::Kind::kClose: {
      websocket::close_reason reason;
      if (action.close_code) reason.code = *action.close_code;
      co_await ws.async_close(reason, on_error);
      *ended = true;
      break;
    }
    case WsAction::Kind::kResetMidMessage:
      ws.text(true);
      co_await ws.async_write_some(false, asio::buffer(action.bytes), on_error);
      [[fallthrough]];
    case WsAction::Kind::kReset: {
      boost::system::error_code ignored;
      stream.lowest_layer().set_option(asio::socket_base::linger(true, 0), ignored);
      stream.lowest_layer().close(ignored);
      *ended = true;
      break;
    }
    case WsAction::Kind::kFreeze:
      co_await Pause(std::chrono::hours(24));
      break;
    case WsAction::Kind::kWaitSignal:
      while (signals_taken_ >= signals_) {
        co_await signal_gate_->async_wait(on_error);
        if (signals_taken_ >= signals_ && error != asio::error::operation_aborted) break;
        error.clear();
      }
      ++signals_taken_;
      break;
    case WsAction::Kind::kPause:
      co_await Pause(action.pause);
      break;
    case WsAction::Kind::kEndTcp:
      Drop(stream);
      *ended = true;
      break;
    case WsAction::Kind::kReadRaw: {
      char bytes[64];
      co_await stream.async_read_some(asio::buffer(bytes), on_error);
      break;
    }
    case WsAction::Kind::kServePushes:
      break;  // played by the session itself, which knows when the client goes
  }
  if (error) *ended = true;
}

asio::awaitable<void> LoopbackService::WebSocketSession(TlsStream& stream,
                                                        const http::request<http::string_body>& request) {
  WsPlan plan_of;
  {
    std::lock_guard lock(mutex_);
    plan_of = ws_plan_;
  }
  const WsUpgrade plan = plan_of(upgrades_++);
  while (plan.hold_until_released) {
    {
      std::lock_guard lock(mutex_);
      if (released_) break;
    }
    boost::system::error_code ignored;
    co_await gate_->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
  if (plan.status != 101) {
    std::string reply = "HTTP/1.1 " + std::to_string(plan.status) + " " +
                        std::string(http::obsolete_reason(static_cast<http::status>(plan.status))) +
                        "\r\nContent-Type: application/json\r\nContent-Length: 12\r\nConnection: close\r\n";
    if (plan.status / 100 == 3) reply += "Location: https://elsewhere.test/phone/v1/ws\r\n";
    reply += "\r\n{\"ok\":false}";
    co_await Write(stream, reply);
    boost::system::error_code ignored;
    co_await stream.async_shutdown(asio::redirect_error(asio::use_awaitable, ignored));
    Drop(stream);
    co_return;
  }
  if (plan.bad_accept) {
    co_await Write(stream,
                   "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Accept: AAAAAAAAAAAAAAAAAAAAAAAAAAA=\r\n\r\n");
    char byte = 0;
    boost::system::error_code ignored;
    co_await stream.async_read_some(asio::buffer(&byte, 1), asio::redirect_error(asio::use_awaitable, ignored));
    Drop(stream);
    co_return;
  }
  WsStream ws(stream);
  ws.set_option(websocket::stream_base::decorator([extra = plan.response_headers](websocket::response_type& reply) {
    for (const auto& [name, value] : extra) reply.set(name, value);
  }));
  boost::system::error_code error;
  co_await ws.async_accept(request, asio::redirect_error(asio::use_awaitable, error));
  if (error) co_return;
  ++open_sessions_;
  ws.auto_fragment(false);
  ws.read_message_max(0);
  ws.control_callback([this](websocket::frame_type kind, boost::beast::string_view) {
    if (kind == websocket::frame_type::ping) ++pings_;
  });
  const auto executor = co_await asio::this_coro::executor;
  auto done = std::make_shared<bool>(false);
  auto wake = std::make_shared<asio::steady_timer>(executor, std::chrono::steady_clock::time_point::max());
  bool frozen = false;
  for (const WsAction& action : plan.actions) {
    frozen = frozen || action.kind == WsAction::Kind::kFreeze || action.kind == WsAction::Kind::kReadRaw;
  }
  if (!frozen) {
    asio::co_spawn(executor, WebSocketReader(&ws, done, wake), asio::detached);
  } else {
    *done = true;
  }
  bool ended = false;
  for (const WsAction& action : plan.actions) {
    if (ended || (*done && !frozen)) break;
    if (action.kind == WsAction::Kind::kServePushes) {
      co_await ServePushes(&ws, done);
      break;
    }
    co_await PlayAction(&ws, stream, action, &ended);
  }
  // The reader ends when the client goes (or the close above finished).
  while (!*done) {
    boost::system::error_code ignored;
    co_await wake->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
  }
  --open_sessions_;
  Drop(stream);
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
    request.at = std::chrono::steady_clock::now();
    if (request.target == "/phone/v1/ws" && websocket::is_upgrade(message)) {
      bool planned = false;
      {
        std::lock_guard lock(mutex_);
        planned = static_cast<bool>(ws_plan_);
      }
      if (planned) {
        record_.AddRequest(request);
        co_await WebSocketSession(stream, message);
        co_return;
      }
    }
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

    if (reply.raw) {
      if (!co_await Write(stream, *reply.raw)) co_return;
      if (reply.end != ScriptedReply::End::kKeep) {
        co_await EndConnection(stream, reply.end);
        co_return;
      }
      continue;
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
    if (!reply.unsolicited.empty()) {
      if (!co_await Write(stream, reply.unsolicited)) co_return;
      ++unsolicited_writes_;
      if (reply.end != ScriptedReply::End::kKeep) {
        co_await EndConnection(stream, reply.end);
        co_return;
      }
    }
    if (reply.framing == ScriptedReply::Framing::kCloseDelimited || !keep_alive) {
      boost::system::error_code ignored;
      co_await stream.async_shutdown(asio::redirect_error(asio::use_awaitable, ignored));
      Drop(stream);
      co_return;
    }
  }
}

}  // namespace quorix_test
