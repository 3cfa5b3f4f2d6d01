#pragma once
// Conversion candidates for a hiragana reading without any desktop input
// focus: the system conversion engine's whole-phrase answers in two modes,
// the homophones of the whole reading, and clause by clause the homophones of
// each clause substituted into the engine's first phrase. Lives and runs only
// on the conversion worker thread, which owns one provider.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/kana_kanji_engine.h"
#include "text_input/homophone_dictionary.h"

// Result statuses.
inline constexpr uint32_t kConversionFound = 0;
inline constexpr uint32_t kConversionNoEngineSetup = 1;  // the engine's per-thread set-up failed
inline constexpr uint32_t kConversionNoEngine = 3;       // the engine could not be made or opened
inline constexpr uint32_t kConversionRejected = 4;       // an invalid reading, or no candidates

// Bounds: the engine is asked at most 126 times per mode and for about
// 500 ms per request (checked after each call, so each mode is asked at least
// once); the list holds at most 126 candidates before and 128 after the
// reading and its katakana are added.
inline constexpr size_t kMaxReadingUnitsForConversion = 1000;
inline constexpr size_t kMaxCandidateUnits = 1000;
inline constexpr size_t kCandidateLimit = 126;
inline constexpr size_t kCandidateLimitWithReading = 128;
inline constexpr uint64_t kConversionBudgetMs = 500;
inline constexpr uint32_t kMaxElapsedMs = 600000;

struct ConversionResult {
  uint64_t request_id = 0;
  uint32_t status = 0;
  int32_t hresult = 0;  // the engine's last code, or the opening code when nothing was found
  uint32_t elapsed_ms = 0;
  uint32_t dictionary_state = 0;
  uint32_t dictionary_added = 0;  // candidates added by the dictionary and by clause substitution
  std::vector<std::u16string> candidates;  // each 1..1000 units without NUL, no duplicates
};

// One clause of the engine's first phrase.
struct ConversionClause {
  std::u16string reading;
  uint64_t display_pos = 0;
  uint64_t display_len = 0;
  std::vector<std::u16string> alternatives;
};

// Appends `text` when it has 1..1000 units, holds no NUL, is not listed yet
// and the list holds fewer than `limit`.
void AddCandidateUnique(ConversionResult& result, const std::u16string& text, size_t limit);

using KanaKanjiEngineFactory = std::function<std::unique_ptr<platform::KanaKanjiEngine>()>;

class KanaConversionProvider {
 public:
  // The engine is made and opened by the first Convert, once (a failure is
  // not retried); a factory giving null counts as an engine that cannot be made.
  explicit KanaConversionProvider(KanaKanjiEngineFactory factory = platform::MakeAnthyEngine,
                                  std::filesystem::path dictionary = GetHomophoneDictionaryPath());
  KanaConversionProvider(const KanaConversionProvider&) = delete;
  KanaConversionProvider& operator=(const KanaConversionProvider&) = delete;
  ~KanaConversionProvider();

  ConversionResult Convert(uint64_t request_id, const std::u16string& reading);

 private:
  void OpenEngine();
  // One mode's calls; clauses come from the first valid answer of the first mode.
  void AskEngine(uint32_t mode, const std::u16string& reading, uint64_t start, ConversionResult& result);
  void TakeClauses(const platform::EngineAnswer& answer, const std::u16string& reading);

  KanaKanjiEngineFactory factory_;
  std::unique_ptr<platform::KanaKanjiEngine> engine_;
  HomophoneDictionary dictionary_;
  bool engine_initialized_ = false;
  bool opened_ = false;
  bool open_attempted_ = false;
  uint32_t state_ = kConversionNoEngineSetup;
  int32_t open_result_ = platform::kConvFail;
  // Per request.
  bool have_base_ = false;
  std::u16string base_;
  std::vector<ConversionClause> clauses_;
};
