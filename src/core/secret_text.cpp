#include "core/secret_text.h"

#include <algorithm>
#include <utility>

#include "core/text.h"
#include "platform/crypto.h"

void WipeWideString(std::u16string* text) {
  if (text == nullptr) return;
  // The buffer holds capacity() + 1 units (the terminator).
  platform::SecureZero(text->data(), (text->capacity() + 1) * sizeof(char16_t));
  text->clear();
}

SecretWideText::SecretWideText(std::u16string&& text) noexcept : text_(std::move(text)) {
  // A short text was copied out of the source's inline buffer; clear that copy.
  WipeWideString(&text);
}

SecretWideText::SecretWideText(std::u16string_view text, size_t reserve) {
  // Past the inline buffer, whatever the text's length.
  text_.reserve(std::max({reserve, text.size(), size_t{16}}));
  text_.assign(text);
}

SecretWideText::SecretWideText(SecretWideText&& other) noexcept : text_(std::move(other.text_)) {
  other.Wipe();
}

SecretWideText& SecretWideText::operator=(SecretWideText&& other) noexcept {
  if (this != &other) {
    Wipe();
    text_ = std::move(other.text_);
    other.Wipe();
  }
  return *this;
}

std::string SecretWideText::ToUtf8() const { return WideToUtf8Secret(text_); }

void WipeWholeString(std::string* text) {
  if (text == nullptr) return;
  // The buffer holds capacity() + 1 bytes (the terminator).
  platform::SecureZero(text->data(), text->capacity() + 1);
  text->clear();
}

SecretText::SecretText(std::string&& text) noexcept : text_(std::move(text)) { WipeWholeString(&text); }

SecretText::SecretText(SecretText&& other) noexcept : text_(std::move(other.text_)) { other.Wipe(); }

SecretText& SecretText::operator=(SecretText&& other) noexcept {
  if (this != &other) {
    Wipe();
    text_ = std::move(other.text_);
    other.Wipe();
  }
  return *this;
}
