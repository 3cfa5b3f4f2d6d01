// The session owner's tick while signed in, connected and idle (no task
// ready), with 0, 1,000 and 10,000 friends, beside HistorySession::Open alone
// with the same list: the tick rebuilds the friend list only when it changes,
// so the comparison inside Open should dominate. Loopback service only.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "chat/avatar_test_hooks.h"
#include "chat/history_session.h"
#include "fake_network.h"
#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "phone_service/windows_wire.h"
#include "phone_ui/ui_sound_test_hooks.h"
#include "phone_service_fixture.h"
#include "platform/env.h"
#include "platform/https.h"
#include "platform/test_hooks.h"
#include "session_owner/window.h"
#include "test_util.h"

namespace {

using quorix_test::ScriptedReply;

// A signed-in owner of "alice" with `friends` friends named by their ids.
struct Rig {
  explicit Rig(int64_t friends) : admission(service) {
    if (!platform::env::Set("LOCALAPPDATA", folder.path().string())) std::abort();
    platform::testing::SetDataProtectionKeyFolder(folder.path() / "keys");
    // The UI sounds on the null output, never the user's sound server.
    ui_sound_test_hooks::SetProcessPlayerParts(std::make_unique<platform::NullWaveOutput>(), nullptr, folder.path());
    quorix_test::ScriptPhoneRoutes(service, "alice");
    std::string list;
    for (int64_t i = 0; i < friends; ++i) {
      list += (i ? ",{\"user_id\":\"f" : "{\"user_id\":\"f") + std::to_string(i) + "\"}";
      this->friends.push_back({"f" + std::to_string(i), "f" + std::to_string(i)});
    }
    service.Script("POST", "/auth/login",
                   ScriptedReply::Json(200, R"({"ok":true,"user":{"user_id":"alice"},"token":"tok_bench-1"})"));
    service.Script("GET", "/auth/me", ScriptedReply::Json(200, quorix_test::MeReply("alice")));
    service.Script("GET", "/friends/alice",
                   ScriptedReply::Json(200, R"({"ok":true,"user_id":"alice","friends":[)" + list + "]}"));
    service.Script("POST", "/phone/v1/session",
                   ScriptedReply::Json(200, R"({"ok":true,"user":{"user_id":"alice"},"token":"tok_phone-1",)"
                                            R"("can_start":true,"can_answer":true,"media_ready":true,)"
                                            R"("valid_for_seconds":5})"));
    call.AttachGateway(&gateway);
    ready = owner.Create(true) && Pass([&] { return owner.GetStatus().code == 0; }) &&
            owner.SignIn(u"alice", u"bench-password") &&
            Pass([&] {
              return owner.GetStatus().code == 3 && HistorySession::Snapshot().friends.size() == this->friends.size();
            }) &&
            Pass([&] { return call.IsAvailable(); });
  }
  ~Rig() {
    owner.Close();
    gateway.Shutdown();
    wire.Stop();
    avatar_test_hooks::ResetForTest();
  }
  bool Pass(const std::function<bool()>& done) {
    return quorix_test::WaitFor(
        [&] {
          gateway.Pump();
          owner.Tick();
          return done();
        },
        std::chrono::seconds(60));
  }

  quorix_test::TempDir folder;
  quorix_test::LoopbackService service;
  quorix_test::ScopedProductionService admission;
  CallSession call;
  quorix_phone::WindowsWire wire;
  quorix_test::FakeMedia media;
  quorix_phone::Gateway gateway{&call, &wire, &media, {}};
  two_pc::Window owner{&call, &wire, &gateway};
  std::vector<ChatFriend> friends;
  bool ready = false;
};

void BM_OwnerTick(benchmark::State& state) {
  platform::InitializeNetwork();
  Rig rig(state.range(0));
  if (!rig.ready) {
    state.SkipWithError("sign-in failed");
    return;
  }
  for (auto _ : state) rig.owner.Tick();
}
BENCHMARK(BM_OwnerTick)->Arg(0)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_HistoryOpenAlone(benchmark::State& state) {
  platform::InitializeNetwork();
  Rig rig(state.range(0));
  if (!rig.ready) {
    state.SkipWithError("sign-in failed");
    return;
  }
  const uint64_t revision = rig.owner.GetStatus().revision;
  for (auto _ : state) {
    benchmark::DoNotOptimize(HistorySession::Open("alice", revision, &rig.wire, rig.friends));
  }
}
BENCHMARK(BM_HistoryOpenAlone)->Arg(0)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
