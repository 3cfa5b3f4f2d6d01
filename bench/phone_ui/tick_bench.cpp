// The per-frame update's cost on its quiet path: native mode signed in with
// the lists loaded and a conversation open, an idle call session and an
// owner answering constants, nothing pending; the same on the home screen
// after the launcher's home; and the same in launcher mode.
// Beside them a baseline makes the same owner and call-session calls and
// nothing else. Read, not asserted: a quiet Tick should cost at most twice
// the baseline; "frame_pct" is its share of an 11.1 ms frame.
//
// Allocations are counted by a replaced operator new; before any benchmark
// runs, main checks that a warm quiet Tick allocates nothing and starts no
// chat task, and fails otherwise (ctest runs it with --benchmark_filter=^$).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <new>
#include <utility>

#include "chat/avatar_cache.h"
#include "core/ui_settings.h"
#include "phone_service/call_session.h"
#include "allocation_counter.h"
#include "phone_ui/phone_ui.h"
#include "session_owner/owner_ui.h"

namespace {

constexpr double kFrameNs = 11.1e6;

// Signed in, nothing changing.
class ConstantOwner final : public quorix_native::Ui {
 public:
  Status GetStatus() override { return Status{4, 1, 0, 1, 1}; }
  bool SignIn(std::u16string, std::u16string) override { return false; }
  bool SignOut() override { return false; }
  AudioDeviceList GetAudioDevices(bool) override { return {}; }
  bool SelectAudioDevice(bool, int32_t, uint64_t) override { return false; }
  bool RefreshAudioDevices() override { return false; }
  uint64_t GetCallRevision() override { return 3; }
  std::u16string GetCallPeerName() override { return {}; }
  bool PerformCallAction(uint32_t, uint64_t) override { return false; }
  Notice GetActiveNotice() override { return {}; }
  void DismissNotice(uint64_t) override {}
  Notice GetSystemNotice() override { return {}; }
  void DismissSystemNotice(uint64_t) override {}
  void SetNotificationsEnabled(bool) override {}
  bool AreNotificationsEnabled() override { return true; }
  void AttachSettings(const UiSettings*) override {}
  std::string GetOwnUserId() override { return "me"; }
  int32_t GetPeerNotificationMode(const std::string&) override { return 0; }
  std::vector<Notice> GetPendingNotices() override { return {}; }
  FriendRequestState GetFriendRequests() override { return {}; }
  bool RequestFriendOperation(uint32_t, const std::string&) override { return false; }
  int32_t GetFriendPresence(const std::string&) override { return 0; }
  uint64_t GetPresenceStatus() override { return 5; }
  uint64_t GetChatRevision() override { return 0; }
  bool RunHistoryFileDialog(bool) override { return false; }
};

enum class Quiet { kConversation, kHome, kLauncher };

struct QuietPhone {
  explicit QuietPhone(Quiet kind) {
    ui.AttachOwner(&owner);
    ui.AttachCallSession(&call);
    if (kind == Quiet::kLauncher) {
      ui.launcher_screen = 0;
      ui.launcher_app = -1;
      return;
    }
    ui.AttachSettings(&settings);
    ui.live_read_only = ui.live_messaging = 1;
    ChatSnapshot snapshot;
    snapshot.self_id = "me";
    for (int k = 0; k < 6; ++k) {
      const std::string id = "friend0" + std::to_string(k);
      snapshot.friends.push_back({id, "Friend"});
      snapshot.conversations.push_back({id, "Hello", 0});
    }
    ui.chat_model.LoadSnapshot(snapshot);
    // A chat task started by a quiet Tick is counted; the lists come back
    // at once, as the owner's history would give them.
    ui.chat_tasks.list = [this, snapshot] {
      ++tasks;
      std::promise<quorix_mvp03b2b::FetchResult> lists;
      lists.set_value({0, snapshot.self_id, snapshot.friends, snapshot.conversations});
      return lists.get_future();
    };
    ui.chat_tasks.history = [this](const std::string&) {
      ++tasks;
      return std::future<quorix_mvp03live::Result>();
    };
    if (kind == Quiet::kHome) {
      ui.native_screen = 0;
      ui.GoHome();
      return;
    }
    ui.OpenConversation("friend00");
    ui.history_peer = "friend00";
    ui.history_loaded = 1;
    ui.history_fetch_wanted = 0;
    ui.history_refresh_due = std::numeric_limits<int64_t>::max();
  }
  void Warm() {
    for (int i = 0; i < 3; ++i) ui.Tick();
  }

