#include "chat/chat_model.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Thread order: timestamp ascending, then id bytewise (a proper prefix first).
bool MessageBefore(const ChatMessage& a, const ChatMessage& b) {
  if (a.timestamp != b.timestamp) return a.timestamp < b.timestamp;
  return a.id < b.id;
}

struct DemoMessage {
  const char* friend_id;
  const char* id;
  const char* sender;
  const char* receiver;
  const char* text;
  double timestamp;
  bool flag;
};

}  // namespace

ChatModel::ChatModel(Base, const std::string& self_id) {
  if (self_id.empty() || self_id.size() > kMaxIdBytes) throw std::invalid_argument("invalid_self_id");
  self_id_ = self_id;
}

ChatModel::ChatModel() : ChatModel(Base{}, "demo_self") {
  friends_ = {
      {"demo_alice", "Alice (demo)"},
      {"demo_bob", "Bob (demo)"},
      {"demo_clara", "Clara (demo)"},
  };
  if (!SetFriends(friends_)) throw std::logic_error("fixture_friends_invalid");

  static const DemoMessage kDemo[] = {
      {"demo_alice", "a1", "demo_alice", "demo_self", "こんにちは！", 1000.0, false},
      {"demo_alice", "a2", "demo_self", "demo_alice", "こんにちは、元気？", 1010.0, true},
      {"demo_alice", "a3", "demo_alice", "demo_self", "またVRで会おう", 1020.0, false},
      {"demo_bob", "b1", "demo_bob", "demo_self", "今夜の予定は？", 1030.0, false},
      {"demo_bob", "b2", "demo_self", "demo_bob", "まだ未定です", 1040.0, true},
  };
  std::vector<ChatMessage> alice;
  std::vector<ChatMessage> bob;
  for (const DemoMessage& d : kDemo) {
    ChatMessage m{d.id, d.sender, d.receiver, d.text, d.timestamp, d.flag};
    (std::string(d.friend_id) == "demo_alice" ? alice : bob).push_back(std::move(m));
  }
  if (!AddMessages("demo_alice", alice) || !AddMessages("demo_bob", bob) || !SetUnread("demo_alice", 2) ||
      !SetUnread("demo_bob", 1)) {
    throw std::logic_error("fixture_history_invalid");
  }
}

void ChatModel::Reset() { *this = ChatModel(); }

bool ChatModel::SetFriends(const std::vector<ChatFriend>& friends) {
  if (friends.size() > kMaxFriends) return false;
  std::map<std::string, ChatThread> next;
  for (const ChatFriend& f : friends) {
    if (f.user_id.empty() || f.user_id.size() > kMaxIdBytes || f.user_id == self_id_ ||
        f.display_name.size() > kMaxDisplayNameBytes || next.count(f.user_id) != 0) {
      return false;
    }
    ChatThread thread;
    auto old = threads_.find(f.user_id);
    if (old != threads_.end()) {
      thread.messages = old->second.messages;
      thread.unread = old->second.unread;
    }
    thread.friend_ = f;
    next.emplace(f.user_id, std::move(thread));
  }
  threads_ = std::move(next);
  return true;
}

bool ChatModel::AddMessages(const std::string& friend_id, const std::vector<ChatMessage>& messages) {
  auto it = threads_.find(friend_id);
  if (it == threads_.end() || messages.size() > kMaxThreadMessages) return false;
  for (const ChatMessage& m : messages) {
    if (m.id.empty() || m.id.size() > kMaxIdBytes || m.sender.empty() || m.receiver.empty() || m.text.empty() ||
        m.text.size() > kMaxTextBytes || !std::isfinite(m.timestamp) || m.timestamp < 0.0) {
      return false;
    }
    bool mine = m.sender == self_id_ && m.receiver == friend_id;
    bool theirs = m.sender == friend_id && m.receiver == self_id_;
    if (!mine && !theirs) return false;
  }
  std::vector<ChatMessage>& list = it->second.messages;
  for (const ChatMessage& m : messages) {
    auto same = std::find_if(list.begin(), list.end(), [&](const ChatMessage& x) { return x.id == m.id; });
    if (same != list.end()) {
      if (same->sender == m.sender && same->receiver == m.receiver) same->flag = same->flag || m.flag;
      continue;
    }
    // Ids are unique in a thread, so the sorted place is well defined.
    list.insert(std::upper_bound(list.begin(), list.end(), m, MessageBefore), m);
    if (list.size() > kMaxThreadMessages) list.erase(list.begin(), list.end() - kMaxThreadMessages);
  }
  return true;
}

bool ChatModel::SetUnread(const std::string& friend_id, uint64_t count) {
  auto it = threads_.find(friend_id);
  if (it == threads_.end() || count > kMaxUnread) return false;
  it->second.unread = count;
  return true;
}

bool ChatModel::MarkThreadRead(const std::string& friend_id) {
  auto it = threads_.find(friend_id);
  if (it == threads_.end()) return false;
  it->second.unread = 0;
  for (ChatMessage& m : it->second.messages) {
    if (m.receiver == self_id_) m.flag = true;
  }
  return true;
}

const ChatThread* ChatModel::FindThread(const std::string& friend_id) const {
  auto it = threads_.find(friend_id);
  return it == threads_.end() ? nullptr : &it->second;
}

std::vector<std::string> ChatModel::FriendIds() const {
  if (snapshot_loaded_) return conversation_order_;
  std::vector<std::pair<double, std::string>> order;
  order.reserve(threads_.size());
  for (const auto& [id, thread] : threads_) {
    order.emplace_back(thread.messages.empty() ? 0.0 : thread.messages.back().timestamp, id);
  }
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return a.second < b.second;
  });
  std::vector<std::string> ids;
  ids.reserve(order.size());
  for (auto& entry : order) ids.push_back(std::move(entry.second));
  return ids;
}

std::string ChatModel::LastMessageText(const std::string& friend_id) const {
  auto it = last_messages_.find(friend_id);
  return it == last_messages_.end() ? std::string() : it->second;
}

bool ChatModel::OpenThread(const std::string& friend_id) {
  if (threads_.count(friend_id) == 0) return false;
  if (mode_ != 2) previous_mode_ = mode_;
  mode_ = 2;
  selected_id_ = friend_id;
  return true;
}

bool ChatModel::CloseThread() {
  if (mode_ != 2) return false;
  mode_ = previous_mode_;
  selected_id_.clear();
  return true;
}

bool ChatModel::SelectLeftTab() {
  if (mode_ == 0) return false;
  mode_ = 0;
  selected_id_.clear();
  return true;
}

bool ChatModel::SelectRightTab() {
  if (mode_ == 1) return false;
  mode_ = 1;
  selected_id_.clear();
  return true;
}

bool ChatModel::LoadSnapshot(const ChatSnapshot& snapshot) {
  if (snapshot.self_id.empty() || snapshot.self_id.size() > kMaxIdBytes) return false;
  ChatModel next(Base{}, snapshot.self_id);
  if (!next.SetFriends(snapshot.friends)) return false;
  std::map<std::string, std::string> last_messages;
  std::vector<std::string> order;
  order.reserve(snapshot.conversations.size());
  for (const ChatConversation& c : snapshot.conversations) {
    if (!next.SetUnread(c.peer_id, c.unread) || last_messages.count(c.peer_id) != 0) return false;
    last_messages.emplace(c.peer_id, c.last_message);
    order.push_back(c.peer_id);
  }
  next.friends_ = snapshot.friends;
  next.last_messages_ = std::move(last_messages);
  next.conversation_order_ = std::move(order);
  next.snapshot_loaded_ = true;
  *this = std::move(next);
  return true;
}
