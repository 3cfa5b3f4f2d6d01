#include "support/fake_text_rasterizer.h"

#include <utility>

#include "phone_ui/canvas_text.h"

namespace test_support {

MaskScript SolidMask(uint8_t value) {
  return [value](std::u16string_view, int32_t width, int32_t height, bool) {
    return std::optional<std::vector<uint8_t>>(
        std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height), value));
  };
}

MaskScript FailingMask() {
  return [](std::u16string_view, int32_t, int32_t, bool) {
    return std::optional<std::vector<uint8_t>>();
  };
}

FakeTextRasterizer::FakeTextRasterizer(std::shared_ptr<FakeTextLog> log, MaskScript script)
    : log_(std::move(log)), script_(std::move(script)) {}

std::unique_ptr<platform::TextFont> FakeTextRasterizer::CreateFont(int32_t, bool) {
  ++log_->fonts_created;
  return std::make_unique<platform::TextFont>();
}

std::optional<std::vector<uint8_t>> FakeTextRasterizer::Rasterize(const platform::TextFont*,
                                                                  std::u16string_view text,
                                                                  int32_t width, int32_t height,
                                                                  bool centred) {
  log_->rasterizations.push_back({std::u16string(text), width, height, centred});
  return script_(text, width, height, centred);
}

int32_t FakeTextRasterizer::CountMissingGlyphs(std::u16string_view) {
  ++log_->missing_glyph_queries;
  return 0;
}

void FakeTextRasterizer::NoteDraw(const platform::TextDrawRequest& request) {
  log_->draws.push_back({std::u16string(request.text), request.x, request.y, request.width,
                         request.height, request.colour, request.centred});
}

ScopedFakeTextRasterizer::ScopedFakeTextRasterizer(MaskScript script)
    : log_(std::make_shared<FakeTextLog>()),
      script_(std::make_shared<MaskScript>(std::move(script))) {
  platform::SetTextRasterizerFactory([log = log_, script = script_] {
    return std::make_unique<FakeTextRasterizer>(
        log, [script](std::u16string_view text, int32_t width, int32_t height, bool centred) {
          return (*script)(text, width, height, centred);
        });
  });
  ResetTextRasterContextForTesting();
}

ScopedFakeTextRasterizer::~ScopedFakeTextRasterizer() {
  ResetTextRasterContextForTesting();
  platform::SetTextRasterizerFactory(nullptr);
}

void ScopedFakeTextRasterizer::SetScript(MaskScript script) { *script_ = std::move(script); }

}  // namespace test_support
