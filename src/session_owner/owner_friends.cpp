// Friend requests and presence: one background operation at a time against
// the account service with the stored session's token, always ending with a
// reload of both request lists and the friend list; the tick applies it.
#include <algorithm>
#include <future>
#include <utility>

#include "chat/account_requests.h"
#include "chat/secure_wipe.h"
#include "core/event_log.h"
#include "core/json.h"
#include "core/secret_text.h"
#include "core/service_origin.h"
#include "platform/ui_window.h"
#include "session_owner/window.h"
#include "session_owner/window_internal.h"

namespace ui = platform::ui;

namespace {

constexpr size_t kMaxListEntries = 10000;
constexpr char kIdCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";

bool IsFriendTargetId(const std::string& id) {
  return !id.empty() && id.size() <= 128 && id.find_first_not_of(kIdCharacters) == std::string::npos;
}

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

// The POST of a send, accept or reject; `*unreachable` when no reply came.
bool PostFriendOperation(const ServiceEndpoint& endpoint, const two_pc::FriendOperationInput& input,
                         bool* unreachable) {
  static constexpr const char* kPaths[] = {"", "/friends/request", "/friends/accept", "/friends/reject"};
  const std::string& own = input.session.user_id;
  // The own id comes from the service and was never held to the target's
  // characters, so both ids are quoted.
  const std::string body = input.operation == 1
                               ? "{\"from_user_id\":" + QuoteJsonString(own) +
                                     ",\"to_user_id\":" + QuoteJsonString(input.target_id) + "}"
                               : "{\"user_id\":" + QuoteJsonString(own) +
                                     ",\"from_user_id\":" + QuoteJsonString(input.target_id) + "}";
  AccountHttpReply reply = SendAccountRequest(endpoint, u"POST", kPaths[input.operation], body, input.session.token);
  WipeStringOnExit wipe_body(reply.body);
  if (!reply.ok) {
    *unreachable = true;
    return false;
  }
  JsonValue parsed;
  return reply.status == 200 && ParseJson(reply.body, parsed) && IsTrue(parsed.Find("ok"));
}

}  // namespace

