// The native phone: frame, header, bottom bar, sign-in, home, both lists and
// the open conversation.
#include "phone_ui/native_screens.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "core/list_page.h"
#include "core/service_origin.h"
#include "core/ui_settings.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/chat_app.h"
#include "phone_ui/launcher.h"
#include "phone_ui/native_frame.h"
#include "phone_ui/native_kit.h"
#include "phone_ui/native_texts.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_text.h"
#include "platform/clock.h"

namespace {

namespace nt = native_text;

constexpr std::array<int32_t, kNativeScreenCount> kScreenTabs = {0, 1, 2, 3, 1, 2, 3, 3, 2, 3, 3};
constexpr uint32_t kExpiredColour = 0xFF5044B4;

using Frame = NativeFrame;

// The conversation order while a snapshot is loaded, else nothing; a view,
// never a copy of the whole list.
std::span<const std::string> ConversationIds(const ChatModel& model) {
  if (!model.snapshot_loaded()) return {};
  return model.conversation_order();
}

std::u16string Decimal(uint64_t value) {
  const std::string digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

void DrawSignIn(const Frame& f) {
  const NativePalette& p = f.p;
  const QuorixVrKeyboard& keyboard = f.ui.keyboard;
  DrawAppIcon(f.canvas, 29, 80, 42);
  f.Text(82, 90, f.T(nt::kAppName), 260, 24, p.text);
  FillRoundedRect(f.canvas, 405, 80, 510, 123, 15, p.accent_soft);
  f.Text(413, 91, f.T(nt::kOtherLanguage), 89, 17, p.accent_text, true);
  FillRoundedRect(f.canvas, 393, 139, 510, 182, 15, p.accent_soft);
  f.Centred(401, 502, 150, f.T(nt::kSettings), 17, p.accent_text);
  FillRoundedRect(f.canvas, 30, 180, 108, 258, 24, p.accent_soft);
  DrawGlyphIcon(f.canvas, 69, 219, kGlyphBubble, p.accent_text);
  f.Text(32, 295, f.T(nt::kHeadline1), 490, 40, p.text);
  f.Text(32, 350, f.T(nt::kHeadline2), 490, 40, p.text);
  f.Text(34, 420, f.T(nt::kTagline1), 480, 20, p.secondary);
  f.Text(34, 449, f.T(nt::kTagline2), 480, 20, p.secondary);
  const bool open = f.ui.keyboard_open != 0;
  DrawLabeledField(f.canvas, p, 507, f.T(nt::kUserId), keyboard.id, open && keyboard.active_field == kFieldId);
  DrawLabeledField(f.canvas, p, 626, f.T(nt::kPassword), keyboard.GetDisplayText(kFieldPassword),
                   open && keyboard.active_field == kFieldPassword);
  FillRoundedRect(f.canvas, 30, 761, 510, 829, 15, p.accent);
  const bool connecting = f.status.code == 1 || f.status.code == 6;
  f.Centred(38, 502, 782, f.T(connecting ? nt::kConnecting : nt::kLogIn), 22, kNativeWhite);
  if (f.ui.last_owner_action_failed != 0 || f.status.code == 5) {
    f.Centred(25, 515, 841, f.T(nt::kSignInError), 18, kNativeErrorRed);
  }
  f.Centred(20, 520, 882, f.T(nt::kAccountHint), 17, p.secondary);
  f.Text(20, 913, Utf8ToCanvasText(quorix_service::kServiceDomain), 500, 19, p.accent_text, true);
}

void DrawHome(const Frame& f) {
  const NativePalette& p = f.p;
  PhoneCanvas& c = f.canvas;
  if (f.ui.owner != nullptr) f.Clipped(32, 84, Utf8ToCanvasText(f.ui.owner->GetOwnUserId()), 17, 370, p.secondary);
  f.Clipped(32, 116, f.T(nt::kWelcome), 33, 430, p.text);
  DrawGlyphIcon(c, 489, 122, kGlyphGear, p.secondary);
  const NativeText& readiness =
      f.status.code == 3 ? nt::kCallsReady : f.status.code == 2 ? nt::kCallsConnecting : nt::kCallsCheck;
  f.Clipped(34, 165, f.T(readiness), 16, 470, p.secondary);
  FillRoundedRect(c, 30, 195, 510, 441, 28, p.accent);
  f.Clipped(56, 221, f.T(nt::kHeroKicker), 15, 425, kNativeWhite);
  f.Clipped(56, 276, f.T(nt::kHero1), 31, 425, kNativeWhite);
  f.Clipped(56, 323, f.T(nt::kHero2), 31, 425, kNativeWhite);
  f.Clipped(56, 393, f.T(nt::kHero3), 19, 425, kNativeWhite);
  for (int32_t i = 0; i < 2; ++i) {
    const int32_t x = 249 * i;
    FillRoundedRect(c, x + 30, 463, x + 261, 585, 22, p.surface);
    FillRoundedRect(c, x + 47, 491, x + 105, 549, 18, p.accent_soft);
    DrawGlyphIcon(c, x + 76, 520, i == 0 ? kGlyphBubble : kGlyphPersonPlus, p.accent_text);
    const int32_t w = std::clamp(540 - (x + 120), 20, 133);
    f.Text(x + 120, 491, f.T(i == 0 ? nt::kTileQuorix : nt::kTabFriends), w, 23, p.text);
    f.Text(x + 120, 528, f.T(i == 0 ? nt::kTileQuorixSub : nt::kTileFriendsSub), w, 16, p.secondary);
  }
  f.Text(32, 622, f.T(nt::kRecent), 370, 23, p.text);
  f.Text(419, 627, f.T(nt::kSeeAll), 95, 16, p.accent_text);
  const ChatModel& model = f.ui.chat_model;
  const std::span<const std::string> ids = ConversationIds(model);
  for (size_t r = 0; r < std::min<size_t>(ids.size(), 3); ++r) {
    const std::string& id = ids[r];
    const ChatThread* thread = model.FindThread(id);
    if (thread == nullptr) continue;
    const auto y = static_cast<int32_t>(672 + 73 * r);
    DrawAvatar(c, 32, y, 48, id);
    if (f.Presence(id) == 2) {
      FillCircle(c, 74, y + 42, 8, p.surface);
      FillCircle(c, 74, y + 42, 6, kNativePresenceGreen);
    }
    const std::u16string name = Utf8ToCanvasText(thread->friend_.display_name);
    if (!name.empty()) f.Text(97, y + 1, name, 340, 22, p.text);
    const std::u16string last = Utf8ToCanvasText(model.LastMessageText(id));
    if (!last.empty()) f.Text(97, y + 31, last, 345, 17, p.secondary);
    if (thread->unread != 0) {
      FillCircle(c, 489, y + 21, 13, p.accent);
      f.Centred(475, 503, y + 11, Decimal(thread->unread), 15, kNativeWhite);
    }
  }
  if (ids.empty()) f.Text(34, 687, f.T(nt::kRecentEmpty), 470, 19, p.secondary);
}

// The name a list row shows: the friend entry's, else the thread's, else the
// id itself.
std::string RowName(const ChatModel& model, const std::string& id) {
  // A thread's friend part is its entry, ids being unique: no scan per row.
  if (const ChatThread* thread = model.FindThread(id)) return thread->friend_.display_name;
  const std::vector<ChatFriend>& friends = model.friends();
  for (auto it = friends.rbegin(); it != friends.rend(); ++it) {
    if (it->user_id == id) return it->display_name;
  }
  return id;
}

void DrawList(const Frame& f, bool friends_screen) {
  const NativePalette& p = f.p;
  PhoneCanvas& c = f.canvas;
  const PhoneUi& ui = f.ui;
  const ChatModel& model = ui.chat_model;
  f.Clipped(32, 88, f.T(friends_screen ? nt::kFriendsKicker : nt::kTalksKicker), 17, 440, p.accent_text);
  f.Clipped(32, 121, f.T(friends_screen ? nt::kTabFriends : nt::kTabTalks), 36, 345, p.text);
  f.Pill(405, 120, 105, 48, friends_screen ? nt::kAddFriend : nt::kRefresh, 18);
  if (friends_screen) f.Text(196, 184, f.T(nt::kManageRequests), 250, 18, p.accent_text);

  const bool loaded = model.snapshot_loaded();
  const std::span<const ChatFriend> entries = loaded && friends_screen ? std::span<const ChatFriend>(model.friends())
                                                                       : std::span<const ChatFriend>();
  const std::span<const std::string> conversations = friends_screen ? std::span<const std::string>()
                                                                    : ConversationIds(model);
  const size_t count = friends_screen ? entries.size() : conversations.size();
  if (ui.list_fetch_started != 0) {
    f.Clipped(32, 216, f.T(nt::kLoading), 22, 470, p.secondary);
  } else if (ui.list_fetch_unavailable != 0) {
    f.Clipped(32, 216, f.T(nt::kListUnavailable), 21, 470, p.secondary);
  } else if (count == 0) {
    f.Clipped(32, 216, f.T(friends_screen ? nt::kFriendsEmpty : nt::kTalksEmpty), 20, 470, p.secondary);
  }

  // Row r of page n is entry r + 6n; a page past the end draws no rows.
  const uint64_t page = ui.native_list_page;
  if (count != 0 && page <= (count - 1) / 6) {
    const size_t first = static_cast<size_t>(page) * 6;
    for (size_t r = 0; r < 6 && first + r < count; ++r) {
      const std::string& id = friends_screen ? entries[first + r].user_id : conversations[first + r];
      const auto y = static_cast<int32_t>(212 + 96 * r);
      FillRoundedRect(c, 29, y, 511, y + 86, 17, p.surface);
      DrawAvatarWithPresence(c, ui.owner, p, 44, y + 13, 54, id);
      const std::u16string name =
          Utf8ToCanvasText(friends_screen ? entries[first + r].display_name : RowName(model, id));
      if (!name.empty()) f.Text(113, y + 15, name, 325, 24, p.text);
      std::u16string second;
      if (friends_screen) {
        const int32_t presence = f.Presence(id);
        second = f.T(presence == 2 ? nt::kOnline : presence == 1 ? nt::kOffline : nt::kCheckingStatus);
      } else {
        second = Utf8ToCanvasText(model.LastMessageText(id));
      }
      if (!second.empty()) f.Text(113, y + 51, second, 315, 17, p.secondary);
      if (friends_screen) {
        f.Text(467, y + 26, f.T(nt::kMore), 40, 29, p.accent_text);
      } else if (const ChatThread* thread = model.FindThread(id); thread != nullptr && thread->unread != 0) {
        FillCircle(c, 483, y + 38, 14, p.accent);
        f.Centred(467, 500, y + 28, Decimal(thread->unread), 16, kNativeWhite);
      }
    }
  }

  FillRoundedRect(c, 30, 831, 128, 874, 15, p.accent_soft);
  f.Centred(38, 120, 839, f.T(nt::kPreviousPage), 22, p.accent_text);
  FillRoundedRect(c, 412, 831, 510, 874, 15, p.accent_soft);
  f.Text(420, 839, f.T(nt::kNextPage), 82, 22, p.accent_text, true);
  FillRoundedRect(c, 180, 831, 360, 874, 15, p.accent_soft);
  f.Centred(188, 352, 841, f.T(nt::kRefresh), 18, p.accent_text);
}

void DrawBubble(const Frame& f, const ChatMessage& message, bool mine, int32_t y) {
  const int32_t x0 = mine ? 136 : 30;
  const int32_t x1 = mine ? 510 : 406;
  FillRoundedRect(f.canvas, x0, y, x1, y + 86, 20, mine ? f.p.accent_soft : f.p.surface);
  const int32_t w = std::min((x1 - x0) - 30, 540 - (x0 + 15));
  const std::vector<std::u16string> lines = SplitTextLines(Utf8ToCanvasText(message.text), 2, 19);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].empty()) f.Text(x0 + 15, y + 12 + 28 * static_cast<int32_t>(i), lines[i], w, 22, f.p.text);
  }
  if (message.flag) f.Clipped(mine ? 151 : 45, y + 66, f.T(nt::kDeliveryExpired), 13, (x1 - x0) - 30, kExpiredColour);
}

