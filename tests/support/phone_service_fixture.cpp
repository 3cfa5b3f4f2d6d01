#include "phone_service_fixture.h"

namespace quorix_test {

std::string MeReply(const std::string& user_id, bool active) {
  return R"({"ok":true,"user":{"user_id":")" + user_id + R"("},"session":{"is_active":)" +
         (active ? "true" : "false") + "}}";
}

void ScriptPhoneRoutes(LoopbackService& service, const std::string& user_id) {
  service.Script("GET", "/phone/v1/me", ScriptedReply::Json(200, MeReply(user_id)));
  service.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, R"({"ok":true,"media_ready":true})"));
  service.Script("GET", "/phone/v1/presence",
                 ScriptedReply::Json(200, R"({"ok":true,"user_id":")" + user_id + R"(","schema_version":1,"friends":[]})"));
  for (const char* path : {"/phone/v1/messages/send", "/phone/v1/messages/ack", "/phone/v1/calls/start"}) {
    service.Script("POST", path, ScriptedReply::Json(200, R"({"ok":true})"));
  }
  service.Script("GET", "/phone/v1/messages/inbox", ScriptedReply::Json(200, R"({"ok":true,"messages":[]})"));
  service.ScriptWebSocket([](size_t) { return WsUpgrade{101, false, {WsAction::Ready(kConnectionA)}}; });
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
