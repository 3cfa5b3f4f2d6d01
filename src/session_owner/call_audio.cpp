#include "session_owner/call_audio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <system_error>

#include "core/json.h"

namespace two_pc {
namespace {

constexpr size_t kTailBytes = 65536;

double NumberOrMissing(const JsonValue& record, const char* key) {
  const JsonValue* value = record.Find(key);
  if (value == nullptr || value->type != JsonType::Number || !std::isfinite(value->number)) return -1;
  return value->number;
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

uint64_t ClampToWholeNumber(double value) {
  // Stored and received numbers reach this; converting one out of range
  // would be undefined.
  constexpr double kMaxWholeNumber = 9007199254740992.0;  // 2^53
  if (!std::isfinite(value) || value <= 0.0) return 0;
  if (value >= kMaxWholeNumber) return static_cast<uint64_t>(kMaxWholeNumber);
  return static_cast<uint64_t>(value);
}

CallAudioReading ReadCallAudioLines(std::string_view tail, bool cut, uint64_t call_start_ms) {
  CallAudioReading reading;
  size_t begin = 0;
  if (cut) {
    const size_t first_end = tail.find('\n');
    if (first_end == std::string_view::npos) return reading;
    begin = first_end + 1;
  }
  const size_t last_end = tail.rfind('\n');
  if (last_end == std::string_view::npos || last_end < begin) return reading;
  reading.any_complete_line = true;
  bool have_stats = false, have_pcm = false;
  const double start = static_cast<double>(call_start_ms);
  std::string line;
  size_t end = last_end;  // the line feed that ends the current line
  while (!(have_stats && have_pcm)) {
    const size_t previous = end > begin ? tail.rfind('\n', end - 1) : std::string_view::npos;
    const size_t line_begin = previous == std::string_view::npos || previous < begin ? begin : previous + 1;
    line.assign(tail.substr(line_begin, end - line_begin));
    JsonValue record;
    if (ParseJson(line, record) && record.type == JsonType::Object) {
      const JsonValue* event = record.Find("event");
      const JsonValue* tick = record.Find("tick_ms");
      if (event != nullptr && event->type == JsonType::String && tick != nullptr &&
          tick->type == JsonType::Number && tick->number >= start) {
        if (!have_stats && event->text == "stats") {
          have_stats = true;
          reading.packets_sent = NumberOrMissing(record, "packets_sent");
          reading.packets_received = NumberOrMissing(record, "packets_received");
          reading.source_level = NumberOrMissing(record, "source_level");
        } else if (!have_pcm && event->text == "pcm_summary") {
          have_pcm = true;
          reading.pcm_rms = NumberOrMissing(record, "pcm_rms");
          reading.pcm_clip_fraction = NumberOrMissing(record, "pcm_clip_fraction");
        }
      }
    }
    if (line_begin == begin) break;
    end = line_begin - 1;
  }
  return reading;
}

std::u16string DescribeCallAudio(const CallAudioReading& reading) {
  std::u16string text = u"音声パケット 送信=" + Ascii(std::to_string(ClampToWholeNumber(reading.packets_sent))) +
                        u" 受信=" + Ascii(std::to_string(ClampToWholeNumber(reading.packets_received)));
  if (reading.pcm_clip_fraction > 0.01) {
    text += u" | マイク入力が音割れしています";
  } else if (reading.pcm_rms >= 0 && reading.pcm_rms < 0.0001) {
    text += u" | マイク信号が微小です。発話中なら入力先を確認";
  } else if (reading.source_level >= 0.98) {
    text += u" | マイク入力レベルが高すぎます";
  } else {
    text += u" | 相手に声の到達を確認してください";
  }
  return text;
}

std::optional<std::filesystem::path> NewestCallAudioFile(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  if (error) return std::nullopt;
  std::optional<std::filesystem::path> newest;
  int64_t newest_ns = 0;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (error) break;
    const std::string name = it->path().filename().string();
    if (name.size() < 12 || name.compare(0, 6, "audio.") != 0 || name.compare(name.size() - 6, 6, ".jsonl") != 0) {
      continue;
    }
    struct stat info {};
    // lstat: a link to elsewhere is not one of the worker's files.
    if (lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const int64_t ns = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    if (!newest || ns > newest_ns || (ns == newest_ns && name > newest->filename().string())) {
      newest = it->path();
      newest_ns = ns;
    }
  }
  return newest;
}

std::optional<std::string> ReadCallAudioTail(const std::filesystem::path& file, bool* cut) {
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const auto size = static_cast<uint64_t>(info.st_size);
    const uint64_t length = size < kTailBytes ? size : kTailBytes;
    *cut = size > kTailBytes;
    // One byte before the window tells whether its first line is whole.
    const uint64_t offset = size - length - (*cut ? 1 : 0);
    std::string bytes(length + (*cut ? 1 : 0), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    if (*cut && !bytes.empty() && bytes.front() == '\n') {
      bytes.erase(0, 1);
      *cut = false;
    } else if (*cut && !bytes.empty()) {
      bytes.erase(0, 1);
    }
    text = std::move(bytes);
  }
  close(fd);
  return text;
}

}  // namespace two_pc
