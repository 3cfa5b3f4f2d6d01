// Fuzz entry point of what the service connection does with the service's
// WebSocket events and presence replies once they are whole texts, and of
// the media worker client's reading of the worker's event lines. The wire
// runs without its threads: messages go straight to the receive loop's
// handler and a loop end closes the connection as the connection thread
// would; the next event opens a new socket, as the next attempt of a fresh
// start would.
//
// Input: records of a kind byte (0 WebSocket message, 1 presence reply, 2
// worker line, 3 clock step, 4 reading of the reply ring), for a presence
// reply a status byte (index into a small table) and a flags byte (bit 0 the
// exchange failed, bit 1 a poll of an earlier generation), for the three
// texts a two-byte length and the text, for a clock step one byte (x 500 ms).
// The verdict is "accepted" when the connection is live at the end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/json.h"
#include "phone_service/phone_http.h"
#include "phone_service/windows_media.h"
#include "phone_service/windows_wire.h"
#include "platform/clock.h"
#include "support/fuzz/fuzz_input.h"
#include "support/fuzz/fuzz_verdict.h"
#include "support/wire_test_access.h"

namespace {

using quorix_phone::NetworkReply;
using quorix_phone::WindowsWire;
using quorix_phone::WireTestAccess;

constexpr char kUser[] = "user_a";
constexpr uint32_t kStatuses[] = {200, 401, 403, 500, 404, 0};
const char* const kFriends[] = {"user_b", "user_c", "bob", "d.4", "user_a", ""};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "wire event fuzz: %s\n", what);
  std::abort();
}

// 1 to 128 of the id characters.
bool IsFriendIdText(const std::string& id) {
  static constexpr char kIdCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-";
  return !id.empty() && id.size() <= 128 && id.find_first_not_of(kIdCharacters) == std::string::npos;
}

struct Harness {
  platform::ManualClock clock;
  WindowsWire wire;
  uint64_t last_revision = 0;
  bool socket_open = false;  // a receive loop runs

  // A new socket; the service names the connection in its ready event.
  void Open() {
    WireTestAccess::OpenSocket(wire, kUser);
    socket_open = true;
  }

  // The presence record and what the wire answers from it.
  void CheckPresence() {
    const WindowsWire::PresenceState state = WireTestAccess::Presence(wire);
    if (state.revision < last_revision) Fail("presence revision went back");
    last_revision = state.revision;
    if (state.friends.size() > 512) Fail("more than 512 friends");
    for (const auto& [id, online] : state.friends) {
      if (!IsFriendIdText(id) || id == kUser) Fail("a friend id the service may not give");
    }
    if (!state.has_snapshot && !state.friends.empty()) Fail("friends without a snapshot");
    if (state.push_window_end != 0 && state.push_window_end != state.push_window_start + 10000) {
      Fail("a push window of another length");
    }
    const uint64_t status = wire.GetPresenceStatus();
    if (status / 4 != state.revision) Fail("presence status of another revision");
    for (const char* id : kFriends) {
      const int presence = wire.GetFriendPresence(id);
      if (presence < 0 || presence > 2) Fail("friend presence outside 0-2");
      if (presence != 0 && state.friends.count(id) == 0) Fail("presence of a friend not listed");
      if (!wire.IsConnected() && presence != 0) Fail("presence while not connected");
    }
  }

  void CheckRing() {
    if (WireTestAccess::RingSize(wire) > 96) Fail("reply ring over its bound");
  }

  // Takes every queued reply; each event the wire passed on is a JSON object
  // with a type, never a presence snapshot (the wire keeps those).
  void DrainRing() {
    NetworkReply reply;
    while (wire.PollReply(&reply)) {
      if (reply.tag == 5) {
        if (!reply.body.empty()) Fail("close marker with a body");
        continue;
      }
      if (reply.tag != 0 || reply.status != 0) Fail("an event under a request's tag");
      JsonValue event;
      if (!ParseJson(reply.body, event) || event.type != JsonType::Object) Fail("an event that is not JSON");
      const JsonValue* type = event.Find("type");
      if (type == nullptr || type->type != JsonType::String) Fail("an event without a type");
      if (type->text == "phone_presence_snapshot") Fail("a presence snapshot passed on");
    }
  }

  void Event(std::string text) {
    if (!socket_open) Open();
    JsonValue parsed;
    const bool json = ParseJson(text, parsed);
    const JsonValue* type = json ? parsed.Find("type") : nullptr;
    const bool typed = type != nullptr && type->type == JsonType::String;
    const bool ready_event = typed && type->text == "phone_ready_idle";
    bool ready = false;
    WireTestAccess::LoopEnd end;
    const std::string before = wire.GetConnectionId();
    const uint64_t generation = WireTestAccess::Generation(wire);
    if (WireTestAccess::Event(wire, std::move(text), &ready, &end)) {
      if (!typed) Fail("a message without a type kept the loop going");
      if (ready != ready_event) Fail("ready reported for another event");
      if (ready && !quorix_phone::IsValidConnectionId(wire.GetConnectionId())) Fail("ready under an invalid id");
      if (!ready_event && wire.GetConnectionId() != before) Fail("the connection id moved without a ready event");
    } else {
      socket_open = false;
      if (end.code == 24 && json) Fail("JSON refused as not JSON");
      if (end.code == 25 && typed) Fail("a typed event refused as untyped");
      if (end.code == 26 && !ready_event) Fail("a bad ready code for another event");
      if (end.code != 0 && end.code != 24 && end.code != 25 && end.code != 26) Fail("loop end code outside its table");
      if (end.code != 0) WireTestAccess::EndLoop(wire, end);
      if (wire.IsConnected()) Fail("still connected after the loop ended");
      if (WireTestAccess::Generation(wire) == generation) Fail("a loop end kept the generation");
    }
    CheckRing();
    CheckPresence();
  }

  void PresenceReply(uint32_t status, uint8_t flags, std::string body) {
    const bool ok = (flags & 1) == 0;
    const uint64_t generation = (flags & 2) != 0 ? WireTestAccess::Generation(wire) - 1 : WindowsWire::kAny;
    (void)wire.HandlePresenceReply(ok, status, std::move(body), generation, WindowsWire::kAny);
    CheckPresence();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzInput input(data, size);
  auto h = std::make_unique<Harness>();
  h->clock.Set(100000);
  platform::SetClockForTesting(&h->clock);
  while (!input.AtEnd()) {
    switch (input.Byte() % 5) {
      case 0: h->Event(input.Text()); break;
      case 1: {
        const uint32_t status = kStatuses[input.Byte() % std::size(kStatuses)];
        const uint8_t flags = input.Byte();
        h->PresenceReply(status, flags, input.Text());
        break;
      }
      case 2: {
        const std::string line = input.Text();
        JsonValue parsed;
        if (quorix_phone::IsWorkerConfiguredEvent(line) && (!ParseJson(line, parsed) || parsed.type != JsonType::Object)) {
          Fail("configured read from a line that is not a JSON object");
        }
        break;
      }
      case 3:
        h->clock.Advance(static_cast<uint64_t>(input.Byte()) * 500);
        h->CheckPresence();
        break;
      default: h->DrainRing(); break;
    }
  }
  ReportFuzzVerdict(h->wire.IsConnected());
  h->wire.Stop();
  h->DrainRing();
  if (h->wire.GetFriendPresence("user_b") != 0) Fail("presence after stop");
  h.reset();
  platform::SetClockForTesting(nullptr);
  return 0;
}
