// The call gateway against peers measured in the same run:
//  - an idle pump (no call) on the real service connection, connected to the
//    loopback service, and the real media worker client, against the same
//    IsConnected, PollReply and PollEvent calls made directly; the pump's
//    heap allocations are counted, process-wide, while the connection and
//    the service sit idle (the aim is none);
//  - a busy pump pass in a live call (16 service replies and 24 worker lines
//    of 1 KB) against ParseJson of the same 40 texts alone;
//  - WriteCompactJson of a 100 KB SDP signal against RapidJSON's Writer on
//    the same document.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "../phone_ui/allocation_counter.h"
#include "core/json.h"
#include "fake_network.h"
#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "phone_service/gateway_json.h"
#include "phone_service/windows_media.h"
#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "platform/clock.h"
#include "platform/https.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;

// A gateway with no call on a connection that is up, and a media worker
// client with no worker.
struct IdleRig {
  IdleRig() : admission(service) {
    platform::InitializeNetwork();
    quorix_test::ScriptPhoneRoutes(service);
    ok = wire.Start(quorix_test::kPhoneUser, quorix_test::kPhoneToken) &&
         quorix_test::WaitFor([&] { return wire.IsConnected(); }, 10s);
    gateway.Activate();
    gateway.SetIdentity(quorix_test::kPhoneUser, 1);
    gateway.Pump();  // takes the ready event
  }
  ~IdleRig() {
    gateway.Shutdown();
    wire.Stop();
  }

  quorix_test::LoopbackService service;
  quorix_test::ScopedIsolatedService admission;
  quorix_phone::WindowsWire wire;
  quorix_phone::WindowsMedia media;
  CallSession session;
  quorix_phone::Gateway gateway{&session, &wire, &media, nullptr};
  bool ok = false;
};

void BM_IdlePump(benchmark::State& state) {
  IdleRig rig;
  if (!rig.ok) state.SkipWithError("not connected");
  const uint64_t before = g_allocations.load();
  for (auto _ : state) rig.gateway.Pump();
  state.counters["allocations_per_pump"] =
      static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
  if (!rig.wire.IsConnected()) state.SkipWithError("the connection went down during the run");
}
BENCHMARK(BM_IdlePump);

// What the idle pump asks, asked directly.
void BM_IdleCallsPeer(benchmark::State& state) {
  IdleRig rig;
  if (!rig.ok) state.SkipWithError("not connected");
  quorix_phone::NetworkReply reply;
  std::string event;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.wire.IsConnected());
    benchmark::DoNotOptimize(rig.wire.PollReply(&reply));
    benchmark::DoNotOptimize(rig.wire.IsConnected());
    benchmark::DoNotOptimize(rig.media.PollEvent(event));
  }
}
BENCHMARK(BM_IdleCallsPeer);

const std::string kCallId = "0123456789abcdef0123456789abcdef";

std::string Padded(const std::string& head) {
  std::string text = head + ",\"pad\":\"";
  text.append(1024 - text.size() - 2, 'x');
  return text + "\"}";
}

std::string ReplyText() { return Padded("{\"type\":\"phone_signal_ack\",\"delivered\":true"); }
std::string WorkerText() { return Padded("{\"event\":\"mute_applied\""); }

void BM_BusyPass(benchmark::State& state) {
  quorix_test::FakeNetwork network;
  quorix_test::FakeMedia media;
  CallSession session;
  quorix_phone::Gateway gateway(&session, &network, &media, nullptr);
  gateway.Activate();
  gateway.SetIdentity("alice", 7);
  session.enabled = 1;
  network.Push({0, 200, "{\"type\":\"phone_invite\",\"call_id\":\"" + kCallId + "\",\"caller_id\":\"bob\"}", "", ""});
  gateway.Pump();
  if (!session.Answer()) state.SkipWithError("no incoming call");
  network.Push({2, 200, "{\"ok\":true}", "/phone/v1/calls/" + kCallId + "/answer", ""});
  network.Push({4, 200,
                "{\"call_id\":\"" + kCallId + "\",\"expires_at\":" + std::to_string(platform::UtcUnixSeconds() + 600) +
                    ",\"iceServers\":[{\"urls\":\"stun:s\"}],\"mode\":\"direct\",\"ok\":true,\"relay_only\":false}",
                "/phone/v1/calls/" + kCallId + "/ice", ""});
  gateway.Pump();
  media.events.push_back("{\"event\":\"configured\"}");
  gateway.Pump();
  if (!media.running || session.state != CallSession::kConnecting) state.SkipWithError("call not live");
  const std::string reply = ReplyText();
  const std::string line = WorkerText();
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 16; ++i) network.Push({0, 200, reply, "", ""});
    for (int i = 0; i < 24; ++i) media.events.push_back(line);
    state.ResumeTiming();
    gateway.Pump();
  }
  if (session.state != CallSession::kConnecting) state.SkipWithError("the call ended during the run");
}
BENCHMARK(BM_BusyPass);

void BM_ParseJsonPeer(benchmark::State& state) {
  std::vector<std::string> texts(16, ReplyText());
  texts.insert(texts.end(), 24, WorkerText());
  for (auto _ : state) {
    for (const std::string& text : texts) {
      JsonValue value;
      benchmark::DoNotOptimize(ParseJson(text, value));
    }
  }
}
BENCHMARK(BM_ParseJsonPeer);

std::string SdpDocument() {
  std::string sdp = "v=0\\r\\n";
  while (sdp.size() < 100000) sdp += "a=candidate:1 1 udp 2122260223 192.168.1.10 54321 typ host\\r\\n";
  return "{\"sdp\":\"" + sdp + "\",\"type\":\"offer\"}";
}

void BM_WriteCompactJson(benchmark::State& state) {
  JsonValue value;
  if (!ParseJson(SdpDocument(), value)) state.SkipWithError("document");
  std::string out;
  for (auto _ : state) {
    out.clear();
    benchmark::DoNotOptimize(quorix_phone::WriteCompactJson(value, out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_WriteCompactJson);

void BM_RapidJsonWriterPeer(benchmark::State& state) {
  rapidjson::Document document;
  const std::string text = SdpDocument();
  document.Parse(text.c_str(), text.size());
  if (document.HasParseError()) state.SkipWithError("document");
  size_t size = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    size = buffer.GetSize();
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_RapidJsonWriterPeer);

}  // namespace

BENCHMARK_MAIN();
