// The settings-side native screens, the launcher's slides and transitions,
// the popup cards and the callers' skip pass. Each case reports its time as a
// ratio to one memcpy measured in the same run ("x_memcpy"): of the
// 2,073,600-byte phone frame, or for the popups of the popup's own frame.
// Targets, read not asserted: screens warm ≤ 10 × memcpy and cold ≤ 20 ms; a
// page slide ≤ 4 ×, an app transition ≤ 15 ×; a warm popup ≤ 5 × memcpy of
// its frame; the skip pass ≤ 0.05 × memcpy and ≤ 1/100 of a warm native
// frame ("x_warm_frame").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "canvas_memcpy_baseline.h"
#include "phone_ui/canvas.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/phone_ui.h"
#include "support/fake_call_gateway.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::PhoneFixture;
using quorix_test::PhoneText;
using Clock = std::chrono::steady_clock;
using Notice = quorix_native::Ui::Notice;

double g_memcpy_ns = 0;
double g_warm_frame_ns = 0;

void SignedIn(PhoneFixture& f, uint32_t screen) {
  f.SignIn(3);
  f.owner.own_user_id = "me";
  f.ui.native_screen = screen;
}

void Notices(PhoneFixture& f) {
  f.owner.pending_notices = {
      {.id = 1, .expiry = 0, .title = u"佐藤 花", .body = u"今夜また話そう！", .peer_id = "hana"},
      {.id = 2,
       .expiry = 0,
       .title = u"Kenji",
       .body = u"See you at the club tonight, bring the camera too",
       .peer_id = "kenji"},
      {.id = 3, .expiry = 0, .title = u"ゆい", .body = u"写真ありがとう！", .peer_id = "yui"}};
  f.owner.system_notice = {.id = 4, .expiry = 0, .title = u"不在着信", .body = u"着信がありました", .peer_id = {}};
}

double TimeLoop(benchmark::State& state, bool cold, const std::function<void()>& body) {
  body();
  double total_ns = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (cold) ClearTextCache();
    body();
    total_ns += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  }
  return total_ns / static_cast<double>(state.iterations());
}

void Screen(const char* name, const std::function<void(PhoneFixture&)>& setup) {
  for (bool cold : {false, true}) {
    benchmark::RegisterBenchmark((std::string("Screen/") + name + (cold ? "/cold" : "/warm")).c_str(),
                                 [cold, setup](benchmark::State& state) {
                                   PhoneFixture f(true, PhoneText::kPango);
                                   setup(f);
                                   const double ns = TimeLoop(
                                       state, cold, [&] { benchmark::DoNotOptimize(f.ui.RenderPhoneFrame().data()); });
                                   state.counters["x_memcpy"] = ns / g_memcpy_ns;
                                   state.counters["ms"] = ns / 1e6;
                                 })
        ->Unit(benchmark::kMicrosecond);
  }
}

void Launcher(const char* name, uint32_t kind) {
  benchmark::RegisterBenchmark((std::string("Launcher/") + name).c_str(), [kind](benchmark::State& state) {
    PhoneFixture f(false, PhoneText::kPango);
    f.ui.launcher_page_to = 1;
    f.ui.launcher_screen_to = 1;
    f.ui.launcher_app_to = 3;
    f.ui.transition_kind = kind;
    f.ui.transition_start = f.clock.TickMs() - 90;
    const double ns = TimeLoop(state, false, [&] { benchmark::DoNotOptimize(f.ui.RenderPhoneFrame().data()); });
    state.counters["x_memcpy"] = ns / g_memcpy_ns;
  })->Unit(benchmark::kMicrosecond);
}

void Popup(const char* name, uint32_t slot, uint32_t call_state, bool muted) {
  for (bool cold : {false, true}) {
    benchmark::RegisterBenchmark((std::string("Popup/") + name + (cold ? "/cold" : "/warm")).c_str(),
                                 [=](benchmark::State& state) {
                                   PhoneFixture f(true, PhoneText::kPango);
                                   quorix_test::FakeCallGateway gateway;
                                   f.SignIn(3);
                                   Notices(f);
                                   f.ui.call_popup_active = 1;
                                   f.ui.call_popup_counter = 1;
                                   f.ui.call_popup_peer_id = "hana";
                                   f.ui.call_popup_peer_name = u"佐藤 花";
                                   if (slot == 0) quorix_test::DriveCallTo(f.call, gateway, call_state, "hana");
                                   if (muted) f.call.SetMuted(true);
                                   const double ns = TimeLoop(state, cold, [&] {
                                     benchmark::DoNotOptimize(f.ui.RenderPopupFrame(slot).data());
                                   });
                                   state.counters["x_memcpy"] = ns / MeasureMemcpyNs(540 * 4 * (slot == 0 ? 300 : 200));
                                   state.counters["ms"] = ns / 1e6;
                                 })
        ->Unit(benchmark::kMicrosecond);
  }
}