void DrawConversation(const Frame& f) {
  const NativePalette& p = f.p;
  const PhoneUi& ui = f.ui;
  const ChatModel& model = ui.chat_model;
  const std::string& peer = model.selected_id();
  const bool ready = f.status.call_ready != 0;
  f.Clipped(30, 91, f.T(nt::kPreviousPage), 37, 35, p.accent_text);
  DrawAvatarWithPresence(f.canvas, ui.owner, p, 77, 83, 47, peer);
  const ChatThread* thread = model.FindThread(peer);
  f.Clipped(140, 91, thread != nullptr ? Utf8ToCanvasText(thread->friend_.display_name) : u"Quorix", 27, 242, p.text);
  f.Pill(408, 85, 102, 53, ready ? nt::kCall : nt::kNoCalls, 19, ready, ready);
  f.Clipped(31, 159, f.T(ready ? nt::kCallReadySubtitle : nt::kFreePlanSubtitle), 17, 475, p.secondary);

  const std::vector<ChatMessage>& messages = ui.live_page_list;
  const ListPage window = ComputeListPage(messages.size(), ui.live_page_index);
  for (uint64_t k = window.first; k < window.end; ++k) {
    const ChatMessage& message = messages[static_cast<size_t>(k)];
    DrawBubble(f, message, message.sender == model.self_id(), static_cast<int32_t>(221 + 100 * (k - window.first)));
  }
  if (ui.history_failed != 0) {
    f.Clipped(32, 224, f.T(nt::kHistoryFailed), 21, 475, p.secondary);
  } else if (ui.history_loaded == 0) {
    f.Clipped(32, 224, f.T(nt::kLoading), 21, 475, p.secondary);
  }
  f.Pill(30, 744, 105, 39, nt::kOlder, 17);
  f.Pill(145, 744, 105, 39, nt::kNewer, 17);
  FillRoundedRect(f.canvas, 30, 803, 389, 867, 19, p.surface);
  const std::u16string& draft = ui.keyboard.message;
  f.Clipped(45, 822, draft.empty() ? f.T(nt::kWriteMessage) : std::u16string_view(draft), 22, 326, p.text);
  f.Pill(403, 803, 107, 64, ui.send_in_flight != 0 ? nt::kSending : nt::kSend, 20, true);
  if (ui.send_outcome_uncertain != 0 || ui.history_failed != 0) {
    f.Clipped(32, 878, f.T(nt::kCheckResult), 16, 475, kNativeErrorRed);
  }
}

