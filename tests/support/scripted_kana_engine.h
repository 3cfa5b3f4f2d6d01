#pragma once
// A kana-to-kanji engine that gives scripted answers, for the conversion
// provider and whatever runs one (the draft bridge, the phone's input
// handling, the desktop): per mode, call by call, malformed answers too;
// failing set-up or opening; call counts; a cost per call on a ManualClock;
// and a gate that holds a call until the test lets it go.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/kana_kanji_engine.h"
#include "text_input/kana_conversion.h"

namespace quorix_test {

struct ScriptedCall {
  int32_t code = platform::kConvOk;
  std::optional<platform::EngineAnswer> answer;
};

// A well-formed answer: its declared size is what its parts measure.
platform::EngineAnswer MakeAnswer(std::u16string output, std::u16string echo = {},
                                  std::vector<platform::ConversionDescriptor> descriptors = {});

// Shared by the test and every engine its factory makes.
class EngineScript {
 public:
  // Set before the engine is used.
  int32_t initialize_code = platform::kConvOk;
  int32_t open_code = platform::kConvOk;
  // Answers per mode, call by call; a call past the end answers kConvNoMore.
  std::map<uint32_t, std::vector<ScriptedCall>> calls;
  // Each Next moves `clock` on by `cost_ms` (when a clock is given).
  platform::ManualClock* clock = nullptr;
  uint64_t cost_ms = 0;

  // Holding: every Next waits at the gate until Release.
  void Hold();
  void Release();
  // True once a call waits at the gate (bounded wait).
  bool WaitUntilHeld();

  int made() const;
  int next_calls(uint32_t mode) const;
  int initialize_calls() const;
  int open_calls() const;
  int close_calls() const;
  // The reading of the last converting call.
  std::u16string last_reading() const;

 private:
  friend class ScriptedEngine;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false;
  int waiting_ = 0;
  int made_ = 0;
  int initialize_calls_ = 0;
  int open_calls_ = 0;
  int close_calls_ = 0;
  std::map<uint32_t, int> next_calls_;
  std::u16string last_reading_;
};

KanaKanjiEngineFactory ScriptedEngineFactory(std::shared_ptr<EngineScript> script);

// A factory that makes no engine (an engine that cannot be created).
KanaKanjiEngineFactory NoEngineFactory();

}  // namespace quorix_test
