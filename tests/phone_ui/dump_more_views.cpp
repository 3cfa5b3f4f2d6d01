#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "dump_native_views.h"
#include "phone_ui/canvas.h"
#include "phone_ui/native_kit_test_hooks.h"
#include "support/fake_call_gateway.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::PhoneFixture;

void SignedIn(PhoneFixture& f, uint32_t screen) {
  f.SignIn(3);
  f.owner.own_user_id = "me";
  f.ui.native_screen = screen;
}

void Requests(PhoneFixture& f, uint64_t page) {
  SignedIn(f, 5);
  f.owner.friend_requests.incoming = {"hana.sato", "kenji_t", "yui-m", "alex.k", "mio_22"};
  f.owner.friend_requests.outgoing = {"ren.w", "sora"};
  f.owner.friend_requests.last_operation = 1;
  f.ui.friend_request_page = page;
}

// The audio device page, opened as a user opens it: the Settings tab, then
// its audio devices button, each tap on a frame the presenter has drawn.
void OpenAudioPage(PhoneFixture& f) {
  f.SignIn(3);
  f.owner.status.idle = 1;
  f.owner.own_user_id = "me";
  f.owner.microphones = {{u"USB マイク", u"Headset Microphone"}, 1, 1};
  f.owner.speakers = {{u"スピーカー (Realtek)", u"Headphones", u"HDMI"}, 0, 2};
  for (const auto& [x, y] : {std::pair{470.0f, 930.0f}, std::pair{450.0f, 107.0f}}) {
    f.ui.Tick();
    f.ui.drawn_status_revision = f.owner.status.revision;
    f.ui.Tap(x, y);
  }
  f.ui.Tick();
}

}  // namespace

const std::vector<NativeView>& MoreDumpViews() {
  static const std::vector<NativeView> views = {
      {"settings", [](PhoneFixture& f) { SignedIn(f, 3); }},
      {"settings_signed_out_failed",
       [](PhoneFixture& f) {
         f.ui.native_screen = 3;
         f.settings.store_failed = true;
         f.settings.ring_black = true;
         f.settings.notification_mode = 2;
       }},
      {"requests_page_0", [](PhoneFixture& f) { Requests(f, 0); }},
      {"requests_page_1",
       [](PhoneFixture& f) {
         Requests(f, 1);
         f.ui.friend_id_entry_active = 1;
         f.ui.keyboard.message = u"new.friend";
         f.owner.friend_requests.failed = 1;
       }},
      {"requests_empty_busy",
       [](PhoneFixture& f) {
         SignedIn(f, 5);
         f.owner.friend_requests.busy = 1;
       }},
      {"audio_devices", OpenAudioPage},
      {"wrist_page",
       [](PhoneFixture& f) {
         SignedIn(f, 7);
         f.settings.ring_visibility_deg = 47.5f;
       }},
      {"wrist_fine_tune",
       [](PhoneFixture& f) {
         SignedIn(f, 7);
         f.ui.vr_settings_fine_tune_open = 1;
         f.ui.calibration_countdown = 3;
         f.settings.store_failed = true;
       }},
      {"friend_notifications",
       [](PhoneFixture& f) {
         SignedIn(f, 8);
         f.ui.selected_friend_id = "hana.sato";
         f.owner.friend_presence["hana.sato"] = 2;
         f.settings.peer_modes["me/hana.sato"] = 1;
       }},
      {"pointer_blue",
       [](PhoneFixture& f) {
         SignedIn(f, 9);
         f.settings.pointer_blue = true;
         f.settings.pointer_size_percent = 200;
       }},
      {"pointer_red", [](PhoneFixture& f) { SignedIn(f, 9); }},
      {"history_files", [](PhoneFixture& f) { SignedIn(f, 10); }},
  };
  return views;
}

namespace {

struct Popup {
  const char* name;
  uint32_t slot;
  uint32_t state;  // call state for slot 0
  bool muted, ended;
};

}  // namespace

