#pragma once
// Chat messages exchanged with the phone service: sending one message,
// acknowledging stored messages and polling the inbox page by page. Every
// exchange is a blocking request on the history session's connection, made
// from a pool thread that started from a history snapshot; the store keeps
// the outbox, the messages, the cursor and the acknowledgement journal, so
// the next poll continues from wherever a failure left off.
//
// The send task never retries. Every successful inbox poll re-sends the
// oldest pending outbox entry under the nonce it was first given.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chat/chat_task_results.h"
#include "chat/history_message.h"
#include "chat/history_session.h"
#include "chat/history_store.h"
#include "core/json.h"

struct AckRequest {
  std::string ack_token;
  std::vector<std::string> message_ids;
};

// Where the next inbox request starts; one for the process, under the
// inbox-poll mutex. `key` is user id, LF, revision, LF, connection id; a new
// key starts again at cursor "0".
struct InboxCursorState {
  std::string key;
  std::string stream_id;
  std::string cursor;
};

namespace quorix_notice {

// A notice for one new incoming message.
struct Entry {
  std::string peer_id;
  std::string message_id;
  std::string sender_id;
  std::string display_name;  // from the stored friends; empty for a non-friend
  std::string text;
  double created_at = 0.0;
};

// The result of one inbox poll.
struct Batch {
  bool succeeded = false;     // this run stored at least one inbox page
  uint64_t revision = 0;      // the session revision the poll was started with
  std::vector<Entry> entries;
  bool more_pending = false;  // poll again at once
  bool incomplete = false;    // a step failed; poll again later
};

}  // namespace quorix_notice

// The member's string copied; empty when missing or not a string.
std::string JsonStringOrEmpty(const JsonValue& object, const char* key);

// One chat exchange on the snapshot's connection. True for a 200 reply that
// parses, says "ok" true, came under the connection id it names (the ack
// reply names none) and while the snapshot's session is still current.
// `status` receives the HTTP status once a request was made.
bool MessagesRequest(const HistorySnapshot& snapshot, const std::string& method, const std::string& path,
                     const std::string& body, JsonValue* reply, uint32_t* status);

// Sends one outbox entry and commits the accepted message. False when it is
// not confirmed; `*rejected` is set when the service refused it for good
// (the entry is then marked failed and never sent again).
bool SendOutboxMessage(const HistorySnapshot& snapshot, const quorix_history::OutboxEntry& entry,
                       HistoryMessage* accepted, bool* rejected);

// Acknowledges stored messages and, once the service confirmed exactly
// those ids, drops their journal rows.
bool AcknowledgeMessages(const HistorySnapshot& snapshot, const AckRequest& request);

// 0 sent and stored, 1 no session, 5 refused for good, 7 not confirmed (the
// message stays in the outbox), 8 text refused, 9 outbox write failed.
quorix_mvp03live::Result RunSendMessageTask(const std::string& peer_id, const std::string& text);

// Fetches, stores and acknowledges at most 20 inbox pages, then sends the
// oldest pending outbox entry. Polls never overlap.
quorix_notice::Batch RunInboxPollTask(uint64_t revision);

// The send task body for std::async, holding its own copies.
std::function<quorix_mvp03live::Result()> SendMessageJob(std::string peer_id, std::string text);
