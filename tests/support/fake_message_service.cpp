#include "fake_message_service.h"

#include <atomic>
#include <charconv>
#include <utility>

#include "chat/history_message.h"
#include "core/json.h"

namespace quorix_test {

namespace {

constexpr char kOtherConnection[] = "ffffffffffffffffffffffffffffffff";

ScriptedReply Refusal(unsigned status) { return ScriptedReply::Json(status, R"({"ok":false})"); }

// The value of `name` in the query of `target`; nothing when absent.
std::optional<std::string> QueryValue(const std::string& target, const std::string& name) {
  size_t q = target.find('?');
  if (q == std::string::npos) return std::nullopt;
  size_t at = q + 1;
  while (at <= target.size()) {
    size_t end = target.find('&', at);
    if (end == std::string::npos) end = target.size();
    std::string pair = target.substr(at, end - at);
    if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
    at = end + 1;
  }
  return std::nullopt;
}

bool ParseCount(const std::string& text, uint64_t* out) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && ptr == text.data() + text.size() && !text.empty();
}

size_t NextInstance() {
  static std::atomic<size_t> next{0};
  return ++next;
}

}  // namespace

FakeMessageService::FakeMessageService(LoopbackService& service, std::string user_id)
    : user_id_(std::move(user_id)), instance_(NextInstance()) {
  service.Script("POST", "/phone/v1/messages/send",
                 [this](const RecordedRequest& r) { return Answer(Route::kSend, r); });
  service.Script("POST", "/phone/v1/messages/ack", [this](const RecordedRequest& r) { return Answer(Route::kAck, r); });
  service.Script("GET", "/phone/v1/messages/inbox",
                 [this](const RecordedRequest& r) { return Answer(Route::kInbox, r); });
}

FakeMessageService::Message& FakeMessageService::AddLocked(Message message) {
  ++next_;
  message.id = "m" + std::to_string(next_);
  message.sequence = std::to_string(next_);
  message.created_at = 1700000000.0 + static_cast<double>(next_);
  by_id_[message.id] = messages_.size();
  messages_.push_back(std::move(message));
  return messages_.back();
}

std::string FakeMessageService::Deliver(const std::string& from, const std::string& text, DeliverOptions options) {
  std::lock_guard lock(mutex_);
  Message m;
  m.sender = from;
  m.receiver = user_id_;
  m.text = text;
  m.read = options.read;
  m.legacy = options.legacy;
  return AddLocked(std::move(m)).id;
}

void FakeMessageService::EchoSends(bool on) {
  std::lock_guard lock(mutex_);
  echo_ = on;
}

void FakeMessageService::Once(Route route, Knob knob) {
  std::lock_guard lock(mutex_);
  once_[route].push_back(std::move(knob));
}

void FakeMessageService::Always(Route route, Knob knob) {
  std::lock_guard lock(mutex_);
  always_[route] = std::move(knob);
}

void FakeMessageService::ForNonce(const std::string& nonce, Knob knob) {
  std::lock_guard lock(mutex_);
  nonce_knobs_[nonce] = std::move(knob);
}

void FakeMessageService::Clear() {
  std::lock_guard lock(mutex_);
  once_.clear();
  always_.clear();
  nonce_knobs_.clear();
}

void FakeMessageService::OnArrival(std::function<void(const Request&)> callback) {
  std::lock_guard lock(mutex_);
  arrival_ = std::move(callback);
}

std::vector<FakeMessageService::Request> FakeMessageService::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<FakeMessageService::Request> FakeMessageService::RequestsTo(Route route) const {
  static const std::map<Route, std::string> kPrefix = {{Route::kSend, "/phone/v1/messages/send"},
                                                       {Route::kAck, "/phone/v1/messages/ack"},
                                                       {Route::kInbox, "/phone/v1/messages/inbox"}};
  std::vector<Request> out;
  for (Request& r : Requests()) {
    if (r.target.compare(0, kPrefix.at(route).size(), kPrefix.at(route)) == 0) out.push_back(std::move(r));
  }
  return out;
}