// One main-loop pass with nothing changed, as the desktop window and the VR
// frame driver make it.
void BM_SkipPass(benchmark::State& state) {
  PhoneFixture f(true, PhoneText::kPango);
  f.SignIn(3);
  Notices(f);
  std::array<uint64_t, 3> revisions = f.ui.GetOwnerRevisions(1);
  std::array<uint64_t, 5> items{};
  std::array<std::array<uint64_t, 5>, 5> keys{};
  for (uint32_t slot = 0; slot < 5; ++slot) {
    items[slot] = f.ui.GetPopupItemKey(slot);
    keys[slot] = f.ui.GetPopupRenderKey(slot);
  }
  f.ui.TakeDirty();
  const double ns = TimeLoop(state, false, [&] {
    bool redraw = f.ui.TakeDirty();
    redraw |= f.ui.GetOwnerRevisions(1) != revisions;
    for (uint32_t slot = 0; slot < 5; ++slot) {
      redraw |= f.ui.GetPopupItemKey(slot) != items[slot];
      redraw |= f.ui.GetPopupRenderKey(slot) != keys[slot];
    }
    benchmark::DoNotOptimize(redraw);
  });
  state.counters["x_memcpy"] = ns / g_memcpy_ns;
  state.counters["x_warm_frame"] = ns / g_warm_frame_ns;
}
BENCHMARK(BM_SkipPass)->Unit(benchmark::kNanosecond);

double WarmHomeFrameNs() {
  PhoneFixture f(true, PhoneText::kPango);
  SignedIn(f, 3);
  benchmark::DoNotOptimize(f.ui.RenderPhoneFrame().data());
  double best = 1e18;
  for (int k = 0; k < 20; ++k) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(f.ui.RenderPhoneFrame().data());
    best = std::min(best, std::chrono::duration<double, std::nano>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  g_memcpy_ns = MeasureCanvasMemcpyNs();
  g_warm_frame_ns = WarmHomeFrameNs();
  Screen("Settings", [](PhoneFixture& f) { SignedIn(f, 3); });
  Screen("FriendRequests/7", [](PhoneFixture& f) {
    SignedIn(f, 5);
    f.owner.friend_requests.incoming = {"a1", "a2", "a3", "a4", "a5"};
    f.owner.friend_requests.outgoing = {"b1", "b2"};
  });
  Screen("AudioDevices/4+4", [](PhoneFixture& f) {
    SignedIn(f, 6);
    f.ui.audio_panel_open = 1;
    for (int i = 0; i < 4; ++i) {
      f.owner.microphones.names.push_back(u"Microphone " + std::u16string(1, char16_t(u'1' + i)));
      f.owner.speakers.names.push_back(u"Speakers " + std::u16string(1, char16_t(u'1' + i)));
    }
  });
  Screen("Wrist/page", [](PhoneFixture& f) { SignedIn(f, 7); });
  Screen("Wrist/fine_tune", [](PhoneFixture& f) {
    SignedIn(f, 7);
    f.ui.vr_settings_fine_tune_open = 1;
  });
  Screen("FriendNotifications", [](PhoneFixture& f) {
    SignedIn(f, 8);
    f.ui.selected_friend_id = "hana";
  });
  Screen("Pointer", [](PhoneFixture& f) { SignedIn(f, 9); });
  Screen("HistoryFiles", [](PhoneFixture& f) { SignedIn(f, 10); });
  Launcher("PageSlide/90ms", kTransitionPageForward);
  Launcher("AppTransition/90ms", kTransitionAppOpen);
  Popup("Call/incoming", 0, CallSession::kIncoming, false);
  Popup("Call/outgoing", 0, CallSession::kOutgoing, false);
  Popup("Call/connected", 0, CallSession::kConnected, false);
  Popup("Call/muted", 0, CallSession::kConnected, true);
  Popup("Call/ending", 0, CallSession::kEnding, false);
  Popup("Notice/two_lines", 2, 0, false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
