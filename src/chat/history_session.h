#pragma once
// The signed-in account's local chat history for the whole process: whose
// history is open, under which session revision, the service connection its
// messages go through, the open store, the friends list and a change counter.
// Background tasks start from a snapshot, work on the store without the
// session lock and check before they report that their session is still the
// current one.
//
// Lock order: the inbox-poll mutex, then the session mutex, then a store's
// mutex. No service request is made while the session mutex is held.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "chat/chat_model.h"
#include "chat/chat_task_results.h"
#include "chat/history_store.h"
#include "chat/messages_channel.h"

// A copy of the session taken under its mutex; holds a store reference, so
// the store stays open while a task uses it.
struct HistorySnapshot {
  std::string user_id;
  uint64_t revision = 0;
  quorix_phone::MessagesChannel* connection = nullptr;
  std::shared_ptr<quorix_history::Store> store;
  std::vector<ChatFriend> friends;
};

class HistorySession {
 public:
  // Keeps the history on `user_id` under `revision`: the same session only
  // refreshes its friends (in memory when they are unchanged); another user
  // or revision, or a store that closed itself after a failed rollback,
  // opens a new store. False leaves the session as it was.
  // `connection` is stored, never owned.
  static bool Open(const std::string& user_id, uint64_t revision, quorix_phone::MessagesChannel* connection,
                   const std::vector<ChatFriend>& friends);
  // Closes the session (its store goes with the last snapshot).
  static void Reset(uint64_t revision);
  static HistorySnapshot Snapshot();
  // True when the session is still the one `snapshot` was taken of: same
  // revision, same user id, the very same store.
  static bool IsCurrent(const HistorySnapshot& snapshot);
  static uint64_t ChangeCounter();
  // Records one change a chat view must reload for.
  static void NoteChange();

  // The folder the stores live under: the history root, with "-test"
  // appended outside production mode.
  static std::filesystem::path StoreRoot();

 private:
  HistorySession() = default;
  static HistorySession& Instance();

  std::mutex mutex_;
  std::string user_id_;
  uint64_t revision_ = 0;
  quorix_phone::MessagesChannel* connection_ = nullptr;
  std::shared_ptr<quorix_history::Store> store_;
  std::vector<ChatFriend> friends_;
  std::atomic<uint64_t> change_counter_{0};
};

// The view record of a stored message; `flag` carries its expired mark.
ChatMessage ChatMessageFromHistory(const HistoryMessage& row);

// The newest 3000 messages with the peer, oldest first: 0, 1 without a
// session, 9 on a store failure or a session that changed meanwhile.
quorix_mvp03live::Result RunPeerHistoryTask(const std::string& peer_id);
// The stored friends and the friends' conversations, newest first: 0, 1
// without a session, 5 on a failure or a changed session.
quorix_mvp03b2b::FetchResult RunConversationListTask();
// Marks the peer's incoming messages read; counts a change only when some
// were unread.
bool RunMarkReadTask(const std::string& peer_id);

// Task bodies for std::async, each holding its own copies of its arguments.
std::function<quorix_mvp03b2b::FetchResult()> ConversationListJob();
std::function<quorix_mvp03live::Result()> PeerHistoryJob(std::string peer_id);
std::function<quorix_mvp03read::Result()> MarkReadJob(std::string peer_id);
