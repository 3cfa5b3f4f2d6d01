// The service connection on the loopback service (127.0.0.1 only, bounded):
//  - one kept-connection GET with a 1 KB reply through SendPhoneHttpRequest,
//    beside a bare libcurl easy handle with the same options;
//  - 20,000 events of 200 bytes, then 200 of 100 KB, drained with PollReply
//    by one thread, beside a bare Beast client that reads the same frames and
//    runs ParseJson on each;
//  - reconnect storms in real time (close right after ready for 10 s, and
//    capabilities never ready for 31 s), with attempt, handshake and CPU
//    counters. Run by hand in Release: `wire_bench --benchmark_filter=Storm`.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/resource.h>

#include <utility>  // before Asio: its awaitable.hpp (1.74) uses std::exchange without it
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "../bare_curl.h"
#include "core/json.h"
#include "core/text.h"
#include "phone_service/phone_http.h"
#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "platform/https.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;
using quorix_test::LoopbackService;
using quorix_test::ScriptedReply;
using quorix_test::WsAction;
using quorix_test::WsUpgrade;

const std::string kKiloReply = R"({"ok":true,"pad":")" + std::string(1024 - 20, 'k') + "\"}";

void BM_PhoneGet(benchmark::State& state) {
  platform::InitializeNetwork();
  LoopbackService service;
  quorix_test::ScopedIsolatedService admission(service);
  service.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, kKiloReply));
  const quorix_phone::PhoneTarget target{Utf8ToWide(quorix_test::kLoopbackServiceName), service.port(), nullptr};
  uint32_t status = 0;
  std::string reply;
  for (auto _ : state) {
    if (!quorix_phone::SendPhoneHttpRequest(target, quorix_test::kPhoneToken, "GET", "/phone/v1/capabilities", "",
                                            &status, &reply, "") ||
        reply.size() != 1024) {
      state.SkipWithError(("exchange failed " + std::to_string(platform::LastError())).c_str());
      break;
    }
  }
  state.counters["accepts"] = static_cast<double>(service.accepts());
}
BENCHMARK(BM_PhoneGet)->Unit(benchmark::kMicrosecond);

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void BM_BareCurlGet(benchmark::State& state) {
  platform::InitializeNetwork();
  LoopbackService service;
  quorix_test::ScopedIsolatedService admission(service);
  service.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, kKiloReply));
  CURL* h = curl_easy_init();
  const std::string host = quorix_test::kLoopbackServiceName;
  const std::string url = "https://" + host + ":" + std::to_string(service.port()) + "/phone/v1/capabilities";
  curl_slist* connect_to =
      curl_slist_append(nullptr, (host + ":" + std::to_string(service.port()) + ":127.0.0.1:" +
                                  std::to_string(service.port())).c_str());
  curl_slist* headers = nullptr;
  for (const char* line : {"X-NiloPhone-Token: tok_phone-123", "Accept: application/json",
                           "Content-Type: application/json", "Expect:"}) {
    headers = curl_slist_append(headers, line);
  }
  const std::string pem = quorix_test::TestPki::Get().ca_pem();
  std::string body;
  for (auto _ : state) {
    body.clear();
    curl_easy_reset(h);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    SetBareCurlTransferOptions(h, pem, connect_to, headers);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "QuorixPhone/0.1.12");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, 8000L);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(145000));
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(h) != CURLE_OK || body.size() != 1024) {
      state.SkipWithError("bare request failed");
      break;
    }
  }
  curl_slist_free_all(headers);
  curl_slist_free_all(connect_to);
  curl_easy_cleanup(h);
}
BENCHMARK(BM_BareCurlGet)->Unit(benchmark::kMicrosecond);

std::string Event(size_t size) {
  std::string text = R"({"type":"inbox_event","pad":")";
  text += std::string(size - text.size() - 2, 'e') + "\"}";
  return text;
}

constexpr size_t kSmall = 20000;
constexpr size_t kLarge = 200;
constexpr int kRounds = 3;

std::vector<WsAction> Burst(bool ready) {
  std::vector<WsAction> actions;
  if (ready) actions.push_back(WsAction::Ready(quorix_test::kConnectionA));
  for (int i = 0; i < kRounds; ++i) {
    actions.push_back(WsAction::WaitSignal());
    actions.push_back(WsAction::Text(Event(200), kSmall));
    actions.push_back(WsAction::Text(Event(100 * 1024), kLarge));
  }
  return actions;
}

