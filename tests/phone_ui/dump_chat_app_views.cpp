// The launcher's chat app pictures of dump_phone_frames: the account page,
// the chat view in demo, preview and live data, the audio device page and
// the call panel over the home page. Real text, a fresh fixture per picture.
#include <functional>
#include <string>
#include <vector>

#include "dump_native_views.h"
#include "phone_ui/canvas.h"
#include "phone_ui/chat_app.h"
#include "phone_ui/launcher.h"
#include "phone_ui/ui_text.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::PhoneFixture;

struct ChatView {
  const char* file;
  std::function<void(PhoneFixture&)> setup;
  bool call_panel = false;  // the home page with the call panel over it
};

ChatSnapshot Friends() {
  ChatSnapshot snapshot;
  snapshot.self_id = "me";
  snapshot.friends = {{"hana.sato", "佐藤 花"}, {"kenji_t", "Kenji Tanaka"}, {"yui-m", "松本 ゆい"},
                      {"alex.k", "Alex Kim"}, {"mio", "Mio"}};
  snapshot.conversations = {{"kenji_t", "See you at the club tonight", 3},
                            {"hana.sato", "今夜また話そう！", 12},
                            {"yui-m", "写真ありがとう！", 0},
                            {"alex.k", "", 0},
                            {"mio", "ok", 1}};
  return snapshot;
}

std::vector<ChatMessage> SevenMessages() {
  const char* texts[7] = {"おはよう！", "Morning! Are you coming tonight?", "うん、9時ごろに行くね",
                          "Yes, the usual place. I'll send an invite.", "𠮷野家の前で待ってるね",
                          "This one is a very long message that goes on and on well past the bubble's edge",
                          "了解、またあとで"};
  std::vector<ChatMessage> messages;
  for (int k = 0; k < 7; ++k) {
    const bool mine = k % 2 == 1;
    messages.push_back({"m" + std::to_string(k), mine ? "me" : "hana.sato", mine ? "hana.sato" : "me", texts[k],
                        1741000000.0 - 7200 + 600 * k});
  }
  return messages;
}

void Live(PhoneFixture& f) {
  f.SignIn(3);
  f.Load(Friends());
  f.ui.chat_view_open = 1;
  f.ui.live_read_only = 1;
}

void LiveConversation(PhoneFixture& f, uint64_t page) {
  Live(f);
  f.ui.live_messaging = 1;
  f.OpenConversation("hana.sato", SevenMessages());
  f.ui.live_page_index = page;
}

void AudioPage(PhoneFixture& f, int32_t selected, bool idle) {
  f.SignIn(3);
  f.owner.status.idle = idle ? 1 : 0;
  f.owner.microphones = {{u"USB マイク", u"Headset Microphone"}, selected < 0 ? -1 : 1, 1};
  f.owner.speakers = {{u"スピーカー (Realtek)", u"Headphones", u"HDMI"}, selected, 2};
  f.ui.audio_panel_open = 1;
}

void WithSettings(PhoneFixture& f, bool english, bool dark) {
  f.ui.settings = &f.settings;
  f.settings.english = english;
  f.settings.dark = dark;
  f.settings.ui_volume = 70;
}

void Calling(PhoneFixture& f, uint32_t state, bool expanded, bool notice) {
  f.SignIn(3);
  f.call.state = state;
  f.call.peer_id = "hana.sato";
  f.call.muted = state == CallSession::kConnected && expanded ? 1 : 0;
  f.owner.call_revision = 3;
  f.owner.call_peer_name = u"佐藤 花";
  f.ui.call_card_expanded = expanded ? 1 : 0;
  if (notice) {
    f.owner.pending_notices.push_back(
        {4, 0, u"Kenji Tanaka", u"今夜のイベント、9時からだよ。Are you still coming? 𠮷野家の前で集合ね！", "kenji_t"});
  }
}

