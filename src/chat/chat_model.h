#pragma once
// The chat app's in-memory state: the signed-in user, the friend list, one
// thread per friend, the conversation order and the view mode. Used on the
// main thread only; never persisted. Texts are UTF-8 bytes and every limit
// counts bytes.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ChatMessage {
  std::string id;
  std::string sender;
  std::string receiver;
  std::string text;
  double timestamp = 0.0;
  // Read mark set by MarkThreadRead, or the stored message's expired mark in
  // the vectors the history session builds for the conversation page.
  bool flag = false;
};

struct ChatFriend {
  std::string user_id;
  std::string display_name;
};

struct ChatConversation {
  std::string peer_id;
  std::string last_message;
  uint64_t unread = 0;
};

struct ChatSnapshot {
  std::string self_id;
  std::vector<ChatFriend> friends;
  std::vector<ChatConversation> conversations;
};

struct ChatThread {
  ChatFriend friend_;
  // Sorted by (timestamp, id); at most kMaxThreadMessages.
  std::vector<ChatMessage> messages;
  uint64_t unread = 0;
};

class ChatModel {
 public:
  static constexpr size_t kMaxIdBytes = 256;
  static constexpr size_t kMaxDisplayNameBytes = 4096;
  static constexpr size_t kMaxTextBytes = 1048576;
  static constexpr size_t kMaxFriends = 100000;
  static constexpr size_t kMaxThreadMessages = 3000;
  static constexpr uint64_t kMaxUnread = 1000000;

  // The demo account. Throws std::logic_error("fixture_friends_invalid" or
  // "fixture_history_invalid") if the demo data fails the model's checks.
  ChatModel();

  void Reset();
  bool LoadSnapshot(const ChatSnapshot& snapshot);
  bool SetFriends(const std::vector<ChatFriend>& friends);
  bool AddMessages(const std::string& friend_id, const std::vector<ChatMessage>& messages);
  bool SetUnread(const std::string& friend_id, uint64_t count);
  bool MarkThreadRead(const std::string& friend_id);
  const ChatThread* FindThread(const std::string& friend_id) const;
  std::vector<std::string> FriendIds() const;
  std::string LastMessageText(const std::string& friend_id) const;
  bool OpenThread(const std::string& friend_id);
  bool CloseThread();
  bool SelectLeftTab();
  bool SelectRightTab();

  const std::string& self_id() const { return self_id_; }
  const std::vector<ChatFriend>& friends() const { return friends_; }
  const std::string& selected_id() const { return selected_id_; }
  uint32_t mode() const { return mode_; }
  uint32_t previous_mode() const { return previous_mode_; }
  bool snapshot_loaded() const { return snapshot_loaded_; }
  // While a snapshot is loaded, what FriendIds returns, without the copy.
  const std::vector<std::string>& conversation_order() const { return conversation_order_; }

 private:
  struct Base {};
  // An empty model for `self_id`; throws std::invalid_argument("invalid_self_id").
  ChatModel(Base, const std::string& self_id);

  std::string self_id_;
  std::map<std::string, ChatThread> threads_;
  std::vector<ChatFriend> friends_;
  std::string selected_id_;
  uint32_t mode_ = 0;
  uint32_t previous_mode_ = 0;
  bool snapshot_loaded_ = false;
  std::map<std::string, std::string> last_messages_;
  std::vector<std::string> conversation_order_;
};
