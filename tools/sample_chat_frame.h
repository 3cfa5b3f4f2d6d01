#pragma once
// A chat screen as the renderers draw it: header bar with title, twenty
// bubbles alternating sides with avatars, message lines and times, two
// buttons and the rounded corners. Shared by the frame benchmark and the
// frame dump, so a person sees what the benchmark measures.
#include <array>
#include <string>

#include "phone_ui/canvas.h"
#include "phone_ui/canvas_text.h"

namespace sample_frame {

inline constexpr uint32_t kAccent = 0xFFED6823;
inline constexpr uint32_t kWhite = 0xFFFFFFFF;
inline constexpr uint32_t kInk = 0xFF262626;
inline constexpr uint32_t kMuted = 0xFF8C8C8C;
inline constexpr uint32_t kTheirs = 0xFFF0F0F0;
inline constexpr uint32_t kMine = 0xFFFFE3CF;
inline constexpr int32_t kBubbles = 20;

inline const std::array<std::u16string, kBubbles>& Lines() {
  static const std::array<std::u16string, kBubbles> lines = {
      u"こんにちは、Alex!", u"Hi! 今日は元気?", u"明日の meeting は何時?", u"10時からです OK?",
      u"了解、Zoom で参加します", u"Thanks! 資料を送るね", u"ファイル届いた ☆", u"Great, 確認します",
      u"週末は Tokyo に行く", u"いいね、楽しんで!", u"写真を share してね", u"Sure, また連絡する",
      u"ラーメン食べたい", u"Let's go 一緒に", u"駅で 7pm に待ち合わせ", u"OK、少し遅れるかも",
      u"大丈夫、ゆっくりで", u"Running late, ごめん", u"着いたよ、改札前", u"See you soon またね"};
  return lines;
}

inline std::u16string TimeLabel(int i) {
  std::u16string label = u"12:00";
  label[3] = static_cast<char16_t>(u'0' + (i / 10) % 6);
  label[4] = static_cast<char16_t>(u'0' + i % 10);
  return label;
}

// Draws the frame into a canvas that starts white.
inline void DrawChatFrame(PhoneCanvas& canvas) {
  FillCanvasRect(canvas, 0, 0, kCanvasWidth, 44, kAccent);
  DrawTextCentered(canvas, 60, 480, 6, u"トーク Chat", 22, kWhite);
  DrawTextClipped(canvas, 440, 26, u"オンライン", 14, kWhite, 96);
  for (int i = 0; i < kBubbles; ++i) {
    const int32_t y = 48 + i * 44;
    const bool mine = i % 2 == 1;
    const int32_t bubble_x = mine ? 114 : 52;
    FillCircle(canvas, mine ? 510 : 28, y + 20, 16, mine ? kAccent : kMuted);
    FillRoundedRect(canvas, bubble_x, y, bubble_x + 374, y + 40, 20, mine ? kMine : kTheirs);
    DrawCanvasText(canvas, bubble_x + 16, y + 9, Lines()[i], 344, 22, kInk, false);
    DrawTextClipped(canvas, mine ? 66 : 430, y + 24, TimeLabel(i), 14, kMuted, 44);
  }
  FillRoundedRect(canvas, 20, 926, 260, 956, 15, kAccent);
  DrawTextCentered(canvas, 20, 260, 930, u"送信 Send", 20, kWhite);
  FillRoundedRect(canvas, 280, 926, 520, 956, 15, kTheirs);
  DrawTextCentered(canvas, 280, 520, 930, u"戻る Back", 20, kInk);
  ApplyCornerMask(canvas.bytes(), kCanvasWidth, kCanvasHeight, 28);
}

}  // namespace sample_frame
