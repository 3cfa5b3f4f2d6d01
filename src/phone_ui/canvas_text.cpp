#include "phone_ui/canvas_text.h"

#include <time.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/text.h"
#include "phone_ui/canvas_internal.h"

namespace {

thread_local std::unique_ptr<TextRasterContext> t_context;

// A view of a cache key, so a hit builds no string.
struct TextKeyView {
  uint8_t centred;
  int32_t height;
  int32_t width;
  std::u16string_view text;
};

auto AsTuple(const TextKey& key) {
  return std::tuple(key.centred, key.height, key.width, std::u16string_view(key.text));
}
auto AsTuple(const TextKeyView& key) {
  return std::tuple(key.centred, key.height, key.width, key.text);
}

}  // namespace

bool operator<(const TextKey& a, const TextKeyView& b) { return AsTuple(a) < AsTuple(b); }
bool operator<(const TextKeyView& a, const TextKey& b) { return AsTuple(a) < AsTuple(b); }

TextRasterContext::~TextRasterContext() {
  texts.clear();
  fonts.clear();
  backend.reset();
}

TextRasterContext& GetTextRasterContext() {
  if (!t_context) {
    t_context = std::make_unique<TextRasterContext>();
    t_context->backend = platform::MakeTextRasterizer();
  }
  return *t_context;
}

void ClearTextCache() {
  if (t_context) t_context->texts.clear();
}

void ResetTextRasterContextForTesting() { t_context.reset(); }

const platform::TextFont* GetTextFont(TextRasterContext& context, int32_t height, bool centred) {
  const int64_t key = int64_t{height} * 2 + (centred ? 1 : 0);
  auto it = context.fonts.find(key);
  if (it == context.fonts.end()) {
    std::unique_ptr<platform::TextFont> font;
    if (context.backend) font = context.backend->CreateFont(height, centred);
    it = context.fonts.emplace(key, std::move(font)).first;
  }
  return it->second.get();
}

const std::vector<uint8_t>* RasterizeText(TextRasterContext& context, std::u16string_view text,
                                          int32_t width, int32_t height, bool centred) {
  if (!context.backend) return nullptr;
  if (height < 1 || height > platform::kTextBoxMaxHeight || width < 1 ||
      width > platform::kTextBoxMaxWidth) {
    return nullptr;
  }
  const TextKeyView view{static_cast<uint8_t>(centred ? 1 : 0), height, width, text};
  if (auto hit = context.texts.find(view); hit != context.texts.end()) {
    hit->second.stamp = ++context.use_counter;
    return &hit->second.mask;
  }
  const platform::TextFont* font = GetTextFont(context, height, centred);
  std::optional<std::vector<uint8_t>> mask =
      context.backend->Rasterize(font, text, width, height, centred);
  if (!mask || mask->size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
    return nullptr;
  }
  const uint64_t stamp = ++context.use_counter;
  if (context.texts.size() >= kTextCacheCapacity) {
    auto oldest = std::min_element(
        context.texts.begin(), context.texts.end(),
        [](const auto& a, const auto& b) { return a.second.stamp < b.second.stamp; });
    context.texts.erase(oldest);
  }
  auto inserted = context.texts.emplace(
      TextKey{view.centred, height, width, std::u16string(text)}, TextEntry{std::move(*mask), stamp});
  return &inserted.first->second.mask;
}

void BlendTextMask(PhoneCanvas& canvas, int32_t x, int32_t y, const uint8_t* mask,
                   int32_t width, int32_t height, uint32_t colour) {
  if (canvas.empty() || mask == nullptr || width < 1 || height < 1) return;
  const int64_t left = x, top = y;
  const int64_t row_begin = std::max<int64_t>(0, -top);
  const int64_t row_end = std::min<int64_t>(height, kCanvasHeight - top);
  const int64_t col_begin = std::max<int64_t>(0, -left);
  const int64_t col_end = std::min<int64_t>(width, kCanvasWidth - left);
  if (row_begin >= row_end || col_begin >= col_end) return;
  const float channel[3] = {static_cast<float>(colour & 0xFF),
                            static_cast<float>((colour >> 8) & 0xFF),
                            static_cast<float>((colour >> 16) & 0xFF)};
  const uint8_t full[3] = {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                           static_cast<uint8_t>(colour >> 16)};
  for (int64_t i = row_begin; i < row_end; ++i) {
    const uint8_t* coverage = mask + i * width;
    uint8_t* row = canvas.data() + canvas_detail::PixelOffset(left, top + i);
    int64_t j = col_begin;
    while (j < col_end) {
      // Skip runs without ink eight at a time.
      if (j + 8 <= col_end) {
        uint64_t eight;
        std::memcpy(&eight, coverage + j, 8);
        if (eight == 0) {
          j += 8;
          continue;
        }
      }
      const uint8_t m = coverage[j];
      uint8_t* p = row + j * 4;
      if (m == 255) {
        p[0] = full[0];
        p[1] = full[1];
        p[2] = full[2];
      } else if (m != 0) {
        const float a = static_cast<float>(m) / 255.0f;
        for (int k = 0; k < 3; ++k) {
          p[k] = static_cast<uint8_t>(channel[k] * a + static_cast<float>(p[k]) * (1.0f - a));
        }
      }
      ++j;
    }
  }
}

