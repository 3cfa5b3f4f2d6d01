// KanaKanjiEngine over Anthy. Anthy is not thread-safe: every call runs under
// one process-wide mutex. It is initialised once and never torn down (other
// threads' engines may still be using it), and no segment is ever committed,
// so Anthy learns nothing and writes nothing under HOME.
#include <anthy/anthy.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/kana_kanji_engine.h"
#include "platform/text_encoding.h"

namespace platform {

uint32_t DeclaredAnswerSize(const EngineAnswer& answer) {
  const uint64_t size = uint64_t{kAnswerHeaderBytes} + 2 * (uint64_t{answer.output.size()} + answer.reading_echo.size()) +
                        uint64_t{kDescriptorBytes} * answer.descriptors.size();
  return size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
}

namespace {

std::mutex& AnthyMutex() {
  static std::mutex mutex;
  return mutex;
}

// Called with AnthyMutex held.
bool AnthyReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = anthy_init() == 0; });
  return ready;
}

// Segment `seg`'s candidate `cand` (or NTH_UNCONVERTED_CANDIDATE) as UTF-16;
// false when Anthy refuses or gives malformed UTF-8.
bool SegmentText(anthy_context_t ac, int seg, int cand, std::u16string* out) {
  const int length = anthy_get_segment(ac, seg, cand, nullptr, 0);
  if (length < 0) return false;
  std::string bytes(static_cast<size_t>(length) + 1, '\0');
  if (anthy_get_segment(ac, seg, cand, bytes.data(), length + 1) < 0) return false;
  bytes.resize(static_cast<size_t>(length));
  return DecodeUtf8(bytes.data(), bytes.size(), out);
}

class AnthyEngine final : public KanaKanjiEngine {
 public:
  ~AnthyEngine() override { Close(); }

  int32_t Initialize() override { return kConvOk; }

  int32_t Open() override {
    std::lock_guard lock(AnthyMutex());
    if (!AnthyReady()) return kConvFail;
    anthy_context_t probe = anthy_create_context();
    if (probe == nullptr) return kConvFail;
    anthy_release_context(probe);
    opened_ = true;
    return kConvOk;
  }

  int32_t Next(uint32_t mode, const std::u16string* reading, uint64_t deadline_ms,
               std::optional<EngineAnswer>* answer) override {
    answer->reset();
    if (!opened_ || (mode != kConvModePlural && mode != kConvModeSingle)) return kConvFail;
    std::lock_guard lock(AnthyMutex());
    if (reading != nullptr) {
      const int32_t started = Start(mode, *reading, deadline_ms);
      if (started != kConvOk) return started;
    } else {
      if (context_ == nullptr || mode != mode_) return kConvFail;
      if (!Advance()) return kConvNoMore;
    }
    return Compose(answer);
  }

  void Close() override {
    std::lock_guard lock(AnthyMutex());
    Release();
    opened_ = false;
  }

 private:
  struct Segment {
    int candidates = 0;
    std::u16string reading;
  };

  void Release() {
    if (context_ != nullptr) anthy_release_context(context_);
    context_ = nullptr;
    segments_.clear();
  }

  int32_t Start(uint32_t mode, const std::u16string& reading, uint64_t deadline_ms) {
    Release();
    mode_ = mode;
    current_segment_ = -1;
    current_candidate_ = 0;
    context_ = anthy_create_context();
    if (context_ == nullptr) return kConvFail;
    anthy_context_set_encoding(context_, ANTHY_UTF8_ENCODING);
    if (anthy_set_string(context_, Utf16ToUtf8Lenient(reading).c_str()) != 0) return Fail();
    anthy_conv_stat stat{};
    if (anthy_get_stat(context_, &stat) != 0 || stat.nr_segment < 1) return Fail();
    if (mode == kConvModeSingle) {
      // Widen the first segment until it covers the whole reading; each step
      // is one Anthy call, so the deadline is overrun by at most one step.
      while (stat.nr_segment > 1) {
        anthy_segment_stat before{};
        anthy_get_segment_stat(context_, 0, &before);
        anthy_resize_segment(context_, 0, 1);
        anthy_segment_stat after{};
        if (anthy_get_stat(context_, &stat) != 0 || anthy_get_segment_stat(context_, 0, &after) != 0 ||
            after.seg_len <= before.seg_len || TickCount64() > deadline_ms) {
          return Fail();
        }
      }
    }
    for (int i = 0; i < stat.nr_segment; ++i) {
      anthy_segment_stat seg{};
      Segment segment;
      if (anthy_get_segment_stat(context_, i, &seg) != 0 || seg.nr_candidate < 1 ||
          !SegmentText(context_, i, NTH_UNCONVERTED_CANDIDATE, &segment.reading)) {
        return Fail();
      }
      segment.candidates = seg.nr_candidate;
      segments_.push_back(std::move(segment));
    }
    return kConvOk;
  }

  int32_t Fail() {
    Release();
    return kConvFail;
  }

  // Plural: one segment at a time moves through its candidates, in segment
  // order, the others at candidate 0. Single: the one segment's candidates.
  bool Advance() {
    if (current_segment_ < 0) {
      current_segment_ = 0;
      current_candidate_ = 1;
    } else {
      ++current_candidate_;
    }
    while (current_segment_ < static_cast<int>(segments_.size()) &&
           current_candidate_ >= segments_[static_cast<size_t>(current_segment_)].candidates) {
      ++current_segment_;
      current_candidate_ = 1;
    }
    return current_segment_ < static_cast<int>(segments_.size());
  }

  int32_t Compose(std::optional<EngineAnswer>* answer) {
    EngineAnswer out;
    for (size_t i = 0; i < segments_.size(); ++i) {
      const int cand = static_cast<int>(i) == current_segment_ ? current_candidate_ : 0;
      std::u16string text;
      if (!SegmentText(context_, static_cast<int>(i), cand, &text)) return Fail();
      ConversionDescriptor d;
      d.reading_pos = static_cast<uint32_t>(out.reading_echo.size());
      d.reading_len = static_cast<uint32_t>(segments_[i].reading.size());
      d.display_pos = static_cast<uint32_t>(out.output.size());
      d.display_len = static_cast<uint32_t>(text.size());
      out.reading_echo += segments_[i].reading;
      out.output += text;
      out.descriptors.push_back(d);
    }
    out.declared_size = DeclaredAnswerSize(out);
    *answer = std::move(out);
    return kConvOk;
  }

  bool opened_ = false;
  anthy_context_t context_ = nullptr;
  uint32_t mode_ = 0;
  std::vector<Segment> segments_;
  int current_segment_ = -1;
  int current_candidate_ = 0;
};

}  // namespace

std::unique_ptr<KanaKanjiEngine> MakeAnthyEngine() { return std::make_unique<AnthyEngine>(); }

}  // namespace platform