std::map<std::string, size_t> FakeMessageService::SendsPerNonce() const {
  std::lock_guard lock(mutex_);
  return sends_;
}

std::set<std::string> FakeMessageService::Acknowledged() const {
  std::lock_guard lock(mutex_);
  return acknowledged_;
}

std::vector<FakeMessageService::Message> FakeMessageService::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

size_t FakeMessageService::Unacknowledged() const {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (const Message& m : messages_) n += m.in_inbox && acknowledged_.count(m.id) == 0 ? 1 : 0;
  return n;
}

FakeMessageService::Knob FakeMessageService::TakeKnob(Route route, const std::string& nonce) {
  auto once = once_.find(route);
  if (once != once_.end() && !once->second.empty()) {
    Knob knob = std::move(once->second.front());
    once->second.erase(once->second.begin());
    return knob;
  }
  if (!nonce.empty()) {
    auto it = nonce_knobs_.find(nonce);
    if (it != nonce_knobs_.end()) return it->second;
  }
  auto always = always_.find(route);
  return always == always_.end() ? Knob{} : always->second;
}

std::string FakeMessageService::MessageJson(const Message& m, bool with_sequence) const {
  HistoryMessage h;
  h.message_id = m.id;
  h.sender_id = m.sender;
  h.receiver_id = m.receiver;
  h.message = m.text;
  h.client_message_id = m.client_message_id;
  h.sequence = with_sequence ? m.sequence : "";
  h.created_at = m.created_at;
  h.is_read = m.read;
  std::string json = HistoryMessageToJson(h);
  if (!with_sequence) json.erase(json.find(",\"sequence\":\"\""), 14);
  if (m.legacy) json.insert(json.size() - 1, ",\"legacy\":true");
  return json;
}

std::string FakeMessageService::NewToken(std::vector<std::string> ids) {
  std::string token = "ack-" + std::to_string(tokens_.size() + 1);
  tokens_[token] = std::move(ids);
  return token;
}

ScriptedReply FakeMessageService::Answer(Route route, const RecordedRequest& request) {
  Request seen{request.method, request.target, request.body, request.Header("X-Quorix-Connection")};
  std::function<void(const Request&)> arrival;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(seen);
    arrival = arrival_;
  }
  if (arrival) arrival(seen);
  std::lock_guard lock(mutex_);
  std::string nonce;
  JsonValue body;
  if (route == Route::kSend && ParseJson(request.body, body)) {
    if (const std::string* n = FindJsonString(body, "client_message_id")) nonce = *n;
    if (!nonce.empty()) ++sends_[nonce];
  }
  Knob knob = TakeKnob(route, nonce);
  ScriptedReply reply;
  if (knob.status) {
    reply = Refusal(*knob.status);
  } else if (route == Route::kSend) {
    reply = AnswerSend(request, knob);
  } else if (route == Route::kAck) {
    reply = AnswerAck(request, knob);
  } else {
    reply = AnswerInbox(request, knob);
  }
  reply.hold_until_released = knob.hold;
  return reply;
}

ScriptedReply FakeMessageService::AnswerSend(const RecordedRequest& request, const Knob& knob) {
  JsonValue body;
  if (!ParseJson(request.body, body)) return Refusal(400);
  const std::string* receiver = FindJsonString(body, "receiver_id");
  const std::string* nonce = FindJsonString(body, "client_message_id");
  const std::string* text = FindJsonString(body, "message");
  if (receiver == nullptr || nonce == nullptr || text == nullptr || nonce->empty()) return Refusal(400);
  auto known = id_by_nonce_.find(*nonce);
  std::string id;
  if (known != id_by_nonce_.end()) {
    id = known->second;  // a repeat: the first stored message, nothing new
  } else {
    Message m;
    m.sender = user_id_;
    m.receiver = *receiver;
    m.text = *text;
    m.client_message_id = *nonce;
    m.in_inbox = echo_;
    id = AddLocked(std::move(m)).id;
    id_by_nonce_[*nonce] = id;
  }
  Message echo = messages_[by_id_.at(id)];
  if (knob.text) echo.text = *knob.text;
  if (knob.nonce) echo.client_message_id = *knob.nonce;
  if (knob.receiver) echo.receiver = *knob.receiver;
  std::string connection = knob.wrong_connection ? kOtherConnection : request.Header("X-Quorix-Connection");
  std::string out = "{\"ok\":true,\"connection_id\":" + QuoteHistoryJsonString(connection) + ",\"saved\":true,";
  if (knob.null_message) {
    out += "\"message\":null,\"message_id\":" + QuoteHistoryJsonString(knob.named_id.value_or(id)) + ",";
  } else {
    out += "\"message\":" + MessageJson(echo, !knob.no_sequence) + ",";
  }
  out += std::string("\"expired\":") + (knob.expired ? "true" : "false");
  out += ",\"ack_token\":" + QuoteHistoryJsonString(NewToken({id})) + "}";
  return ScriptedReply::Json(200, out);
}