void DrawBottomBar(const Frame& f, int32_t lit_tab) {
  const NativePalette& p = f.p;
  FillCanvasRect(f.canvas, 0, 899, kCanvasWidth, kCanvasHeight, p.surface);
  FillCanvasRect(f.canvas, 0, 899, kCanvasWidth, 900, p.subtle);
  if (f.status.signed_in == 0) {
    FillRoundedRect(f.canvas, 30, 907, 510, 952, 15, p.accent_soft);
    f.Text(38, 918, f.T(nt::kBackToLogin), 464, 19, p.accent_text, true);
    return;
  }
  static constexpr const NativeText* kTabs[4] = {&nt::kTabHome, &nt::kTabTalks, &nt::kTabFriends, &nt::kTabSettings};
  for (int32_t i = 0; i < 4; ++i) {
    const int32_t x = 50 + 135 * i;
    const uint32_t colour = i == lit_tab ? p.accent_text : p.secondary;
    if (i == lit_tab) FillRoundedRect(f.canvas, x, 900, x + 36, 903, 1, p.accent_text);
    DrawGlyphIcon(f.canvas, x + 18, 922, i, colour);
    f.Centred(x - 44, x + 80, 943, f.T(*kTabs[i]), 13, colour);
  }
}

using ScreenDrawer = void (*)(const Frame&);

