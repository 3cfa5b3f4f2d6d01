#include "chat/history_session.h"

#include <new>
#include <utility>

#include "chat/history_store_hook_state.h"
#include "core/environment.h"
#include "core/service_origin.h"

namespace {

bool SameFriends(const std::vector<ChatFriend>& a, const std::vector<ChatFriend>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].user_id != b[i].user_id || a[i].display_name != b[i].display_name) return false;
  }
  return true;
}

}  // namespace

ChatMessage ChatMessageFromHistory(const HistoryMessage& row) {
  ChatMessage message;
  message.id = row.message_id;
  message.sender = row.sender_id;
  message.receiver = row.receiver_id;
  message.text = row.message;
  message.timestamp = row.created_at;
  message.flag = row.expired;
  return message;
}

HistorySession& HistorySession::Instance() {
  static HistorySession session;
  return session;
}

std::filesystem::path HistorySession::StoreRoot() {
  std::filesystem::path root = quorix_history::HistoryRootDirectory();
  if (root.empty() || IsLiveProductionMode()) return root;
  std::filesystem::path last = root.filename();
  last += "-test";
  return root.parent_path() / last;
}

bool HistorySession::Open(const std::string& user_id, uint64_t revision, quorix_phone::MessagesChannel* connection,
                          const std::vector<ChatFriend>& friends) {
  HistorySession& s = Instance();
  std::lock_guard lock(s.mutex_);
  // A store whose connection was closed under it (a rollback that did not
  // take) is not the session's any more: it is opened anew below, and while
  // that fails the session keeps it and answers false.
  if (s.store_ && s.store_->IsOpen() && s.user_id_ == user_id && s.revision_ == revision) {
    // The owner calls this on every main-loop pass: unchanged friends are
    // settled in memory without touching the database.
    if (SameFriends(friends, s.friends_)) return true;
    if (!s.store_->ReplaceFriends(friends)) return false;
    s.friends_ = friends;
    ++s.change_counter_;
    return true;
  }
  auto store = std::make_shared<quorix_history::Store>();
  if (!store->Open(StoreRoot(), quorix_service::kServiceBaseUrl, user_id)) return false;
  if (!store->ReplaceFriends(friends)) return false;
  std::vector<ChatFriend> copy = friends;
  s.user_id_ = user_id;
  s.revision_ = revision;
  s.connection_ = connection;
  s.store_ = std::move(store);
  s.friends_ = std::move(copy);
  ++s.change_counter_;
  return true;
}

void HistorySession::Reset(uint64_t revision) {
  HistorySession& s = Instance();
  std::lock_guard lock(s.mutex_);
  s.user_id_.clear();
  s.connection_ = nullptr;
  s.store_.reset();
  s.friends_.clear();
  s.revision_ = revision;
  ++s.change_counter_;
}

HistorySnapshot HistorySession::Snapshot() {
  HistorySession& s = Instance();
  std::lock_guard lock(s.mutex_);
  return HistorySnapshot{s.user_id_, s.revision_, s.connection_, s.store_, s.friends_};
}

bool HistorySession::IsCurrent(const HistorySnapshot& snapshot) {
  HistorySession& s = Instance();
  std::lock_guard lock(s.mutex_);
  return s.revision_ == snapshot.revision && s.user_id_ == snapshot.user_id && s.store_ == snapshot.store;
}

uint64_t HistorySession::ChangeCounter() { return Instance().change_counter_.load(); }

void HistorySession::NoteChange() { ++Instance().change_counter_; }

quorix_mvp03live::Result RunPeerHistoryTask(const std::string& peer_id) {
  quorix_mvp03live::Result result;
  result.code = 9;
  try {
    HistorySnapshot snapshot = HistorySession::Snapshot();
    if (!snapshot.store) {
      result.code = 1;
      return result;
    }
    std::vector<HistoryMessage> rows;
    if (!snapshot.store->ReadPeerHistory(peer_id, &rows, 3000)) return result;
    quorix_history::test_hooks::detail::CrashPoint("peer_history", rows.size());
    if (!HistorySession::IsCurrent(snapshot)) return result;
    result.messages.reserve(rows.size());
    for (const HistoryMessage& row : rows) result.messages.push_back(ChatMessageFromHistory(row));
    result.code = 0;
  } catch (const std::bad_alloc&) {
    result.messages.clear();
    result.code = 9;
  }
  return result;
}

quorix_mvp03b2b::FetchResult RunConversationListTask() {
  quorix_mvp03b2b::FetchResult result;
  result.code = 5;
  try {
    HistorySnapshot snapshot = HistorySession::Snapshot();
    if (!snapshot.store) {
      result.code = 1;
      return result;
    }
    std::vector<ChatFriend> friends;
    std::vector<quorix_history::ConversationRow> rows;
    if (!snapshot.store->ReadFriends(&friends) || !snapshot.store->ListConversations(&rows)) return result;
    quorix_history::test_hooks::detail::CrashPoint("conversation_list", rows.size());
    if (!HistorySession::IsCurrent(snapshot)) return result;
    result.self_id = snapshot.user_id;
    for (const quorix_history::ConversationRow& row : rows) {
      for (const ChatFriend& f : friends) {
        if (f.user_id != row.peer_id) continue;
        result.conversations.push_back(
            ChatConversation{row.peer_id, row.text, static_cast<uint64_t>(row.unread < 0 ? 0 : row.unread)});
        break;
      }
    }
    result.friends = std::move(friends);
    result.code = 0;
  } catch (const std::bad_alloc&) {
    result = quorix_mvp03b2b::FetchResult{};
    result.code = 5;
  }
  return result;
}

bool RunMarkReadTask(const std::string& peer_id) {
  try {
    HistorySnapshot snapshot = HistorySession::Snapshot();
    if (!snapshot.store) return false;
    std::vector<quorix_history::ConversationRow> rows;
    if (!snapshot.store->ListConversations(&rows) || !HistorySession::IsCurrent(snapshot)) return false;
    bool had_unread = false;
    for (const quorix_history::ConversationRow& row : rows) {
      if (row.peer_id == peer_id && row.unread != 0) had_unread = true;
    }
    if (!snapshot.store->MarkPeerRead(peer_id)) return false;
    quorix_history::test_hooks::detail::CrashPoint("mark_read", had_unread ? 1 : 0);
    if (!HistorySession::IsCurrent(snapshot)) return false;
    if (had_unread) HistorySession::NoteChange();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::function<quorix_mvp03b2b::FetchResult()> ConversationListJob() {
  return [] { return RunConversationListTask(); };
}

std::function<quorix_mvp03live::Result()> PeerHistoryJob(std::string peer_id) {
  return [peer = std::move(peer_id)] { return RunPeerHistoryTask(peer); };
}

std::function<quorix_mvp03read::Result()> MarkReadJob(std::string peer_id) {
  return [peer = std::move(peer_id)] {
    return quorix_mvp03read::Result{RunMarkReadTask(peer) ? 0u : 7u, 0};
  };
}
