#include "chat/chat_tasks.h"

#include "chat/history_session.h"
#include "chat/message_sync.h"

namespace quorix_chat {

ChatTaskLauncher DefaultChatTaskLauncher() {
  ChatTaskLauncher launcher;
  launcher.list = [] { return std::async(std::launch::async, ConversationListJob()); };
  launcher.history = [](const std::string& peer) { return std::async(std::launch::async, PeerHistoryJob(peer)); };
  launcher.send = [](const std::string& peer, const std::string& bytes) {
    return std::async(std::launch::async, SendMessageJob(peer, bytes));
  };
  launcher.mark_read = [](const std::string& peer) { return std::async(std::launch::async, MarkReadJob(peer)); };
  return launcher;
}

}  // namespace quorix_chat
