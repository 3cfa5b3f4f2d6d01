// The secure WebSocket client against servers that end connections badly or
// break the protocol.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wss.h"
#include "service_admission.h"

namespace {

using platform::WssConnection;
using platform::WssReceiveKind;
using platform::WssStep;
using quorix_test::LoopbackService;
using quorix_test::ScriptedReply;
using quorix_test::WsAction;
using quorix_test::WsUpgrade;

class WssMisbehavingServer : public ::testing::Test {
 protected:
  WssMisbehavingServer() : admission_(service_) {}

  platform::WssConnectResult Connect(WssConnection& ws) {
    return ws.Connect(quorix_test::kLoopbackServiceName, service_.port(), "/phone/v1/ws", {"X-NiloPhone-Token: t"},
                      "QuorixTest/1");
  }

  LoopbackService service_;
  quorix_test::ScopedIsolatedService admission_;
};

std::string CloseFrame(uint16_t code) {
  return {'\x88', '\x02', static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

TEST_F(WssMisbehavingServer, ReadCloseFrameIsTheCloseWhateverTheConnectionDoesAfter) {
  struct Case {
    const char* name;
    std::vector<WsAction> actions;
    uint32_t code;
  };
  const std::vector<Case> cases = {
      {"4001, TCP ends", {WsAction::Raw(CloseFrame(4001)), WsAction::EndTcp()}, 4001},
      {"1000, TCP ends", {WsAction::Raw(CloseFrame(1000)), WsAction::EndTcp()}, 1000},
      {"no code, TCP ends", {WsAction::Raw(std::string("\x88\x00", 2)), WsAction::EndTcp()}, 0},
      {"4001, answered, TCP ends", {WsAction::Raw(CloseFrame(4001)), WsAction::ReadRaw(), WsAction::EndTcp()}, 4001},
      {"4001, answered, never ends", {WsAction::Raw(CloseFrame(4001)), WsAction::ReadRaw(), WsAction::Freeze()}, 4001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    service_.ScriptWebSocket([actions = c.actions](size_t) { return WsUpgrade{101, false, actions}; });
    auto ws = WssConnection::Create();
    ASSERT_EQ(Connect(*ws).failed, WssStep::kNone);
    uint8_t buffer[64];
    const auto r = ws->Receive(buffer, sizeof buffer);
    EXPECT_EQ(r.kind, WssReceiveKind::kClose);
    EXPECT_EQ(r.detail, c.code);
  }
}

TEST_F(WssMisbehavingServer, FrameLengthWithTheTopBitSetFailsWithNothingDelivered) {
  service_.ScriptWebSocket([](size_t) {
    return WsUpgrade{101, false, {WsAction::Raw(std::string("\x81\x7f\x80\0\0\0\0\0\0\0x", 11))}};
  });
  auto ws = WssConnection::Create();
  ASSERT_EQ(Connect(*ws).failed, WssStep::kNone);
  uint8_t buffer[64];
  const auto r = ws->Receive(buffer, sizeof buffer);
  EXPECT_EQ(r.kind, WssReceiveKind::kError);
  EXPECT_EQ(r.size, 0u);
  EXPECT_EQ(r.detail, 12152u);
}

TEST_F(WssMisbehavingServer, UnofferedExtensionOrSubprotocolFailsTheUpgrade) {
  for (const char* field : {"Sec-WebSocket-Extensions", "Sec-WebSocket-Protocol"}) {
    SCOPED_TRACE(field);
    service_.ScriptWebSocket([field](size_t) {
      WsUpgrade upgrade;
      upgrade.response_headers = {{field, field[14] == 'E' ? "permessage-deflate" : "chat"}};
      return upgrade;
    });
    auto ws = WssConnection::Create();
    const auto result = Connect(*ws);
    EXPECT_EQ(result.failed, WssStep::kUpgradeInvalid);
    EXPECT_EQ(result.status, 101u);
  }
}

TEST_F(WssMisbehavingServer, NoStatusWhenNoReplyWasRead) {
  ScriptedReply dropped;
  dropped.close_without_answer = true;
  ScriptedReply cut;
  cut.raw = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n";
  cut.end = ScriptedReply::End::kTcpOnly;
  ScriptedReply silent;
  silent.hold_until_released = true;
  for (const ScriptedReply& reply : {dropped, cut, silent}) {
    service_.Script("GET", "/phone/v1/ws", reply);
    auto ws = WssConnection::Create();
    const auto result = Connect(*ws);
    EXPECT_EQ(result.failed, WssStep::kUpgrade);
    EXPECT_EQ(result.status, 0u);
  }
}

}  // namespace
