#include "chat/history_message.h"

#include <charconv>
#include <cmath>

std::string QuoteHistoryJsonString(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (b < 0x20) {
      out += "\\u00";
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

std::string HistoryMessageToJson(const HistoryMessage& m) {
  char number[64];
  // %.17g in the classic locale, whatever the process locale is.
  auto written = std::to_chars(number, number + sizeof(number), m.created_at, std::chars_format::general, 17);
  std::string out;
  out.reserve(m.message_id.size() + m.sender_id.size() + m.receiver_id.size() + m.message.size() +
              m.sequence.size() + m.client_message_id.size() + 160);
  out += "{\"message_id\":";
  out += QuoteHistoryJsonString(m.message_id);
  out += ",\"sender_id\":";
  out += QuoteHistoryJsonString(m.sender_id);
  out += ",\"receiver_id\":";
  out += QuoteHistoryJsonString(m.receiver_id);
  out += ",\"message\":";
  out += QuoteHistoryJsonString(m.message);
  out += ",\"created_at\":";
  out.append(number, written.ptr);
  out += ",\"sequence\":";
  out += QuoteHistoryJsonString(m.sequence);
  out += ",\"client_message_id\":";
  out += QuoteHistoryJsonString(m.client_message_id);
  out += ",\"is_read\":";
  out += m.is_read ? "true" : "false";
  out += ",\"expired\":";
  out += m.expired ? "true" : "false";
  out += "}";
  return out;
}

bool IsCanonicalDecimal(const std::string& text) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  if (text.size() == 1) return true;
  if (text[0] == '0') return false;
  if (text.size() < 19) return true;
  return text <= "9223372036854775807";
}

int CompareCanonicalDecimal(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool FindJsonBool(const JsonValue& object, const char* key) {
  const JsonValue* v = object.Find(key);
  return v != nullptr && v->type == JsonType::Bool && v->bool_value;
}

const std::string* FindJsonString(const JsonValue& object, const char* key) {
  const JsonValue* v = object.Find(key);
  return v != nullptr && v->type == JsonType::String ? &v->text : nullptr;
}

bool HistoryMessageFromJson(const JsonValue& object, const std::string& self_user_id, HistoryMessage* out) {
  if (out == nullptr) return false;
  const std::string* id = FindJsonString(object, "message_id");
  const std::string* sender = FindJsonString(object, "sender_id");
  const std::string* receiver = FindJsonString(object, "receiver_id");
  const std::string* text = FindJsonString(object, "message");
  const JsonValue* created = object.Find("created_at");
  if (id == nullptr || sender == nullptr || receiver == nullptr || text == nullptr || created == nullptr ||
      created->type != JsonType::Number) {
    return false;
  }
  auto id_ok = [](const std::string* s) { return !s->empty() && s->size() <= kHistoryIdMaxBytes; };
  if (!id_ok(id) || !id_ok(sender) || !id_ok(receiver) || *sender == *receiver ||
      (self_user_id != *sender && self_user_id != *receiver)) {
    return false;
  }
  if (text->size() > kHistoryTextMaxBytes) return false;
  if (!std::isfinite(created->number) || created->number < 0.0) return false;
  HistoryMessage m;
  if (const std::string* client = FindJsonString(object, "client_message_id")) m.client_message_id = *client;
  if (const std::string* sequence = FindJsonString(object, "sequence")) {
    if (!IsCanonicalDecimal(*sequence)) return false;
    m.sequence = *sequence;
  }
  m.message_id = *id;
  m.sender_id = *sender;
  m.receiver_id = *receiver;
  m.message = *text;
  m.created_at = created->number;
  m.is_read = FindJsonBool(object, "is_read");
  m.expired = FindJsonBool(object, "expired");
  *out = std::move(m);
  return true;
}

const std::string& HistoryPeerOf(const HistoryMessage& message, const std::string& self_user_id) {
  return self_user_id == message.sender_id ? message.receiver_id : message.sender_id;
}
