#include "phone_service/presence.h"

#include <string_view>

#include "core/json.h"

namespace quorix_phone {
namespace {

constexpr size_t kMaxText = 145000;
constexpr size_t kMaxFriends = 512;
constexpr uint64_t kFreshMs = 10000;

bool IsNumberOne(const JsonValue* value, double expected = 1.0) {
  return value != nullptr && value->type == JsonType::Number && value->number == expected;
}

bool IsFriendId(const std::string& id) {
  if (id.empty() || id.size() > 128) return false;
  for (const char c : id) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

// The friend map of a snapshot document, or false.
bool ReadSnapshot(const JsonValue& root, const std::string& own_user_id, std::map<std::string, bool>* out) {
  if (root.type != JsonType::Object) return false;
  const JsonValue* ok = root.Find("ok");
  const JsonValue* user = root.Find("user_id");
  const JsonValue* friends = root.Find("friends");
  if (ok == nullptr || ok->type != JsonType::Bool || !ok->bool_value) return false;
  if (user == nullptr || user->type != JsonType::String || user->text != own_user_id) return false;
  if (!IsNumberOne(root.Find("schema_version"))) return false;
  if (friends == nullptr || friends->type != JsonType::Array || friends->items.size() > kMaxFriends) return false;
  for (const JsonValue& entry : friends->items) {
    if (entry.type != JsonType::Object) return false;
    const JsonValue* id = entry.Find("user_id");
    const JsonValue* online = entry.Find("online");
    if (id == nullptr || id->type != JsonType::String || !IsFriendId(id->text) || id->text == own_user_id) return false;
    if (online == nullptr || online->type != JsonType::Bool) return false;
    if (!out->emplace(id->text, online->bool_value).second) return false;
  }
  return true;
}

bool SequenceAfter(const std::string& next, const std::string& last) {
  if (next.size() != last.size()) return next.size() > last.size();
  return next > last;
}

bool Refuse(PresenceState& state) {
  ClearFriendPresence(state);
  state.push_window_start = 0;
  state.push_window_end = 0;
  ++state.push_counter;
  return false;
}

}  // namespace

bool IsValidPresenceSequence(const std::string& text) {
  if (text.empty() || text.size() > 19) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  if (text.size() > 1 && text[0] == '0') return false;
  return text.size() < 19 || text <= "9223372036854775807";
}

void ClearFriendPresence(PresenceState& state) {
  if (state.has_snapshot || !state.friends.empty()) ++state.revision;
  state.friends.clear();
  state.has_snapshot = false;
  state.snapshot_tick = 0;
}

void ResetPresence(PresenceState& state) {
  ClearFriendPresence(state);
  state.push_connection_id.clear();
  state.push_sequence.clear();
  ++state.push_counter;
  state.push_window_start = 0;
  state.push_window_end = 0;
}

bool ParsePresenceSnapshot(PresenceState& state, const std::string& text, const std::string& own_user_id,
                           uint64_t now) {
  if (text.size() > kMaxText || own_user_id.empty()) {
    ClearFriendPresence(state);
    return false;
  }
  JsonValue root;
  std::map<std::string, bool> friends;
  if (!ParseJson(text, root) || !ReadSnapshot(root, own_user_id, &friends)) {
    ClearFriendPresence(state);
    return false;
  }
  if (!(state.has_snapshot && friends == state.friends)) ++state.revision;
  state.friends.swap(friends);
  state.snapshot_tick = now;
  state.has_snapshot = true;
  return true;
}

bool ApplyPresenceEvent(PresenceState& state, const std::string& text, const std::string& own_user_id,
                        const std::string& connection_id, uint64_t now) {
  if (text.size() > kMaxText || connection_id.size() != 32) return Refuse(state);
  JsonValue root;
  if (!ParseJson(text, root) || root.type != JsonType::Object || root.members.size() != 11) return Refuse(state);
  const JsonValue* type = root.Find("type");
  const JsonValue* user = root.Find("user_id");
  const JsonValue* connection = root.Find("connection_id");
  const JsonValue* sequence = root.Find("sequence");
  const JsonValue* friends = root.Find("friends");
  const JsonValue* ok = root.Find("ok");
  if (type == nullptr || type->type != JsonType::String || type->text != "phone_presence_snapshot") return Refuse(state);
  if (!IsNumberOne(root.Find("version")) || !IsNumberOne(root.Find("schema_version"))) return Refuse(state);
  if (ok == nullptr || ok->type != JsonType::Bool || !ok->bool_value) return Refuse(state);
  if (user == nullptr || user->type != JsonType::String || user->text != own_user_id) return Refuse(state);
  if (connection == nullptr || connection->type != JsonType::String || connection->text != connection_id) {
    return Refuse(state);
  }
  if (sequence == nullptr || sequence->type != JsonType::String || !IsValidPresenceSequence(sequence->text)) {
    return Refuse(state);
  }
  if (!IsNumberOne(root.Find("lease_seconds"), 10) || !IsNumberOne(root.Find("fresh_for_seconds"), 10) ||
      !IsNumberOne(root.Find("poll_after_seconds"), 5)) {
    return Refuse(state);
  }
  if (friends == nullptr || friends->type != JsonType::Array || friends->items.size() > kMaxFriends) {
    return Refuse(state);
  }
  if (state.push_connection_id == connection_id && !state.push_sequence.empty() &&
      !SequenceAfter(sequence->text, state.push_sequence)) {
    return Refuse(state);
  }
  const std::string* previous = nullptr;
  for (const JsonValue& entry : friends->items) {
    if (entry.type != JsonType::Object || entry.members.size() != 2) return Refuse(state);
    const JsonValue* id = entry.Find("user_id");
    if (id == nullptr || id->type != JsonType::String) return Refuse(state);
    if (previous != nullptr && !(*previous < id->text)) return Refuse(state);
    previous = &id->text;
  }
  if (!ParsePresenceSnapshot(state, text, own_user_id, now)) return Refuse(state);
  state.push_connection_id = connection_id;
  state.push_sequence = sequence->text;
  state.push_window_start = now;
  state.push_window_end = now + kFreshMs;
  ++state.push_counter;
  return true;
}

}  // namespace quorix_phone
