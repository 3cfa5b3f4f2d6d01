#pragma once
// The JSON writer of the call signalling: call request bodies, media worker
// commands and signal messages are written with these. Output is compact (no
// spaces), object members in ascending byte order of their keys, and at most
// kMaxGatewayJsonBytes long.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/json.h"

namespace quorix_phone {

// The longest JSON text the gateway writes or accepts from the service.
inline constexpr size_t kMaxGatewayJsonBytes = 145000;

// `text` as a JSON string, with its quotes: '"' and '\' get a backslash, bytes
// below 0x20 become \u00xx (lowercase hex); every other byte, 0x7F and UTF-8
// sequences included, is copied.
std::string EscapeJsonString(const std::string& text);

// Signed decimal, "-" for negatives, no padding; INT64_MIN included.
std::string FormatInt64(int64_t value);

// Appends `value` to `out` as compact JSON. Fails when nesting passes depth 12,
// when a number is not finite or beyond +-1e15, or when `out` grows past
// kMaxGatewayJsonBytes. Whole numbers are written as integers, others with six
// decimals, the same whatever the process locale.
bool WriteCompactJson(const JsonValue& value, std::string& out, int depth = 0);

}  // namespace quorix_phone
