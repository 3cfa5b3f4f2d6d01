// The five popup cards beside the phone: the call card (slot 0), the first
// three pending chat notices (slots 1 to 3) and the system notice (slot 4).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/ui_settings.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/native_kit.h"
#include "phone_ui/native_settings_texts.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/phone_ui_internal.h"
#include "phone_ui/ui_text.h"

namespace {

namespace nt = native_text;

constexpr size_t kCallPopupRows = 300;
constexpr size_t kNoticePopupRows = 200;

std::u16string_view T(const NativeText& text) { return ui_render_english ? text.en : text.ja; }

void DrawCardFrame(PhoneCanvas& c, const NativePalette& p, int32_t bottom) {
  FillRoundedRect(c, 5, 5, 535, bottom, 24, p.surface);
  FillRoundedRect(c, 239, 13, 301, 17, 2, p.subtle);
  DrawAppIcon(c, 23, 22, 25);
  DrawCanvasText(c, 56, 28, u"Quorix", 350, 15, p.secondary, false);
}

void DrawCallButton(PhoneCanvas& c, bool left, const NativeText& label, uint32_t fill, uint32_t ink) {
  const int32_t x = left ? 28 : 281;
  FillRoundedRect(c, x, 203, x + 231, 268, 15, fill);
  DrawTextCentered(c, x + 8, x + 223, 221, T(label), 24, ink);
}

void DrawCallCard(const PhoneUi& ui, PhoneCanvas& c, const NativePalette& p) {
  const CallSession::Snapshot snapshot =
      ui.call_session != nullptr ? ui.call_session->GetSnapshot() : CallSession::Snapshot{};
  DrawAvatarWithPresence(c, ui.owner, p, 30, 75, 64, ui.call_popup_peer_id);
  if (!ui.call_popup_peer_name.empty()) DrawCanvasText(c, 115, 80, ui.call_popup_peer_name, 385, 27, p.text, false);
  const bool ended = ui.call_popup_ended_shown != 0;
  const uint32_t state = snapshot.state;
  const NativeText& status = ended                              ? nt::kCallEnded
                             : state == CallSession::kIncoming  ? nt::kIncomingCall
                             : state == CallSession::kConnected ? nt::kInCall
                             : state == CallSession::kOutgoing  ? nt::kCalling
                             : state == CallSession::kEnding    ? nt::kEndingCall
                                                                : nt::kCallConnecting;
  DrawCanvasText(c, 115, 119, T(status), 385, 20, p.secondary, false);
  if (ended || state == CallSession::kEnding) return;
  if (state == CallSession::kIncoming) {
    DrawCallButton(c, true, nt::kDecline, kNativeDangerRed, kNativeWhite);
    DrawCallButton(c, false, nt::kAnswer, p.accent, kNativeWhite);
    return;
  }
  if (state == CallSession::kConnected) {
    if (snapshot.muted != 0) {
      DrawCallButton(c, true, nt::kUnmute, p.accent, kNativeWhite);
    } else {
      DrawCallButton(c, true, nt::kMute, p.accent_soft, p.accent_text);
    }
  }
  DrawCallButton(c, false, nt::kEndCall, kNativeDangerRed, kNativeWhite);
}

void DrawNoticeCard(const PhoneUi& ui, PhoneCanvas& c, const NativePalette& p, uint32_t slot,
                    const quorix_native::Ui::Notice& notice) {
  const bool chat = slot != 4;
  DrawCanvasText(c, 490, 22, T(nt::kClose), 25, 22, p.secondary, false);
  if (chat) DrawAvatarWithPresence(c, ui.owner, p, 27, 67, 49, notice.peer_id);
  DrawCanvasText(c, chat ? 94 : 28, 66, chat ? notice.title : LocalizeUiText(notice.title), 400, 23, p.text, false);
  const bool keep_body = chat || notice.title == u"不在着信";
  const std::vector<std::u16string> lines =
      SplitTextLines(keep_body ? notice.body : LocalizeUiText(notice.body), 2, 25);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].empty()) DrawCanvasText(c, 28, 121 + 25 * static_cast<int32_t>(i), lines[i], 480, 21, p.text, false);
  }
  if (chat) DrawCanvasText(c, 28, 173, T(nt::kGrabHint), 480, 14, p.secondary, false);
}

}  // namespace

FrameBuffer PhoneUi::RenderPopupFrame(uint32_t slot) const {
  const bool dark = settings != nullptr && settings->dark;
  ui_render_english = settings != nullptr && settings->english;
  ui_render_dark = dark;
  const size_t bytes = kCanvasStride * (slot == 0 ? kCallPopupRows : kNoticePopupRows);

  // The notice is read once: the item key and the drawn entry both come from
  // that one read, as a notice may expire between two reads of the owner.
  std::vector<quorix_native::Ui::Notice> pending;
  quorix_native::Ui::Notice system_notice;
  const quorix_native::Ui::Notice* notice = nullptr;
  if (slot >= 1 && slot <= 4 && phone_ui_detail::OwnerSignedIn(owner)) {
    if (slot == 4) {
      system_notice = owner->GetSystemNotice();
      if (phone_ui_detail::SystemNoticeKey(*owner, system_notice) != 0) notice = &system_notice;
    } else {
      pending = owner->GetPendingNotices();
      notice = phone_ui_detail::FindPopupNotice(*owner, pending, slot).second;
    }
  }
  if (slot == 0 ? GetPopupItemKey(0) == 0 : notice == nullptr) return FrameBuffer(bytes, 0);

  // One working canvas per thread; only the rows handed back are cleared,
  // the card never reaching below them.
  thread_local PhoneCanvas work(0);
  std::memset(work.data(), 0, bytes);
  const NativePalette& p = GetNativePalette(dark);
  DrawCardFrame(work, p, slot == 0 ? 295 : 195);
  if (slot == 0) {
    DrawCallCard(*this, work, p);
  } else {
    DrawNoticeCard(*this, work, p, slot, *notice);
  }
  return FrameBuffer(work.bytes().first(bytes));
}
