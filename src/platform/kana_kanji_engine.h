#pragma once
// Whole-phrase kana-to-kanji conversion of a hiragana reading, answer by
// answer: the first call of a mode converts the reading, each later call asks
// for the next candidate. Lengths and positions are UTF-16 units.
//
// A result carries what the caller checks before it trusts it: the declared
// size of the answer (76 + 2 × (output + echo) + 24 × descriptors for a
// well-formed one), the output, the reading as the engine understood it, and
// one descriptor per clause giving its range in the reading and in the output.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Result codes (HRESULT values).
inline constexpr int32_t kConvOk = 0;                               // S_OK
inline constexpr int32_t kConvNoMore = 1;                           // S_FALSE
inline constexpr int32_t kConvFail = static_cast<int32_t>(0x80004005u);  // E_FAIL

// Modes: plural clauses, each with its own candidates; a single clause
// covering the whole reading.
inline constexpr uint32_t kConvModePlural = 0x2001000;
inline constexpr uint32_t kConvModeSingle = 0x4001000;

struct ConversionDescriptor {
  uint32_t reading_pos = 0;
  uint32_t reading_len = 0;
  uint32_t display_pos = 0;
  uint32_t display_len = 0;
};

struct EngineAnswer {
  uint32_t declared_size = 0;
  std::u16string output;
  std::u16string reading_echo;
  std::vector<ConversionDescriptor> descriptors;
};

// Fixed header part of an answer and the size of one descriptor.
inline constexpr uint32_t kAnswerHeaderBytes = 76;
inline constexpr uint32_t kDescriptorBytes = 24;
uint32_t DeclaredAnswerSize(const EngineAnswer& answer);

class KanaKanjiEngine {
 public:
  virtual ~KanaKanjiEngine() = default;
  // Per-thread set-up; a failure leaves the engine unusable.
  virtual int32_t Initialize() = 0;
  // Loads the conversion engine and its dictionary.
  virtual int32_t Open() = 0;
  // `reading` set: converts it in `mode` and answers the first candidate;
  // null: the next candidate of the last conversion in `mode`. kConvNoMore
  // when no candidate is left. `deadline_ms` is on the tick clock: work that
  // can run long gives up with kConvFail once it has passed.
  virtual int32_t Next(uint32_t mode, const std::u16string* reading, uint64_t deadline_ms,
                       std::optional<EngineAnswer>* answer) = 0;
  virtual void Close() = 0;
};

// Anthy: the system's conversion engine and dictionary. Never learns (no
// segment is ever committed), so nothing is written under HOME.
std::unique_ptr<KanaKanjiEngine> MakeAnthyEngine();

}  // namespace platform
