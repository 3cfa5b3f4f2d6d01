#include "phone_service/worker_line.h"

#include <algorithm>
#include <cstring>

namespace quorix_phone {
namespace {

// Three memchr passes: much faster on a long line than one find_first_of,
// which looks each byte up in the set.
bool HasNulCrOrLf(const std::string& text) {
  return text.find('\0') != std::string::npos || text.find('\r') != std::string::npos ||
         text.find('\n') != std::string::npos;
}

}  // namespace

WorkerLineKind ClassifyWorkerLine(std::string& line) {
  if (line == "READY_IDLE") return WorkerLineKind::kReady;
  if (line == "PONG_IDLE") return WorkerLineKind::kPong;
  if (line == "STOPPING") return WorkerLineKind::kStopping;
  if (line.empty() || line.size() > kMaxWorkerLineBytes) return WorkerLineKind::kInvalid;
  if (HasNulCrOrLf(line)) return WorkerLineKind::kInvalid;
  const size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return WorkerLineKind::kInvalid;
  const size_t last = line.find_last_not_of(" \t");
  if (line[first] != '{' || line[last] != '}') return WorkerLineKind::kInvalid;
  if (first > 0 || last + 1 < line.size()) line = line.substr(first, last + 1 - first);
  return WorkerLineKind::kJson;
}

bool IsValidWorkerCommand(const std::string& json) {
  return json.size() >= 2 && json.size() <= kMaxWorkerLineBytes && json.front() == '{' && json.back() == '}' &&
         !HasNulCrOrLf(json);
}

size_t WorkerLineReader::Feed(const char* data, size_t size) {
  const size_t take = std::min(size, Room());
  if (take == 0) return 0;
  // Drop taken lines before growing, so the buffer stays near the cap.
  if (start_ > 0 && buffer_.size() + take > buffer_.capacity()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(data, take);
  return take;
}

WorkerLineReader::Result WorkerLineReader::Next(std::string& line) {
  line.clear();
  const char* base = buffer_.data() + start_;
  const size_t held = Buffered();
  const void* lf = held > scanned_ ? std::memchr(base + scanned_, '\n', held - scanned_) : nullptr;
  if (lf == nullptr) {
    scanned_ = held;
    if (discarding_) {
      Clear();
      discarding_ = true;
      return Result::kNone;
    }
    if (held < kWorkerOutputCapBytes) return Result::kNone;
    Clear();
    discarding_ = true;
    return Result::kOverflow;
  }
  const size_t length = static_cast<size_t>(static_cast<const char*>(lf) - base);
  const bool skip = discarding_;
  if (!skip) line.assign(base, length - (length > 0 && base[length - 1] == '\r' ? 1 : 0));
  start_ += length + 1;
  scanned_ = 0;
  discarding_ = false;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  return skip ? Next(line) : Result::kLine;
}

void WorkerLineReader::Clear() {
  buffer_.clear();
  start_ = 0;
  scanned_ = 0;
  discarding_ = false;
}

}  // namespace quorix_phone
