// The launcher's chat app: account page, friends-and-talk view, audio device
// page and the call panel.
#include "phone_ui/chat_app.h"

#include <algorithm>
#include <string>

#include "core/list_page.h"
#include "core/ui_settings.h"
#include "phone_service/call_session.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/native_kit.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_text.h"
#include "platform/clock.h"
#include "text_input/vr_keyboard.h"

namespace {

// The friends-and-talk view.
constexpr uint32_t kChatBackground = 0xFFFAF2EF;
constexpr uint32_t kChatAccent = 0xFFAB6A52;
constexpr uint32_t kChatSurface = 0xFFFFFBFA;
constexpr uint32_t kChatText = 0xFF40281F;
constexpr uint32_t kChatSecondary = 0xFF7E655B;
constexpr uint32_t kChatSoftButton = 0xFFE8D7D1;
constexpr uint32_t kChatGreyButton = 0xFFCAB7AF;
constexpr uint32_t kChatUnreadGreen = 0xFF63BE23;
constexpr uint32_t kChatFailedRed = 0xFF3030A4;
constexpr uint32_t kChatHistoryRed = 0xFF2B2BA0;
constexpr uint32_t kChatUncertainRed = 0xFF2C2CA5;
constexpr uint32_t kChatOwnBubble = 0xFFFDDAC7;
constexpr uint32_t kChatSendDisabled = 0xFFA89791;
constexpr uint32_t kCallActionColour = 0xFF4A3FA6;
constexpr uint32_t kCallUnavailableColour = 0xFFA98A7C;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// The account card.
constexpr uint32_t kCardFill = 0xFF2A2625;
constexpr uint32_t kCardText = 0xFFFBF7F6;
constexpr uint32_t kCardLabel = 0xFFC8BCB7;
constexpr uint32_t kFieldActive = 0xFF785345;
constexpr uint32_t kFieldIdle = 0xFF3C3431;

// The page of app 0 outside the chat view.
struct PagePalette {
  uint32_t background;
  uint32_t text;
  uint32_t secondary;
  uint32_t device_box;
  uint32_t accent;
  uint32_t on_accent;
};
constexpr PagePalette kPageLight = {0xFFFDF9F7, 0xFF422819, 0xFF8C7465, 0xFFFFFFFF, 0xFFED6823, 0xFFFFFFFF};
constexpr PagePalette kPageDark = {0xFF23140C, 0xFFFFF3ED, 0xFFC1AA9B, 0xFF342014, 0xFFED6823, 0xFFFFFFFF};
constexpr uint32_t kPageBackButton = 0xFF77422E;
constexpr uint32_t kPageBusyButton = 0xFFB29E96;
constexpr uint32_t kPageSaveFailed = 0xFF483CA6;

// The call panel.
constexpr uint32_t kCallCardFill = 0xFF553526;
constexpr uint32_t kCallCardText = 0xFFFFFBFA;
constexpr uint32_t kCallLeftButton = 0xFFAE6B4A;
constexpr uint32_t kCallRightButton = 0xFF4F3EA4;
constexpr uint32_t kNoticeFill = 0xFFFFFBFA;
constexpr uint32_t kNoticeHeading = 0xFF815B49;
constexpr uint32_t kNoticeInk = 0xFF40281F;

constexpr size_t kListRows = 5;
constexpr size_t kFieldTailUnits = 24;

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A label centred in the button (x0, y0)-(x1, y1).
void ButtonLabel(PhoneCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, std::u16string_view text,
                 int32_t size, uint32_t colour) {
  DrawTextCentered(canvas, x0, x1, y0 + (y1 - y0 - size) / 2, text, size, colour);
}

std::u16string Decimal(uint64_t value) {
  const std::string digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

void DrawHeader(PhoneCanvas& canvas, uint32_t background, uint32_t accent) {
  FillCanvasRect(canvas, 0, 64, kCanvasWidth, 900, background);
  FillRoundedRect(canvas, 18, 78, 522, 145, 16, accent);
}

// ---- The friends-and-talk view ----

// Row i of the list for `id`; nothing when the friend has no thread.
void DrawListRow(PhoneCanvas& canvas, const ChatAppInputs& in, size_t i, const std::string& id) {
  const ChatThread* thread = in.model.FindThread(id);
  if (thread == nullptr) return;
  const bool live = in.model.snapshot_loaded();
  const int32_t y0 = 268 + 114 * static_cast<int32_t>(i);
  FillRoundedRect(canvas, 22, y0, 518, y0 + 101, 14, kChatSurface);
  DrawAvatar(canvas, 34, y0 + 17, 52, id);
  DrawCanvasText(canvas, 104, y0 + 11, Utf8ToCanvasText(thread->friend_.display_name), 352, 23, kChatText, false);
  if (live) {
    const std::string last = in.model.LastMessageText(id);
    DrawCanvasText(canvas, 104, y0 + 46, last.empty() ? u"最新メッセージなし" : Utf8ToCanvasText(last), 360, 18,
                   kChatSecondary, false);
    if (thread->unread > 0) {
      FillCircle(canvas, 482, y0 + 24, 11, kChatUnreadGreen);
      DrawCanvasText(canvas, 469, y0 + 49, u">", 32, 25, kChatSecondary, false);
    }
  } else if (thread->messages.empty()) {
    DrawCanvasText(canvas, 104, y0 + 46, u"履歴なし（デモ）", 330, 18, kChatSecondary, false);
  } else {
    DrawCanvasText(canvas, 104, y0 + 46, Utf8ToCanvasText(thread->messages.back().text), 360, 18, kChatSecondary,
                   false);
  }
}

void DrawTabsAndList(PhoneCanvas& canvas, const ChatAppInputs& in) {
  const ChatModel& model = in.model;
  const bool live = model.snapshot_loaded();
  const uint32_t mode = model.mode();
  FillRoundedRect(canvas, 22, 191, 258, 245, 11, mode == 0 ? kChatSurface : kChatSoftButton);
  FillRoundedRect(canvas, 274, 191, 518, 245, 11, mode == 1 ? kChatSurface : kChatSoftButton);
  DrawTextCentered(canvas, 22, 258, 200, u"フレンド", 22, kChatText);
  DrawTextCentered(canvas, 274, 518, 200, u"会話", 22, kChatText);
  if (live) {
    const bool any_unread = std::any_of(model.friends().begin(), model.friends().end(), [&](const ChatFriend& f) {
      const ChatThread* thread = model.FindThread(f.user_id);
      return thread != nullptr && thread->unread > 0;
    });
    if (any_unread) FillCircle(canvas, 239, 216, 9, kChatUnreadGreen);
  }
  // The friends tab lists the friends as stored, which is the order its taps
  // resolve rows in; the conversations tab follows the conversation order.
  if (mode == 0) {
    const std::vector<ChatFriend>& friends = model.friends();
    for (size_t i = 0; i < std::min(kListRows, friends.size()); ++i) DrawListRow(canvas, in, i, friends[i].user_id);
  } else {
    const std::vector<std::string> ids = model.FriendIds();
    for (size_t i = 0; i < std::min(kListRows, ids.size()); ++i) DrawListRow(canvas, in, i, ids[i]);
  }
  const std::u16string_view footer = !live                ? u"一覧の相手を押すと会話プレビューを開きます"
                                     : in.live_messaging ? u"実データ一覧・トークを開くと送受信可能"
                                                         : u"実データ一覧（先頭5件）・送信不可";
  DrawCanvasText(canvas, 26, 844, footer, 495, 18, kChatSecondary, false);
}

void DrawCallRow(PhoneCanvas& canvas, const ChatAppInputs& in) {
  const CallSession::Snapshot call = in.call != nullptr ? in.call->GetSnapshot() : CallSession::Snapshot{};
  const bool incoming = call.state == CallSession::kIncoming;
  const bool in_call = call.state >= CallSession::kOutgoing && call.state <= CallSession::kEnding;
  const bool available = !in_call && in.call != nullptr && in.call->IsAvailable();
  const std::u16string_view label = incoming ? u"応答" : in_call ? u"終話" : available ? u"発信" : u"発信不可";
  FillRoundedRect(canvas, 411, 193, 518, 241, 9, in_call || available ? kCallActionColour : kCallUnavailableColour);
  ButtonLabel(canvas, 411, 193, 518, 241, label, 16, kWhite);
  if (in_call) {
    FillRoundedRect(canvas, 305, 193, 405, 241, 9, kCallActionColour);
    ButtonLabel(canvas, 305, 193, 405, 241, incoming ? u"拒否" : call.muted != 0 ? u"解除" : u"ミュート", 16, kWhite);
  }
  static constexpr std::u16string_view kStates[7] = {u"",       u"発信中", u"着信中",  u"接続中",
                                                      u"通話中", u"終了中", u"通話失敗"};
  if (call.state >= 1 && call.state <= 6) {
    DrawCanvasText(canvas, 187, 226, kStates[call.state], 112, 13, kChatSecondary, false);
  }
}

void DrawLiveConversation(PhoneCanvas& canvas, const ChatAppInputs& in) {
  const std::u16string_view history = in.history_in_flight ? u"履歴取得中..."
                                      : in.history_failed  ? u"履歴取得失敗（送信しないでください）"
                                      : in.history_loaded  ? u"履歴はこのPCに保存されます"
                                                           : u"履歴未取得";
  DrawCanvasText(canvas, 26, 252, history, 320, 16,
                 in.history_failed && !in.history_in_flight ? kChatHistoryRed : kChatSecondary, false);
  const ListPage page = ComputeListPage(in.page_list.size(), in.page);
  const bool older = page.page + 1 < page.page_count;
  const bool newer = page.page > 0;
  FillRoundedRect(canvas, 354, 247, 429, 283, 8, older ? kChatSurface : kChatGreyButton);
  FillRoundedRect(canvas, 433, 247, 519, 283, 8, newer ? kChatSurface : kChatGreyButton);
  ButtonLabel(canvas, 354, 247, 429, 283, u"古い", 16, kChatText);
  ButtonLabel(canvas, 433, 247, 519, 283, u"新しい", 16, kChatText);

  if (page.end == page.first) {
    DrawCanvasText(canvas, 33, 340, u"メッセージ履歴なし", 455, 20, kChatSecondary, false);
  }
  const int64_t now = platform::UtcUnixSeconds();
  int32_t y = 291;
  for (uint64_t k = page.first; k < page.end; ++k, y += 90) {
    const ChatMessage& message = in.page_list[k];
    const bool own = message.sender == in.model.self_id();
    const int32_t x0 = own ? 143 : 26;
    const int32_t tx = own ? 155 : 38;
    FillRoundedRect(canvas, x0, y - 5, x0 + 373, y + 71, 12, own ? kChatOwnBubble : kChatSurface);
    DrawCanvasText(canvas, tx, y, own ? u"自分" : u"相手", 90, 16, kChatSecondary, false);
    DrawCanvasText(canvas, tx + 162, y, FormatMessageTime(message.timestamp, now), 175, 15, kChatSecondary, false);
    DrawTextClipped(canvas, tx, y + 26, Utf8ToCanvasText(message.text), 20, kChatText, 337);
  }

  const bool can_send = in.live_messaging && in.history_loaded && !in.history_failed && !in.send_in_flight;
  FillRoundedRect(canvas, 22, 774, 382, 852, 12, kChatSurface);
  if (in.draft.empty()) {
    DrawCanvasText(canvas, 34, 795, u"ここを押して文字を入力", 336, 21, kChatSecondary, false);
  } else {
    DrawCanvasText(canvas, 34, 795, FieldTail(in.draft), 336, 21, kChatText, false);
  }
  FillRoundedRect(canvas, 391, 774, 518, 852, 12, can_send ? kChatAccent : kChatSendDisabled);
  DrawTextCentered(canvas, 393, 516, 795, in.send_in_flight ? u"送信中" : u"送信", 21, kWhite);
  DrawCanvasText(canvas, 26, 856, in.send_status, 480, 16, in.send_uncertain ? kChatUncertainRed : kChatSecondary, false);
}

void DrawDemoConversation(PhoneCanvas& canvas, const ChatAppInputs& in, const ChatThread* thread) {
  if (in.live_read_only) {
    DrawCanvasText(canvas, 26, 252, u"履歴未取得・最新メッセージのプレビューのみ", 480, 19, kChatSecondary, false);
    DrawCanvasText(canvas, 42, 322, u"最新メッセージ（GET結果・履歴ではありません）", 468, 19, kChatSecondary,
                   false);
    if (thread != nullptr && !thread->messages.empty()) {
      DrawTextClipped(canvas, 42, 365, Utf8ToCanvasText(thread->messages.back().text), 23, kChatText, 454);
    } else {
      DrawTextClipped(canvas, 42, 365, u"メッセージなし", 23, kChatSecondary, 454);
    }
  } else {
    DrawCanvasText(canvas, 26, 252, u"履歴はすべてサンプルです", 480, 19, kChatSecondary, false);
    int32_t y = 307;
    for (size_t k = 0; thread != nullptr && k < thread->messages.size() && y - 7 < 734; ++k, y += 93) {
      const bool own = thread->messages[k].sender == in.model.self_id();
      const int32_t x0 = own ? 143 : 26;
      const int32_t tx = own ? 155 : 38;
      FillRoundedRect(canvas, x0, y - 7, x0 + 373, y + 69, 15, own ? kChatOwnBubble : kChatSurface);
      DrawCanvasText(canvas, tx, y, own ? u"自分（デモ）" : u"相手（デモ）", 300, 16, kChatSecondary, false);
      DrawCanvasText(canvas, tx, y + 24, Utf8ToCanvasText(thread->messages[k].text), 340, 20, kChatText, false);
    }
  }
  FillRoundedRect(canvas, 22, 774, 518, 851, 12, kChatSoftButton);
  DrawTextCentered(canvas, 28, 512, 788, u"送信・既読変更は無効", 22, kChatSecondary);
}

void DrawConversation(PhoneCanvas& canvas, const ChatAppInputs& in) {
  const std::string& id = in.model.selected_id();
  const ChatThread* thread = in.model.FindThread(id);
  FillRoundedRect(canvas, 22, 193, 123, 241, 10, kChatSurface);
  ButtonLabel(canvas, 22, 193, 123, 241, u"戻る", 22, kChatText);
  DrawAvatar(canvas, 137, 195, 42, id);
  const std::string& name = thread != nullptr && !thread->friend_.display_name.empty() ? thread->friend_.display_name : id;
  DrawCanvasText(canvas, 187, 198, Utf8ToCanvasText(name), 112, 23, kChatText, false);
  DrawCallRow(canvas, in);
  if (in.model.snapshot_loaded()) {
    DrawLiveConversation(canvas, in);
  } else {
    DrawDemoConversation(canvas, in, thread);
  }
}

// List buttons and the chip of the live read-only view.
void DrawLiveListState(PhoneCanvas& canvas, const ChatAppInputs& in) {
  const bool loaded = in.model.snapshot_loaded();
  auto button = [&](int32_t x0, int32_t x1, std::u16string_view label) {
    FillRoundedRect(canvas, x0, 147, x1, 184, 7, kChatSoftButton);
    ButtonLabel(canvas, x0, 147, x1, 184, label, 18, kChatText);
  };
  if (in.owner_present) {
    button(22, 300, in.list_in_flight ? u"読込中…" : u"一覧更新");
  } else if (loaded) {
    button(22, 158, in.list_in_flight ? u"読込中" : u"一覧更新");
    button(164, 300, u"デモへ戻す");
  } else {
    button(22, 300, in.list_in_flight ? u"読み取り中..." : u"実データ読込（GET）");
  }
  const std::u16string_view chip = in.list_in_flight ? u"通信中"
                                   : in.list_failed  ? u"読込失敗"
                                   : in.owner_present ? (loaded ? u"読込済み" : u"未取得")
                                                      : (loaded ? u"実データ" : u"デモ");
  DrawCanvasText(canvas, 310, 150, chip, 208, 18, in.list_failed ? kChatFailedRed : kChatSecondary, false);
}

// ---- The page of app 0 ----

struct PageFrame {
  PhoneCanvas& canvas;
  const PhoneUi& ui;
  const PagePalette& p;
};

std::u16string T(std::u16string_view japanese) { return LocalizeUiText(std::u16string(japanese)); }

void DrawDeviceSection(const PageFrame& f, int32_t y, bool capture, bool idle) {
  const quorix_native::Ui::AudioDeviceList list = f.ui.owner->GetAudioDevices(capture);
  DrawCanvasText(f.canvas, 24, y, T(capture ? u"マイク" : u"スピーカー・ヘッドセット"), 490, 23, f.p.text, false);
  FillRoundedRect(f.canvas, 22, y + 35, 518, y + 84, 10, f.p.device_box);
  const bool valid = list.selected >= 0 && static_cast<size_t>(list.selected) < list.names.size();
  DrawCanvasText(f.canvas, 32, y + 47,
                 valid ? list.names[static_cast<size_t>(list.selected)] : T(u"機器を選んでください"), 476, 18,
                 f.p.text, false);
  const uint32_t fill = idle ? f.p.accent : kPageBusyButton;
  FillRoundedRect(f.canvas, 22, y + 90, 145, y + 148, 10, fill);
  FillRoundedRect(f.canvas, 375, y + 90, 518, y + 148, 10, fill);
  DrawTextCentered(f.canvas, 22, 145, y + 105, T(u"前へ"), 21, f.p.on_accent);
  DrawTextCentered(f.canvas, 375, 518, y + 105, T(u"次へ"), 21, f.p.on_accent);
  const uint64_t n = valid ? static_cast<uint64_t>(list.selected) + 1 : 0;
  DrawTextCentered(f.canvas, 155, 365, y + 106, Decimal(n) + u" / " + Decimal(list.names.size()), 22, f.p.secondary);
}

void DrawAudioDevicePage(const PageFrame& f) {
  PhoneCanvas& canvas = f.canvas;
  DrawHeader(canvas, f.p.background, f.p.accent);
  DrawCanvasText(canvas, 34, 92, T(u"音声デバイス"), 340, 28, f.p.on_accent, false);
  FillRoundedRect(canvas, 397, 91, 513, 132, 8, kPageBackButton);
  DrawTextCentered(canvas, 397, 513, 96, T(u"戻る"), 18, f.p.on_accent);
  const bool idle = f.ui.owner->GetStatus().idle != 0;
  DrawCanvasText(canvas, 24, 166,
                 T(idle ? u"通話前に使用する機器を選んでください" : u"通話中は確認のみ・終話後に変更できます"), 490,
                 18, f.p.secondary, false);
  DrawDeviceSection(f, 220, true, idle);
  DrawDeviceSection(f, 420, false, idle);
  FillRoundedRect(canvas, 22, 625, 250, 685, 11, idle ? f.p.accent : kPageBusyButton);
  DrawTextCentered(canvas, 22, 250, 643, T(u"機器を再読込"), 21, f.p.on_accent);
  FillRoundedRect(canvas, 280, 625, 518, 685, 11, f.p.accent);
  DrawTextCentered(canvas, 280, 518, 643, T(u"完了"), 22, f.p.on_accent);
  DrawCanvasText(canvas, 24, 715,
                 T(f.ui.last_owner_action_failed != 0 ? u"選択できません。接続と通話状態を確認してください"
                                                      : u"選んだ機器を次の発信・応答で使用します"),
                 490, 17, f.p.secondary, false);
  const UiSettings* settings = f.ui.settings;
  if (settings == nullptr) return;
  DrawCanvasText(canvas, 24, 752, settings->english ? u"UI sound volume" : u"UI効果音の音量", 490, 23, f.p.text,
                 false);
  FillRoundedRect(canvas, 22, 792, 145, 850, 10, f.p.accent);
  FillRoundedRect(canvas, 375, 792, 518, 850, 10, f.p.accent);
  DrawTextCentered(canvas, 22, 145, 807, u"−", 25, f.p.on_accent);
  DrawTextCentered(canvas, 375, 518, 807, u"＋", 25, f.p.on_accent);
  DrawTextCentered(canvas, 155, 365, 809, Decimal(settings->ui_volume) + u"%", 23, f.p.text);
  if (settings->store_failed) {
    DrawCanvasText(canvas, 24, 866, settings->english ? u"Could not save settings." : u"設定を保存できませんでした。",
                   490, 16, kPageSaveFailed, false);
  }
}

void DrawAccountPage(const PageFrame& f) {
  PhoneCanvas& canvas = f.canvas;
  quorix_native::Ui* owner = f.ui.owner;
  if (owner != nullptr) {
    DrawHeader(canvas, f.p.background, f.p.accent);
    DrawCanvasText(canvas, 34, 92, T(u"Quorix"), 470, 29, f.p.on_accent, false);
  }
  RenderAccountCard(canvas, f.ui.keyboard, owner != nullptr);
  DrawChatPreviewBanner(canvas, owner != nullptr);
  if (owner == nullptr) return;
  const quorix_native::Ui::Status status = owner->GetStatus();
  FillCanvasRect(canvas, 25, 162, 515, 218, kCardFill);
  DrawTextCentered(canvas, 28, 512, 165, T(u"Quorix ログイン"), 26, kCardText);
  DrawTextCentered(canvas, 24, 516, 197,
                   f.ui.last_owner_action_failed != 0 ? T(u"処理と入力を確認して、もう一度操作してください")
                                                      : std::u16string(GetOwnerStatusText(status.code)),
                   16, kCardLabel);
  FillRoundedRect(canvas, 38, 635, 502, 690, 10, f.p.accent);
  DrawTextCentered(canvas, 42, 498, 650, T(u"音声デバイス"), 22, f.p.on_accent);
  if (status.signed_in != 0) {
    DrawTextCentered(canvas, 24, 516, 716,
                     T(status.call_ready != 0 ? u"発信・着信が可能です" : u"発信権限・通話の接続状態を確認してください"),
                     17, f.p.secondary);
  }
}

// ---- The call panel ----

// The call card's height below y 72, 0 when no card is drawn.
int32_t DrawCallCard(const PhoneUi& model, PhoneCanvas& canvas, uint8_t target) {
  if (model.call_session == nullptr) return 0;
  const CallSession::Snapshot call = model.call_session->GetSnapshot();
  const bool native_mode = model.settings != nullptr;
  if (call.state == CallSession::kIdle || call.state == CallSession::kEnding ||
      (call.state == CallSession::kFailed && native_mode)) {
    return 0;
  }
  model.drawn_call_revision[target] = model.owner->GetCallRevision();
  const bool incoming = call.state == CallSession::kIncoming;
  const bool connected = call.state == CallSession::kConnected;
  const bool failed = call.state == CallSession::kFailed;
  const bool expanded = incoming || model.call_card_expanded != 0;
  const int32_t bottom = expanded ? 326 : 146;
  FillRoundedRect(canvas, 14, 72, 526, bottom, 15, kCallCardFill);
  const std::u16string_view title = incoming                                     ? u"着信中"
                                    : connected                                  ? u"通話中"
                                    : call.state == CallSession::kOutgoing       ? u"発信中"
                                    : failed                                     ? u"通話に失敗しました"
                                                                                 : u"接続中";
  DrawCanvasText(canvas, 30, 86, title, 380, 23, kCallCardText, false);
  DrawCanvasText(canvas, 76, 116, model.owner->GetCallPeerName(), 334, 18, kCallCardText, false);
  if (!incoming) DrawCanvasText(canvas, 430, 100, expanded ? u"閉じる" : u"操作", 80, 18, kCallCardText, false);
  if (expanded) {
    const bool muted = call.muted != 0;
    DrawCanvasText(canvas, 30, 161,
                   incoming ? u"応答または拒否を選んでください" : muted ? u"マイクはミュート中です" : u"マイクはオンです",
                   470, 20, kCallCardText, false);
    DrawCanvasText(canvas, 30, 194, incoming ? u"開いている画面のまま応答できます" : u"通話操作はこのパネルで行えます",
                   470, 17, kCallCardText, false);
    if (incoming || connected) {
      FillRoundedRect(canvas, 30, 248, 260, 310, 11, kCallLeftButton);
      DrawTextCentered(canvas, 30, 260, 266, incoming ? u"応答" : muted ? u"ミュート解除" : u"ミュート", 23,
                       kCallCardText);
    }
    FillRoundedRect(canvas, 280, 248, 510, 310, 11, kCallRightButton);
    DrawTextCentered(canvas, 280, 510, 266, incoming ? u"拒否" : failed ? u"確認" : u"終話", 23, kCallCardText);
  }
  return bottom;
}

void DrawNoticeCard(const PhoneUi& model, PhoneCanvas& canvas, uint8_t target, int32_t top) {
  const quorix_native::Ui::Notice notice = model.owner->GetActiveNotice();
  if (notice.id == 0) return;
  model.drawn_notice_id[target] = notice.id;
  FillRoundedRect(canvas, 14, top, 526, top + 180, 15, kNoticeFill);
  DrawCanvasText(canvas, 30, top + 12, u"新着メッセージ", 400, 17, kNoticeHeading, false);
  DrawCanvasText(canvas, 478, top + 12, u"×", 34, 22, kNoticeInk, false);
  DrawCanvasText(canvas, 30, top + 39, notice.title, 465, 22, kNoticeInk, false);
  const std::vector<std::u16string> lines = SplitTextLines(notice.body, 3, 23);
  for (size_t line = 0; line < lines.size(); ++line) {
    DrawCanvasText(canvas, 30, top + 76 + 29 * static_cast<int32_t>(line), lines[line], 480, 21, kNoticeInk, false);
  }
}

}  // namespace

std::u16string_view FieldTail(std::u16string_view text) {
  if (text.size() <= kFieldTailUnits) return text;
  size_t from = text.size() - kFieldTailUnits;
  if (IsLowSurrogate(text[from])) ++from;
  return text.substr(from);
}

void RenderChatApp(PhoneCanvas& canvas, const ChatAppInputs& in) {
  DrawHeader(canvas, kChatBackground, kChatAccent);
  DrawCanvasText(canvas, 34, 92, in.owner_present ? u"フレンド・トーク" : u"チャットプレビュー", 335, 29, kWhite,
                 false);
  FillRoundedRect(canvas, 397, 91, 513, 132, 8, kChatSurface);
  ButtonLabel(canvas, 397, 91, 513, 132, u"ログインへ", 18, kChatAccent);

  if (!in.live_read_only) {
    if (in.owner_present) {
      DrawCanvasText(canvas, 22, 151, u"接続設定を確認してください", 510, 19, kChatSecondary, false);
      return;
    }
    DrawCanvasText(canvas, 22, 151, u"デモデータのみ・通信OFF・送信／既読更新不可", 510, 19, kChatSecondary, false);
  } else {
    DrawLiveListState(canvas, in);
    if (in.owner_present && !in.model.snapshot_loaded()) {
      DrawCanvasText(canvas, 30, 276,
                     in.list_in_flight ? u"フレンド・トークを読み込んでいます"
                                       : u"一覧を取得できませんでした。更新を押してください",
                     480, 20, kChatSecondary, false);
      return;
    }
  }
  if (in.model.mode() == 2 && !in.model.selected_id().empty()) {
    DrawConversation(canvas, in);
  } else {
    DrawTabsAndList(canvas, in);
  }
}

void RenderAccountCard(PhoneCanvas& canvas, const QuorixVrKeyboard& keyboard, bool owner_present) {
  FillRoundedRect(canvas, 12, 158, 528, 581, 25, kCardFill);
  DrawCanvasText(canvas, 28, 166, u"Quorix 入力", 484, 28, kCardText, true);
  static constexpr uint32_t kFields[3] = {kFieldId, kFieldPassword, kFieldMessage};
  const std::u16string_view labels[3] = {u"Quorix ID", u"Password", owner_present ? u"下書き" : u"入力テスト"};
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t y = 225 + 68 * i;
    FillRoundedRect(canvas, 22, y, 518, y + 58, 12, keyboard.active_field == kFields[i] ? kFieldActive : kFieldIdle);
    DrawCanvasText(canvas, 32, y + 5, labels[i], 128, 16, kCardLabel, false);
    const std::u16string value = keyboard.GetDisplayText(kFields[i]);
    DrawCanvasText(canvas, 162, y + 14, FieldTail(value), 340, 27, kCardText, false);
  }
  DrawCanvasText(canvas, 25, 437, u"入力欄を押すと別ウィンドウにキーボードを表示", 491, 17, kCardLabel, true);
  const std::u16string_view buttons[3] = {u"ログイン", u"状態確認", u"ログアウト"};
  const int32_t width = owner_present ? 151 : 168;
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t x0 = 18 + 174 * i;
    FillRoundedRect(canvas, x0, 489, x0 + width, 546, 10, i == 0 ? kChatAccent : kFieldIdle);
    DrawTextCentered(canvas, x0 + 3, x0 + width - 4, 504, buttons[i], 23, kCardText);
  }
}

