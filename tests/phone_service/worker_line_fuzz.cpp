// Fuzz entry point of the worker output framing: arbitrary bytes, read in
// arbitrary pieces, must come out as exactly the lines of a plain split, an
// overlong line as one overflow, never more than 150000 bytes held, and every
// line classified as the framing rules say.
//
// Input: byte 0 gives the count k (1..8) of read-size bytes that follow; the
// next byte, when 250 or more, repeats a rest of 64 bytes or more holding at
// most one LF (so short inputs reach the 150000-byte bound); the rest is the
// worker's output. The verdict is
// "accepted" when no line overflowed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/json.h"
#include "phone_service/worker_line.h"
#include "support/fuzz/fuzz_verdict.h"

namespace {

using quorix_phone::WorkerLineKind;
using quorix_phone::WorkerLineReader;

// A line out, or nothing for an overflow.
using Line = std::optional<std::string>;

[[noreturn]] void Fail(const char* what, size_t index) {
  std::fprintf(stderr, "worker line fuzz: %s (line %zu)\n", what, index);
  std::abort();
}

// The lines of `bytes` split at LF with one CR before it dropped; a line of
// 150000 bytes or more (LF not counted) as one overflow, also unended.
std::vector<Line> ReferenceSplit(const std::string& bytes) {
  std::vector<Line> out;
  size_t begin = 0;
  for (;;) {
    const size_t lf = bytes.find('\n', begin);
    const size_t end = lf == std::string::npos ? bytes.size() : lf;
    if (end - begin >= quorix_phone::kWorkerOutputCapBytes) {
      out.push_back(std::nullopt);
    } else if (lf != std::string::npos) {
      std::string line = bytes.substr(begin, end - begin);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      out.push_back(line);
    }
    if (lf == std::string::npos) return out;
    begin = lf + 1;
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The kind by the framing rules; for a json line, `*trimmed` is its text
// without the blanks around it.
WorkerLineKind ReferenceKind(const std::string& line, std::string* trimmed) {
  if (line == "READY_IDLE") return WorkerLineKind::kReady;
  if (line == "PONG_IDLE") return WorkerLineKind::kPong;
  if (line == "STOPPING") return WorkerLineKind::kStopping;
  if (line.empty() || line.size() > quorix_phone::kMaxWorkerLineBytes) return WorkerLineKind::kInvalid;
  if (std::memchr(line.data(), '\0', line.size()) != nullptr || std::memchr(line.data(), '\r', line.size()) != nullptr) {
    return WorkerLineKind::kInvalid;
  }
  size_t first = 0, last = line.size();
  while (first < last && IsBlank(line[first])) ++first;
  while (last > first && IsBlank(line[last - 1])) --last;
  if (first == last || line[first] != '{' || line[last - 1] != '}') return WorkerLineKind::kInvalid;
  *trimmed = line.substr(first, last - first);
  return WorkerLineKind::kJson;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t k = data[0] % 8 + 1;
  if (size < 1 + k + 1) return 0;
  std::vector<size_t> reads;
  for (size_t i = 0; i < k; ++i) {
    const uint8_t b = data[1 + i];
    reads.push_back(static_cast<size_t>((b & 0x0F) + 1) << ((b >> 4) & 0x0F));
  }
  // A repeat byte of 250..255 repeats a rest of 64 bytes or more with at most
  // one LF (so at most a few thousand lines) up to 144000..152000 bytes,
  // read in pieces of at least 2048, so the 145000 and 150000 bounds are
  // reached quickly.
  const uint8_t repeat_byte = data[1 + k];
  const char* rest = reinterpret_cast<const char*>(data + 2 + k);
  const size_t rest_size = size - 2 - k;
  if (rest_size == 0) return 0;
  std::string output(rest, rest_size);
  const size_t rest_lfs = static_cast<size_t>(std::count(rest, rest + rest_size, '\n'));
  if (repeat_byte >= 250 && rest_size >= 64 && rest_lfs <= 1) {
    const size_t target = 144000 + static_cast<size_t>(repeat_byte - 250) * 1600;
    while (output.size() < target) output.append(output, 0, std::min(output.size(), target - output.size()));
    for (size_t& r : reads) r = std::max<size_t>(r, 2048);
  }
  // An exact-size copy, so a read one past the end is caught.
  std::unique_ptr<char[]> exact(new char[output.size()]);
  std::memcpy(exact.get(), output.data(), output.size());

  WorkerLineReader reader;
  std::vector<Line> got;
  size_t at = 0, turn = 0;
  std::string line;
  for (;;) {
    WorkerLineReader::Result r;
    while ((r = reader.Next(line)) != WorkerLineReader::Result::kNone) {
      got.push_back(r == WorkerLineReader::Result::kLine ? Line(line) : std::nullopt);
    }
    if (at == output.size()) break;
    const size_t want = std::min({reads[turn++ % reads.size()], output.size() - at, reader.Room()});
    const size_t took = reader.Feed(exact.get() + at, want);
    if (took != want) Fail("feed took less than the room", got.size());
    at += took;
    if (reader.Buffered() > quorix_phone::kWorkerOutputCapBytes) Fail("over 150000 bytes held", got.size());
  }

  const std::vector<Line> want = ReferenceSplit(output);
  if (got.size() != want.size()) Fail("line count differs", got.size());
  bool overflowed = false;
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] != want[i]) Fail("line differs", i);
    if (!got[i]) {
      overflowed = true;
      continue;
    }
    const std::string& original = *got[i];
    // A repeated input repeats its lines: the first ones and the long ones suffice.
    if (i >= 256 && original.size() < 4096) continue;
    std::string classified = original;
    const WorkerLineKind kind = quorix_phone::ClassifyWorkerLine(classified);
    std::string trimmed;
    if (kind != ReferenceKind(original, &trimmed)) Fail("kind differs", i);
    if (kind != WorkerLineKind::kJson) {
      if (classified != original) Fail("a non-json line was changed", i);
      continue;
    }
    if (classified != trimmed) Fail("json line not trimmed to its braces", i);
    JsonValue value;
    (void)ParseJson(classified, value);
  }
  ReportFuzzVerdict(!overflowed);
  return 0;
}