int DumpMoreViews(const std::filesystem::path& folder) {
#ifdef QUORIX_ASSET_FOLDER
  native_kit_test_hooks::SetAppIconFolder(QUORIX_ASSET_FOLDER);
#endif
  int failures = 0;
  const auto write = [&](const std::string& name, uint32_t height, const FrameBuffer& frame) {
    failures += WriteDumpPicture(folder / name, kCanvasWidth, height, frame.bytes());
  };
  const Popup popups[] = {{"call_outgoing", 0, CallSession::kOutgoing, false, false},
                          {"call_incoming", 0, CallSession::kIncoming, false, false},
                          {"call_connecting", 0, CallSession::kConnecting, false, false},
                          {"call_connected", 0, CallSession::kConnected, false, false},
                          {"call_muted", 0, CallSession::kConnected, true, false},
                          {"call_ending", 0, CallSession::kEnding, false, false},
                          {"call_ended", 0, CallSession::kConnected, false, true},
                          {"notice_1", 1, 0, false, false},
                          {"notice_2", 2, 0, false, false},
                          {"notice_3", 3, 0, false, false},
                          {"system_missed_call", 4, 0, false, false},
                          {"system_notice", 4, 0, true, false}};
  for (int variant = 0; variant < 4; ++variant) {
    const bool dark = variant >= 2;
    const bool english = variant % 2 == 1;
    const std::string suffix = std::string(dark ? "_dark" : "_light") + (english ? "_en.png" : "_ja.png");
    for (const NativeView& view : MoreDumpViews()) {
      PhoneFixture f(true, DumpText());
      f.SetTheme(dark, english);
      view.setup(f);
      write(std::string("native_") + view.name + suffix, kCanvasHeight, f.ui.RenderPhoneFrame());
      NoteDumpDraws(f);
    }
    for (const Popup& p : popups) {
      PhoneFixture f(true, DumpText());
      f.SetTheme(dark, english);
      f.SignIn(3);
      quorix_test::FakeCallGateway gateway;
      f.ui.call_popup_active = 1;
      f.ui.call_popup_counter = 1;
      f.ui.call_popup_peer_id = "hana.sato";
      f.ui.call_popup_peer_name = u"佐藤 花";
      f.owner.friend_presence["hana.sato"] = 2;
      if (p.slot == 0 && !quorix_test::DriveCallTo(f.call, gateway, p.state, "hana.sato")) {
        std::cerr << "cannot bring the call to the state of popup_" << p.name << "\n";
        ++failures;
      }
      if (p.muted && p.slot == 0) f.call.SetMuted(true);
      f.ui.call_popup_ended_shown = p.ended;
      f.owner.pending_notices = {
          {.id = 1, .expiry = 0, .title = u"佐藤 花", .body = u"今夜また話そう！", .peer_id = "hana.sato"},
          {.id = 2,
           .expiry = 0,
           .title = u"Kenji Tanaka",
           .body = u"See you at the club tonight, bring the new avatar and the camera",
           .peer_id = "kenji_t"},
          {.id = 3,
           .expiry = 0,
           .title = u"松本 ゆい",
           .body = u"写真ありがとう！𠮷野家の前で待ってるね、楽しみにしてる",
           .peer_id = "yui-m"}};
      f.owner.system_notice = {.id = 4,
                               .expiry = 0,
                               .title = p.muted ? u"お知らせ" : u"不在着信",
                               .body = p.muted ? u"通話に接続できませんでした" : u"佐藤 花さんから着信がありました",
                               .peer_id = {}};
      write("popup_" + std::string(p.name) + suffix, p.slot == 0 ? 300 : 200, f.ui.RenderPopupFrame(p.slot));
      NoteDumpDraws(f);
    }
  }
  struct Launcher {
    const char* name;
    uint32_t kind;
  };
  for (const Launcher& l : {Launcher{"launcher_mid_slide.png", kTransitionPageForward},
                            Launcher{"launcher_mid_transition.png", kTransitionAppOpen}}) {
    PhoneFixture f(false, DumpText());
    f.ui.launcher_page_to = 1;
    f.ui.launcher_screen_to = 1;
    f.ui.launcher_app_to = 3;
    f.ui.transition_kind = l.kind;
    f.ui.transition_start = f.clock.TickMs() - 60;
    write(l.name, kCanvasHeight, f.ui.RenderPhoneFrame());
    NoteDumpDraws(f);
  }
  return failures;
}
