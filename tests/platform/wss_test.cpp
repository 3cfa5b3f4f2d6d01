#include "platform/wss.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "service_admission.h"
#include "test_util.h"

namespace {

using platform::WssConnection;
using platform::WssReceiveKind;
using platform::WssStep;
using quorix_test::LeafKind;
using quorix_test::LoopbackService;
using quorix_test::ScopedIsolatedService;
using quorix_test::WsAction;
using quorix_test::WsUpgrade;

const std::vector<std::string> kHeaders = {"X-NiloPhone-Token: tok_123", "X-Quorix-Presence: presence-v1",
                                           "X-Quorix-Inbox: inbox-v1"};

struct Message {
  WssReceiveKind kind = WssReceiveKind::kError;
  std::string text;
  uint32_t detail = 0;
  size_t parts = 0;
};

// Reads parts until a final text part, a binary part, a close or an error.
Message ReadMessage(WssConnection& ws) {
  Message m;
  std::vector<uint8_t> buffer(16384);
  for (;;) {
    const auto r = ws.Receive(buffer.data(), buffer.size());
    m.kind = r.kind;
    m.detail = r.detail;
    m.text.append(reinterpret_cast<const char*>(buffer.data()), r.size);
    ++m.parts;
    if (r.kind != WssReceiveKind::kTextPart) return m;
  }
}

class Wss : public ::testing::Test {
 protected:
  Wss() : admission_(service_) {}

  void Plan(std::vector<WsAction> actions) {
    service_.ScriptWebSocket([actions](size_t) { return WsUpgrade{101, false, actions}; });
  }

  std::shared_ptr<WssConnection> Open(const platform::WssOptions& options = {}) {
    auto ws = WssConnection::Create(options);
    const auto result = ws->Connect(quorix_test::kLoopbackServiceName, service_.port(), "/phone/v1/ws", kHeaders,
                                    "QuorixPhone-Recovery-WS/0.1");
    EXPECT_EQ(result.failed, WssStep::kNone) << result.detail;
    EXPECT_EQ(result.status, 101u);
    return ws;
  }

  LoopbackService service_;
  ScopedIsolatedService admission_;
};

TEST_F(Wss, UpgradeHeadersAndSendWhileReceiveBlocks) {
  Plan({WsAction::Text("hello"), WsAction::WaitSignal(), WsAction::Text("after")});
  auto ws = Open();
  EXPECT_EQ(ReadMessage(*ws).text, "hello");
  std::thread reader([&] {
    const Message m = ReadMessage(*ws);
    EXPECT_EQ(m.kind, WssReceiveKind::kTextFinal);
    EXPECT_EQ(m.text, "after");
  });
  EXPECT_EQ(ws->Send("from client \xC3\xA9"), 0u);
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.ClientMessages().size() == 1; }, std::chrono::seconds(5)));
  service_.Signal();
  reader.join();
  EXPECT_EQ(service_.ClientMessages()[0], "from client \xC3\xA9");
  const auto upgrade = service_.RequestsTo("/phone/v1/ws");
  ASSERT_EQ(upgrade.size(), 1u);
  EXPECT_EQ(upgrade[0].Header("User-Agent"), "QuorixPhone-Recovery-WS/0.1");
  EXPECT_EQ(upgrade[0].Header("X-NiloPhone-Token"), "tok_123");
  EXPECT_EQ(upgrade[0].Header("X-Quorix-Presence"), "presence-v1");
  EXPECT_EQ(upgrade[0].Header("X-Quorix-Inbox"), "inbox-v1");
  EXPECT_EQ(upgrade[0].Header("Host"), std::string(quorix_test::kLoopbackServiceName) + ":" + std::to_string(service_.port()));
  EXPECT_EQ(upgrade[0].HeaderCount("Sec-WebSocket-Extensions"), 0u);
  EXPECT_EQ(upgrade[0].server_name, quorix_test::kLoopbackServiceName);
}

