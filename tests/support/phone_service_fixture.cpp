#include "phone_service_fixture.h"

namespace quorix_test {

std::string MeReply(const std::string& user_id, bool active) {
  return R"({"ok":true,"user":{"user_id":")" + user_id + R"("},"session":{"is_active":)" +
         (active ? "true" : "false") + "}}";
}

std::string CapabilitiesReply(const std::string& user_id) {
  return R"({"ok":true,"user_id":")" + user_id +
         R"(","can_start":true,"can_answer":true,"media_ready":true,"valid_for_seconds":5})";
}

void ScriptPhoneRoutes(LoopbackService& service, const std::string& user_id) {
  service.Script("GET", "/phone/v1/me", ScriptedReply::Json(200, MeReply(user_id)));
  service.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, CapabilitiesReply(user_id)));
  service.Script("GET", "/phone/v1/presence",
                 ScriptedReply::Json(200, R"({"ok":true,"user_id":")" + user_id + R"(","schema_version":1,"friends":[]})"));
  for (const char* path : {"/phone/v1/messages/send", "/phone/v1/messages/ack", "/phone/v1/calls/start"}) {
    service.Script("POST", path, ScriptedReply::Json(200, R"({"ok":true})"));
  }
  service.Script("GET", "/phone/v1/messages/inbox", ScriptedReply::Json(200, R"({"ok":true,"messages":[]})"));
  service.ScriptWebSocket([](size_t) { return WsUpgrade{101, false, {WsAction::Ready(kConnectionA)}}; });
}

void ScriptCallRoutes(LoopbackService& service, const std::string& call_id) {
  const std::string path = "/phone/v1/calls/" + call_id;
  service.Script("POST", "/phone/v1/calls/start", ScriptedReply::Json(200, R"({"ok":true,"call_id":")" + call_id + "\"}"));
  for (const char* step : {"/answer", "/end"}) service.Script("POST", path + step, ScriptedReply::Json(200, R"({"ok":true})"));
  service.Script("GET", path + "/ice", [call_id](const RecordedRequest& request) {
    const bool relay = request.target.find("?mode=relay") != std::string::npos;
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const std::string servers = relay ? R"([{"urls":["turn:relay.test:3478"],"username":"u","credential":"c"}])"
                                      : R"([{"urls":"stun:stun.test:3478"}])";
    return ScriptedReply::Json(200, R"({"ok":true,"call_id":")" + call_id + R"(","mode":")" +
                                        (relay ? "relay" : "direct") + R"(","relay_only":)" +
                                        (relay ? "true" : "false") + R"(,"expires_at":)" +
                                        std::to_string(now.count() + 600) + R"(,"iceServers":)" + servers + "}");
  });
}

void RecordingTiming::WaitBackoff(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t delay_ms,
                                  const std::function<bool()>& wake) {
  {
    std::lock_guard guard(mutex_);
    delays_.push_back(delay_ms);
  }
  cv.wait_for(lock, hold_ ? cap_ : std::min(cap_, std::chrono::milliseconds(delay_ms)), wake);
}

std::vector<uint32_t> RecordingTiming::delays() const {
  std::lock_guard guard(mutex_);
  return delays_;
}

std::vector<quorix_phone::NetworkReply> DrainReplies(quorix_phone::WindowsWire& wire) {
  std::vector<quorix_phone::NetworkReply> out;
  quorix_phone::NetworkReply reply;
  while (wire.PollReply(&reply)) out.push_back(std::move(reply));
  return out;
}

std::vector<quorix_phone::NetworkReply> WireTest::WaitReplies(size_t count) {
  std::vector<quorix_phone::NetworkReply> out;
  WaitFor(
      [&] {
        for (auto& reply : DrainReplies(wire_)) out.push_back(std::move(reply));
        return out.size() >= count;
      },
      std::chrono::seconds(10));
  return out;
}

}  // namespace quorix_test
