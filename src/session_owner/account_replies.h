#pragma once
// What the owner reads from the services' replies: the friend list, the
// friend requests, the plain "ok" answer of a friend operation or a
// sign-out, the sign-in and restore checks and the phone session. Functions
// of the reply alone; the tasks that make the requests decide what follows.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chat/account_http.h"
#include "chat/auth_reply.h"

// 1 to 2048 bytes, each an ASCII letter, digit, "_" or "-".
bool IsValidSessionToken(const std::string& token);

namespace two_pc {

// The friend list of an account reply, as the owner keeps it: ids in the
// order the service listed them, each once (at its first place), the last
// name given for an id kept. Ids that are empty, over 256 bytes or the own id
// are left out.
struct FriendList {
  std::vector<std::string> ids;
  std::map<std::string, std::u16string> names;
};
// False when `body` is not an ok friends reply for `user_id`.
bool ReadFriendsReply(const std::string& body, const std::string& user_id, FriendList* list);

// A completed exchange with status 200 whose body is JSON with "ok" true.
bool IsOkReply(const AccountHttpReply& reply);

// The pending requests to and from `user_id` of a friend requests reply, in
// the service's order, appended; false when the reply is not an ok list of
// pending requests of that user.
bool ReadFriendRequestsReply(const AccountHttpReply& reply, const std::string& user_id,
                             std::vector<std::string>* incoming, std::vector<std::string>* outgoing);

// The friend list after a friend operation: as ReadFriendsReply, and every
// entry must also carry a string id and a string name.
bool ReadFriendListReply(const AccountHttpReply& reply, const std::string& user_id, FriendList* list);

// Whether `parsed`, the auth reply read from `login`, signed in `user_id`
// with a token.
bool LoginAccepted(const AccountHttpReply& login, const AuthReply& parsed, const std::string& user_id);

// Whether the "/me" reply `me` shows the active session of `user_id` (the
// sign-in's check). Reads the body; the caller wipes it.
bool ReadSessionCheck(const AccountHttpReply& me, const std::string& user_id);

// What a restore makes of its "/me" reply for the stored `user_id`: 0 the
// session is that user's and active, 2 expired (the stored session is to be
// forgotten), 3 undecided (try again later). The caller wipes the body.
uint32_t ReadRestoreCheck(const AccountHttpReply& me, const std::string& user_id);

// What a restore makes of its friends reply: 0 read into `list`, 2 expired,
// 3 undecided.
uint32_t ReadRestoreFriends(const AccountHttpReply& friends, const std::string& user_id, FriendList* list);

// Whether `reply` is the verified phone session of `user_id`; its token is
// then copied to `token`. A restore also wants the token in session-token
// form (`token_form`); a sign-in only a token. The caller wipes the body.
bool ReadPhoneSession(const AccountHttpReply& reply, const std::string& user_id, bool token_form,
                      std::string* token);

}  // namespace two_pc
