#include "phone_ui/desktop_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/event_log.h"
#include "phone_ui/canvas.h"
#include "phone_ui/native_kit.h"
#include "platform/global_hotkey.h"
#include "platform/gui.h"
#include "platform/message_box.h"
#include "platform/panel_window.h"
#include "platform/tray_icon.h"

namespace dp = desktop_pixels;
using platform::WindowMessage;
using platform::WindowMessageType;

namespace {

// Press points above these phone rows start a drag: the phone's status bar,
// the keyboard's top band and a popup card's body.
constexpr std::array<float, dp::kPanelCount> kDragBand = {64, 55, 190, 190, 190, 190, 190};
// A drag starts once the pointer has moved this far (|dx| + |dy|).
constexpr int kDragThreshold = 6;
// A keyboard press that moves less than this in both directions is a tap.
constexpr int kSwipeThreshold = 33;
constexpr const char* kTrayTip = "Quorix \u2014 Ctrl+P";

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

DesktopWindow::DesktopWindow(PhoneUi* ui) : DesktopWindow(static_cast<DesktopPhoneUi*>(nullptr)) {
  if (ui != nullptr) {
    owned_ui_ = std::make_unique<PhoneUiDesktopAdapter>(ui);
    ui_ = owned_ui_.get();
  }
}

DesktopWindow::DesktopWindow(DesktopPhoneUi* ui, QuorixTsfDraftBridge::ProviderFactory factory)
    : ui_(ui), bridge_(std::move(factory)) {
  for (size_t kind = 0; kind < panels_.size(); ++kind) {
    panels_[kind].owner = this;
    panels_[kind].kind = static_cast<uint32_t>(kind);
    panels_[kind].height = static_cast<uint32_t>(dp::kPanelHeights[kind]);
  }
}

DesktopWindow::~DesktopWindow() {
  TakeBridgeBack();
  bridge_.Shutdown();
  // After the display is gone the platform objects make no X call: their
  // windows are left to the dead connection.
  hotkey_.reset();
  tray_.reset();
  input_window_.reset();
}

std::vector<uint8_t> DesktopWindow::LoadAppIcon() {
  const std::span<const uint8_t> icon = GetAppIconPixels();
  return std::vector<uint8_t>(icon.begin(), icon.end());
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
    panel.window->SetMessageHandler(
        [this, &panel](const WindowMessage& message) { return PanelWindowProc(panel, message); });
  }
  const std::vector<uint8_t> icon = LoadAppIcon();
  for (DesktopPanel& panel : panels_) panel.window->SetIcons(icon);
  DesktopPanel& phone = panels_[0];
  // The hotkey and the tray speak to the phone panel's procedure.
  const auto to_phone = [this](WindowMessageType type) {
    WindowMessage message;
    message.type = type;
    PanelWindowProc(panels_[0], message);
  };
  if (!hidden) {
    hotkey_ = platform::GlobalHotkey::GrabCtrlP([to_phone] { to_phone(WindowMessageType::kHotkey); });
    if (hotkey_ == nullptr) {
      platform::ShowMessageBox(phone.window->XWindowId(),
                               u"Ctrl+P is already in use. Quorix can still be opened from its tray icon.", u"Quorix",
                               platform::kMessageBoxOk);
      WriteEventLog("UI3_HOTKEY_UNAVAILABLE", 1, 0);
    }
    tray_ = platform::TrayIcon::Create(
        icon, kTrayTip, [to_phone] { to_phone(WindowMessageType::kTrayLeftClick); },
        [to_phone] { to_phone(WindowMessageType::kTrayRightClick); });
  }
  input_window_ = platform::InputWindow::Create(*phone.window);
  if (input_window_ == nullptr) return false;
  for (size_t kind = 2; kind < panels_.size(); ++kind) {
    if (!panels_[kind].window->SetOwner(*input_window_)) return false;
  }
  platform::TextEntry& entry = input_window_->entry();
  UpdateNativeEditFont();
  entry.SetMessageHandler([this](const WindowMessage& message, const platform::TextEntry::KeyState& keys) {
    return message.type == WindowMessageType::kEditChanged ? InputWindowProc(message)
                                                           : EditSubclassProc(message, keys);
  });
  tsf_ready_ = bridge_.Initialize(input_window_.get(), nullptr);
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
    if (input_window_ != nullptr) input_window_->SetShown(false);
    return;
  }
  if (!hidden_mode_ && !BridgeBusy() && panels_[0].window != nullptr) panels_[0].window->BringToFront();
}

void DesktopWindow::HandleShowMessage() { Show(); }