void DrawChatPreviewBanner(PhoneCanvas& canvas, bool owner_present) {
  FillRoundedRect(canvas, 38, 574, 502, 617, 10, kChatAccent);
  DrawCanvasText(canvas, 42, 580, owner_present ? u"フレンド・トークへ" : u"チャットプレビュー（通信OFF）", 456, 21,
                 kWhite, true);
}

void RenderChatAppPage(const PhoneUi& model, PhoneCanvas& canvas) {
  const PageFrame f{canvas, model, ui_render_dark ? kPageDark : kPageLight};
  if (model.owner != nullptr && model.audio_panel_open != 0) {
    DrawAudioDevicePage(f);
    return;
  }
  if (model.chat_view_open != 0) {
    const ChatAppInputs in{
        .model = model.chat_model,
        .live_read_only = model.live_read_only != 0,
        .list_in_flight = model.list_fetch_started != 0,
        .list_failed = model.list_fetch_unavailable != 0,
        .live_messaging = model.live_messaging != 0,
        .history_loaded = model.history_loaded != 0,
        .history_in_flight = model.history_fetch_in_flight != 0,
        .history_failed = model.history_failed != 0,
        .page_list = model.live_page_list,
        .page = model.live_page_index,
        .draft = model.keyboard.message,
        .send_in_flight = model.send_in_flight != 0,
        .send_uncertain = model.send_outcome_uncertain != 0,
        .send_status = model.send_status_text,
        .read_in_flight = model.read_in_flight != 0,
        .read_status = model.read_status_text,
        .call = model.call_session,
        .owner_present = model.owner != nullptr,
    };
    RenderChatApp(canvas, in);
    return;
  }
  DrawAccountPage(f);
}

