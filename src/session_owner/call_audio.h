#pragma once
// Reading the media worker's audio records ("audio.*.jsonl" in the observe
// folder) for the owner's media status line.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace two_pc {

// A stored or received number as a whole count: 0 for negative, NaN and
// below-one values, at most 2^53.
uint64_t ClampToWholeNumber(double value);

// What the newest records since the call began say; -1 for a value that is
// missing or not finite.
struct CallAudioReading {
  bool any_complete_line = false;
  double packets_sent = -1;
  double packets_received = -1;
  double source_level = -1;
  double pcm_rms = -1;
  double pcm_clip_fraction = -1;
};

// Walks the complete lines of `tail` (a line needs its final line feed; when
// `cut` is set the first line is taken as cut short and skipped) from the
// newest back, taking the newest "stats" and "pcm_summary" objects whose
// "tick_ms" is at or after `call_start_ms`.
CallAudioReading ReadCallAudioLines(std::string_view tail, bool cut, uint64_t call_start_ms);

// The media status text for a reading with at least one complete line.
std::u16string DescribeCallAudio(const CallAudioReading& reading);

// The newest regular file "audio.*.jsonl" in `folder` by modification time
// in nanoseconds (on a tie the later name in byte order), none when there is
// no such file.
std::optional<std::filesystem::path> NewestCallAudioFile(const std::filesystem::path& folder);

// The last 65536 bytes of a regular file, opened without blocking (a FIFO
// never stalls); `cut` tells whether the text starts inside a line. None
// when it cannot be opened or read, or is not a regular file.
std::optional<std::string> ReadCallAudioTail(const std::filesystem::path& file, bool* cut);

}  // namespace two_pc