const std::vector<ChatView>& Views() {
  static const std::vector<ChatView> views = {
      {"chat_account_no_owner.png", [](PhoneFixture& f) { f.ui.AttachOwner(nullptr); }},
      {"chat_account_signed_out.png", [](PhoneFixture& f) { f.SignOut(0); }},
      {"chat_account_signed_in.png",
       [](PhoneFixture& f) {
         f.SignIn(3);
         f.ui.keyboard.id = u"quorix.user";
         f.ui.keyboard.password = u"secret-password";
         f.ui.keyboard.active_field = kFieldPassword;
       }},
      {"chat_account_failed.png",
       [](PhoneFixture& f) {
         f.SignOut(5);
         f.ui.last_owner_action_failed = 1;
       }},
      {"chat_demo_friends.png",
       [](PhoneFixture& f) {
         f.ui.AttachOwner(nullptr);
         f.ui.chat_view_open = 1;
       }},
      {"chat_demo_talk.png",
       [](PhoneFixture& f) {
         f.ui.AttachOwner(nullptr);
         f.ui.chat_view_open = 1;
         f.ui.chat_model.SelectRightTab();
       }},
      {"chat_demo_conversation.png",
       [](PhoneFixture& f) {
         f.ui.AttachOwner(nullptr);
         f.ui.chat_view_open = 1;
         f.ui.chat_model.OpenThread(f.ui.chat_model.friends().front().user_id);
       }},
      {"chat_preview_no_snapshot.png",
       [](PhoneFixture& f) {
         f.ui.AttachOwner(nullptr);
         f.ui.chat_view_open = 1;
         f.ui.live_read_only = 1;
       }},
      {"chat_live_friends.png", Live},
      {"chat_live_talk.png",
       [](PhoneFixture& f) {
         Live(f);
         f.ui.chat_model.SelectRightTab();
       }},
      {"chat_live_conversation_page0.png", [](PhoneFixture& f) { LiveConversation(f, 0); }},
      {"chat_live_conversation_page1.png", [](PhoneFixture& f) { LiveConversation(f, 1); }},
      {"chat_live_conversation_sending.png",
       [](PhoneFixture& f) {
         LiveConversation(f, 0);
         f.ui.keyboard.message = u"いま向かってる！";
         f.ui.send_in_flight = 1;
         f.call.state = CallSession::kConnected;
       }},
      {"chat_live_conversation_uncertain.png",
       [](PhoneFixture& f) {
         LiveConversation(f, 0);
         f.ui.send_outcome_uncertain = 1;
         f.ui.send_status_text = u"送信できたか確認できませんでした";
       }},
      {"chat_live_conversation_history_failed.png",
       [](PhoneFixture& f) {
         LiveConversation(f, 0);
         f.ui.history_loaded = 0;
         f.ui.history_failed = 1;
         f.ui.live_page_list.clear();
       }},
      {"chat_audio_none_selected.png", [](PhoneFixture& f) { AudioPage(f, -1, true); }},
      {"chat_audio_selected.png", [](PhoneFixture& f) { AudioPage(f, 1, true); }},
      {"chat_audio_in_call.png", [](PhoneFixture& f) { AudioPage(f, 1, false); }},
      {"chat_audio_english.png",
       [](PhoneFixture& f) {
         AudioPage(f, 0, true);
         WithSettings(f, true, false);
       }},
      {"chat_audio_dark.png",
       [](PhoneFixture& f) {
         AudioPage(f, 2, true);
         WithSettings(f, false, true);
       }},
      {"chat_audio_save_failed.png",
       [](PhoneFixture& f) {
         AudioPage(f, 0, true);
         WithSettings(f, false, false);
         f.settings.store_failed = true;
         f.ui.last_owner_action_failed = 1;
       }},
      {"call_incoming.png", [](PhoneFixture& f) { Calling(f, CallSession::kIncoming, false, false); }, true},
      {"call_incoming_notice.png", [](PhoneFixture& f) { Calling(f, CallSession::kIncoming, false, true); }, true},
      {"call_connected_compact_notice.png", [](PhoneFixture& f) { Calling(f, CallSession::kConnected, false, true); },
       true},
      {"call_connected_expanded.png", [](PhoneFixture& f) { Calling(f, CallSession::kConnected, true, false); },
       true},
      {"call_outgoing.png", [](PhoneFixture& f) { Calling(f, CallSession::kOutgoing, true, false); }, true},
      {"call_failed.png", [](PhoneFixture& f) { Calling(f, CallSession::kFailed, true, false); }, true},
      {"call_notice_only.png", [](PhoneFixture& f) { Calling(f, CallSession::kIdle, false, true); }, true},
  };
  return views;
}

}  // namespace

int DumpChatAppViews(const std::filesystem::path& folder) {
  int failures = 0;
  for (const ChatView& view : Views()) {
    PhoneFixture f(false, DumpText());
    f.clock.utc = {2025, 3, 3, 9, 5, 0, 0};
    f.OpenChatApp();
    view.setup(f);
    ui_render_english = f.ui.settings != nullptr && f.settings.english;
    ui_render_dark = f.ui.settings != nullptr && f.settings.dark;
    PhoneCanvas canvas(255);
    if (view.call_panel) {
      ComposeLauncherPage(canvas, f.ui, false, 0, -1);
      RenderCallPanel(f.ui, canvas, 0);
    } else {
      canvas = f.Launcher();
    }
    NoteDumpDraws(f);
    ui_render_english = false;
    ui_render_dark = false;
    failures += WriteDumpPicture(folder / view.file, kCanvasWidth, kCanvasHeight, canvas.bytes());
  }
  return failures;
}
