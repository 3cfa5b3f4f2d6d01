#pragma once
// A text rasteriser for renderer tests: it draws no glyphs but hands out
// solid or scripted masks, counts its calls and records every draw request.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text_rasterizer.h"

namespace test_support {

using RecordedTextDraw = platform::BasicTextDraw<std::u16string>;

struct RasterizeCall {
  std::u16string text;
  int32_t width = 0;
  int32_t height = 0;
  bool centred = false;
};

// What the fake saw; shared with the test, which may read it at any time.
struct FakeTextLog {
  std::vector<RecordedTextDraw> draws;
  std::vector<RasterizeCall> rasterizations;
  int32_t fonts_created = 0;
  int32_t missing_glyph_queries = 0;
};

// Produces the mask of one rasterisation; none makes the call fail.
using MaskScript = std::function<std::optional<std::vector<uint8_t>>(
    std::u16string_view text, int32_t width, int32_t height, bool centred)>;

// Every byte `value`.
MaskScript SolidMask(uint8_t value);

// A backend that cannot draw anything.
MaskScript FailingMask();

class FakeTextRasterizer final : public platform::TextRasterizer {
 public:
  FakeTextRasterizer(std::shared_ptr<FakeTextLog> log, MaskScript script);

  std::unique_ptr<platform::TextFont> CreateFont(int32_t height, bool centred) override;
  std::optional<std::vector<uint8_t>> Rasterize(const platform::TextFont* font,
                                                std::u16string_view text, int32_t width,
                                                int32_t height, bool centred) override;
  int32_t CountMissingGlyphs(std::u16string_view text) override;
  void NoteDraw(const platform::TextDrawRequest& request) override;

 private:
  std::shared_ptr<FakeTextLog> log_;
  MaskScript script_;
};

// Installs the fake as the process-wide rasteriser and gives the calling
// thread a fresh context that uses it; the destructor restores the default
// rasteriser and drops the thread's context again.
class ScopedFakeTextRasterizer {
 public:
  explicit ScopedFakeTextRasterizer(MaskScript script = SolidMask(255));
  ~ScopedFakeTextRasterizer();
  ScopedFakeTextRasterizer(const ScopedFakeTextRasterizer&) = delete;
  ScopedFakeTextRasterizer& operator=(const ScopedFakeTextRasterizer&) = delete;

  FakeTextLog& log() { return *log_; }
  // Rasterise calls since the fake was installed.
  size_t rasterize_count() const { return log_->rasterizations.size(); }
  // Replaces the script for later rasterisations.
  void SetScript(MaskScript script);

 private:
  std::shared_ptr<FakeTextLog> log_;
  std::shared_ptr<MaskScript> script_;
};

}  // namespace test_support