namespace two_pc {

bool FetchFriendRequests(const ServiceEndpoint& endpoint, const std::string& user_id, const std::string& token,
                         std::vector<std::string>* incoming, std::vector<std::string>* outgoing) {
  std::string path;
  try {
    path = "/friends/requests/" + PercentEncodePathSegment(user_id);
  } catch (...) {
    return false;
  }
  AccountHttpReply reply = SendAccountRequest(endpoint, u"GET", path, "", token);
  WipeStringOnExit wipe_body(reply.body);
  JsonValue parsed;
  if (!reply.ok || reply.status != 200 || !ParseJson(reply.body, parsed)) return false;
  const JsonValue* in = ListOf(parsed, user_id, "incoming");
  const JsonValue* out = ListOf(parsed, user_id, "outgoing");
  return in != nullptr && out != nullptr && ReadRequests(*in, user_id, "to_user_id", "from_user_id", incoming) &&
         ReadRequests(*out, user_id, "from_user_id", "to_user_id", outgoing);
}

Window::FriendResult Window::FriendOperationTask(FriendOperationInput input) {
  WipeStringOnExit wipe_token(input.session.token);
  FriendResult result;
  result.operation = input.operation;
  result.session_revision = input.session_revision;
  const std::string& own = input.session.user_id;
  const std::string& token = input.session.token;
  ServiceEndpoint endpoint;
  if (!ParseServiceEndpoint(&endpoint, quorix_service::kServiceBaseUrl)) return result;
  if (input.operation != 0) {
    bool unreachable = false;
    if (!PostFriendOperation(endpoint, input, &unreachable)) {
      result.unreachable = unreachable ? 1 : 0;
      return result;
    }
  }
  if (!FetchFriendRequests(endpoint, own, token, &result.state.incoming, &result.state.outgoing)) return result;

  AccountHttpReply friends = AccountGetFriends(endpoint, own, token);
  WipeStringOnExit wipe_friends(friends.body);
  JsonValue parsed;
  if (!friends.ok || friends.status != 200 || !ParseJson(friends.body, parsed)) return result;
  const JsonValue* list = ListOf(parsed, own, "friends");
  if (list == nullptr) return result;
  for (const JsonValue& entry : list->items) {
    if (StringMember(entry, "user_id") == nullptr || StringMember(entry, "display_name") == nullptr) return result;
  }
  // Each friend once, at its first place; empty, overlong and own ids left out.
  FriendList collected;
  if (!ReadFriendsReply(friends.body, own, &collected)) return result;
  result.friend_ids = std::move(collected.ids);
  result.display_names = std::move(collected.names);
  result.ok = 1;
  result.state.last_operation = input.operation;
  return result;
}

bool Window::RequestFriendOperation(uint32_t operation, const std::string& target_id) {
  if (signed_in_ == 0 || closing_ != 0) return false;
  if (friend_task_.valid() && !IsReady(friend_task_)) return false;
  if (operation > 3) return false;
  if (operation != 0 && (!IsFriendTargetId(target_id) || target_id == own_user_id_)) return false;
  FriendOperationInput input;
  {
    StoredSession stored;
    const bool loaded = LoadSessionFile(&stored);
    // Past the inline buffer, so moving the input into the task moves the
    // heap block and leaves no copy of the token behind.
    input.session.token.reserve(std::max<size_t>(stored.token.size(), 32));
    input.session.token.assign(stored.token);
    input.session.user_id = std::move(stored.user_id);
    WipeWholeString(&stored.token);
    if (!loaded || input.session.user_id != own_user_id_) {
      WipeWholeString(&input.session.token);
      return false;
    }
  }
  input.session_revision = session_revision_;
  input.operation = operation;
  input.target_id = operation != 0 ? target_id : std::string();

  friend_requests_.busy = 1;
  friend_requests_.unreachable = 0;
  ++friend_requests_.revision;
  try {
    friend_task_ = std::async(std::launch::async, &Window::FriendOperationTask, std::move(input));
  } catch (...) {
    WipeWholeString(&input.session.token);
    friend_requests_.busy = 0;
    friend_requests_.failed = 1;
    return false;
  }
  return true;
}

void Window::ApplyFriendResult() {
  if (!IsReady(friend_task_)) return;
  const uint64_t revision = friend_requests_.revision;
  uint32_t operation = 0;
  try {
    FriendResult result = friend_task_.get();
    if (signed_in_ == 0 || result.session_revision != session_revision_) return;
    operation = result.operation;
    if (result.ok == 0) {
      friend_requests_.busy = 0;
      friend_requests_.failed = 1;
      friend_requests_.unreachable = result.unreachable;
    } else {
      friend_requests_ = std::move(result.state);
      friend_requests_.busy = 0;
      friend_requests_.failed = 0;
      friend_requests_.unreachable = 0;
      friend_ids_ = std::move(result.friend_ids);
      friend_names_ = std::move(result.display_names);
      ShowFriendList(selected_friend_id_);
    }
    friend_requests_.revision = revision + 1;
    WriteEventLog("UI_FRIEND_OPERATION_FINISHED", operation, result.ok != 0 ? 1 : 0);
  } catch (...) {
    friend_requests_.busy = 0;
    friend_requests_.failed = 1;
    friend_requests_.revision = revision + 1;
    WriteEventLog("UI_FRIEND_OPERATION_FINISHED", 0, 0);
  }
}

int32_t Window::GetFriendPresence(const std::string& user_id) {
  return signed_in_ != 0 && wire_ != nullptr ? wire_->GetFriendPresence(user_id) : 0;
}

uint64_t Window::GetPresenceStatus() { return wire_ != nullptr ? wire_->GetPresenceStatus() : 0; }

}  // namespace two_pc
