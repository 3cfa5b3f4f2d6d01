#pragma once
// The program's general JSON reader: a strict, bounded recursive-descent
// parser into an owning tree of JsonValue nodes. JSON texts the program
// receives (settings, service replies, worker events, history records) are
// read through ParseJson and then member by member with JsonValue::Find. The
// one other reader is ParseAuthReply (chat/auth_reply.h), a purpose-built walk
// of sign-in and session replies that keeps five values and wipes the token.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The kind of a JsonValue; the codes are fixed.
enum class JsonType : uint32_t {
  Null = 0,
  Bool = 1,
  Number = 2,
  String = 3,
  Array = 4,
  Object = 5,
};

// One node of a parsed document. Every node carries all slots; only the slot
// of its kind is meaningful. Copies are deep; a move leaves the source with
// empty containers.
struct JsonValue {
  JsonType type = JsonType::Null;
  bool bool_value = false;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  JsonValue() = default;

  // The value of the member `key` (compared byte-wise up to its terminating
  // zero) of an Object; null for any other kind or a missing member.
  const JsonValue* Find(const char* key) const;
};

// Reads `text` as exactly one JSON value into `out` (pass a fresh value).
// Strict: UTF-8 checked first, whitespace only space/tab/CR/LF, no trailing
// text, duplicate keys refused. Bounded: at most 1,048,576 bytes, 60,000
// values, nesting depth 24 and keys of 8,192 bytes. False on any violation;
// `out` may then hold a partial tree and is to be discarded.
bool ParseJson(const std::string& text, JsonValue& out);
