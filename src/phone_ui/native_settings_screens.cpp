// The native friend request, friend notification, settings, pointer and
// history file screens. They only show state; the controller changes it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/ui_settings.h"
#include "phone_ui/native_frame.h"
#include "phone_ui/native_settings_texts.h"

namespace {

namespace nt = native_text;

constexpr std::array<const NativeText*, 3> kModes = {&nt::kModeNormal, &nt::kModeSoundOff, &nt::kModeAllOff};

struct RequestRow {
  const std::string* id;
  bool incoming;
};

}  // namespace

int32_t FloatToInt(float value, bool round) {
  if (std::isnan(value)) return 0;
  const float whole = round ? std::round(value) : std::trunc(value);
  if (whole <= static_cast<float>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (whole >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(whole);
}

std::u16string SignedDecimal(int64_t value) {
  const std::string digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

std::span<const NativeText> NativeSettingsTexts() {
  static constexpr NativeText kAll[] = {
      nt::kRequestsTitle,
      nt::kAddById,
      nt::kIdPlaceholder,
      nt::kRequestSend,
      nt::kWorking,
      nt::kResultUnknown,
      nt::kRequestFailed,
      nt::kUpdated,
      nt::kRequestHint,
      nt::kRequestList,
      nt::kNoRequests,
      nt::kIncoming,
      nt::kPending,
      nt::kSkip,
      nt::kAccept,
      nt::kFriendNotifications,
      nt::kModeNormal,
      nt::kModeSoundOff,
      nt::kModeAllOff,
      nt::kMuteRule,
      nt::kMuteNote,
      nt::kOpenConversation,
      nt::kAudio,
      nt::kAppearance,
      nt::kLight,
      nt::kDark,
      nt::kLanguage,
      nt::kJapanese,
      nt::kEnglish,
      nt::kGlobalNotifications,
      nt::kRingColour,
      nt::kWhite,
      nt::kBlack,
      nt::kRingAngle,
      nt::kMinus,
      nt::kPlus,
      nt::kResetPosition,
      nt::kHistoryFiles,
      nt::kWristCalibration,
      nt::kLogOut,
      nt::kToLogin,
      nt::kPointerEntry,
      nt::kSavedHere,
      nt::kSaveFailed,
      nt::kPointer,
      nt::kBack,
      nt::kPointerHand,
      nt::kLeftHand,
      nt::kRightHand,
      nt::kPointerColour,
      nt::kRed,
      nt::kBlueRim,
      nt::kPointerSize,
      nt::kSizeRange,
      nt::kPreview,
      nt::kAppliesNow,
      nt::kHistoryLead,
      nt::kExportHistory,
      nt::kImportHistory,
      nt::kImportMerges,
      nt::kExportReadable,
      nt::kChooseFile,
      nt::kCallEnded,
      nt::kIncomingCall,
      nt::kInCall,
      nt::kCalling,
      nt::kEndingCall,
      nt::kCallConnecting,
      nt::kDecline,
      nt::kAnswer,
      nt::kUnmute,
      nt::kMute,
      nt::kEndCall,
      nt::kClose,
      nt::kGrabHint,
  };
  return kAll;
}

void DrawFriendRequestsScreen(const NativeFrame& f) {
  const NativePalette& p = f.p;
  PhoneCanvas& c = f.canvas;
  const PhoneUi& ui = f.ui;
  const quorix_native::Ui::FriendRequestState state =
      ui.owner != nullptr ? ui.owner->GetFriendRequests() : quorix_native::Ui::FriendRequestState{};
  f.Clipped(32, 91, f.T(nt::kRequestsTitle), 32, 355, p.text);
  f.Pill(412, 83, 98, 46, nt::kRefresh, 17);
  f.Clipped(32, 168, f.T(nt::kAddById), 21, 475, p.text);
  FillRoundedRect(c, 30, 207, 367, 271, 17, p.surface);
  if (ui.friend_id_entry_active != 0) {
    f.Clipped(45, 225, ui.keyboard.message, 23, 308, p.text);
  } else {
    f.Clipped(45, 225, nt::kIdPlaceholder.en, 23, 308, p.secondary);
  }
  f.Pill(381, 207, 129, 64, nt::kRequestSend, 20, true);
  const NativeText& line = state.busy != 0             ? nt::kWorking
                           : state.unreachable != 0    ? nt::kResultUnknown
                           : state.failed != 0         ? nt::kRequestFailed
                           : state.last_operation != 0 ? nt::kUpdated
                                                       : nt::kRequestHint;
  f.Clipped(32, 289, f.T(line), 17, 475, state.failed != 0 ? kNativeErrorRed : p.secondary);
  f.Clipped(32, 342, f.T(nt::kRequestList), 22, 475, p.text);

  std::vector<RequestRow> rows;
  rows.reserve(state.incoming.size() + state.outgoing.size());
  for (const std::string& id : state.incoming) rows.push_back({&id, true});
  for (const std::string& id : state.outgoing) rows.push_back({&id, false});
  if (rows.empty()) f.Text(32, 409, f.T(nt::kNoRequests), 475, 21, p.secondary);
  const uint64_t page = ui.friend_request_page;
  for (uint64_t i = 0; i < 4 && page < rows.size(); ++i) {
    const uint64_t row = i + 4 * page;
    if (row >= rows.size()) break;
    const RequestRow& r = rows[static_cast<size_t>(row)];
    const auto y = static_cast<int32_t>(391 + 105 * i);
    FillRoundedRect(c, 30, y, 510, y + 93, 18, p.surface);
    DrawAvatar(c, 44, y + 19, 48, *r.id);
    f.Text(108, y + 13, Utf8ToCanvasText(*r.id), 220, 22, p.text);
    f.Text(108, y + 48, f.T(r.incoming ? nt::kIncoming : nt::kPending), 200, 16, p.secondary);
    if (r.incoming) {
      FillRoundedRect(c, 329, y + 19, 405, y + 73, 15, p.accent_soft);
      f.Centred(337, 397, y + 35, f.T(nt::kSkip), 17, p.accent_text);
      f.Pill(416, y + 19, 80, 54, nt::kAccept, 17, true);
    }
  }
  FillRoundedRect(c, 30, 835, 128, 877, 15, p.accent_soft);
  f.Text(38, 843, f.T(nt::kPreviousPage), 82, 22, p.accent_text, true);
  FillRoundedRect(c, 412, 835, 510, 877, 15, p.accent_soft);
  f.Centred(420, 502, 843, f.T(nt::kNextPage), 22, p.accent_text);
  const uint64_t pages = std::max<uint64_t>(1, (rows.size() + 3) / 4);
  const std::string label = std::to_string(page + 1) + " / " + std::to_string(pages);
  f.Centred(140, 400, 845, Utf8ToCanvasText(label), 18, p.secondary);
}

void DrawFriendNotificationsScreen(const NativeFrame& f) {
  const NativePalette& p = f.p;
  const PhoneUi& ui = f.ui;
  const std::string& peer = ui.selected_friend_id;
  f.Clipped(32, 90, f.T(nt::kFriendNotifications), 31, 470, p.text);
  DrawAvatarWithPresence(f.canvas, ui.owner, p, 32, 170, 68, peer);
  std::string name = peer;
  const std::vector<ChatFriend>& friends = ui.chat_model.friends();
  for (auto it = friends.rbegin(); it != friends.rend(); ++it) {
    if (it->user_id == peer) {
      name = it->display_name;
      break;
    }
  }
  f.Clipped(121, 190, Utf8ToCanvasText(name), 27, 370, p.text);
  int32_t mode = 0;
  if (ui.settings != nullptr && ui.owner != nullptr) {
    const auto found = ui.settings->peer_modes.find(ui.owner->GetOwnUserId() + "/" + peer);
    if (found != ui.settings->peer_modes.end()) mode = found->second;
  }
  for (int32_t i = 0; i < 3; ++i) f.Pill(30, 300 + 87 * i, 480, 67, *kModes[i], 23, i == mode);
  f.Clipped(32, 600, f.T(nt::kMuteRule), 18, 475, p.secondary);
  f.Clipped(32, 632, f.T(nt::kMuteNote), 19, 475, p.secondary);
  f.Pill(30, 720, 480, 66, nt::kOpenConversation, 22, true);
}

void DrawSettingsScreen(const NativeFrame& f) {
  const NativePalette& p = f.p;
  const UiSettings fallback;
  const UiSettings& s = f.ui.settings != nullptr ? *f.ui.settings : fallback;
  const bool signed_in = f.status.signed_in != 0;
  f.Clipped(32, 89, f.T(nt::kSettings), 35, 350, p.text);
  f.Pill(393, 83, 117, 49, nt::kAudio, 20);
  f.Clipped(32, 165, f.T(nt::kAppearance), 21, 475, p.text);
  f.Pill(30, 204, 231, 61, nt::kLight, 22, !s.dark);
  f.Pill(279, 204, 231, 61, nt::kDark, 22, s.dark);
  f.Clipped(32, 300, f.T(nt::kLanguage), 21, 475, p.text);
  f.Pill(30, 339, 231, 59, nt::kJapanese, 22, !s.english);
  f.Pill(279, 339, 231, 59, nt::kEnglish, 22, s.english);
  f.Clipped(32, 432, f.T(nt::kGlobalNotifications), 21, 475, p.text);
  for (int32_t i = 0; i < 3; ++i) f.Pill(30 + 164 * i, 471, 152, 58, *kModes[i], 17, i == s.notification_mode);
  f.Clipped(32, 562, f.T(nt::kRingColour), 21, 200, p.text);
  f.Pill(256, 550, 117, 56, nt::kWhite, 22, !s.ring_black);
  f.Pill(390, 550, 120, 56, nt::kBlack, 22, s.ring_black);
  f.Clipped(32, 640, f.T(nt::kRingAngle), 21, 250, p.text);
  f.Pill(291, 624, 55, 54, nt::kMinus, 22);
  f.Centred(349, 443, 640, SignedDecimal(FloatToInt(s.ring_visibility_deg, false)) + u"°", 21, p.text);
  f.Pill(454, 624, 56, 54, nt::kPlus, 22);
  f.Pill(30, 704, 231, 57, nt::kResetPosition, 20);
  if (signed_in) f.Pill(279, 704, 231, 57, nt::kHistoryFiles, 20);
  f.Pill(30, 775, 231, 57, nt::kWristCalibration, 19);
  f.Pill(279, 775, 231, 57, signed_in ? nt::kLogOut : nt::kToLogin, 20);
  f.Pill(30, 839, 480, 44, nt::kPointerEntry, 18);
  f.Clipped(32, 881, f.T(s.store_failed ? nt::kSaveFailed : nt::kSavedHere), 14, 475, p.secondary);
}

void DrawPointerScreen(const NativeFrame& f) {
  const NativePalette& p = f.p;
  const UiSettings fallback;
  const UiSettings& s = f.ui.settings != nullptr ? *f.ui.settings : fallback;
  f.Clipped(32, 91, f.T(nt::kPointer), 32, 355, p.text);
  f.Pill(405, 83, 105, 46, nt::kBack, 19);
  f.Clipped(32, 179, f.T(nt::kPointerHand), 22, 475, p.text);
  f.Pill(30, 218, 231, 61, nt::kLeftHand, 22, s.pointer_left);
  f.Pill(279, 218, 231, 61, nt::kRightHand, 22, !s.pointer_left);
  f.Clipped(32, 324, f.T(nt::kPointerColour), 22, 475, p.text);
  f.Pill(30, 363, 231, 61, nt::kRed, 22, !s.pointer_blue);
  f.Pill(279, 363, 231, 61, nt::kBlueRim, 20, s.pointer_blue);
  f.Clipped(32, 469, f.T(nt::kPointerSize), 22, 475, p.text);
  f.Pill(30, 510, 120, 61, nt::kMinus, 22);
  f.Centred(160, 380, 526, SignedDecimal(s.pointer_size_percent) + u"%", 26, p.text);
  f.Pill(390, 510, 120, 61, nt::kPlus, 22);
  f.Centred(30, 510, 594, f.T(nt::kSizeRange), 18, p.secondary);
  FillRoundedRect(f.canvas, 30, 651, 510, 816, 20, p.surface);
  f.Clipped(49, 668, f.T(nt::kPreview), 18, 440, p.secondary);
  const auto r = static_cast<int32_t>(std::min<uint64_t>(uint64_t{s.pointer_size_percent} * 14 / 100, 1000));
  if (s.pointer_blue) {
    FillCircle(f.canvas, 270, 752, r + 2, kNativeBlack);
    FillCircle(f.canvas, 270, 752, r, 0xFFFF8020);
  } else {
    FillCircle(f.canvas, 270, 752, r, 0xFF3D2DEB);
  }
  f.Centred(30, 510, 843, f.T(s.store_failed ? nt::kSaveFailed : nt::kAppliesNow), 17,
            s.store_failed ? kNativeErrorRed : p.secondary);
}

void DrawHistoryFilesScreen(const NativeFrame& f) {
  const NativePalette& p = f.p;
  f.Clipped(32, 89, f.T(nt::kHistoryFiles), 35, 350, p.text);
  f.Pill(405, 83, 105, 49, nt::kBack, 20);
  f.Clipped(32, 188, f.T(nt::kHistoryLead), 23, 475, p.text);
  f.Pill(30, 300, 480, 67, nt::kExportHistory, 22, true);
  f.Pill(30, 390, 480, 67, nt::kImportHistory, 22);
  f.Clipped(32, 510, f.T(nt::kImportMerges), 20, 475, p.secondary);
  f.Clipped(32, 551, f.T(nt::kExportReadable), 17, 475, p.secondary);
  f.Clipped(32, 610, f.T(nt::kChooseFile), 19, 475, p.secondary);
}
