#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "test_util.h"

namespace {

using quorix_phone::WindowsWire;
using quorix_test::ScriptedReply;
using quorix_test::WsAction;
using quorix_test::WsUpgrade;
using namespace std::chrono_literals;

constexpr int kRounds = 50;

class WireRace : public quorix_test::WireTest {
 protected:
  WireRace() { wire_.SetTimingForTesting(&slow_); }  // no reconnect inside a round
};

TEST_F(WireRace, SendTextAgainstAServiceClose) {
  service_.ScriptWebSocket([](size_t) {
    return WsUpgrade{101, false,
                     {WsAction::Ready(quorix_test::kConnectionA), WsAction::Pause(std::chrono::milliseconds(2)),
                      WsAction::Close(1000)}};
  });
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(wire_.Start(quorix_test::kPhoneUser, quorix_test::kPhoneToken)) << round;
    ASSERT_TRUE(quorix_test::WaitFor([&] { return log_.Count("WIRE_CLOSED") == static_cast<size_t>(round + 1) ||
                                                  wire_.IsConnected(); },
                                     10s));
    while (wire_.IsConnected()) wire_.SendText(R"({"type":"ping"})");
    ASSERT_TRUE(quorix_test::WaitFor([&] { return log_.Count("WIRE_CLOSED") == static_cast<size_t>(round + 1); }, 10s))
        << round;
    wire_.Stop();
    EXPECT_EQ(log_.Count("WIRE_CLOSED"), static_cast<size_t>(round + 1)) << round;
  }
}

TEST_F(WireRace, UnauthorizedCloseAgainstAnEventBurst) {
  service_.ScriptWebSocket([](size_t) {
    return WsUpgrade{101, false,
                     {WsAction::Ready(quorix_test::kConnectionA), WsAction::Text(R"({"type":"inbox_event"})", 60)}};
  });
  service_.Script("GET", "/phone/v1/calls/x/ice", ScriptedReply::Json(401, R"({"ok":false})"));
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(wire_.Start(quorix_test::kPhoneUser, quorix_test::kPhoneToken)) << round;
    ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s)) << round;
    ASSERT_TRUE(wire_.Request(4, "GET", "/phone/v1/calls/x/ice", ""));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return log_.Count("WIRE_AUTH_STOP") == static_cast<size_t>(round + 1); }, 10s))
        << round;
    wire_.Stop();
    EXPECT_EQ(log_.Count("WIRE_CLOSED"), static_cast<size_t>(round + 1)) << round;
  }
  for (const auto& closed : log_.Events("WIRE_CLOSED")) {
    EXPECT_EQ(closed.n, 33u);
    EXPECT_EQ(closed.code, 401u);
  }
}

}  // namespace
