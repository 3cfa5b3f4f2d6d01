#pragma once
// Collects what is written to std::cout while it lives.
#include <iostream>
#include <sstream>
#include <string>

namespace quorix_test {

class CoutCapture {
 public:
  CoutCapture() : previous_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(previous_); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;

  // Everything so far, and forget it.
  std::string Take() {
    std::string text = buffer_.str();
    buffer_.str("");
    return text;
  }

 private:
  std::ostringstream buffer_;
  std::streambuf* previous_;
};

}  // namespace quorix_test
