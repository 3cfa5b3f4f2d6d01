// The desktop window's native editor: the input window laid over the phone's
// focused text field, and the two-way sync between its entry and the field.
#include <algorithm>

#include "core/event_log.h"
#include "core/secret_text.h"
#include "phone_ui/desktop_window.h"
#include "platform/panel_window.h"

using platform::WindowKey;
using platform::WindowMessage;
using platform::WindowMessageType;

namespace {

// Where each field lies on the phone image and how much it holds.
struct FieldPlace {
  int y;
  int width;
};

FieldPlace PlaceOf(const DesktopField& field) {
  switch (field.kind) {
    case kDesktopFieldId:
      return {546, 460};
    case kDesktopFieldPassword:
      return {665, 460};
    case kDesktopFieldMessage:
      return field.native_screen == 5 ? FieldPlace{217, 317} : FieldPlace{813, 339};
    default:
      return {field.native_screen == 5 ? 217 : 813, 460};
  }
}

size_t LimitOf(uint32_t kind) {
  switch (kind) {
    case kDesktopFieldId:
      return 128;
    case kDesktopFieldPassword:
      return 256;
    default:
      return 1000;
  }
}

// Background and text colours, light and dark.
constexpr uint32_t kLightBackground = 0xFFFFFF;
constexpr uint32_t kLightText = 0x192842;
constexpr uint32_t kDarkBackground = 0x1F3049;
constexpr uint32_t kDarkText = 0xEDF3FF;

// Taps on the sign-in screen: to the password field, to the id field, on
// the log-in button.
constexpr float kToPasswordY = 680;
constexpr float kToIdY = 560;
constexpr float kFieldTapX = 150;
constexpr float kLogInX = 260;
constexpr float kLogInY = 790;

}  // namespace

intptr_t DesktopWindow::InputWindowProc(const WindowMessage& message) {
  if (message.type == WindowMessageType::kEditChanged && !suppress_notifications_) OnNativeEditChanged();
  return 0;  // kClose is ignored: the window lives as long as the desktop window
}

void DesktopWindow::OnNativeEditChanged() {
  if (suppress_notifications_ || input_window_ == nullptr || ui_ == nullptr || !ui_->IsTextInputActive() ||
      ui_->ActiveField().editor_id != 0) {
    return;
  }
  std::u16string text = input_window_->entry().Text();
  if (text.size() <= 1000) ui_->SetFocusedFieldText(text);
  WipeWideString(&text);
}

intptr_t DesktopWindow::EditSubclassProc(const WindowMessage& message, const platform::TextEntry::KeyState& keys) {
  switch (message.type) {
    case WindowMessageType::kCompositionStart:
      composing_ = true;
      return 0;
    case WindowMessageType::kCompositionEnd:
      composing_ = false;
      return 0;
    case WindowMessageType::kKeyDown:
      break;
    default:
      return 0;
  }
  const bool external = ui_ != nullptr && ui_->ActiveField().editor_id != 0;
  if (external) {
    if (message.key == WindowKey::kTab) return 1;
    if (message.key == WindowKey::kEnter) {
      if (!composing_ && !keys.composing_before) ui_->CommitExternalEditor();
      return 1;
    }
    return 0;
  }
  if (ui_ == nullptr) return 0;
  const uint32_t kind = last_field_kind_;
  if (message.key == WindowKey::kTab) {
    if (kind == kDesktopFieldId || kind == kDesktopFieldPassword) {
      ui_->Tap(kFieldTapX, kind == kDesktopFieldId ? kToPasswordY : kToIdY);
      SyncNativeEditor(true);
    }
    return 1;
  }
  if (message.key == WindowKey::kEnter) {
    if (!keys.composing_before && !keys.composing_after) {
      if (kind == kDesktopFieldId) {
        ui_->Tap(kFieldTapX, kToPasswordY);
        SyncNativeEditor(true);
      } else if (kind == kDesktopFieldPassword) {
        ui_->Tap(kLogInX, kLogInY);
      }
    }
    // A single-line entry makes no character of Enter; only the message
    // field lets it through.
    return kind == kDesktopFieldMessage ? 0 : 1;
  }
  return 0;
}

void DesktopWindow::CancelNativeComposition() {
  if (input_window_ == nullptr) return;
  suppress_notifications_ = true;
  input_window_->entry().CancelComposition();
  suppress_notifications_ = false;
  composing_ = false;
}

