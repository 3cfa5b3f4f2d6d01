#include "phone_ui/desktop_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/event_log.h"
#include "phone_ui/canvas.h"
#include "platform/gui.h"
#include "platform/panel_window.h"

namespace dp = desktop_pixels;

namespace {

size_t FrameBytes(uint32_t height) { return static_cast<size_t>(dp::kFrameWidth) * height * 4; }

std::vector<uint8_t> ToVector(const FrameBuffer& frame) {
  return std::vector<uint8_t>(frame.data(), frame.data() + frame.size());
}

}  // namespace

// ---- DesktopPanel ----

DesktopPanel::DesktopPanel() = default;

DesktopPanel::~DesktopPanel() = default;

bool DesktopPanel::Present(std::vector<uint8_t> frame, const std::array<uint64_t, 3>& identity) {
  if (frame.size() != FrameBytes(height)) return false;
  if (!needs_present && identity == frame_identity && frame == last_frame) return true;
  frame_bits.resize(FrameBytes(height));
  dp::PremultiplySwap(frame.data(), frame_bits.data(), frame.size() / 4);
  ScaleFrame();
  if (!PushToWindow(frame)) return false;
  last_frame = std::move(frame);
  frame_identity = identity;
  needs_present = false;
  if (owner != nullptr) ++owner->present_counter_;
  return true;
}

bool DesktopPanel::PushToWindow(const std::vector<uint8_t>& frame) {
  if (window == nullptr) return false;
  if (!window->Present(scaled_bits.data(), scaled_width, scaled_height, x, y)) return false;
  std::vector<platform::ScreenRect> shape;
  for (const dp::Rect& r : dp::HitRuns(frame, static_cast<int>(kind), scaled_width, scaled_height)) {
    shape.push_back({r.x, r.y, r.width, r.height});
  }
  window->SetInputShape(shape);
  return true;
}

void DesktopPanel::ScaleFrame() {
  scaled_bits.resize(static_cast<size_t>(scaled_width) * scaled_height * 4);
  dp::ScaleSurface(frame_bits.data(), static_cast<int>(height), scaled_bits.data(), scaled_width, scaled_height);
  if (kind == 0) dp::DrawResizeGrip(scaled_bits.data(), scaled_width, scaled_height);
}

bool DesktopPanel::EnsureScaledSurface(int width, int new_height) {
  width = std::max(width, 1);
  new_height = std::max(new_height, 1);
  if (width == scaled_width && new_height == scaled_height && !scaled_bits.empty()) return true;
  scaled_bits.assign(static_cast<size_t>(width) * new_height * 4, 0);
  scaled_width = width;
  scaled_height = new_height;
  needs_present = true;
  return true;
}

bool DesktopPanel::IsInResizeGrip(int client_x, int client_y) const {
  return kind == 0 && dp::InResizeGrip(scaled_width, scaled_height, client_x, client_y);
}

void DesktopPanel::MoveTo(int new_x, int new_y) {
  x = new_x;
  y = new_y;
  if (window != nullptr) window->Move(x, y);
}

// ---- DesktopWindow ----

DesktopWindow::DesktopWindow(PhoneUi* ui) : ui_(ui) {
  for (size_t kind = 0; kind < panels_.size(); ++kind) {
    panels_[kind].owner = this;
    panels_[kind].kind = static_cast<uint32_t>(kind);
    panels_[kind].height = static_cast<uint32_t>(dp::kPanelHeights[kind]);
  }
}

DesktopWindow::~DesktopWindow() {
  // After the display is gone no X call may be made: leave the windows.
  if (platform::DisplayLost()) {
    for (DesktopPanel& panel : panels_) (void)panel.window.release();
  }
}

void DesktopWindow::RefreshWorkArea() {
  const platform::ScreenRect area = platform::WorkArea(panels_[0].window.get());
  work_area_ = {area.x, area.y, area.x + area.width, area.y + area.height};
}

bool DesktopWindow::Create(bool hidden) {
  hidden_mode_ = hidden;
  if (!platform::StartGui()) return false;
  RefreshWorkArea();
  const dp::CreateLayout layout = dp::LayoutForCreate(work_area_);
  scale_ = layout.scale;
  for (size_t kind = 0; kind < panels_.size(); ++kind) {
    DesktopPanel& panel = panels_[kind];
    const dp::Rect& r = layout.panels[kind];
    panel.x = r.x;
    panel.y = r.y;
    panel.window = platform::PanelWindow::Create(r.x, r.y, r.width, r.height);
    if (panel.window == nullptr || !panel.EnsureScaledSurface(r.width, r.height)) return false;
    panel.frame_bits.assign(FrameBytes(panel.height), 0);
  }
  visible = true;
  return true;
}

