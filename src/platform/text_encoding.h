#pragma once
// Lenient UTF-16 to UTF-8 for handing text to system libraries that need
// valid UTF-8: an unpaired surrogate becomes U+FFFD instead of failing.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8Lenient(std::u16string_view text);

// Strict UTF-8 to UTF-16 into `out` (replaced): false on any invalid
// sequence (overlong forms, encoded surrogates, values above U+10FFFF, cut
// sequences).
bool DecodeUtf8(const char* data, size_t size, std::u16string* out);

}  // namespace platform