constexpr std::array<ScreenDrawer, kNativeScreenCount> kScreens = {
    DrawHome,
    [](const Frame& f) { DrawList(f, false); },
    [](const Frame& f) { DrawList(f, true); },
    DrawSettingsScreen,
    DrawConversation,
    DrawFriendRequestsScreen,
    [](const Frame& f) { RenderChatAppPage(f.ui, f.canvas); },
    [](const Frame& f) { f.ui.RenderWristSettingsPage(f.canvas); },
    DrawFriendNotificationsScreen,
    DrawPointerScreen,
    DrawHistoryFilesScreen,
};

}  // namespace

int32_t NativeScreenTab(uint32_t screen) { return screen < kNativeScreenCount ? kScreenTabs[screen] : -1; }

bool IsSignedOutScreen(uint32_t screen) { return screen == 3 || screen == 6 || screen == 7 || screen == 9; }

std::span<const NativeText> NativeScreenTexts() {
  static constexpr NativeText kAll[] = {
      nt::kTabHome, nt::kTabTalks, nt::kTabFriends, nt::kTabSettings, nt::kBackToLogin, nt::kAppName,
      nt::kOtherLanguage, nt::kSettings, nt::kHeadline1, nt::kHeadline2, nt::kTagline1, nt::kTagline2,
      nt::kUserId, nt::kPassword, nt::kConnecting, nt::kLogIn, nt::kSignInError, nt::kAccountHint,
      nt::kWelcome, nt::kCallsReady, nt::kCallsConnecting, nt::kCallsCheck, nt::kHeroKicker, nt::kHero1,
      nt::kHero2, nt::kHero3, nt::kTileQuorix, nt::kTileQuorixSub, nt::kTileFriendsSub, nt::kRecent,
      nt::kSeeAll, nt::kRecentEmpty, nt::kTalksKicker, nt::kFriendsKicker, nt::kRefresh, nt::kAddFriend,
      nt::kManageRequests, nt::kLoading, nt::kListUnavailable, nt::kFriendsEmpty, nt::kTalksEmpty, nt::kOnline,
      nt::kOffline, nt::kCheckingStatus, nt::kMore, nt::kPreviousPage, nt::kNextPage, nt::kCall, nt::kNoCalls,
      nt::kCallReadySubtitle, nt::kFreePlanSubtitle, nt::kHistoryFailed, nt::kOlder, nt::kNewer,
      nt::kWriteMessage, nt::kSend, nt::kSending, nt::kCheckResult, nt::kDeliveryExpired,
  };
  return kAll;
}

