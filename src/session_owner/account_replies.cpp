#include "session_owner/account_replies.h"

#include <algorithm>
#include <set>

#include "chat/secure_wipe.h"
#include "core/json.h"
#include "core/text.h"
#include "phone_service/gateway.h"

namespace {

// A friend id longer than this is left out (the chat model refuses it).
constexpr size_t kMaxFriendIdBytes = 256;
constexpr size_t kMaxListEntries = 10000;

bool IsTrue(const JsonValue* value) { return value != nullptr && value->type == JsonType::Bool && value->bool_value; }

const std::string* StringMember(const JsonValue& object, const char* key) {
  const JsonValue* value = object.Find(key);
  return value != nullptr && value->type == JsonType::String ? &value->text : nullptr;
}

// An ok reply of `user_id` with `member` an array of at most 10000 entries.
const JsonValue* ListOf(const JsonValue& reply, const std::string& user_id, const char* member) {
  const std::string* owner = StringMember(reply, "user_id");
  const JsonValue* list = reply.Find(member);
  if (!IsTrue(reply.Find("ok")) || owner == nullptr || *owner != user_id || list == nullptr ||
      list->type != JsonType::Array || list->items.size() > kMaxListEntries) {
    return nullptr;
  }
  return list;
}

// Each entry a pending request with the own id on the side `own_key` names;
// the other side's id appended to `ids`.
bool ReadRequests(const JsonValue& list, const std::string& user_id, const char* own_key, const char* other_key,
                  std::vector<std::string>* ids) {
  for (const JsonValue& entry : list.items) {
    const std::string* own = StringMember(entry, own_key);
    const std::string* other = StringMember(entry, other_key);
    const std::string* status = StringMember(entry, "status");
    if (own == nullptr || other == nullptr || status == nullptr || *status != "pending" || *own != user_id) {
      return false;
    }
    ids->push_back(*other);
  }
  return true;
}

}  // namespace

bool IsValidSessionToken(const std::string& token) {
  return !token.empty() && token.size() <= 2048 && IsTokenText(token);
}

namespace two_pc {

bool ReadFriendsReply(const std::string& body, const std::string& user_id, FriendList* list) {
  JsonValue reply;
  if (!ParseJson(body, reply)) return false;
  const JsonValue* ok = reply.Find("ok");
  const JsonValue* owner = reply.Find("user_id");
  const JsonValue* friends = reply.Find("friends");
  if (ok == nullptr || ok->type != JsonType::Bool || !ok->bool_value) return false;
  if (owner == nullptr || owner->type != JsonType::String || owner->text != user_id) return false;
  if (friends == nullptr || friends->type != JsonType::Array) return false;
  std::set<std::string> seen(list->ids.begin(), list->ids.end());
  for (const JsonValue& entry : friends->items) {
    const JsonValue* id = entry.Find("user_id");
    if (id == nullptr || id->type != JsonType::String) continue;
    // An id given twice keeps its first place; the chat lists refuse empty,
    // overlong and own ids, so those never enter.
    if (id->text.empty() || id->text.size() > kMaxFriendIdBytes || id->text == user_id) continue;
    if (seen.insert(id->text).second) list->ids.push_back(id->text);
    const JsonValue* name = entry.Find("display_name");
    if (name != nullptr && name->type == JsonType::String) list->names[id->text] = Utf8ToWideStrict(name->text);
  }
  return true;
}

bool IsOkReply(const AccountHttpReply& reply) {
  JsonValue parsed;
  return reply.ok && reply.status == 200 && ParseJson(reply.body, parsed) && IsTrue(parsed.Find("ok"));
}

bool ReadFriendRequestsReply(const AccountHttpReply& reply, const std::string& user_id,
                             std::vector<std::string>* incoming, std::vector<std::string>* outgoing) {
  JsonValue parsed;
  if (!reply.ok || reply.status != 200 || !ParseJson(reply.body, parsed)) return false;
  const JsonValue* in = ListOf(parsed, user_id, "incoming");
  const JsonValue* out = ListOf(parsed, user_id, "outgoing");
  return in != nullptr && out != nullptr && ReadRequests(*in, user_id, "to_user_id", "from_user_id", incoming) &&
         ReadRequests(*out, user_id, "from_user_id", "to_user_id", outgoing);
}

bool ReadFriendListReply(const AccountHttpReply& reply, const std::string& user_id, FriendList* list) {
  JsonValue parsed;
  if (!reply.ok || reply.status != 200 || !ParseJson(reply.body, parsed)) return false;
  const JsonValue* entries = ListOf(parsed, user_id, "friends");
  if (entries == nullptr) return false;
  for (const JsonValue& entry : entries->items) {
    if (StringMember(entry, "user_id") == nullptr || StringMember(entry, "display_name") == nullptr) return false;
  }
  // Each friend once, at its first place; empty, overlong and own ids left out.
  return ReadFriendsReply(reply.body, user_id, list);
}

bool LoginAccepted(const AccountHttpReply& login, const AuthReply& parsed, const std::string& user_id) {
  return login.ok && login.status == 200 && parsed.valid && parsed.ok && parsed.user_id == user_id &&
         !parsed.token.empty();
}

bool ReadSessionCheck(const AccountHttpReply& me, const std::string& user_id) {
  AuthReply check = ParseAuthReply(me.body);
  SecureWipeString(&check.token);
  return me.ok && me.status == 200 && check.valid && check.ok && check.has_session_is_active &&
         check.session_is_active && check.user_id == user_id;
}

uint32_t ReadRestoreCheck(const AccountHttpReply& me, const std::string& user_id) {
  if (!me.ok) return 3;
  if (me.status == 401 || me.status == 403) return 2;
  if (me.status != 200) return 3;
  AuthReply check = ParseAuthReply(me.body);
  SecureWipeString(&check.token);
  if (!check.valid) return 3;
  if (!check.ok) return 2;
  if (!check.has_session_is_active || check.user_id.empty()) return 3;
  if (!check.session_is_active || check.user_id != user_id) return 2;
  return 0;
}

uint32_t ReadRestoreFriends(const AccountHttpReply& friends, const std::string& user_id, FriendList* list) {
  if (friends.ok && (friends.status == 401 || friends.status == 403)) return 2;
  if (!friends.ok || friends.status != 200 || !ReadFriendsReply(friends.body, user_id, list)) return 3;
  return 0;
}

bool ReadPhoneSession(const AccountHttpReply& reply, const std::string& user_id, bool token_form,
                      std::string* token) {
  AuthReply phone = ParseAuthReply(reply.body);
  WipeStringOnExit wipe_token(phone.token);
  // The capabilities check parses the whole body strictly (ParseJson) first.
  const bool ok = reply.ok && reply.status == 200 && phone.valid && phone.ok && phone.user_id == user_id &&
                  !phone.token.empty() && (!token_form || IsValidSessionToken(phone.token)) &&
                  quorix_phone::ParseCapabilitiesReply(reply.body, user_id, reply.status, true).ok;
  if (ok) {
    // Past the inline buffer, so handing the result on moves the heap block
    // and leaves no copy behind in a moved-from string.
    token->reserve(std::max<size_t>(phone.token.size(), 32));
    token->assign(phone.token);
  }
  return ok;
}

}  // namespace two_pc
