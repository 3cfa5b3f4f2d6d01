#pragma once
// The results of the background chat tasks, returned by value through
// std::future and taken by the phone UI and the session owner on the main
// thread. Each record is flat, its code first.
#include <cstdint>
#include <string>
#include <vector>

#include "chat/chat_model.h"

namespace quorix_mvp03live {

// The peer history load and the message send.
struct Result {
  uint32_t code = 0;  // 0 success
  std::vector<ChatMessage> messages;
  bool delivered = false;  // always false from the local tasks
  bool expired = false;    // set only by the send task
};

}  // namespace quorix_mvp03live

namespace quorix_mvp03b2b {

// The friend and conversation list fetch.
struct FetchResult {
  uint32_t code = 0;  // 0 success
  std::string self_id;
  std::vector<ChatFriend> friends;
  std::vector<ChatConversation> conversations;
};

}  // namespace quorix_mvp03b2b

namespace quorix_mvp03read {

// The mark-as-read task.
struct Result {
  uint32_t code = 0;      // 0 done, 7 failed
  uint64_t reserved = 0;  // always 0
};

}  // namespace quorix_mvp03read
