// Fuzz entry point of the stored history record, read for the user "me". A
// refused text leaves the record untouched. An accepted record written back
// reads back equal, bit for bit in its time, unless it has no sequence: the
// writer keeps an empty one, which the reader refuses.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "chat/history_message.h"
#include "core/json.h"
#include "support/fuzz/fuzz_verdict.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "history record fuzz: %s: %s\n", what, detail.c_str());
  std::abort();
}

bool Read(const std::string& text, HistoryMessage* out) {
  JsonValue value;
  return ParseJson(text, value) && HistoryMessageFromJson(value, "me", out);
}

bool Same(const HistoryMessage& a, const HistoryMessage& b) {
  return a.message_id == b.message_id && a.sender_id == b.sender_id && a.receiver_id == b.receiver_id &&
         a.message == b.message && a.client_message_id == b.client_message_id && a.sequence == b.sequence &&
         std::memcmp(&a.created_at, &b.created_at, sizeof(double)) == 0 && a.is_read == b.is_read &&
         a.expired == b.expired;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  HistoryMessage record;
  record.message_id = "untouched";
  const bool accepted = Read(text, &record);
  ReportFuzzVerdict(accepted);
  if (!accepted) {
    if (record.message_id != "untouched") Fail("refused text changed the record", text);
    return 0;
  }
  const std::string written = HistoryMessageToJson(record);
  if (HistoryMessageToJson(record) != written) Fail("writer not stable", written);
  HistoryMessage again;
  const bool reread = Read(written, &again);
  if (record.sequence.empty()) {
    if (reread) Fail("record without a sequence read back", written);
    return 0;
  }
  if (!reread || !Same(record, again)) Fail("written record reads back different", written);
  return 0;
}