void DesktopWindow::TakeBridgeBack() {
  if (!bridge_lent_) return;
  if (ui_ != nullptr) ui_->AttachTsfBridge(nullptr);
  bridge_lent_ = false;
  if (tsf_ready_ && input_window_ != nullptr) bridge_.SetTarget(input_window_.get(), nullptr);
}

void DesktopWindow::SyncNativeEditor(bool focus) {
  if (input_window_ == nullptr || ui_ == nullptr) return;
  platform::TextEntry& entry = input_window_->entry();
  const bool active = ui_->IsTextInputActive();
  const DesktopField field = ui_->ActiveField();
  if (!theme_applied_ || field.dark != dark_) {
    dark_ = field.dark;
    entry.SetColours(dark_ ? kDarkBackground : kLightBackground, dark_ ? kDarkText : kLightText);
    theme_applied_ = true;
  }
  if (!active) {
    if (editor_active_) {
      if (composing_) CancelNativeComposition();
      TakeBridgeBack();
      if (last_field_kind_ == kDesktopFieldPassword) {
        suppress_notifications_ = true;
        entry.SetText(u"");
        suppress_notifications_ = false;
      }
      WriteEventLog("UI33_INPUT_CONTEXT", 0, 0);
    }
    if (editor_shown_) input_window_->SetShown(false);
    editor_shown_ = false;
    editor_active_ = false;
    last_editor_id_ = 0;
    return;
  }
  const bool new_field = !editor_active_ || field.kind != last_field_kind_ || field.editor_id != last_editor_id_;
  if (new_field) {
    if (composing_) CancelNativeComposition();
    TakeBridgeBack();
    last_field_kind_ = field.kind;
    last_editor_id_ = field.editor_id;
  }
  std::u16string wanted = ui_->ActiveFieldText();
  std::u16string current = entry.Text();
  if ((new_field || wanted != current) && !composing_ && !(bridge_lent_ && !new_field)) {
    suppress_notifications_ = true;
    entry.SetPassword(field.kind == kDesktopFieldPassword);
    entry.SetUnitLimit(LimitOf(field.kind));
    entry.SetText(wanted);
    suppress_notifications_ = false;
  }
  WipeWideString(&wanted);
  WipeWideString(&current);
  if (field.kind == kDesktopFieldMessage && tsf_ready_ && !bridge_lent_) {
    bridge_.SetTarget(input_window_.get(), &entry);
    ui_->AttachTsfBridge(&bridge_);
    bridge_lent_ = true;
  }
  PlaceNativeEdit();
  const bool external = field.editor_id != 0;
  const bool show = !hidden_mode_ && visible && !external;
  if (!show && external && entry.HasFocus()) entry.Unfocus();
  if (show != input_window_->IsVisible()) input_window_->SetShown(show);
  if (show && visible && focus) {
    input_window_->BringToFront();
    entry.Focus();
  }
  if (new_field) WriteEventLog("UI33_INPUT_CONTEXT", 1, field.kind);
  if (show != editor_shown_) WriteEventLog("UI33_NATIVE_EDITOR_VISIBLE", show ? 1 : 0, bridge_.IsBusy() ? 1 : 0);
  editor_shown_ = show;
  editor_active_ = true;
}

void DesktopWindow::PlaceNativeEdit() {
  if (input_window_ == nullptr || ui_ == nullptr) return;
  const DesktopField field = ui_->ActiveField();
  if (field.editor_id != 0) {
    input_window_->MoveResize(-32000, -32000, 300, 44);
    input_window_->entry().SetSize(300, 44);
    return;
  }
  const FieldPlace place = PlaceOf(field);
  const float s = scale_;
  const DesktopPanel& phone = panels_[0];
  const int width = static_cast<int>(static_cast<float>(place.width) * s);
  const int height = std::max(static_cast<int>(44 * s), 22);
  input_window_->MoveResize(phone.x + static_cast<int>(40 * s), phone.y + static_cast<int>(static_cast<float>(place.y) * s),
                            std::max(width, 40), height);
  input_window_->entry().SetSize(width < 41 ? 40 : width, height);
}

void DesktopWindow::UpdateNativeEditFont() {
  if (input_window_ == nullptr) return;
  const int size = std::max(static_cast<int>(scale_ * 23), 12);
  if (input_window_->entry().FontPixels() == size) return;
  input_window_->entry().SetFontPixels(size);
}
