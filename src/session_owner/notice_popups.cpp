// The desktop popups of an incoming call and of a new chat notice, at the
// bottom right of the work area, above other windows and never taking the
// keyboard focus. Phone mode makes none of them.
#include <utility>

#include "core/event_log.h"
#include "phone_service/call_session.h"
#include "platform/panel_window.h"
#include "platform/ui_window.h"
#include "session_owner/window.h"

namespace ui = platform::ui;

namespace two_pc {
namespace {

constexpr char16_t kNoticeClass[] = u"QuorixK14Notice";
constexpr char16_t kCallRevisionProp[] = u"QuorixCallRevision";
constexpr char16_t kChatSerialProp[] = u"QuorixChatSerial";
constexpr uint32_t kAnswerId = 1;
constexpr uint32_t kDeclineId = 2;
constexpr uint32_t kWhite = 0xFFFFFF;

}  // namespace

platform::WindowHandle Window::CreateNoticePopup(const char16_t* title, int32_t bottom_offset) {
  const platform::ScreenRect area = platform::WorkArea(nullptr);
  ui::WindowSpec spec;
  spec.class_name = kNoticeClass;
  spec.text = title;
  spec.ex_style = ui::kWsExTopmost | ui::kWsExToolWindow | ui::kWsExNoActivate;
  spec.style = ui::kWsPopup | ui::kWsCaption | ui::kWsSysMenu;
  spec.x = area.x + area.width - 430;
  spec.y = area.y + area.height - bottom_offset;
  spec.width = 410;
  spec.height = 165;
  spec.parent = popup_owner_;
  spec.param = this;
  return ui::CreateWindowRecord(spec);
}

void Window::UpdateDesktopNotices() {
  if (phone_mode_ != 0 || !HasWindowHandle()) return;
  if (popup_owner_ == platform::kNoWindow) {
    ui::WindowSpec spec;
    spec.class_name = u"STATIC";
    spec.ex_style = ui::kWsExToolWindow;
    spec.style = ui::kWsPopup;
    popup_owner_ = ui::CreateWindowRecord(spec);
    // Registered once; a second registration's failure changes nothing.
    (void)ui::RegisterWindowClass({kNoticeClass, &Window::DesktopNoticeWindowProc});
  }

  const uint64_t revision = GetCallRevision();
  const bool incoming = notifications_ != 0 && signed_in_ != 0 && session_ != nullptr &&
                        session_->GetSnapshot().state == CallSession::kIncoming;
  if (call_popup_ != platform::kNoWindow && !(incoming && revision == call_popup_revision_)) {
    ui::DestroyWindow(std::exchange(call_popup_, platform::kNoWindow));
  }
  if (call_popup_ == platform::kNoWindow && incoming && revision != dismissed_call_revision_) {
    call_popup_revision_ = revision;
    call_popup_ = CreateNoticePopup(u"Quorix 着信", 355);
    if (call_popup_ != platform::kNoWindow) {
      ui::SetProp(call_popup_, kCallRevisionProp, static_cast<intptr_t>(revision));
      CreateChildControl(call_popup_, u"STATIC", GetCallPeerName(), 64, 12, 324, 40, 0, ui::kSsNoPrefix);
      CreateChildControl(call_popup_, u"BUTTON", u"応答", 16, 65, 176, 44, kAnswerId, 0);
      const platform::WindowHandle decline =
          CreateChildControl(call_popup_, u"BUTTON", u"拒否", 210, 65, 176, 44, kDeclineId, 0);
      // Should the popup ever get the keyboard, a key press declines rather
      // than answers a call the user did not look at.
      (void)ui::SetFocus(decline);
      ui::ShowWindow(call_popup_, true);  // never activated: the popup takes no focus
      WriteEventLog("DESKTOP_INCOMING_NOTICE", 1, 0);
    }
  }

  const Notice notice = notifications_ != 0 ? GetActiveNotice() : Notice{};
  if (chat_popup_ != platform::kNoWindow && chat_popup_notice_id_ != notice.id) {
    ui::DestroyWindow(std::exchange(chat_popup_, platform::kNoWindow));
  }
  if (notice.id != 0 && chat_popup_ == platform::kNoWindow) {
    chat_popup_notice_id_ = notice.id;
    chat_popup_ = CreateNoticePopup(u"Quorix 新着メッセージ", 180);
    if (chat_popup_ != platform::kNoWindow) {
      ui::SetProp(chat_popup_, kChatSerialProp, static_cast<intptr_t>(notice.id));
      CreateChildControl(chat_popup_, u"STATIC", notice.title, 16, 10, 372, 24, 0, ui::kSsNoPrefix);
      CreateChildControl(chat_popup_, u"STATIC", notice.body, 16, 39, 372, 82, 0, ui::kSsNoPrefix);
      ui::ShowWindow(chat_popup_, true);
    }
  }
}

intptr_t Window::DesktopNoticeWindowProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                                         intptr_t lparam) {
  if (message == ui::kWmNcCreate) {
    const auto* params = reinterpret_cast<const ui::CreateParams*>(lparam);
    ui::SetUserData(window, reinterpret_cast<intptr_t>(params->param));
    return ui::DefWindowProc(window, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Window*>(ui::GetUserData(window));
  if (self == nullptr) return ui::DefWindowProc(window, message, wparam, lparam);
  const auto call_revision = static_cast<uint64_t>(ui::GetProp(window, kCallRevisionProp));
  switch (message) {
    case ui::kWmMouseActivate:
      return ui::kMaNoActivate;
    case ui::kWmCommand: {
      if (call_revision == 0) break;
      const uint32_t id = static_cast<uint32_t>(wparam & 0xFFFF);
      if (id == kAnswerId || id == kDeclineId) {
        // A stale revision is refused by the call action itself.
        (void)self->PerformCallAction(id == kAnswerId ? 1 : 2, call_revision);
      }
      return 0;
    }
    case ui::kWmClose:
      if (call_revision != 0) {
        self->dismissed_call_revision_ = call_revision;
        if (self->call_popup_ == window) self->call_popup_ = platform::kNoWindow;
      } else {
        self->DismissNotice(static_cast<uint64_t>(ui::GetProp(window, kChatSerialProp)));
        if (self->chat_popup_ == window) self->chat_popup_ = platform::kNoWindow;
      }
      ui::DestroyWindow(window);
      return 0;
    case ui::kWmPaint: {
      // The caller's avatar beside the name, on the call popup only.
      const auto* target = reinterpret_cast<const ui::PaintTarget*>(lparam);
      if (call_revision != 0 && target != nullptr && self->session_ != nullptr) {
        PaintAvatar(*target, 16, 12, 36, self->session_->GetSnapshot().peer_id, kWhite);
      }
      return 0;
    }
    case ui::kWmNcDestroy:
      ui::SetProp(window, kCallRevisionProp, 0);
      ui::SetProp(window, kChatSerialProp, 0);
      return 0;
    default:
      break;
  }
  return ui::DefWindowProc(window, message, wparam, lparam);
}

}  // namespace two_pc
