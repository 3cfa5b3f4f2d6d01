// The media worker client against the scripted fake worker (so this builds
// only with the tests):
//  - PollEvent on a live worker that says nothing, beside the bare FIONREAD +
//    waitid(WNOHANG | WNOWAIT) pair on the same pipe and pidfd;
//  - 100,000 event lines of 200 bytes through PollEvent (event log unset),
//    beside a bare read + memchr splitter that runs ParseJson on each line.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/json.h"
#include "fake_media_worker.h"
#include "phone_service/windows_media.h"
#include "platform/env.h"

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace {

constexpr int kLines = 100000;
const std::string kLine = "{\"event\":\"b\",\"p\":\"" + std::string(178, 'p') + "\"}";  // 199 bytes + LF

// A started client whose worker has said it is ready.
void StartReady(quorix_phone::WindowsMedia& media) {
  std::string json;
  if (!media.Start()) return;
  while (media.process.pipe_ready == 0) media.PollEvent(json);
}

void BM_PollEventSilent(benchmark::State& state) {
  (void)platform::env::Unset("QUORIX_2PC_EVENT_LOG");  // the event log off
  quorix_test::FakeMediaWorker fake;
  quorix_phone::WindowsMedia media;
  StartReady(media);
  std::string json;
  for (auto _ : state) benchmark::DoNotOptimize(media.PollEvent(json));
}
BENCHMARK(BM_PollEventSilent);

void BM_BareFionreadWaitid(benchmark::State& state) {
  quorix_test::FakeMediaWorker fake;
  quorix_phone::WindowsMedia media;
  StartReady(media);
  const int out = media.process.worker.OutputDescriptorForBenchmark();
  const int pidfd = media.process.worker.ProcessDescriptorForBenchmark();
  for (auto _ : state) {
    int n = 0;
    ioctl(out, FIONREAD, &n);
    siginfo_t info{};
    waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info, WEXITED | WNOHANG | WNOWAIT);
    benchmark::DoNotOptimize(n + info.si_pid);
  }
}
BENCHMARK(BM_BareFionreadWaitid);

void BM_PollEventLines(benchmark::State& state) {
  (void)platform::env::Unset("QUORIX_2PC_EVENT_LOG");  // the event log off
  quorix_test::FakeMediaWorker fake;
  fake.SetScript({"say READY_IDLE", "burst " + std::to_string(kLines) + " " + kLine});
  for (auto _ : state) {
    quorix_phone::WindowsMedia media;
    media.Start();
    std::string json;
    int got = 0;
    while (got < kLines) got += media.PollEvent(json) ? 1 : 0;
    state.PauseTiming();
    media.Stop();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_PollEventLines)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareSplitterLines(benchmark::State& state) {
  quorix_test::FakeMediaWorker fake;
  fake.SetScript({"say READY_IDLE", "burst " + std::to_string(kLines) + " " + kLine});
  std::string buffer(1 << 16, '\0');
  for (auto _ : state) {
    quorix_phone::WindowsMedia media;
    media.Start();
    const int out = media.process.worker.OutputDescriptorForBenchmark();
    std::string pending;
    int got = -1;  // the ready line first
    while (got < kLines) {
      pollfd p{out, POLLIN, 0};
      poll(&p, 1, 1000);
      const ssize_t r = read(out, buffer.data(), buffer.size());
      if (r <= 0) continue;
      pending.append(buffer.data(), static_cast<size_t>(r));
      size_t start = 0;
      while (const void* lf = std::memchr(pending.data() + start, '\n', pending.size() - start)) {
        const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - pending.data());
        JsonValue value;
        benchmark::DoNotOptimize(ParseJson(pending.substr(start, end - start), value));
        start = end + 1;
        ++got;
      }
      pending.erase(0, start);
    }
    state.PauseTiming();
    media.Stop();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_BareSplitterLines)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