ScriptedReply FakeMessageService::AnswerAck(const RecordedRequest& request, const Knob& knob) {
  JsonValue body;
  if (!ParseJson(request.body, body)) return Refusal(400);
  const std::string* token = FindJsonString(body, "ack_token");
  const JsonValue* ids = body.Find("message_ids");
  if (token == nullptr || ids == nullptr || ids->type != JsonType::Array) return Refusal(400);
  auto issued = tokens_.find(*token);
  if (issued == tokens_.end()) return Refusal(400);
  std::set<std::string> allowed(issued->second.begin(), issued->second.end());
  std::vector<std::string> acked;
  for (const JsonValue& id : ids->items) {
    if (id.type != JsonType::String || allowed.count(id.text) == 0) return Refusal(400);
    acked.push_back(id.text);
  }
  for (const std::string& id : acked) acknowledged_.insert(id);
  if (knob.drop_one_id && !acked.empty()) acked.pop_back();
  std::string out = "{\"ok\":true,\"message_ids\":[";
  for (size_t i = 0; i < acked.size(); ++i) out += (i > 0 ? "," : "") + QuoteHistoryJsonString(acked[i]);
  return ScriptedReply::Json(200, out + "]}");
}

ScriptedReply FakeMessageService::AnswerInbox(const RecordedRequest& request, const Knob& knob) {
  uint64_t after = 0;
  auto after_text = QueryValue(request.target, "after");
  if (!after_text || !ParseCount(*after_text, &after)) return Refusal(400);
  const size_t limit = knob.page_limit == 0 ? 100 : knob.page_limit;
  std::vector<const Message*> page;
  bool more = false;
  for (const Message& m : messages_) {
    if (!m.in_inbox || acknowledged_.count(m.id) != 0 || std::stoull(m.sequence) <= after) continue;
    if (page.size() == limit) {
      more = true;
      break;
    }
    page.push_back(&m);
  }
  if (knob.new_stream) ++streams_;
  std::vector<std::string> ids;
  std::string items;
  for (size_t i = 0; i < page.size(); ++i) {
    items += (i > 0 ? "," : "") + MessageJson(*page[i], !(knob.no_sequence && i == 0));
    ids.push_back(page[i]->id);
  }
  if (knob.repeat_id && !page.empty()) items += "," + MessageJson(*page[0], true);
  std::string next = page.empty() ? std::to_string(after) : page.back()->sequence;
  std::string connection = knob.wrong_connection ? kOtherConnection : request.Header("X-Quorix-Connection");
  std::string out = "{\"ok\":true,\"connection_id\":" + QuoteHistoryJsonString(connection) +
                    ",\"user_id\":" + QuoteHistoryJsonString(knob.user_id.value_or(user_id_)) +
                    ",\"stream_id\":" + QuoteHistoryJsonString("stream-" + std::to_string(instance_) + "-" + std::to_string(streams_)) +
                    ",\"next_cursor\":" + QuoteHistoryJsonString(knob.next_cursor.value_or(next)) +
                    ",\"messages\":[" + items + "],\"ack_token\":" + QuoteHistoryJsonString(NewToken(ids)) +
                    ",\"has_more\":" + (more ? "true" : "false") + "}";
  return ScriptedReply::Json(200, out);
}

}  // namespace quorix_test