void BM_WireEvents(benchmark::State& state) {
  platform::InitializeNetwork();
  LoopbackService service;
  quorix_test::ScopedIsolatedService admission(service);
  quorix_test::ScriptPhoneRoutes(service);
  service.ScriptWebSocket([](size_t) { return WsUpgrade{101, false, Burst(true)}; });
  quorix_phone::WindowsWire wire;
  if (!wire.Start(quorix_test::kPhoneUser, quorix_test::kPhoneToken)) {
    state.SkipWithError("not started");
    return;
  }
  if (!quorix_test::WaitFor([&] { return wire.IsConnected(); }, 10s)) {
    state.SkipWithError("not connected");
    return;
  }
  quorix_test::DrainReplies(wire);
  size_t closes = 0;
  size_t events = 0;
  for (auto _ : state) {
    service.Signal();
    size_t got = 0;
    quorix_phone::NetworkReply reply;
    const auto give_up = std::chrono::steady_clock::now() + 60s;
    while (got < kSmall + kLarge && std::chrono::steady_clock::now() < give_up) {
      if (!wire.PollReply(&reply)) {
        std::this_thread::yield();
        continue;
      }
      if (reply.tag == 5) {
        ++closes;
        break;
      }
      ++got;
    }
    events += got;
    if (got != kSmall + kLarge) {
      state.SkipWithError(("events lost: got " + std::to_string(got) + ", closes " + std::to_string(closes)).c_str());
      break;
    }
  }
  state.counters["events_per_s"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
  state.counters["close_34"] = static_cast<double>(closes);
  wire.Stop();
}
BENCHMARK(BM_WireEvents)->Iterations(kRounds)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_BareBeastEvents(benchmark::State& state) {
  namespace asio = boost::asio;
  namespace beast = boost::beast;
  LoopbackService service;
  service.ScriptWebSocket([](size_t) { return WsUpgrade{101, false, Burst(false)}; });
  asio::io_context io;
  asio::ssl::context tls(asio::ssl::context::tls_client);
  tls.add_certificate_authority(asio::buffer(quorix_test::TestPki::Get().ca_pem()));
  tls.set_verify_mode(asio::ssl::verify_peer);
  beast::websocket::stream<beast::ssl_stream<beast::tcp_stream>> ws(io, tls);
  SSL_set_tlsext_host_name(ws.next_layer().native_handle(), quorix_test::kLoopbackServiceName);
  ws.next_layer().set_verify_callback(asio::ssl::host_name_verification(quorix_test::kLoopbackServiceName));
  beast::get_lowest_layer(ws).connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), service.port()));
  ws.next_layer().handshake(asio::ssl::stream_base::client);
  ws.handshake(quorix_test::kLoopbackServiceName, "/phone/v1/ws");
  size_t events = 0;
  for (auto _ : state) {
    service.Signal();
    for (size_t i = 0; i < kSmall + kLarge; ++i) {
      beast::flat_buffer buffer;
      ws.read(buffer);
      JsonValue value;
      if (!ParseJson(beast::buffers_to_string(buffer.data()), value)) {
        state.SkipWithError("bad event");
        return;
      }
      ++events;
    }
  }
  state.counters["events_per_s"] = benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
  beast::get_lowest_layer(ws).close();
}
BENCHMARK(BM_BareBeastEvents)->Iterations(kRounds)->UseRealTime()->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Real time, the real back-off: counts what a misbehaving service costs.
void Storm(benchmark::State& state, bool close_after_ready, std::chrono::seconds length) {
  platform::InitializeNetwork();
  LoopbackService service;
  quorix_test::ScopedIsolatedService admission(service);
  quorix_test::ScriptPhoneRoutes(service);
  if (close_after_ready) {
    service.ScriptWebSocket([](size_t) {
      return WsUpgrade{101, false, {WsAction::Ready(quorix_test::kConnectionA), WsAction::Close(1000)}};
    });
  } else {
    service.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, R"({"ok":true,"media_ready":false})"));
  }
  for (auto _ : state) {
    quorix_phone::WindowsWire wire;
    const double cpu0 = ProcessCpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    if (!wire.Start(quorix_test::kPhoneUser, quorix_test::kPhoneToken)) {
      state.SkipWithError("not started");
      break;
    }
    std::this_thread::sleep_for(length);
    wire.Stop();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const auto me = service.RequestsTo("/phone/v1/me");
    const double attempts = static_cast<double>(me.size());
    state.counters["attempts"] = attempts;
    state.counters["attempts_per_s"] = attempts / wall;
    state.counters["handshakes_per_attempt"] = static_cast<double>(service.handshakes()) / attempts;
    state.counters["cpu_percent_of_wall"] = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
    std::string starts;
    for (const auto& r : me) {
      starts += std::to_string(std::chrono::duration<double>(r.at - me[0].at).count()).substr(0, 5) + " ";
    }
    state.SetLabel("attempts at s: " + starts);
  }
}

void BM_StormCloseAfterReady(benchmark::State& state) { Storm(state, true, 10s); }
BENCHMARK(BM_StormCloseAfterReady)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

void BM_StormNeverReady(benchmark::State& state) { Storm(state, false, 31s); }
BENCHMARK(BM_StormNeverReady)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
