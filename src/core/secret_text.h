#pragma once
// A UTF-16 secret (a password typed on the VR keyboard) held so that no copy
// is left behind: taking a string over zero-fills what stays in the source,
// and wiping or destroying the holder zero-fills its whole buffer (inline or
// heap, up to its capacity) before the buffer is released. Move-only.
#include <cstddef>
#include <string>
#include <string_view>

// Zero-fills the whole buffer of `text` up to its capacity, then empties it.
// The allocation is kept. Null is ignored.
void WipeWideString(std::u16string* text);

class SecretWideText {
 public:
  SecretWideText() = default;
  // Takes `text` over; `text` is left empty and its buffer zero.
  explicit SecretWideText(std::u16string&& text) noexcept;
  // A copy of `text` in a buffer reserved for `reserve` units first (at
  // least `text`'s length), so later edits within that size never leave a
  // copy in a freed or inline buffer.
  SecretWideText(std::u16string_view text, size_t reserve);
  SecretWideText(SecretWideText&& other) noexcept;
  SecretWideText& operator=(SecretWideText&& other) noexcept;
  SecretWideText(const SecretWideText&) = delete;
  SecretWideText& operator=(const SecretWideText&) = delete;
  ~SecretWideText() { Wipe(); }

  const std::u16string& text() const { return text_; }
  // For edits that stay within the reserved size.
  std::u16string& mutable_text() { return text_; }
  size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }

  // Zero-fills the whole buffer and empties the text.
  void Wipe() { WipeWideString(&text_); }

  // The UTF-8 form through WideToUtf8Secret: empty for an unpaired surrogate.
  // The caller wipes it with SecureWipeString.
  std::string ToUtf8() const;

 private:
  std::u16string text_;
};

// Zero-fills the whole buffer of `text` up to its capacity, then empties it.
// The allocation is kept. Null is ignored.
void WipeWholeString(std::string* text);

// A UTF-8 secret (a password, a token) handed to a background task: taking a
// string over zero-fills what stays in the source, a move wipes the
// moved-from holder, and destruction zero-fills the whole buffer. Move-only,
// so std::async's own copy of an argument is the only one.
class SecretText {
 public:
  SecretText() = default;
  // Takes `text` over; `text` is left empty and its buffer zero.
  explicit SecretText(std::string&& text) noexcept;
  SecretText(SecretText&& other) noexcept;
  SecretText& operator=(SecretText&& other) noexcept;
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  ~SecretText() { Wipe(); }

  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }
  void Wipe() { WipeWholeString(&text_); }

 private:
  std::string text_;
};
