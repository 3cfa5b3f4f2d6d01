#include "chat/chat_tasks.h"

#include "chat/secure_wipe.h"

namespace quorix_chat {
namespace {

// The task bodies while the local history is not available to the phone:
// every task reports that no history session is open, never success.
quorix_mvp03b2b::FetchResult RunListBody() {
  quorix_mvp03b2b::FetchResult result;
  result.code = kNoHistorySession;
  return result;
}

quorix_mvp03live::Result RunHistoryBody(const std::string&) {
  quorix_mvp03live::Result result;
  result.code = kNoHistorySession;
  return result;
}

quorix_mvp03live::Result RunSendBody(const std::string&, std::string bytes) {
  SecureWipeString(&bytes);
  quorix_mvp03live::Result result;
  result.code = kNoHistorySession;
  return result;
}

quorix_mvp03read::Result RunMarkReadBody(const std::string&) {
  quorix_mvp03read::Result result;
  result.code = kMarkReadFailed;
  return result;
}

}  // namespace

ChatTaskLauncher DefaultChatTaskLauncher() {
  ChatTaskLauncher launcher;
  launcher.list = [] { return std::async(std::launch::async, RunListBody); };
  launcher.history = [](const std::string& peer) { return std::async(std::launch::async, RunHistoryBody, peer); };
  launcher.send = [](const std::string& peer, const std::string& bytes) {
    return std::async(std::launch::async, RunSendBody, peer, bytes);
  };
  launcher.mark_read = [](const std::string& peer) { return std::async(std::launch::async, RunMarkReadBody, peer); };
  return launcher;
}

}  // namespace quorix_chat
