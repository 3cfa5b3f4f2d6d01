#include "text_input/kana_conversion.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/text.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kMinAnswerBytes = platform::kAnswerHeaderBytes;
constexpr uint32_t kMaxAnswerBytes = 1024 * 1024;
constexpr size_t kMaxCallsPerMode = 126;
constexpr size_t kMaxDescriptors = 512;
constexpr size_t kMaxClauseReading = 40;
constexpr size_t kMaxClauses = 32;
constexpr size_t kClauseAlternatives = 16;

bool HasNul(const std::u16string& text) { return text.find(u'\0') != std::u16string::npos; }

// What the answer's declared size must hold, for its first `parts` parts
// (1 output, 2 and the echo, 3 and the descriptors), in 64 bits.
uint64_t NeededBytes(const platform::EngineAnswer& a, int parts) {
  uint64_t need = platform::kAnswerHeaderBytes + 2 * uint64_t{a.output.size()};
  if (parts >= 2) need += 2 * uint64_t{a.reading_echo.size()};
  if (parts >= 3) need += uint64_t{platform::kDescriptorBytes} * a.descriptors.size();
  return need;
}

bool UsableOutput(const platform::EngineAnswer& a) {
  return a.declared_size >= kMinAnswerBytes && a.declared_size <= kMaxAnswerBytes && !a.output.empty() &&
         a.output.size() <= kMaxCandidateUnits && NeededBytes(a, 1) <= a.declared_size && !HasNul(a.output);
}

std::u16string Katakana(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= 0x3041 && c <= 0x3096) c = static_cast<char16_t>(c + 0x60);
  }
  return text;
}

}  // namespace

void AddCandidateUnique(ConversionResult& result, const std::u16string& text, size_t limit) {
  if (text.empty() || text.size() > kMaxCandidateUnits || HasNul(text) || result.candidates.size() >= limit) return;
  if (std::find(result.candidates.begin(), result.candidates.end(), text) != result.candidates.end()) return;
  result.candidates.push_back(text);
}

KanaConversionProvider::KanaConversionProvider(KanaKanjiEngineFactory factory, std::filesystem::path dictionary)
    : factory_(std::move(factory)), dictionary_(std::move(dictionary)) {}

KanaConversionProvider::~KanaConversionProvider() {
  if (opened_) engine_->Close();
  engine_.reset();  // the mapping of the dictionary goes with dictionary_
}

void KanaConversionProvider::OpenEngine() {
  open_attempted_ = true;
  if (factory_) engine_ = factory_();
  if (engine_ == nullptr) {
    state_ = kConversionNoEngine;
    return;
  }
  open_result_ = engine_->Initialize();
  if (open_result_ != platform::kConvOk) return;  // state stays 1
  engine_initialized_ = true;
  state_ = kConversionNoEngine;
  open_result_ = engine_->Open();
  if (open_result_ == platform::kConvOk) {
    opened_ = true;
    state_ = kConversionFound;
  }
}

void KanaConversionProvider::TakeClauses(const platform::EngineAnswer& a, const std::u16string& reading) {
  clauses_.clear();
  if (a.reading_echo.size() != reading.size() || NeededBytes(a, 2) > a.declared_size || a.reading_echo != reading) {
    return;
  }
  if (a.descriptors.empty() || a.descriptors.size() > kMaxDescriptors || NeededBytes(a, 3) > a.declared_size) return;
  uint64_t reading_end = 0;
  uint64_t display_end = 0;
  std::vector<ConversionClause> clauses;
  for (const platform::ConversionDescriptor& d : a.descriptors) {
    const uint64_t r0 = d.reading_pos, r1 = r0 + d.reading_len;
    const uint64_t d0 = d.display_pos, d1 = d0 + d.display_len;
    if (r0 < reading_end || d0 < display_end || r1 > reading.size() || d1 > base_.size() ||
        !IsUtf16Boundary(reading, r0) || !IsUtf16Boundary(reading, r1) || !IsUtf16Boundary(base_, d0) ||
        !IsUtf16Boundary(base_, d1)) {
      return;  // every clause is discarded
    }
    reading_end = r1;
    display_end = d1;
    if (d.reading_len >= 1 && d.reading_len <= kMaxClauseReading && d.display_len != 0 &&
        clauses.size() < kMaxClauses) {
      clauses.push_back({reading.substr(r0, d.reading_len), d0, d1 - d0, {}});
    }
  }
  clauses_ = std::move(clauses);
}

void KanaConversionProvider::AskEngine(uint32_t mode, const std::u16string& reading, uint64_t start,
                                       ConversionResult& result) {
  for (size_t call = 0; call < kMaxCallsPerMode; ++call) {
    std::optional<platform::EngineAnswer> answer;
    const int32_t code =
        engine_->Next(mode, call == 0 ? &reading : nullptr, start + kConversionBudgetMs, &answer);
    if (code != platform::kConvOk) {
      result.hresult = code;
      return;
    }
    if (!answer) return;
    if (UsableOutput(*answer)) {
      AddCandidateUnique(result, answer->output, kCandidateLimit);
      if (mode == platform::kConvModePlural && !have_base_) {
        have_base_ = true;
        base_ = answer->output;
        TakeClauses(*answer, reading);
      }
    }
    if (result.candidates.size() >= kCandidateLimit) return;
    if (platform::TickCount64() - start > kConversionBudgetMs) return;
  }
}

ConversionResult KanaConversionProvider::Convert(uint64_t request_id, const std::u16string& reading) {
  ConversionResult result;
  result.request_id = request_id;
  const uint64_t start = platform::TickCount64();
  if (reading.empty() || reading.size() > kMaxReadingUnitsForConversion || HasNul(reading)) {
    result.status = kConversionRejected;
    return result;
  }
  if (!open_attempted_) OpenEngine();
  have_base_ = false;
  base_.clear();
  clauses_.clear();
  if (opened_) {
    AskEngine(platform::kConvModePlural, reading, start, result);
    AskEngine(platform::kConvModeSingle, reading, start, result);
  }

  const size_t before = result.candidates.size();
  for (const std::u16string& value : dictionary_.Lookup(reading, kCandidateLimit)) {
    AddCandidateUnique(result, value, kCandidateLimit);
  }
  for (ConversionClause& clause : clauses_) clause.alternatives = dictionary_.Lookup(clause.reading, kClauseAlternatives);
  for (size_t k = 0; k < kClauseAlternatives && result.candidates.size() < kCandidateLimit; ++k) {
    for (const ConversionClause& clause : clauses_) {
      if (clause.alternatives.size() <= k) continue;
      AddCandidateUnique(result,
                         base_.substr(0, clause.display_pos) + clause.alternatives[k] +
                             base_.substr(clause.display_pos + clause.display_len),
                         kCandidateLimit);
    }
  }
  result.dictionary_state = dictionary_.state();
  result.dictionary_added = static_cast<uint32_t>(result.candidates.size() - before);

  if (result.candidates.empty()) {
    if (!opened_) {
      result.status = state_;
      result.hresult = open_result_;
    } else {
      result.status = kConversionRejected;
    }
  } else {
    result.status = kConversionFound;
    result.hresult = 0;
    AddCandidateUnique(result, reading, kCandidateLimitWithReading);
    AddCandidateUnique(result, Katakana(reading), kCandidateLimitWithReading);
  }
  result.elapsed_ms = static_cast<uint32_t>(std::min<uint64_t>(platform::TickCount64() - start, kMaxElapsedMs));
  return result;
}
