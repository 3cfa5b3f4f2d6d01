// The launcher's whole frame: the page shown, a page slide or an app
// transition with its veil, then the call panel over everything.
#include <algorithm>
#include <cmath>

#include "phone_ui/chat_app.h"
#include "phone_ui/launcher.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kVeilColour = 0xFF2D1F1C;
constexpr float kVeilPeak = 0.55f;

}  // namespace

float LauncherTransitionProgress(uint64_t start, uint64_t now) {
  const auto elapsed = static_cast<int64_t>(now - start);
  if (elapsed <= 0) return 0.0f;
  return std::min(static_cast<float>(elapsed) / static_cast<float>(kTransitionMs), 1.0f);
}

void RenderLauncherFrame(const PhoneUi& ui, PhoneCanvas& canvas) {
  const uint32_t kind = ui.transition_kind;
  if (kind == kTransitionNone) {
    ComposeLauncherPage(canvas, ui, ui.launcher_screen != 0, ui.launcher_page, ui.launcher_app);
  } else {
    const float t = LauncherTransitionProgress(ui.transition_start, platform::TickCount64());
    if (kind == kTransitionPageForward || kind == kTransitionPageBack) {
      const bool forward = kind == kTransitionPageForward;
      FillCanvasRect(canvas, 0, 0, kCanvasWidth, kCanvasHeight, 0xFFFDF8F7);
      const auto s = static_cast<int32_t>(std::trunc((forward ? -1.0f : 1.0f) * t * 540.0f));
      RenderLauncherHomePage(canvas, ui.launcher_page_from, s);
      RenderLauncherHomePage(canvas, ui.launcher_page_to, forward ? s + 540 : s - 540);
      RenderLauncherDock(canvas, kLauncherTiles[1], kLauncherTiles[2]);
      const uint32_t page = t < 0.5f ? ui.launcher_page_from : ui.launcher_page_to;
      DrawPageDots(canvas, page);
      DrawStatusBar(canvas, "QUORIXPHONE");
      DrawNavigationBar(canvas, page >= 1);
    } else {
      const bool before = t < 0.5f;
      ComposeLauncherPage(canvas, ui, (before ? ui.launcher_screen_from : ui.launcher_screen_to) != 0,
                          before ? ui.launcher_page_from : ui.launcher_page_to,
                          before ? ui.launcher_app_from : ui.launcher_app_to);
      const float a = before ? 2.0f * t * kVeilPeak : 2.0f * (1.0f - t) * kVeilPeak;
      BlendCanvasRect(canvas, 0, 64, kCanvasWidth, 900, kVeilColour, a);
    }
  }
  RenderCallPanel(ui, canvas, 0);
}
