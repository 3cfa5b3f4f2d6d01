#pragma once
// Lenient UTF-16 to UTF-8 for handing text to system libraries that need
// valid UTF-8: an unpaired surrogate becomes U+FFFD instead of failing.
#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8Lenient(std::u16string_view text);

// Appends one code point (≤ U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(char32_t code_point, std::string* out);

}  // namespace platform