void DesktopWindow::Show() {
  if (!visible) {
    visible = true;
    needs_update_ = true;
    WriteEventLog("UI3_DESKTOP_VISIBLE", 1, 0);
  }
  if (!hidden_mode_ && !BridgeBusy() && panels_[0].window != nullptr) panels_[0].window->BringToFront();
}

bool DesktopWindow::BridgeBusy() const { return tsf_ready_ && bridge_.IsBusy(); }

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
  PlaceNativeEdit();
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
  UpdateNativeEditFont();
  PlaceNativeEdit();
  for (DesktopPanel& panel : panels_) {
    if (panel.last_frame.empty()) continue;
    const std::array<uint64_t, 3> identity = panel.frame_identity;
    (void)panel.Present(panel.last_frame, identity);
  }
  return true;
}

void DesktopWindow::LogTsfChanges() {
  if (!tsf_ready_) return;
  bridge_.Poll();
  const QuorixTsfDraftBridge::State* state = bridge_.GetState();
  if (state == nullptr) return;
  if (state->status_code != last_convert_state_) {
    last_convert_state_ = state->status_code;
    WriteEventLog("UI33_VR_CONVERT_STATE", last_convert_state_, bridge_.IsBusy() ? 1 : 0);
  }
  if (state->stats_revision != last_provider_revision_) {
    last_provider_revision_ = state->stats_revision;
    WriteEventLog("UI34_VR_PROVIDER", state->last_stats[2], state->last_stats[0]);
    WriteEventLog("UI34_VR_PROVIDER_LATENCY", state->last_stats[1], 0);
    WriteEventLog("UI35_HOMOPHONE_DICTIONARY", state->last_stats[4], state->last_stats[3]);
  }
}

