#pragma once
// The digest of a history export file: an incremental SHA-256 of the header
// and message lines. Unkeyed: it refuses cut and damaged files, not a file
// edited on purpose with a digest computed anew.
#include <string>
#include <string_view>

#include "platform/crypto.h"

namespace quorix_history {

class Sha256Stream {
 public:
  // False once hashing failed; later data is ignored.
  bool Add(std::string_view bytes);
  // 64 lower-case hex digits; empty when hashing failed.
  std::string FinishHex();

 private:
  platform::Sha256Hasher hasher_;
};

}  // namespace quorix_history
