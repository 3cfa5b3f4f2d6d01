#pragma once
// Conversions between UTF-8 (std::string) and UTF-16 (std::u16string), and
// the JSON string writer of the run records.
#include <cstddef>
#include <string>

#include "platform/utf8.h"

// Strict UTF-8 to UTF-16. Invalid UTF-8 (overlong forms, encoded surrogates,
// values above U+10FFFF, cut sequences) or an input of 2^31 bytes or more
// throws std::system_error. Empty stays empty.
std::u16string Utf8ToWide(const std::string& text);

// The same for a NUL-terminated text; null is the empty text.
std::u16string Utf8CStringToWide(const char* text);

// The strict conversion that never throws: invalid input gives the empty text.
std::u16string Utf8ToWideStrict(const std::string& text);

// UTF-16 to UTF-8; an unpaired surrogate gives the empty text.
std::string WideToUtf8(const std::u16string& text);

// The same for secrets (passwords): the result is reserved once, so no
// partial copy is released on the way, and at an unpaired surrogate the
// partial output is zero-filled before the empty text is returned. The
// caller wipes the result (SecureWipeString). The only wiping conversion.
std::string WideToUtf8Secret(const std::u16string& text);

// A double quote, the text with a backslash before every backslash and every
// double quote, a closing double quote. Nothing else is escaped.
std::string WriteJsonStringLiteral(const std::string& text);

// False when `index` is beyond the end; true at 0 and at the end; otherwise
// false only between the two halves of a surrogate pair.
bool IsUtf16Boundary(const std::u16string& text, size_t index);

// False when the text holds a NUL or an unpaired surrogate; true otherwise,
// also for the empty text.
bool IsWellFormedText(const std::u16string& text);

// The text on one line of at most `max_units` units: runs of spaces, control
// characters and DEL become one space, leading and trailing ones are dropped.
// A text that reached `max_units` units ends in "…" (never after a lone high
// surrogate).
std::u16string ToSingleLine(const std::u16string& text, size_t max_units);

namespace quorix_text {
// Decodes `text` into `out`; false on any invalid sequence. Shared by the
// conversions above.
bool DecodeUtf8(const char* data, size_t size, std::u16string* out);

// Appends code point `cp` (at most U+10FFFF) as one to four UTF-8 bytes.
inline void AppendUtf8(char32_t cp, std::string& out) { platform::AppendUtf8(cp, &out); }
}  // namespace quorix_text
