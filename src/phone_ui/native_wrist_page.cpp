// The wrist settings page (native screen 7): ring colour, notifications,
// position reset, calibration entry and ring angle, or the fine-tune page
// with the wrist offsets, pull distance and calibration countdown.
#include <string>

#include "core/ui_settings.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/native_frame.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_text.h"

namespace {

struct WristColours {
  uint32_t background;
  uint32_t text;
  uint32_t secondary;
  uint32_t option;  // unselected option and step button fill
};

constexpr WristColours kWristDark = {0xFF23140C, 0xFFFFF3ED, 0xFFC1AA9B, 0xFF4E2F1B};
constexpr WristColours kWristLight = {0xFFFDF9F7, 0xFF422819, 0xFF8C7465, 0xFFFFF1EA};
constexpr uint32_t kWristAccent = 0xFFED6823;
constexpr uint32_t kWristSaveFailed = 0xFF483CA6;

const WristColours& Colours() { return ui_render_dark ? kWristDark : kWristLight; }

void Text(PhoneCanvas& canvas, int32_t x, int32_t y, const std::u16string& japanese, int32_t w, int32_t h,
          uint32_t colour, bool centred = false) {
  DrawCanvasText(canvas, x, y, LocalizeUiText(japanese), w, h, colour, centred);
}

std::u16string Millimetres(float metres) { return SignedDecimal(FloatToInt(metres * 1000.0f, true)) + u" mm"; }

void DrawStepRow(PhoneCanvas& canvas, const std::u16string& label, float value, int32_t y) {
  const WristColours& c = Colours();
  Text(canvas, 30, y - 47, label, 120, 21, c.text);
  FillRoundedRect(canvas, 165, y - 62, 245, y, 12, c.option);
  Text(canvas, 165, y - 45, u"−", 80, 23, c.text, true);
  Text(canvas, 250, y - 44, Millimetres(value), 123, 22, c.text, true);
  FillRoundedRect(canvas, 390, y - 62, 500, y, 12, c.option);
  Text(canvas, 390, y - 45, u"＋", 110, 23, c.text, true);
}

}  // namespace

void DrawOptionButton(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      const std::u16string& japanese, bool selected) {
  const WristColours& c = Colours();
  FillRoundedRect(canvas, x0, y0, x1, y1, 12, selected ? kWristAccent : c.option);
  DrawTextCentered(canvas, x0, x1, y0 + 17, LocalizeUiText(japanese), 23, selected ? kNativeWhite : c.text);
}

void PhoneUi::RenderWristSettingsPage(PhoneCanvas& canvas) const {
  const UiSettings fallback;
  const UiSettings& s = settings != nullptr ? *settings : fallback;
  const WristColours& c = Colours();
  const bool fine_tune = vr_settings_fine_tune_open != 0;
  FillCanvasRect(canvas, 0, 64, kCanvasWidth, 900, c.background);
  Text(canvas, 30, 91, fine_tune ? u"手首の調整" : u"設定", 350, 32, c.text);
  Text(canvas, 425, 99, u"戻る", 90, 22, kWristAccent);
  if (!fine_tune) {
    Text(canvas, 30, 190, u"手首リングの色", 480, 24, c.text);
    DrawOptionButton(canvas, 30, 238, 258, 303, u"白", !s.ring_black);
    DrawOptionButton(canvas, 282, 238, 510, 303, u"黒", s.ring_black);
    Text(canvas, 30, 342, u"通知の表示", 480, 24, c.text);
    DrawOptionButton(canvas, 30, 387, 510, 450, s.notifications ? u"ON" : u"OFF", s.notifications);
    DrawOptionButton(canvas, 30, 490, 510, 555, u"画面を正面へ戻す", false);
    DrawOptionButton(canvas, 30, 595, 510, 660, u"手首の調整", false);
    Text(canvas, 30, 682, u"リングの表示角度", 480, 24, c.text);
    DrawOptionButton(canvas, 30, 717, 140, 777, u"−", false);
    DrawOptionButton(canvas, 400, 717, 510, 777, u"＋", false);
    DrawTextCentered(canvas, 150, 390, 734, SignedDecimal(FloatToInt(s.ring_visibility_deg, true)) + u"°", 24, c.text);
    Text(canvas, 30, 791, u"5〜90°。色・通知・角度は次回も保持します。", 480, 18, c.secondary);
  } else {
    DrawStepRow(canvas, u"横 X", s.wrist_x, 252);
    DrawStepRow(canvas, u"高さ Y", s.wrist_y, 337);
    DrawStepRow(canvas, u"前後 Z", s.wrist_z, 422);
    DrawOptionButton(canvas, 30, 455, 500, 515, u"甲の方向を切り替え", false);
    DrawOptionButton(canvas, 30, 535, 500, 595, u"3秒後の姿勢で甲の向きを合わせる", false);
    Text(canvas, 30, 630, u"引く距離", 130, 21, c.text);
    DrawOptionButton(canvas, 165, 615, 245, 678, u"−", false);
    DrawOptionButton(canvas, 390, 615, 500, 678, u"＋", false);
    Text(canvas, 250, 637, Millimetres(s.pull_m), 123, 22, c.text, true);
    // The countdown is kept unsigned; a value past the int32 range counts as
    // negative, so it shows the instruction.
    const auto countdown = static_cast<int32_t>(calibration_countdown);
    const std::u16string line = countdown < 1 ? u"甲を顔へ向け、3秒待つと方向が保存されます。"
                                              : SignedDecimal(countdown) + u"秒：甲を顔へ向けて待ってください";
    Text(canvas, 30, 718, line, 480, 18, c.secondary);
    Text(canvas, 30, 748, u"位置は1回の操作で10 mmずつ変わります。", 480, 18, c.secondary);
  }
  if (s.store_failed) Text(canvas, 30, 817, u"設定を保存できませんでした。", 480, 20, kWristSaveFailed);
}
