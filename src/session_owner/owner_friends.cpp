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

constexpr char kIdCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";

bool IsFriendTargetId(const std::string& id) {
  return !id.empty() && id.size() <= 128 && id.find_first_not_of(kIdCharacters) == std::string::npos;
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
  return two_pc::IsOkReply(reply);
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
  return ReadFriendRequestsReply(reply, user_id, incoming, outgoing);
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
  FriendList collected;
  if (!ReadFriendListReply(friends, own, &collected)) return result;
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