void RenderCallPanel(const PhoneUi& model, PhoneCanvas& canvas, uint8_t target) {
  if (target > 1) return;
  model.drawn_call_revision[target] = 0;
  model.drawn_notice_id[target] = 0;
  quorix_native::Ui* owner = model.owner;
  if (owner == nullptr || !owner->AreNotificationsEnabled() || owner->GetStatus().signed_in == 0) return;
  const int32_t card_bottom = DrawCallCard(model, canvas, target);
  DrawNoticeCard(model, canvas, target, card_bottom == 0 ? 78 : card_bottom + 12);
}

std::u16string ChatAppLabels() {
  static constexpr std::u16string_view kLabels[] = {
      u"フレンド・トーク チャットプレビュー ログインへ 接続設定を確認してください",
      u"デモデータのみ・通信OFF・送信／既読更新不可 読込中… 一覧更新 読込中 デモへ戻す 読み取り中...",
      u"実データ読込（GET） 通信中 読込失敗 読込済み 未取得 実データ デモ",
      u"フレンド・トークを読み込んでいます 一覧を取得できませんでした。更新を押してください フレンド 会話",
      u"履歴なし（デモ） 最新メッセージなし > 実データ一覧・トークを開くと送受信可能 実データ一覧（先頭5件）・送信不可",
      u"一覧の相手を押すと会話プレビューを開きます 戻る 応答 終話 発信 発信不可 拒否 解除 ミュート",
      u"発信中 着信中 接続中 通話中 終了中 通話失敗 履歴取得中... 履歴取得失敗（送信しないでください）",
      u"履歴はこのPCに保存されます 履歴未取得 古い 新しい 自分 相手 メッセージ履歴なし ここを押して文字を入力",
      u"送信中 送信 履歴未取得・最新メッセージのプレビューのみ 最新メッセージ（GET結果・履歴ではありません）",
      u"メッセージなし 履歴はすべてサンプルです 自分（デモ） 相手（デモ） 送信・既読変更は無効",
      u"Quorix 入力 Quorix ID Password 下書き 入力テスト 入力欄を押すと別ウィンドウにキーボードを表示",
      u"ログイン 状態確認 ログアウト フレンド・トークへ チャットプレビュー（通信OFF）",
      u"音声デバイス 通話前に使用する機器を選んでください 通話中は確認のみ・終話後に変更できます",
      u"マイク スピーカー・ヘッドセット 機器を選んでください 前へ 次へ 0123456789 / % 機器を再読込 完了",
      u"選択できません。接続と通話状態を確認してください 選んだ機器を次の発信・応答で使用します",
      u"UI sound volume UI効果音の音量 − ＋ Could not save settings. 設定を保存できませんでした。",
      u"Quorix ログイン 処理と入力を確認して、もう一度操作してください 発信・着信が可能です",
      u"発信権限・通話の接続状態を確認してください 着信中 通話に失敗しました 閉じる 操作",
      u"応答または拒否を選んでください マイクはミュート中です マイクはオンです 開いている画面のまま応答できます",
      u"通話操作はこのパネルで行えます ミュート解除 確認 新着メッセージ × … ●",
  };
  std::u16string all;
  for (std::u16string_view label : kLabels) all.append(label).push_back(u' ');
  return all;
}
