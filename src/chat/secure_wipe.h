#pragma once
// Zero-filling of strings that held a password, a token or a reply body.
#include <string>
#include <vector>

// Sets every byte of the current content to 0, then empties the string. The
// allocation is kept (its bytes beyond the length are not touched). Null is
// ignored.
void SecureWipeString(std::string* text);

// Wipes `text` (a password, token or reply body) when the scope ends, on
// every path out of it.
class WipeStringOnExit {
 public:
  explicit WipeStringOnExit(std::string& text) : text_(text) {}
  ~WipeStringOnExit() { SecureWipeString(&text_); }
  WipeStringOnExit(const WipeStringOnExit&) = delete;
  WipeStringOnExit& operator=(const WipeStringOnExit&) = delete;

 private:
  std::string& text_;
};

// Wipes every string of `lines` (header lines holding a token) when the
// scope ends.
class WipeLinesOnExit {
 public:
  explicit WipeLinesOnExit(std::vector<std::string>& lines) : lines_(lines) {}
  ~WipeLinesOnExit();
  WipeLinesOnExit(const WipeLinesOnExit&) = delete;
  WipeLinesOnExit& operator=(const WipeLinesOnExit&) = delete;

 private:
  std::vector<std::string>& lines_;
};