void DesktopWindow::SetVisible(bool value) {
  if (value != visible) {
    visible = value;
    needs_update_ = true;
    WriteEventLog("UI3_DESKTOP_VISIBLE", value ? 1 : 0, 0);
  }
  if (!value) {
    for (size_t kind : {size_t{0}, size_t{1}}) {
      DesktopPanel& panel = panels_[kind];
      if (panel.shown && panel.window != nullptr) panel.window->SetShown(false);
      panel.shown = false;
    }
  }
}

void DesktopWindow::HandleShowMessage() {
  if (!visible) {
    visible = true;
    needs_update_ = true;
    WriteEventLog("UI3_DESKTOP_VISIBLE", 1, 0);
  }
}

void DesktopWindow::ClampPanelToWorkArea(DesktopPanel& panel) {
  const dp::Rect r = dp::ClampToWorkArea({panel.x, panel.y, panel.scaled_width, panel.scaled_height}, work_area_);
  panel.MoveTo(r.x, r.y);
}

void DesktopWindow::ResetWindowPositions() {
  RefreshWorkArea();
  DesktopPanel& phone = panels_[0];
  phone.MoveTo(work_area_.right - phone.scaled_width - 24, work_area_.top + 20);
  DesktopPanel& keyboard = panels_[1];
  keyboard.placed_by_user = false;
  keyboard.MoveTo(phone.x, phone.y + phone.scaled_height + 8);
  ClampPanelToWorkArea(keyboard);
  needs_update_ = true;
}

bool DesktopWindow::SetScale(float requested) {
  RefreshWorkArea();
  const std::optional<float> limited = dp::LimitScale(requested, work_area_);
  if (!limited) return false;
  const float next = *limited;
  if (std::fabs(next - scale_) < dp::kScaleEpsilon) return true;
  for (DesktopPanel& panel : panels_) {
    if (!panel.EnsureScaledSurface(dp::RoundedScaled(dp::kFrameWidth, next),
                                   dp::RoundedScaled(static_cast<int>(panel.height), next))) {
      return false;
    }
  }
  scale_ = next;
  DesktopPanel& phone = panels_[0];
  ClampPanelToWorkArea(phone);
  DesktopPanel& keyboard = panels_[1];
  if (!keyboard.placed_by_user) keyboard.MoveTo(phone.x, phone.y + phone.scaled_height + 8);
  for (size_t kind = 1; kind < panels_.size(); ++kind) ClampPanelToWorkArea(panels_[kind]);
  for (DesktopPanel& panel : panels_) {
    if (panel.last_frame.empty()) continue;
    const std::array<uint64_t, 3> identity = panel.frame_identity;
    (void)panel.Present(panel.last_frame, identity);
  }
  return true;
}

void DesktopWindow::Update(bool force) {
  const bool redraw = force || needs_update_;
  needs_update_ = false;
  if (ui_ == nullptr) return;
  if (ui_->desktop_position_reset_request != 0) {
    ui_->desktop_position_reset_request = 0;
    ResetWindowPositions();
  }
  DesktopPanel& phone = panels_[0];
  if (phone.window == nullptr) return;
  if (visible && (redraw || phone.last_frame.empty())) {
    const std::array<uint64_t, 3> identity = ui_->GetOwnerRevisions(0);
    (void)phone.Present(ToVector(ui_->RenderPhoneFrame()), identity);
    ui_->drawn_friend_request_revision = phone.frame_identity[1];
    ui_->drawn_status_revision = phone.frame_identity[2];
  }
  const bool show_phone = visible && !phone.last_frame.empty();
  if (show_phone != phone.shown) {
    phone.shown = show_phone;
    phone.window->SetShown(show_phone && !hidden_mode_);
  }
  for (uint32_t slot = 0; slot < 5; ++slot) {
    DesktopPanel& panel = panels_[slot + 2];
    const uint64_t item = ui_->GetPopupItemKey(slot);
    if (item != panel.popup_item) {
      panel.popup_item = item;
      panel.pressed = false;
    }
    const std::array<uint64_t, 5> key = ui_->GetPopupRenderKey(slot);
    if (key != panel.popup_render_key || panel.last_frame.empty() || panel.needs_present) {
      const std::array<uint64_t, 3> identity = ui_->GetPopupIdentity(slot);
      (void)panel.Present(ToVector(ui_->RenderPopupFrame(slot)), identity);
      panel.popup_render_key = key;
    }
    const bool show_popup = item != 0;
    if (show_popup != panel.shown) {
      panel.shown = show_popup;
      panel.window->SetShown(show_popup && !hidden_mode_);
    }
  }
}
