// Fuzz entry point of the call gateway's untrusted inputs: the service's
// replies and pushed events and the media worker's lines, fed through the pump
// of a gateway in a live call while its clock advances.
//
// Input: byte 0 chooses the call (even: outgoing, odd: incoming). Then
// records: a kind byte (0 worker line, 1 pushed event, 2 reply), a clock step
// byte (x 100 ms), for a reply a tag byte (0-8), a status byte (index into a
// small table), a path byte (the call's own path or junk) and a key byte (the
// current key or another), then a two-byte length and the text. The verdict
// is "accepted" when the call is still live at the end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/json.h"
#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "phone_service/gateway_json.h"
#include "phone_service/windows_wire.h"
#include "phone_service/worker_line.h"
#include "platform/clock.h"
#include "support/fake_network.h"
#include "support/fuzz/fuzz_verdict.h"
#include "support/gateway_test_access.h"

namespace {

using quorix_phone::NetworkReply;

const std::string kCallId = "0123456789abcdef0123456789abcdef";
constexpr uint32_t kStatuses[] = {200, 404, 408, 500, 400, 0};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "gateway event fuzz: %s\n", what);
  std::abort();
}

std::string OwnPath(uint32_t tag) {
  switch (tag) {
    case 1:
      return "/phone/v1/calls/start";
    case 2:
      return "/phone/v1/calls/" + kCallId + "/answer";
    case 3:
    case 6:
      return "/phone/v1/calls/" + kCallId + "/end";
    case 4:
      return "/phone/v1/calls/" + kCallId + "/ice";
    case 7:
      return "/phone/v1/calls/" + kCallId + "/ice?mode=relay";
    case 8:
      return "/phone/v1/capabilities";
    default:
      return "";
  }
}

struct Harness {
  quorix_test::FakeNetwork network;
  quorix_test::FakeMedia media;
  CallSession session;
  uint64_t now = 1000;
  quorix_phone::Gateway gateway{&session, &network, &media, [this] { return now; }};
  size_t checked_calls = 0;
  size_t checked_commands = 0;

  void Check() {
    if (session.state > CallSession::kFailed) Fail("session state out of range");
    if (quorix_phone::GatewayTestAccess::QueuedMediaCommands(gateway) > 32) Fail("more than 32 queued candidates");
    for (; checked_commands < media.commands.size(); ++checked_commands) {
      if (!quorix_phone::IsValidWorkerCommand(media.commands[checked_commands])) Fail("invalid worker command");
    }
    for (; checked_calls < network.calls.size(); ++checked_calls) {
      const auto& call = network.calls[checked_calls];
      if (call.kind == "SendText") {
        JsonValue parsed;
        if (call.body.size() > quorix_phone::kMaxGatewayJsonBytes || call.body.find('\n') != std::string::npos ||
            !ParseJson(call.body, parsed) || parsed.type != JsonType::Object) {
          Fail("bad signal message");
        }
      } else if (!quorix_phone::ValidatePhoneRequest(call.tag, call.method, call.path, call.body)) {
        Fail("invalid request");
      }
    }
    if (session.state == CallSession::kFailed && media.running) Fail("failed call left the worker running");
  }

  void Pump() {
    gateway.Pump();
    Check();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::ManualClock wall;
  platform::SetClockForTesting(&wall);
  if (size == 0) return 0;
  Harness h;
  h.gateway.Activate();
  h.gateway.SetIdentity("alice", 7);
  h.session.enabled = 1;
  if ((data[0] & 1) == 0) {
    h.session.StartOutgoing("bob");
    h.network.Push({8, 200,
                    "{\"ok\":true,\"user_id\":\"alice\",\"can_start\":true,\"can_answer\":true,\"media_ready\":true,"
                    "\"valid_for_seconds\":3}",
                    "/phone/v1/capabilities", "7:1"});
    h.Pump();
    h.network.Push({1, 200, "{\"ok\":true,\"call_id\":\"" + kCallId + "\"}", "/phone/v1/calls/start", "7:1"});
    h.network.Push({0, 200, "{\"type\":\"phone_answered\",\"call_id\":\"" + kCallId + "\"}", "", ""});
    h.Pump();
  } else {
    h.network.Push({0, 200, "{\"type\":\"phone_invite\",\"call_id\":\"" + kCallId + "\",\"caller_id\":\"bob\"}", "", ""});
    h.Pump();
    h.session.Answer();
    h.network.Push({2, 200, "{\"ok\":true}", OwnPath(2), ""});
    h.Pump();
  }
  size_t at = 1;
  const auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  while (at < size) {
    const uint8_t kind = byte() % 3;
    h.now += static_cast<uint64_t>(byte()) * 100;
    NetworkReply reply;
    if (kind == 2) {
      reply.tag = byte() % 9;
      reply.status = kStatuses[byte() % std::size(kStatuses)];
      reply.path = (byte() & 1) == 0 ? OwnPath(reply.tag) : "/phone/v1/calls/junk";
      reply.key = (byte() & 1) == 0 ? "7:1" : "7:9";
    }
    size_t length = static_cast<size_t>(byte()) << 8;
    length |= byte();
    if (length > size - at) length = size - at;
    const std::string text(reinterpret_cast<const char*>(data + at), length);
    at += length;
    if (kind == 0) {
      h.media.events.push_back(text);
    } else {
      if (kind == 1) reply.status = 200;
      reply.body = text;
      h.network.Push(std::move(reply));
    }
    h.Pump();
  }
  ReportFuzzVerdict(h.session.state != CallSession::kFailed && h.session.state != CallSession::kIdle);
  h.gateway.Shutdown();
  if (h.media.running) Fail("worker running after shutdown");
  platform::SetClockForTesting(nullptr);
  return 0;
}