  ConstantOwner owner;
  CallSession call;
  UiSettings settings;
  PhoneUi ui;
  uint64_t tasks = 0;
};

// The owner and call-session reads of a quiet Tick, and nothing else.
void Baseline(QuietPhone& phone) {
  // Through the interface, as the model calls it.
  quorix_native::Ui* owner_pointer = &phone.owner;
  benchmark::DoNotOptimize(owner_pointer);
  quorix_native::Ui& owner = *owner_pointer;
  benchmark::DoNotOptimize(quorix_avatar::Generation());
  benchmark::DoNotOptimize(owner.GetPresenceStatus());
  benchmark::DoNotOptimize(owner.GetStatus());
  benchmark::DoNotOptimize(owner.GetStatus());
  const quorix_native::Ui::FriendRequestState requests = owner.GetFriendRequests();
  benchmark::DoNotOptimize(requests.revision);
  benchmark::DoNotOptimize(phone.call.GetSnapshot().state);
  benchmark::DoNotOptimize(phone.call.GetSnapshot().state);
  benchmark::DoNotOptimize(phone.call.IsBackendReady());
  benchmark::DoNotOptimize(phone.call.IsAvailable());
  benchmark::DoNotOptimize(owner.GetChatRevision());
  benchmark::DoNotOptimize(phone.ui.history_slot.valid() || phone.ui.read_slot.valid() || phone.ui.send_slot.valid());
}

template <typename F>
void Run(benchmark::State& state, F step, const uint64_t* tasks = nullptr) {
  const uint64_t allocations = g_allocations.load();
  const uint64_t tasks_before = tasks != nullptr ? *tasks : 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) step();
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["allocs_per_tick"] = static_cast<double>(g_allocations.load() - allocations) / iterations;
  if (tasks != nullptr) state.counters["tasks_per_tick"] = static_cast<double>(*tasks - tasks_before) / iterations;
  state.counters["frame_pct"] = ns / iterations / kFrameNs * 100;
}

void BM_Baseline(benchmark::State& state) {
  QuietPhone phone(Quiet::kConversation);
  phone.Warm();
  Run(state, [&] { Baseline(phone); });
}
BENCHMARK(BM_Baseline);

// The status-bar clock's reading, part of every Tick.
void BM_ClockMinute(benchmark::State& state) {
  Run(state, [] { benchmark::DoNotOptimize(GetClockMinute()); });
}
BENCHMARK(BM_ClockMinute);

void BM_QuietTickNative(benchmark::State& state) {
  QuietPhone phone(Quiet::kConversation);
  phone.Warm();
  Run(state, [&] { phone.ui.Tick(); }, &phone.tasks);
}
BENCHMARK(BM_QuietTickNative);

// Signed in on the home screen with the lists loaded, the launcher at home.
void BM_QuietTickNativeHome(benchmark::State& state) {
  QuietPhone phone(Quiet::kHome);
  phone.Warm();
  Run(state, [&] { phone.ui.Tick(); }, &phone.tasks);
}
BENCHMARK(BM_QuietTickNativeHome);

void BM_QuietTickLauncher(benchmark::State& state) {
  QuietPhone phone(Quiet::kLauncher);
  phone.Warm();
  Run(state, [&] { phone.ui.Tick(); });
}
BENCHMARK(BM_QuietTickLauncher);

// A warm quiet Tick allocates nothing and starts no chat task, in every case.
bool QuietTicksAllocateNothing() {
  bool ok = true;
  for (const auto& [kind, name] : {std::pair{Quiet::kConversation, "native"}, std::pair{Quiet::kHome, "native home"},
                                   std::pair{Quiet::kLauncher, "launcher"}}) {
    QuietPhone phone(kind);
    phone.Warm();
    phone.ui.TakeDirty();
    const uint64_t tasks = phone.tasks;
    const uint64_t before = g_allocations.load();
    for (int i = 0; i < 100; ++i) phone.ui.Tick();
    const uint64_t made = g_allocations.load() - before;
    if (made != 0 || phone.tasks != tasks || phone.ui.TakeDirty()) {
      std::fprintf(stderr, "quiet Tick (%s): %llu allocations, %llu tasks, dirty %d\n", name,
                   static_cast<unsigned long long>(made), static_cast<unsigned long long>(phone.tasks - tasks),
                   phone.ui.dirty);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (!QuietTicksAllocateNothing()) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
