#pragma once
// The media worker's pipe framing, usable without a process: what a command
// line and an event line are, and the splitter that turns the worker's output
// bytes into lines.
//
// Both directions are 8-bit text, one line per LF. A command is one JSON
// object text of 2 to 145000 bytes; the worker's lines are split at LF with
// one CR before it dropped, and classified by `ClassifyWorkerLine`.
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix_phone {

// The longest command or event line. The worker's unread output is held to
// 150000 bytes, so a whole longest line and the start of the next fit.
inline constexpr size_t kMaxWorkerLineBytes = 145000;
inline constexpr size_t kWorkerOutputCapBytes = 150000;

enum class WorkerLineKind : uint32_t {
  kReady = 0,     // exactly "READY_IDLE"
  kPong = 1,      // exactly "PONG_IDLE"
  kStopping = 2,  // exactly "STOPPING"
  kJson = 3,      // 1..145000 bytes, no NUL/CR/LF, braced once blanks and tabs are cut from both ends
  kInvalid = 4,   // everything else: empty, too long, NUL or CR inside, all blanks, not braced
};

// Classifies `line`. The control words are compared whole and
// case-sensitively before any trimming ("READY_IDLE " is invalid). A json
// line is replaced by its trimmed text.
WorkerLineKind ClassifyWorkerLine(std::string& line);

// A command the worker may be sent: 2..145000 bytes, "{" first, "}" last, no
// LF, CR or NUL.
bool IsValidWorkerCommand(const std::string& json);

// Splits the worker's output into lines. At most 150000 bytes are held: the
// caller asks `Room` before it reads. A line that fills the whole buffer with
// no LF in it is reported once as an overflow and discarded through its LF.
class WorkerLineReader {
 public:
  enum class Result { kLine, kNone, kOverflow };

  // Bytes that may be fed now.
  size_t Room() const { return kWorkerOutputCapBytes - Buffered(); }
  size_t Buffered() const { return buffer_.size() - start_; }
  // Takes up to `Room()` bytes of `data`; returns how many it took.
  size_t Feed(const char* data, size_t size);
  // The next whole line, without its LF and one CR before it.
  Result Next(std::string& line);
  void Clear();

 private:
  std::string buffer_;
  size_t start_ = 0;        // first byte not yet taken
  size_t scanned_ = 0;      // bytes from start_ known to hold no LF
  bool discarding_ = false;  // inside an overflowed line
};

}  // namespace quorix_phone