void PhoneUi::RenderNativeScreens(PhoneCanvas& canvas) const {
  const bool dark = settings != nullptr && settings->dark;
  ui_render_english = settings != nullptr && settings->english;
  ui_render_dark = dark;
  const Frame f{canvas, *this, GetNativePalette(dark), owner != nullptr ? owner->GetStatus() : quorix_native::Ui::Status{}};
  FillCanvasRect(canvas, 0, 0, kCanvasWidth, kCanvasHeight, f.p.background);

  const platform::WallTime now = platform::LocalTimeNow();
  char clock[16];
  std::snprintf(clock, sizeof clock, "%02u:%02u", now.hour % 100, now.minute % 100);
  f.Text(30, 19, Utf8ToCanvasText(clock), 100, 15, f.p.secondary);
  f.Text(440, 19, u"Quorix", 80, 15, f.p.secondary);

  if (f.status.signed_in == 0 && !IsSignedOutScreen(native_screen)) {
    DrawSignIn(f);
    return;
  }
  if (native_screen < kNativeScreenCount) kScreens[native_screen](f);
  DrawBottomBar(f, NativeScreenTab(native_screen));
}

FrameBuffer PhoneUi::RenderPhoneFrame() const {
  PhoneCanvas canvas(255);
  if (settings != nullptr) {
    RenderNativeScreens(canvas);
    ApplyCornerMask(canvas.bytes(), kCanvasWidth, kCanvasHeight, 28);
  } else {
    RenderLauncherFrame(*this, canvas);
  }
  return canvas.TakePixels();
}
