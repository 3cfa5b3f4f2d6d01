// Native phone frames: RenderPhoneFrame for sign-in, home, both lists and a
// conversation, warm (texts cached), cold (text cache emptied before each
// frame, as after a sign-in) and with the fake's solid masks (our own cost
// without the font engine). Each case reports its time per frame as a ratio
// to one memcpy of 2,073,600 bytes measured in the same run ("x_memcpy").
// Targets, read not asserted: warm ≤ 10 × memcpy, cold ≤ 20 ms, home and the
// lists with 100,000 friends ≤ 1.5 × their ten-friend frames.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "canvas_memcpy_baseline.h"
#include "phone_ui/canvas.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/phone_ui.h"
#include "support/phone_fixture.h"

namespace {

using quorix_test::PhoneFixture;
using quorix_test::PhoneText;
using Clock = std::chrono::steady_clock;

double g_memcpy_ns = 0;


ChatSnapshot Snapshot(size_t n) {
  ChatSnapshot snapshot = PhoneFixture::Snapshot(n);
  if (n > 1) snapshot.friends[1].display_name = "佐藤 花";
  if (n > 2) snapshot.conversations[2].last_message = "今夜また話そう！";
  return snapshot;
}

void SignIn(PhoneFixture& f, bool english) { f.SetTheme(false, english); }

void Home(PhoneFixture& f, size_t friends) {
  f.SignIn(3);
  f.Load(Snapshot(friends));
}

void List(PhoneFixture& f, uint32_t screen, size_t friends) {
  Home(f, friends);
  f.ui.native_screen = screen;
}

std::vector<ChatMessage> Messages(size_t text_bytes) {
  const char* texts[5] = {"今夜また話そう！", "See you at the club tonight, bring your friends",
                          "うん、9時ごろに行くね。ワールドはいつものところ？", "Yes, the usual place.", "了解、楽しみにしてる"};
  std::vector<ChatMessage> messages;
  for (int k = 0; k < 5; ++k) {
    std::string text = texts[k];
    if (text_bytes != 0) text.resize(text_bytes, 'a');
    messages.push_back({"m" + std::to_string(k), k % 2 ? "me" : "friend00", k % 2 ? "friend00" : "me", text, double(k),
                        false});
  }
  return messages;
}

void Conversation(PhoneFixture& f, size_t text_bytes) {
  Home(f, 10);
  f.OpenConversation("friend00", Messages(text_bytes));
}

enum class Mode { kWarm, kCold, kSolid };

void RunFrames(benchmark::State& state, Mode mode, const std::function<void(PhoneFixture&)>& setup) {
  PhoneFixture f(true, mode == Mode::kSolid ? PhoneText::kSolid : PhoneText::kPango);
  setup(f);
  benchmark::DoNotOptimize(f.ui.RenderPhoneFrame().data());
  double total_ns = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (mode == Mode::kCold) ClearTextCache();
    FrameBuffer frame = f.ui.RenderPhoneFrame();
    benchmark::DoNotOptimize(frame.data());
    total_ns += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  }
  const double per_frame = total_ns / static_cast<double>(state.iterations());
  state.counters["x_memcpy"] = per_frame / g_memcpy_ns;
  state.counters["ms"] = per_frame / 1e6;
}

void RegisterCase(const char* name, const std::function<void(PhoneFixture&)>& setup) {
  for (auto [mode, suffix] : {std::pair{Mode::kWarm, "/warm"}, {Mode::kCold, "/cold"}, {Mode::kSolid, "/solid"}}) {
    benchmark::RegisterBenchmark((std::string(name) + suffix).c_str(),
                                 [mode = mode, setup](benchmark::State& state) { RunFrames(state, mode, setup); })
        ->Unit(benchmark::kMicrosecond);
  }
}

void RegisterSize(const char* name, const std::function<void(PhoneFixture&, size_t)>& setup) {
  for (size_t friends : {size_t{10}, size_t{100000}}) {
    benchmark::RegisterBenchmark((std::string(name) + "/friends:" + std::to_string(friends)).c_str(),
                                 [friends, setup](benchmark::State& state) {
                                   RunFrames(state, Mode::kWarm, [&](PhoneFixture& f) { setup(f, friends); });
                                 })
        ->Unit(benchmark::kMicrosecond);
  }
}

// The first frame of a thread: fonts, the text cache and (once per process)
// the application icon all start empty.
void BM_FirstFrameOnAFreshThread(benchmark::State& state) {
  for (auto _ : state) {
    double ns = 0;
    std::thread([&] {
      PhoneFixture f(true, PhoneText::kPango);
      const auto start = Clock::now();
      benchmark::DoNotOptimize(f.ui.RenderPhoneFrame().data());
      ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    }).join();
    state.SetIterationTime(ns / 1e9);
  }
}
BENCHMARK(BM_FirstFrameOnAFreshThread)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  g_memcpy_ns = MeasureCanvasMemcpyNs();
  RegisterCase("SignIn/ja", [](PhoneFixture& f) { SignIn(f, false); });
  RegisterCase("SignIn/en", [](PhoneFixture& f) { SignIn(f, true); });
  RegisterCase("Home/3rows", [](PhoneFixture& f) { Home(f, 10); });
  RegisterCase("Conversations/6rows", [](PhoneFixture& f) { List(f, 1, 10); });
  RegisterCase("Friends/6rows", [](PhoneFixture& f) { List(f, 2, 10); });
  RegisterCase("Conversation/5bubbles", [](PhoneFixture& f) { Conversation(f, 0); });
  RegisterSize("Size/Home", [](PhoneFixture& f, size_t n) { Home(f, n); });
  RegisterSize("Size/Conversations", [](PhoneFixture& f, size_t n) { List(f, 1, n); });
  RegisterSize("Size/Friends", [](PhoneFixture& f, size_t n) { List(f, 2, n); });
  benchmark::RegisterBenchmark("Conversation/5x1MiB", [](benchmark::State& state) {
    RunFrames(state, Mode::kWarm, [](PhoneFixture& f) { Conversation(f, 1 << 20); });
  })->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
