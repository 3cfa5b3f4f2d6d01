// Launcher page costs: a home page, an app page and a slide frame as the
// frame composer draws them, beside memset of a whole canvas and one
// whole-canvas FillCanvasRect. Allocations per page are counted through a
// replaced operator new (the aim is none). Ratios are read, not asserted:
// a page should cost at most 2 whole-canvas fills, a slide frame 2.5.
//
// The chat app's pages (account page, live list, live conversation, audio
// device page, and the call panel over a home page) run warm (drawn once
// before timing), cold (text cache emptied before each page) and with the
// fake's solid masks (our own cost without the font engine), each reported
// as a ratio to one memcpy of a whole canvas in the same run ("x_memcpy").
// Targets, read not asserted: warm ≤ 10 × memcpy, cold ≤ 20 ms.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "phone_ui/app_lifecycle.h"
#include "canvas_memcpy_baseline.h"
#include "phone_ui/canvas.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/chat_app.h"
#include "phone_ui/launcher.h"
#include "allocation_counter.h"
#include "phone_ui/phone_ui.h"
#include "support/phone_fixture.h"

namespace {

// Runs `draw` per iteration and reports the allocations it made per page.
template <typename F>
void RunPages(benchmark::State& state, PhoneCanvas& canvas, F draw) {
  const uint64_t before = g_allocations.load();
  for (auto _ : state) {
    draw();
    benchmark::DoNotOptimize(canvas.data());
    benchmark::ClobberMemory();
  }
  state.counters["allocs_per_page"] =
      static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
}

void BM_MemsetCanvas(benchmark::State& state) {
  PhoneCanvas canvas(255);
  RunPages(state, canvas, [&] { std::memset(canvas.data(), 0x5A, canvas.size()); });
}
BENCHMARK(BM_MemsetCanvas);

void BM_FillWholeCanvas(benchmark::State& state) {
  PhoneCanvas canvas(255);
  RunPages(state, canvas, [&] { FillCanvasRect(canvas, 0, 0, kCanvasWidth, kCanvasHeight, 0xFF336699); });
}
BENCHMARK(BM_FillWholeCanvas);

void BM_HomePage1(benchmark::State& state) {
  PhoneCanvas canvas(255);
  PhoneUi ui;
  RunPages(state, canvas, [&] { ComposeLauncherPage(canvas, ui, false, 0, -1); });
}
BENCHMARK(BM_HomePage1);

void BM_NotesAppPage(benchmark::State& state) {
  PhoneCanvas canvas(255);
  PhoneUi ui;
  PhoneAppLifecycle lifecycle;
  ui.app_lifecycle = &lifecycle;
  RunPages(state, canvas, [&] { ComposeLauncherPage(canvas, ui, true, 0, 3); });
}
BENCHMARK(BM_NotesAppPage);

void BM_SlideFrame(benchmark::State& state) {
  PhoneCanvas canvas(255);
  RunPages(state, canvas, [&] {
    RenderLauncherHomePage(canvas, 0, -270);
    RenderLauncherHomePage(canvas, 1, 270);
    RenderLauncherDock(canvas, kLauncherTiles[1], kLauncherTiles[2]);
    DrawPageDots(canvas, 1);
    DrawStatusBar(canvas, "QUORIXPHONE");
    DrawNavigationBar(canvas, true);
  });
}
BENCHMARK(BM_SlideFrame);

// ---- The chat app ----

using quorix_test::PhoneFixture;
using quorix_test::PhoneText;
using SteadyClock = std::chrono::steady_clock;

double g_memcpy_ns = 0;


void LiveChat(PhoneFixture& f) {
  f.SignIn(3);
  ChatSnapshot snapshot = PhoneFixture::Snapshot(5);
  snapshot.friends[1].display_name = "佐藤 花";
  snapshot.conversations[2].last_message = "今夜また話そう！";
  f.Load(snapshot);
  f.ui.chat_view_open = 1;
  f.ui.live_read_only = 1;
}

void LiveConversation(PhoneFixture& f) {
  LiveChat(f);
  const char* texts[5] = {"今夜また話そう！", "See you at the club tonight, bring your friends",
                          "うん、9時ごろに行くね。ワールドはいつものところ？", "Yes, the usual place.", "了解、楽しみにしてる"};
  std::vector<ChatMessage> messages;
  for (int k = 0; k < 5; ++k) {
    messages.push_back({"m" + std::to_string(k), k % 2 ? "me" : "friend00", k % 2 ? "friend00" : "me", texts[k],
                        1741000000.0 + 60 * k, false});
  }
  f.OpenConversation("friend00", messages);
}

void AudioPage(PhoneFixture& f) {
  f.SignIn(3);
  f.owner.status.idle = 1;
  f.owner.microphones = {{u"USB マイク", u"Headset Microphone"}, 1, 1};
  f.owner.speakers = {{u"スピーカー (Realtek)", u"Headphones"}, 0, 1};
  f.ui.audio_panel_open = 1;
}

void IncomingCall(PhoneFixture& f) {
  f.SignIn(3);
  f.call.state = CallSession::kIncoming;
  f.owner.call_peer_name = u"佐藤 花";
  f.owner.pending_notices.push_back({4, 0, u"Kenji Tanaka", u"今夜のイベント、9時からだよ。Are you coming?", "kenji_t"});
}

enum class Mode { kWarm, kCold, kSolid };

void RunChatPages(benchmark::State& state, Mode mode, const std::function<void(PhoneFixture&)>& setup,
                  bool call_panel) {
  PhoneFixture f(false, mode == Mode::kSolid ? PhoneText::kSolid : PhoneText::kPango);
  f.OpenChatApp();
  setup(f);
  PhoneCanvas canvas(255);
  const auto draw = [&] {
    if (call_panel) {
      ComposeLauncherPage(canvas, f.ui, false, 0, -1);
      RenderCallPanel(f.ui, canvas, 0);
    } else {
      ComposeLauncherPage(canvas, f.ui, true, 0, 0);
    }
  };
  draw();
  double total_ns = 0;
  for (auto _ : state) {
    const auto start = SteadyClock::now();
    if (mode == Mode::kCold) ClearTextCache();
    draw();
    benchmark::DoNotOptimize(canvas.data());
    benchmark::ClobberMemory();
    total_ns += std::chrono::duration<double, std::nano>(SteadyClock::now() - start).count();
  }
  const double per_page = total_ns / static_cast<double>(state.iterations());
  state.counters["x_memcpy"] = per_page / g_memcpy_ns;
  state.counters["ms"] = per_page / 1e6;
}

void RegisterChatCase(const char* name, std::function<void(PhoneFixture&)> setup, bool call_panel = false) {
  for (auto [mode, suffix] : {std::pair{Mode::kWarm, "/warm"}, {Mode::kCold, "/cold"}, {Mode::kSolid, "/solid"}}) {
    benchmark::RegisterBenchmark((std::string("ChatApp/") + name + suffix).c_str(),
                                 [mode = mode, setup, call_panel](benchmark::State& state) {
                                   RunChatPages(state, mode, setup, call_panel);
                                 })
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  g_memcpy_ns = MeasureCanvasMemcpyNs();
  RegisterChatCase("Account/signed_in", [](PhoneFixture& f) { f.SignIn(3); });
  RegisterChatCase("LiveList/5rows", LiveChat);
  RegisterChatCase("LiveConversation/5bubbles", LiveConversation);
  RegisterChatCase("AudioDevices", AudioPage);
  RegisterChatCase("CallPanel/incoming_notice", IncomingCall, true);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
