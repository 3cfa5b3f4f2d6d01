#include "chat/history_export.h"

#include "chat/history_store.h"
#include "chat/history_store_hook_state.h"
#include "chat/history_store_sql.h"
#include "chat/secure_wipe.h"
#include "core/json.h"
#include "platform/stream_files.h"

namespace quorix_history {
namespace {

constexpr size_t kMaxHeaderLine = 16384;
constexpr size_t kMaxMessageLine = 65536;

std::string HeaderLine(const std::string& user_id, const std::string& origin) {
  return "{\"format\":\"QuorixHistory\",\"version\":1,\"user_id\":" + QuoteHistoryJsonString(user_id) +
         ",\"origin\":" + QuoteHistoryJsonString(origin) + "}\n";
}

bool IsString(const JsonValue* value, const std::string& expected) {
  return value != nullptr && value->type == JsonType::String && value->text == expected;
}

}  // namespace

bool Sha256Stream::Add(std::string_view bytes) {
  hasher_.Update(bytes.data(), bytes.size());
  return hasher_.ok();
}

std::string Sha256Stream::FinishHex() {
  if (test_hooks::detail::Sha256Fails() || test_hooks::detail::TakeFileDigestFailure()) return {};
  const auto digest = hasher_.Finish();
  return digest ? platform::ToHex(digest->data(), digest->size()) : std::string();
}

bool Store::ExportHistory(const std::filesystem::path& path) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr || path.empty()) return Fail("export_invalid");
  // Exports of this target that were killed left their plain text beside it.
  platform::DurableStreamWriter::RemoveAbandonedTemporaries(path);
  const std::filesystem::path temp = platform::DurableStreamWriter::TemporaryPathFor(path);
  platform::DurableStreamWriter file;
  if (!file.Open(temp)) return Fail("export_open_failed");

  Sha256Stream digest;
  const std::string header = HeaderLine(user_id_, origin_);
  bool ok = digest.Add(header) && file.Write(header);
  uint64_t count = 0;
  if (ok) {
    Statement rows;
    ok = rows.Prepare(db_, "SELECT payload,isread FROM messages ORDER BY created,id");
    int rc = SQLITE_ROW;
    while (ok && (rc = rows.Step()) == SQLITE_ROW) {
      std::string plain;
      JsonValue value;
      HistoryMessage message;
      ok = Unprotect(rows.ColumnBlob(0), rows.ColumnBytes(0), &plain) && ParseJson(plain, value);
      SecureWipeString(&plain);
      ok = ok && HistoryMessageFromJson(value, user_id_, &message);
      SecureWipeString(&value.text);
      if (!ok) break;
      message.is_read = rows.ColumnInt64(1) != 0;
      std::string line = HistoryMessageToJson(message);
      SecureWipeString(&message.message);
      line += '\n';
      ok = digest.Add(line) && file.Write(line);
      SecureWipeString(&line);
      if (ok) test_hooks::detail::CrashPoint("export", ++count);
    }
    ok = ok && rc == SQLITE_DONE;
  }
  const std::string hex = digest.FinishHex();
  ok = ok && !hex.empty() &&
       file.Write("{\"end\":true,\"message_count\":" + std::to_string(count) + ",\"sha256\":" +
                  QuoteHistoryJsonString(hex) + "}\n");
  if (!ok) {
    file.Abandon();
    return Fail("export_write_failed");
  }
  return file.Commit(path) || Fail("export_write_failed");
}

bool Store::ImportHistory(const std::filesystem::path& path) {
  platform::MutexLock lock(mutex_);
  if (db_ == nullptr) return Fail("not_open");
  platform::LineFileReader file;
  if (!file.Open(path)) return Fail("import_open_failed");
  std::string line;
  WipeStringOnExit wipe_line(line);
  if (file.ReadLine(kMaxHeaderLine, &line) != platform::LineFileReader::Result::kLine) {
    return Fail("import_header_invalid");
  }
  {
    JsonValue header;
    if (!ParseJson(line, header) || !IsString(header.Find("format"), "QuorixHistory") ||
        !IsString(header.Find("user_id"), user_id_) || !IsString(header.Find("origin"), origin_)) {
      return Fail("import_account_mismatch");
    }
    const JsonValue* version = header.Find("version");
    if (version == nullptr || version->type != JsonType::Number || version->number != 1.0) {
      return Fail("import_version_invalid");
    }
  }
  Sha256Stream digest;
  bool ok = digest.Add(line) && digest.Add("\n");
  Transaction transaction(this);
  if (!transaction.Begin()) return Fail("transaction_busy");

  InsertStatements inserts;
  Statement read_flag;
  Statement mark_read;
  Statement lower_unread;
  uint64_t count = 0;
  bool trailer = false;
  while (ok && !trailer) {
    ok = file.ReadLine(kMaxMessageLine, &line) == platform::LineFileReader::Result::kLine;
    JsonValue value;
    ok = ok && ParseJson(line, value);
    if (!ok) break;
    const JsonValue* end = value.Find("end");
    if (end != nullptr && end->type == JsonType::Bool && end->bool_value) {
      const JsonValue* stated = value.Find("message_count");
      // An empty digest means hashing failed: it matches no trailer, not
      // even one that states an empty digest.
      const std::string hex = digest.FinishHex();
      ok = stated != nullptr && stated->type == JsonType::Number && stated->number == static_cast<double>(count) &&
           !hex.empty() && IsString(value.Find("sha256"), hex) &&
           file.ReadLine(kMaxMessageLine, &line) == platform::LineFileReader::Result::kEnd;
      trailer = true;
      break;
    }
    HistoryMessage message;
    ok = digest.Add(line) && digest.Add("\n") && HistoryMessageFromJson(value, user_id_, &message);
    SecureWipeString(&value.text);
    if (!ok) break;
    ok = read_flag.Prepare(db_, "SELECT isread FROM messages WHERE id=?") && read_flag.BindText(1, message.message_id);
    const int rc = ok ? read_flag.Step() : SQLITE_ERROR;
    const bool existed_unread = rc == SQLITE_ROW && read_flag.ColumnInt64(0) == 0;
    ok = ok && (rc == SQLITE_ROW || rc == SQLITE_DONE) && InsertMessage(message, std::string(), nullptr, inserts);
    if (ok && existed_unread && message.is_read && message.sender_id != user_id_) {
      const std::string peer = PseudonymLocked(message.sender_id);
      ok = !peer.empty() && mark_read.Prepare(db_, "UPDATE messages SET isread=1 WHERE id=?") &&
           mark_read.BindText(1, message.message_id) && mark_read.Step() == SQLITE_DONE &&
           lower_unread.Prepare(db_, "UPDATE conversations SET unread=MAX(0,unread-1) WHERE peer=?") &&
           lower_unread.BindText(1, peer) && lower_unread.Step() == SQLITE_DONE;
    }
    SecureWipeString(&message.message);
    if (ok) test_hooks::detail::CrashPoint("import", ++count);
  }
  ok = ok && trailer && transaction.Commit();
  if (!ok) {
    transaction.Rollback();
    return Fail("import_invalid_or_commit_failed");
  }
  return true;
}

}  // namespace quorix_history
