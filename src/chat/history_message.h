#pragma once
// The record of one chat message of the local history, its one canonical JSON
// text, and the small JSON helpers the history code shares.
#include <string>

#include "core/json.h"

struct HistoryMessage {
  std::string message_id;
  std::string sender_id;
  std::string receiver_id;
  std::string message;
  std::string client_message_id;
  std::string sequence;
  double created_at = 0.0;
  bool is_read = false;
  bool expired = false;

  HistoryMessage() = default;
  HistoryMessage(const HistoryMessage&) = default;
  HistoryMessage& operator=(const HistoryMessage&) = default;
  HistoryMessage(HistoryMessage&&) noexcept = default;
  HistoryMessage& operator=(HistoryMessage&&) noexcept = default;
};

inline constexpr size_t kHistoryIdMaxBytes = 256;
inline constexpr size_t kHistoryTextMaxBytes = 8192;

// The nine members without white space, in the fixed order message_id,
// sender_id, receiver_id, message, created_at, sequence, client_message_id,
// is_read, expired. Never fails, does not validate: a non-finite created_at
// gives text the reader refuses.
std::string HistoryMessageToJson(const HistoryMessage& message);

// Reads a record from a parsed object and checks it for the account
// `self_user_id`. On success the record is moved into *out; on failure *out
// is untouched. A null `out` gives false.
bool HistoryMessageFromJson(const JsonValue& object, const std::string& self_user_id, HistoryMessage* out);

// A JSON string literal: \" and \\ escaped, bytes below 0x20 as \u00xx,
// every other byte copied unchanged.
std::string QuoteHistoryJsonString(const std::string& text);

// A non-negative integer in canonical decimal that fits a signed 64-bit
// integer ("0" included, no leading zero, no sign).
bool IsCanonicalDecimal(const std::string& text);

// Numeric order of two canonical decimals: length first, then bytes.
// Negative, zero or positive like memcmp.
int CompareCanonicalDecimal(const std::string& a, const std::string& b);

// True only when the member exists and is the literal true.
bool FindJsonBool(const JsonValue& object, const char* key);

// The member's string, or null when missing or not a string.
const std::string* FindJsonString(const JsonValue& object, const char* key);

// The other party of a record valid for `self_user_id`.
const std::string& HistoryPeerOf(const HistoryMessage& message, const std::string& self_user_id);