void DesktopWindow::Update(bool force) {
  const bool redraw = force || needs_update_;
  needs_update_ = false;
  if (ui_ == nullptr) return;
  if (ui_->TakePositionResetRequest()) ResetWindowPositions();
  LogTsfChanges();
  DesktopPanel& phone = panels_[0];
  if (phone.window == nullptr) return;
  if (visible && (redraw || phone.last_frame.empty())) {
    const std::array<uint64_t, 3> identity = ui_->GetOwnerRevisions();
    (void)phone.Present(ToVector(ui_->RenderPhoneFrame()), identity);
    ui_->SetDrawnRevisions(phone.frame_identity[1], phone.frame_identity[2]);
  }
  const bool show_phone = visible && !phone.last_frame.empty();
  if (show_phone != phone.shown) {
    phone.shown = show_phone;
    phone.window->SetShown(show_phone && !hidden_mode_);
  }
  // Text typed on the desktop goes through the native editor: the keyboard
  // panel stays hidden.
  DesktopPanel& keyboard = panels_[1];
  if (keyboard.shown) {
    keyboard.shown = false;
    keyboard.window->SetShown(false);
  }
  SyncNativeEditor(false);
  for (uint32_t slot = 0; slot < 5; ++slot) {
    DesktopPanel& panel = panels_[slot + 2];
    const uint64_t item = ui_->GetPopupItemKey(slot);
    if (item != panel.popup_item) {
      panel.popup_item = item;
      if (panel.pressed) panel.window->ReleaseCapture();
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

// ---- Pointer, hotkey, tray ----

std::array<float, 2> DesktopWindow::PhonePoint(const DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y) const {
  const float x = static_cast<float>(cursor_x - panel.x);
  const float y = static_cast<float>(cursor_y - panel.y);
  return {x * static_cast<float>(dp::kFrameWidth) / static_cast<float>(std::max(panel.scaled_width, 1)),
          y * static_cast<float>(panel.height) / static_cast<float>(std::max(panel.scaled_height, 1))};
}

intptr_t DesktopWindow::PanelWindowProc(DesktopPanel& panel, const WindowMessage& message) {
  const int32_t client_x = message.x - panel.x;
  const int32_t client_y = message.y - panel.y;
  switch (message.type) {
    case WindowMessageType::kShow:
      Show();
      return 0;
    case WindowMessageType::kHotkey:
      SetVisible(!visible);
      return 0;
    case WindowMessageType::kClose:
    case WindowMessageType::kEndSession:
      quit = true;
      return 0;
    case WindowMessageType::kTrayLeftClick:
      Show();
      return 0;
    case WindowMessageType::kTrayRightClick:
    case WindowMessageType::kRightButtonUp:
      ShowTrayMenu();
      return 0;
    case WindowMessageType::kHitTest: {
      if (panel.IsInResizeGrip(client_x, client_y)) return platform::kHitClient;
      if (client_x < 0 || client_y < 0 || client_x >= panel.scaled_width || client_y >= panel.scaled_height) {
        return platform::kHitTransparent;
      }
      if (panel.last_frame.empty()) return platform::kHitClient;
      const int column = client_x * dp::kFrameWidth / std::max(panel.scaled_width, 1);
      const int row = client_y * static_cast<int>(panel.height) / std::max(panel.scaled_height, 1);
      const size_t at = (static_cast<size_t>(row) * dp::kFrameWidth + static_cast<size_t>(column)) * 4 + 3;
      if (at >= panel.last_frame.size()) return platform::kHitClient;
      return panel.last_frame[at] < dp::kHitAlpha ? platform::kHitTransparent : platform::kHitClient;
    }
    case WindowMessageType::kSetCursor:
      return (panel.pressed && panel.resizing) || panel.IsInResizeGrip(client_x, client_y) ? 1 : 0;
    case WindowMessageType::kLeftButtonDown:
      PanelPress(panel, message.x, message.y);
      return 0;
    case WindowMessageType::kMouseMove:
      if (panel.pressed) PanelMove(panel, message.x, message.y);
      return 0;
    case WindowMessageType::kCaptureChanged:
      panel.pressed = false;
      panel.resizing = false;
      return 0;
    case WindowMessageType::kLeftButtonUp:
      if (panel.pressed) PanelRelease(panel, message.x, message.y);
      return 0;
    default:
      return 0;
  }
}

void DesktopWindow::PanelPress(DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y) {
  panel.press_point = PhonePoint(panel, cursor_x, cursor_y);
  panel.press_cursor = {cursor_x, cursor_y};
  panel.press_window_position = {panel.x, panel.y};
  panel.press_scale = scale_;
  panel.pressed = true;
  panel.moved = false;
  panel.resizing = panel.IsInResizeGrip(cursor_x - panel.x, cursor_y - panel.y);
}

void DesktopWindow::PanelMove(DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y) {
  const int32_t dx = cursor_x - panel.press_cursor[0];
  const int32_t dy = cursor_y - panel.press_cursor[1];
  if (panel.resizing) {
    const float next = std::abs(dx) * 960 >= std::abs(dy) * 540
                           ? panel.press_scale + static_cast<float>(dx) / 540.0f
                           : panel.press_scale + static_cast<float>(dy) / 960.0f;
    (void)SetScale(next);
    return;
  }
  if (panel.press_point[1] >= kDragBand[panel.kind]) return;
  if (!panel.moved && std::abs(dx) + std::abs(dy) < kDragThreshold) return;
  panel.MoveTo(panel.press_window_position[0] + dx, panel.press_window_position[1] + dy);
  panel.moved = true;
  panel.placed_by_user = true;
  PlaceNativeEdit();
}

void DesktopWindow::PanelRelease(DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y) {
  const bool dragged = panel.moved || panel.resizing;
  panel.pressed = false;
  panel.resizing = false;
  if (dragged) return;
  const std::array<float, 2> point = PhonePoint(panel, cursor_x, cursor_y);
  if (panel.kind == 0) {
    ui_->SetDrawnRevisions(panel.frame_identity[1], panel.frame_identity[2]);
    ui_->Tap(point[0], point[1]);
    SyncNativeEditor(true);
  } else if (panel.kind == 1) {
    const auto ddx = static_cast<int32_t>(point[0] - panel.press_point[0]);
    const auto ddy = static_cast<int32_t>(point[1] - panel.press_point[1]);
    const bool small = std::abs(ddx) < kSwipeThreshold && std::abs(ddy) < kSwipeThreshold;
    if (!small && ui_->IsKeyboardSwipeArea(panel.press_point[0], panel.press_point[1])) {
      ui_->SwipeKeyboard(panel.press_point[0], panel.press_point[1], ddx, ddy);
    } else {
      ui_->TapKeyboard(point[0], point[1]);
    }
    SyncNativeEditor(false);
  } else {
    const uint32_t slot = panel.kind - 2;
    const bool close_corner = point[0] >= 479 && point[1] < 57;
    const bool open = slot >= 1 && slot <= 3 && !close_corner;
    ui_->PressPopup(slot, point[0], point[1], panel.frame_identity, open);
    Show();
    ui_->ClearShowDesktopRequest();
  }
  WriteEventLog("UI3_DESKTOP_ACTION", panel.kind, 0);
}

void DesktopWindow::ShowTrayMenu() {
  if (hidden_mode_) return;
  std::vector<platform::MenuItem> items;
  items.push_back({kTrayTip, [this] { SetVisible(!visible); }});
  items.push_back({"Exit / \u7d42\u4e86", [this] { quit = true; }});
  platform::ShowPopupMenu(std::move(items));
}
