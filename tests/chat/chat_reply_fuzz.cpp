// Fuzz entry point of what the chat does with the service's replies: the send
// task, an acknowledgement and the inbox poll (pages, cursor, the outbox
// flush) against a real history store on tmpfs, and the avatar versions
// reply of a batch.
//
// Input: byte 0 chooses the operation (0 send, 1 inbox poll, 2 inbox poll
// with a pending outbox entry, 3 acknowledgement, 4 avatar versions). For
// 0-3 the rest is the replies the connection hands out in turn: a status byte
// (index into a small table), a connection byte (bit 0: the exchange went out
// under another connection id than the replies name), a two-byte length and
// the body; once they run out every exchange fails. For 4, byte 1 is how many
// of a fixed list of ids were asked for and the rest is the reply body. The
// verdict is "accepted" when the operation succeeded.
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "chat/avatar_cache.h"
#include "chat/history_message.h"
#include "chat/history_session.h"
#include "chat/history_store.h"
#include "chat/history_store_test_hooks.h"
#include "chat/message_sync.h"
#include "core/json.h"
#include "platform/test_hooks.h"
#include "store_rows.h"
#include "support/fuzz/fuzz_input.h"
#include "support/fuzz/fuzz_verdict.h"
#include "support/fuzz/run_folder.h"

namespace {

namespace fs = std::filesystem;

// The connection id every reply of the seeds names.
constexpr char kConnection[] = "0123456789abcdef0123456789abcdef";
constexpr char kOtherConnection[] = "ffffffffffffffffffffffffffffffff";
constexpr char kNonce[] = "fuzz0000000000000000000000000001";
constexpr uint32_t kStatuses[] = {200, 400, 403, 422, 500, 401, 0};
constexpr size_t kMaxExchanges = 64;
const char* const kAvatarIds[] = {"p1", "p2", "carol", "d.4", "e_5", "f-6", "G7", "h8"};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "chat reply fuzz: %s\n", what);
  std::abort();
}

// "/phone/v1/messages/inbox?after=<cursor>&limit=100", the cursor a
// canonical decimal: a cursor the service gave must not reach the path
// unchecked.
bool IsInboxPath(const std::string& path) {
  static constexpr std::string_view kHead = "/phone/v1/messages/inbox?after=";
  static constexpr std::string_view kTail = "&limit=100";
  if (path.size() < kHead.size() + kTail.size() + 1 || path.compare(0, kHead.size(), kHead) != 0 ||
      path.compare(path.size() - kTail.size(), kTail.size(), kTail) != 0) {
    return false;
  }
  return IsCanonicalDecimal(path.substr(kHead.size(), path.size() - kHead.size() - kTail.size()));
}

struct Reply {
  uint32_t status = 0;
  bool other_connection = false;
  std::string body;
};

// The service connection, answering from the input; every request the
// program makes must be one of the three chat requests with a JSON body.
class ScriptedChannel final : public quorix_phone::MessagesChannel {
 public:
  bool ExecuteMessagesRequest(const std::string& method, const std::string& path, const std::string& body,
                              uint32_t* status, std::string* reply, std::string* connection_id) override {
    const bool post = method == "POST" && (path == "/phone/v1/messages/send" || path == "/phone/v1/messages/ack");
    const bool get = method == "GET" && path.rfind("/phone/v1/messages/inbox?after=", 0) == 0;
    if (!post && !get) Fail("a request the chat does not make");
    JsonValue parsed;
    if (post && (!ParseJson(body, parsed) || parsed.type != JsonType::Object)) Fail("a request body that is not JSON");
    if (get && (!body.empty() || !IsInboxPath(path))) Fail("an inbox request off its form");
    if (++exchanges > kMaxExchanges) Fail("too many exchanges for one operation");
    if (replies.empty()) return false;
    Reply next = std::move(replies.front());
    replies.pop_front();
    *status = next.status;
    *reply = std::move(next.body);
    *connection_id = next.other_connection ? kOtherConnection : kConnection;
    return true;
  }

  std::string GetConnectionId() override { return connection_id; }

  std::deque<Reply> replies;
  std::string connection_id;
  size_t exchanges = 0;
};

