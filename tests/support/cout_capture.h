#pragma once
// Collects what is written to std::cout while it lives.
#include <iostream>
#include <sstream>
#include <string>
#include <utility>

namespace quorix_test {

class CoutCapture {
 public:
  CoutCapture() : previous_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(previous_); }
  // Everything since the last Take.
  std::string Take() { return std::exchange(buffer_, std::ostringstream()).str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* previous_;
};

}  // namespace quorix_test