TEST_F(Wss, CloseFromAnotherThreadFreesReceiveAndFailsSend) {
  Plan({WsAction::WaitSignal()});
  auto ws = Open();
  std::thread reader([&] {
    const Message m = ReadMessage(*ws);
    EXPECT_EQ(m.kind, WssReceiveKind::kError);
    EXPECT_EQ(m.detail, 12017u);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::thread([&] { ws->Close(); }).join();
  reader.join();
  ws->Close();
  EXPECT_NE(ws->Send("late"), 0u);
  service_.Signal();
}

TEST_F(Wss, LargeMessagesWholeAndFragmentedAndBinary) {
  const std::string big(150000, 'b');
  Plan({WsAction::Text(big), WsAction::Fragments(big, {1, 70000, 0, 79999}), WsAction::Binary("\x01\x02"),
        WsAction::WaitSignal()});
  auto ws = Open();
  Message m = ReadMessage(*ws);
  EXPECT_EQ(m.kind, WssReceiveKind::kTextFinal);
  EXPECT_EQ(m.text, big);
  EXPECT_GE(m.parts, 10u);  // 16384-byte buffer
  m = ReadMessage(*ws);
  EXPECT_EQ(m.kind, WssReceiveKind::kTextFinal);
  EXPECT_EQ(m.text, big);
  m = ReadMessage(*ws);
  EXPECT_EQ(m.kind, WssReceiveKind::kBinary);
  service_.Signal();
}

TEST_F(Wss, ClosesAndFailuresAsTheyArrive) {
  struct Case {
    std::vector<WsAction> actions;
    WssReceiveKind kind;
    uint32_t detail;
  };
  const std::vector<Case> cases = {
      {{WsAction::Close(4001)}, WssReceiveKind::kClose, 4001},
      {{WsAction::Close(1000)}, WssReceiveKind::kClose, 1000},
      {{WsAction::Close(std::nullopt)}, WssReceiveKind::kClose, 0},
      {{WsAction::ResetMidMessage("{\"type\":")}, WssReceiveKind::kError, 12030},
      {{WsAction::Reset()}, WssReceiveKind::kError, 12030},
      {{WsAction::Raw(std::string("\x81\x02\xC3\x28", 4))}, WssReceiveKind::kError, 12152},
      {{WsAction::Raw(std::string("\x81\x7E\x01\x00xx", 6)), WsAction::Reset()}, WssReceiveKind::kError, 12030},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    Plan(cases[i].actions);
    auto ws = Open();
    const Message m = ReadMessage(*ws);
    EXPECT_EQ(m.kind, cases[i].kind) << i;
    EXPECT_EQ(m.detail, cases[i].detail) << i;
  }
}

TEST_F(Wss, KeepAlivePingsKeepAQuietServiceAndDropAFrozenOne) {
  platform::WssOptions quick;
  quick.idle_timeout_ms = 1000;
  Plan({WsAction::Pause(std::chrono::milliseconds(3000)), WsAction::Text("still here")});
  auto quiet = Open(quick);
  Message m = ReadMessage(*quiet);
  EXPECT_EQ(m.kind, WssReceiveKind::kTextFinal);
  EXPECT_EQ(m.text, "still here");
  EXPECT_GE(service_.pings(), 2u);

  Plan({WsAction::Text("hi"), WsAction::Freeze()});
  auto frozen = Open(quick);
  EXPECT_EQ(ReadMessage(*frozen).text, "hi");
  m = ReadMessage(*frozen);
  EXPECT_EQ(m.kind, WssReceiveKind::kError);
  EXPECT_EQ(m.detail, 12002u);
}

TEST_F(Wss, RefusedUpgrades) {
  for (const unsigned status : {401u, 403u, 302u, 500u}) {
    service_.ScriptWebSocket([status](size_t) { return WsUpgrade{status, false, {}}; });
    auto ws = WssConnection::Create();
    const auto result = ws->Connect(quorix_test::kLoopbackServiceName, service_.port(), "/phone/v1/ws", kHeaders, "UA");
    EXPECT_EQ(result.failed, WssStep::kUpgradeStatus);
    EXPECT_EQ(result.detail, status);
    EXPECT_EQ(result.status, status);
  }
  service_.ScriptWebSocket([](size_t) { return WsUpgrade{101, true, {}}; });
  auto ws = WssConnection::Create();
  const auto result = ws->Connect(quorix_test::kLoopbackServiceName, service_.port(), "/phone/v1/ws", kHeaders, "UA");
  EXPECT_EQ(result.failed, WssStep::kUpgradeInvalid);
}

TEST(WssTrust, BadCertificatesFailBeforeAnyRequest) {
  for (const LeafKind leaf : {LeafKind::kRogue, LeafKind::kWrongName, LeafKind::kExpired}) {
    LoopbackService bad(leaf);
    ScopedIsolatedService admission(bad);
    bad.ScriptWebSocket([](size_t) { return WsUpgrade{}; });
    auto ws = WssConnection::Create();
    const auto result = ws->Connect(quorix_test::kLoopbackServiceName, bad.port(), "/phone/v1/ws", kHeaders, "UA");
    EXPECT_EQ(result.failed, WssStep::kTls);
    EXPECT_EQ(result.detail, 12175u);
    EXPECT_TRUE(bad.Requests().empty());
  }
}

TEST_F(Wss, ConnectCloseCyclesLeaveNothingBehind) {
  Plan({WsAction::Text("x")});  // then the service waits for the client to go
  { auto warm = Open(); ReadMessage(*warm); }
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.open_sessions() == 0; }, std::chrono::seconds(5)));
  const size_t fds = quorix_test::CountDirectoryEntries("/proc/self/fd");
  const size_t tasks = quorix_test::CountDirectoryEntries("/proc/self/task");
  for (int i = 0; i < 20; ++i) {
    auto ws = Open();
    ReadMessage(*ws);
    ws->Close();
  }
  // The service's session threads end after the client has gone.
  ASSERT_TRUE(quorix_test::WaitFor([&] { return quorix_test::CountDirectoryEntries("/proc/self/fd") <= fds; }, std::chrono::seconds(10)));
  EXPECT_TRUE(quorix_test::WaitFor([&] { return quorix_test::CountDirectoryEntries("/proc/self/task") <= tasks; }, std::chrono::seconds(10)));
}

}  // namespace
