#pragma once
// How the phone UI starts its background chat tasks: one wrapper per task
// kind, each starting the task body on another thread on copies of its
// arguments and handing back the future the per-frame update polls. Tests
// replace the wrappers; a wrapper that cannot start its task throws.
#include <functional>
#include <future>
#include <string>

#include "chat/chat_task_results.h"

namespace quorix_chat {

struct ChatTaskLauncher {
  std::function<std::future<quorix_mvp03b2b::FetchResult>()> list;
  std::function<std::future<quorix_mvp03live::Result>(const std::string& peer)> history;
  // `bytes` is the message in UTF-8; the wrapper keeps its own copy.
  std::function<std::future<quorix_mvp03live::Result>(const std::string& peer, const std::string& bytes)> send;
  std::function<std::future<quorix_mvp03read::Result>(const std::string& peer)> mark_read;
};

// Wrappers that start the history session's task bodies with std::async.
ChatTaskLauncher DefaultChatTaskLauncher();

}  // namespace quorix_chat
