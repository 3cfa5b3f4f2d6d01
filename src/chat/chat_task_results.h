#pragma once
// The records the background chat tasks hand back through their futures.
// `code` 0 is success and 1 means no history session is open; the other
// values are each task's own.
#include <cstdint>
#include <string>
#include <vector>

#include "chat/chat_model.h"

namespace quorix_mvp03live {

// The peer history load and the message send.
struct Result {
  uint32_t code = 0;
  std::vector<ChatMessage> messages;
  bool delivered = false;  // never set by these tasks
  bool expired = false;    // the sent message was stored as expired
};

}  // namespace quorix_mvp03live

namespace quorix_mvp03b2b {

// The friend and conversation list fetch.
struct FetchResult {
  uint32_t code = 0;
  std::string self_id;
  std::vector<ChatFriend> friends;
  std::vector<ChatConversation> conversations;
};

}  // namespace quorix_mvp03b2b

namespace quorix_mvp03read {

// The mark-as-read: 0 done, 7 failed.
struct Result {
  uint32_t code = 0;
  uint64_t value = 0;  // always 0
};

}  // namespace quorix_mvp03read