void DrawCanvasText(PhoneCanvas& canvas, int32_t x, int32_t y, std::u16string_view text,
                    int32_t width, int32_t height, uint32_t colour, bool centred) {
  TextRasterContext& context = GetTextRasterContext();
  if (context.backend) {
    context.backend->NoteDraw({text, x, y, width, height, colour, centred});
  }
  if (height < 1) return;
  const std::vector<uint8_t>* mask = RasterizeText(context, text, width, height, centred);
  if (mask == nullptr) return;
  BlendTextMask(canvas, x, y, mask->data(), width, height, colour);
}

void DrawTextClipped(PhoneCanvas& canvas, int32_t x, int32_t y, std::u16string_view text,
                     int32_t height, uint32_t colour, int32_t max_width) {
  if (text.empty()) return;
  const int64_t room = int64_t{kCanvasWidth} - x;
  const int64_t width = std::max<int64_t>(std::min<int64_t>(room, max_width), 20);
  // Wider than any box the rasteriser accepts: nothing is drawn either way.
  const auto box = static_cast<int32_t>(std::min<int64_t>(width, std::numeric_limits<int32_t>::max()));
  DrawCanvasText(canvas, x, y, text, box, height, colour, false);
}

void DrawTextCentered(PhoneCanvas& canvas, int32_t x0, int32_t x1, int32_t y,
                      std::u16string_view text, int32_t height, uint32_t colour) {
  if (text.empty() || x1 <= x0 || height <= 0) return;
  const int64_t width = int64_t{x1} - x0;
  const auto box = static_cast<int32_t>(std::min<int64_t>(width, std::numeric_limits<int32_t>::max()));
  DrawCanvasText(canvas, x0, y, text, box, height, colour, true);
}

std::u16string Utf8ToCanvasText(const std::string& text) {
  if (text.empty()) return {};
  std::u16string wide = Utf8ToWideStrict(text);
  if (wide.empty()) return u"[invalid text]";
  return wide;
}

namespace {

void AppendNumber(std::u16string* out, int value, bool two_digits) {
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
  if (ec != std::errc()) return;
  if (two_digits && end - digits < 2) out->push_back(u'0');
  for (const char* p = digits; p != end; ++p) out->push_back(static_cast<char16_t>(*p));
}

}  // namespace

std::u16string FormatMessageTime(double seconds, int64_t now) {
  if (!std::isfinite(seconds) || seconds <= 0 || seconds >= 253402300799.0) return {};
  const auto message_time = static_cast<time_t>(seconds);
  const auto now_time = static_cast<time_t>(now);
  struct tm message {};
  struct tm current {};
  if (localtime_r(&message_time, &message) == nullptr) return {};
  if (localtime_r(&now_time, &current) == nullptr) return {};
  std::u16string out;
  if (message.tm_year != current.tm_year) {
    AppendNumber(&out, message.tm_year + 1900, false);
    out.push_back(u'/');
  }
  if (message.tm_year != current.tm_year || message.tm_yday != current.tm_yday) {
    AppendNumber(&out, message.tm_mon + 1, false);
    out.push_back(u'/');
    AppendNumber(&out, message.tm_mday, false);
    out.push_back(u' ');
  }
  AppendNumber(&out, message.tm_hour, true);
  out.push_back(u':');
  AppendNumber(&out, message.tm_min, true);
  return out;
}