std::vector<std::string> Rows(quorix_history::Store& store, const char* sql) {
  std::vector<std::string> rows;
  if (!ReadStoreRows(store, sql, &rows)) Fail("query");
  return rows;
}

// One signed-in history for the whole run, emptied before every input.
struct World {
  fs::path folder;
  ScriptedChannel channel;
  uint64_t revision = 7;
  uint64_t inputs = 0;
  sqlite3_int64 changes_after_empty = -1;

  World() {
    folder = quorix_fuzz::MakeRunFolder("/dev/shm", "quorix_chat_reply_fuzz");
    if (folder.empty()) Fail("mkdtemp");
    std::atexit([] {
      std::error_code error;
      fs::remove_all(Get().folder, error);
    });
    ::setenv("LOCALAPPDATA", (folder / "local").c_str(), 1);
    platform::testing::SetDataProtectionKeyFolder(folder / "keys");
    quorix_history::test_hooks::SetNonceGenerator([] { return std::optional<std::string>(kNonce); });
    if (!HistorySession::Open("u1", revision, &channel, {{"p1", "Peer One"}, {"p2", "Peer Two"}})) Fail("open");
    // Durability is not under test here, and tmpfs keeps nothing anyway.
    if (sqlite3_exec(quorix_history::StoreTestAccess::Connection(Store()), "PRAGMA synchronous=OFF", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
      Fail("synchronous");
    }
  }

  static World& Get() {
    static World* world = new World;
    return *world;
  }

  quorix_history::Store& Store() {
    const HistorySnapshot snapshot = HistorySession::Snapshot();
    if (!snapshot.store) Fail("no store");
    return *snapshot.store;
  }

  bool Changed() {
    return sqlite3_total_changes64(quorix_history::StoreTestAccess::Connection(Store())) != changes_after_empty;
  }

  // Deletes what the last input stored (nothing to do when it stored nothing).
  void Empty() {
    sqlite3* db = quorix_history::StoreTestAccess::Connection(Store());
    char* error = nullptr;
    if (Changed() && sqlite3_exec(db,
                                  "DELETE FROM messages; DELETE FROM conversations; DELETE FROM outbox; "
                                  "DELETE FROM acknowledgements; DELETE FROM metadata WHERE key<>'identity';",
                                  nullptr, nullptr, &error) != SQLITE_OK) {
      sqlite3_free(error);
      Fail("empty the store");
    }
    changes_after_empty = sqlite3_total_changes64(db);
    channel.replies.clear();
    channel.exchanges = 0;
    // A new connection id each input starts the inbox cursor again at "0".
    channel.connection_id = std::to_string(++inputs);
  }
};

// The store after any operation: readable messages, no unread count below 0.
void CheckStore(quorix_history::Store& store) {
  if (!Rows(store, "SELECT 1 FROM conversations WHERE unread<0").empty()) Fail("unread below 0");
  for (const std::string& id : Rows(store, "SELECT id FROM messages")) {
    HistoryMessage message;
    if (!store.GetMessage(id, &message) || message.message_id != id) Fail("a stored message does not read back");
    if (message.sender_id != "u1" && message.receiver_id != "u1") Fail("a stored message of other users");
  }
}

void RunSend(World& world) {
  const quorix_mvp03live::Result result = RunSendMessageTask("p1", "hello");
  static const std::set<uint32_t> codes = {0, 5, 7};
  if (codes.count(result.code) == 0) Fail("send result code outside its table");
  if ((result.code == 0) != (result.messages.size() == 1)) Fail("send result without its message");
  if (result.code == 0) {
    HistoryMessage stored;
    const std::string& id = result.messages[0].id;
    if (!world.Store().GetMessage(id, &stored) || stored.message != "hello" || stored.receiver_id != "p1" ||
        stored.sender_id != "u1" || stored.client_message_id != kNonce) {
      Fail("a confirmed send is not the message sent");
    }
  }
  std::vector<quorix_history::OutboxEntry> pending;
  if (!world.Store().ListPendingOutbox(&pending)) Fail("outbox read");
  if (result.code == 0 && !pending.empty()) Fail("a confirmed send stayed in the outbox");
  if (result.code == 7 && pending.size() != 1) Fail("an unconfirmed send left the outbox");
  ReportFuzzVerdict(result.code == 0);
}

void RunPoll(World& world, bool with_outbox) {
  if (with_outbox) {
    std::string nonce = kNonce;
    if (!world.Store().AddOutbox("p2", "pending text", &nonce)) Fail("outbox seed");
  }
  const quorix_notice::Batch batch = RunInboxPollTask(world.revision);
  if (batch.revision != world.revision) Fail("batch of another revision");
  if (batch.entries.size() > 2000) Fail("more notices than twenty pages hold");
  std::set<std::string> seen;
  for (const quorix_notice::Entry& entry : batch.entries) {
    if (entry.sender_id == "u1" || entry.peer_id != entry.sender_id) Fail("a notice for an own message");
    if (!seen.insert(entry.message_id).second) Fail("a message noticed twice");
    HistoryMessage stored;
    if (!world.Store().GetMessage(entry.message_id, &stored) || stored.message != entry.text) {
      Fail("a notice for a message not stored");
    }
    const char* name = entry.sender_id == "p1" ? "Peer One" : entry.sender_id == "p2" ? "Peer Two" : "";
    if (entry.display_name != name) Fail("a notice under another name");
  }
  if (!batch.succeeded && !batch.entries.empty()) Fail("notices from a poll that stored nothing");
  std::vector<quorix_history::OutboxEntry> pending;
  if (!world.Store().ListPendingOutbox(&pending)) Fail("outbox read");
  if (pending.size() > (with_outbox ? 1u : 0u)) Fail("a poll added to the outbox");
  ReportFuzzVerdict(batch.succeeded && !batch.incomplete);
}

void RunAck(World& world) {
  // A stored message whose acknowledgement is still owed.
  JsonValue record;
  HistoryMessage m;
  bool inserted = false;
  if (!ParseJson(R"({"message_id":"m1","sender_id":"p1","receiver_id":"u1","message":"text","created_at":1000,)"
                 R"("sequence":"1"})",
                 record) ||
      !HistoryMessageFromJson(record, "u1", &m) ||
      !quorix_history::StoreTestAccess::InsertMessage(world.Store(), m, "token-1", &inserted)) {
    Fail("ack seed");
  }
  const bool acknowledged =
      AcknowledgeMessages(HistorySession::Snapshot(), AckRequest{"token-1", {"m1", "m2"}});
  const std::vector<std::string> journal = Rows(world.Store(), "SELECT id FROM acknowledgements");
  if (acknowledged && !journal.empty()) Fail("a confirmed acknowledgement kept its journal row");
  if (!acknowledged && journal.size() != 1) Fail("a refused acknowledgement dropped its journal row");
  ReportFuzzVerdict(acknowledged);
}

void RunAvatarVersions(FuzzInput& input) {
  const size_t count = input.Byte() % (std::size(kAvatarIds) + 1);
  const std::vector<std::string> ids(kAvatarIds, kAvatarIds + count);
  const std::string body = input.Rest();
  std::map<std::string, std::string> versions;
  const bool read = quorix_avatar::ReadAvatarVersions(body, ids, &versions);
  if (read) {
    if (versions.size() != ids.size()) Fail("versions of another set of ids");
    for (const std::string& id : ids) {
      const auto it = versions.find(id);
      if (it == versions.end()) Fail("an id without its version");
      if (!it->second.empty() && !quorix_avatar::IsAvatarVersion(it->second)) Fail("a malformed version taken");
    }
  }
  ReportFuzzVerdict(read);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzInput input(data, size);
  const uint8_t selector = input.Byte() % 5;
  if (selector == 4) {
    RunAvatarVersions(input);
    return 0;
  }
  World& world = World::Get();
  world.Empty();
  while (!input.AtEnd()) {
    Reply reply;
    reply.status = kStatuses[input.Byte() % std::size(kStatuses)];
    reply.other_connection = (input.Byte() & 1) != 0;
    reply.body = input.Text();
    world.channel.replies.push_back(std::move(reply));
  }
  switch (selector) {
    case 0: RunSend(world); break;
    case 1: RunPoll(world, false); break;
    case 2: RunPoll(world, true); break;
    default: RunAck(world); break;
  }
  if (world.Changed()) CheckStore(world.Store());
  return 0;
}
