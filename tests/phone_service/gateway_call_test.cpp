// The call gateway on a fake service connection and media worker: calls
// placed, answered, ended and failed, the recovery after a failure, the pump's
// limits and the inbox readiness record.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "gateway_fixture.h"

namespace quorix_phone {
namespace {

using quorix_test::EventLogCapture;
using quorix_test::GatewayCallPath;
using quorix_test::GatewayFixture;
using quorix_test::GatewayReply;
using quorix_test::kGatewayCallId;
using quorix_test::kGatewayOtherCallId;

const std::string& kCallId = kGatewayCallId;
const std::string& kOtherCallId = kGatewayOtherCallId;
const std::string kCapsBody =
    "{\"ok\":true,\"user_id\":\"alice\",\"can_start\":true,\"can_answer\":true,\"media_ready\":true,"
    "\"valid_for_seconds\":3}";

NetworkReply Reply(uint32_t tag, uint32_t status, std::string body, std::string path = "", std::string key = "") {
  return GatewayReply(tag, status, std::move(body), std::move(path), std::move(key));
}

std::string CallPath(const std::string& suffix) { return GatewayCallPath(suffix); }

class GatewayCallTest : public GatewayFixture {};

TEST_F(GatewayCallTest, OutgoingCallKeysItsRequestsAndKeepsTheCapabilitiesWindow) {
  struct Case {
    const char* name;
    std::string valid_for;
    uint64_t elapsed_ms;
    bool started;
    uint32_t deadline_ms;
  };
  const Case cases[] = {
      {"3 s, 1200 ms gone", "3", 1200, true, 1800},
      {"5 s, 4999 ms gone", "5", 4999, true, 1},
      {"5 s, 5000 ms gone", "5", 5000, false, 0},
      {"6 s refused", "6", 0, false, 0},
  };
  uint64_t counter = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    network_.calls.clear();
    session_.ForceReset();
    gateway_.Activate();
    session_.enabled = 1;
    ASSERT_TRUE(session_.StartOutgoing("bob"));
    const std::string key = "7:" + std::to_string(++counter);
    ASSERT_EQ(network_.Requests(8).size(), 1u);
    EXPECT_EQ(network_.Requests(8)[0].key, key);
    EXPECT_EQ(network_.Requests(8)[0].timeout_ms, 5000u);
    now_ += c.elapsed_ms;
    std::string body = kCapsBody;
    body.replace(body.find("\"valid_for_seconds\":3"), 21, "\"valid_for_seconds\":" + c.valid_for);
    Pump(Reply(8, 200, body, "/phone/v1/capabilities", "7:" + std::to_string(counter - 1)));  // an earlier key: ignored
    ASSERT_EQ(session_.state, CallSession::kOutgoing);
    Pump(Reply(8, 200, body, "/phone/v1/capabilities", key));
    const auto starts = network_.Requests(1);
    ASSERT_EQ(starts.size(), c.started ? 1u : 0u);
    if (c.started) {
      EXPECT_EQ(starts[0].body, "{\"receiver_id\":\"bob\"}");
      EXPECT_EQ(starts[0].key, key);
      EXPECT_EQ(starts[0].timeout_ms, c.deadline_ms);
      EXPECT_EQ(session_.state, CallSession::kOutgoing);
    } else {
      EXPECT_EQ(session_.state, CallSession::kFailed);
    }
  }
}

TEST_F(GatewayCallTest, CancelEndsTheCallInEitherPhase) {
  ASSERT_TRUE(session_.StartOutgoing("bob"));
  ASSERT_TRUE(session_.HangUp());  // while the capabilities are asked for: nothing is sent
  gateway_.Pump();
  EXPECT_EQ(session_.state, CallSession::kIdle);
  EXPECT_EQ(network_.calls.size(), 1u);
  ASSERT_TRUE(session_.StartOutgoing("bob"));
  Pump(Reply(8, 200, kCapsBody, "/phone/v1/capabilities", "7:2"));
  ASSERT_TRUE(session_.HangUp());  // after the start request: the id is ended at once
  Pump(Reply(1, 200, "{\"ok\":true,\"call_id\":\"" + kCallId + "\"}", "/phone/v1/calls/start", "7:2"));
  ASSERT_EQ(network_.Requests(3).size(), 1u);
  EXPECT_EQ(network_.Requests(3)[0].path, CallPath("/end"));
  EXPECT_TRUE(session_.call_id.empty());
  EXPECT_EQ(session_.state, CallSession::kEnding);
  Pump(Reply(3, 200, "{\"ok\":true}", CallPath("/end")));
  EXPECT_EQ(session_.state, CallSession::kIdle);
}

TEST_F(GatewayCallTest, StartRefusalsFailTheCallAndCleanUpWithTheirReason) {
  struct Case {
    const char* name;
    uint32_t status;
    std::string body;
    uint64_t reason;
  };
  const Case cases[] = {
      {"missed deadline", 408, "{}", 0},
      {"busy", 409, "{\"detail\":\"busy\"}", 1},
      {"nested reason", 403, "{\"detail\":{\"reason\":\"caller_entitlement_required\"}}", 7},
      {"connection changed", 409, "{\"detail\":\"connection_changed\"}", 8},
      {"unknown reason", 400, "{\"detail\":\"nope\"}", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EventLogCapture log;
    session_.ForceReset();
    gateway_.Activate();
    session_.enabled = 1;
    ASSERT_TRUE(session_.StartOutgoing("bob"));
    const std::string key = network_.Requests(8).back().key;
    Pump(Reply(8, 200, kCapsBody, "/phone/v1/capabilities", key));
    Pump(Reply(1, c.status, c.body, "/phone/v1/calls/start", key));
    EXPECT_EQ(session_.state, CallSession::kFailed);
    const auto rejections = log.Events("GATEWAY_REJECTION");
    ASSERT_EQ(rejections.size(), 1u);
    EXPECT_EQ(rejections[0].n, c.status);
    EXPECT_EQ(rejections[0].code, c.reason);
    // No call id was known: nothing to clean up, calls stay possible.
    EXPECT_EQ(gateway_.recovery_state, 0u);
    EXPECT_EQ(media_.running, false);
  }
}

TEST_F(GatewayCallTest, IncomingCallIsAnsweredAndEnded) {
  Incoming();
  // A second invitation during the call is ignored.
  Event("{\"type\":\"phone_invite\",\"call_id\":\"" + kOtherCallId + "\",\"caller_id\":\"carol\"}");
  EXPECT_EQ(session_.peer_id, "bob");
  ASSERT_TRUE(session_.Answer());
  ASSERT_EQ(network_.Requests(2).size(), 1u);
  EXPECT_EQ(network_.Requests(2)[0].path, CallPath("/answer"));
  EXPECT_EQ(network_.Requests(2)[0].body, "{}");
  // An answer reply naming another call changes nothing.
  Pump(Reply(2, 200, "{\"ok\":true}", "/phone/v1/calls/" + kOtherCallId + "/answer"));
  EXPECT_EQ(log_.Count("CALL_STALE_TERMINAL_REPLY"), 1u);
  EXPECT_TRUE(network_.Requests(4).empty());
  Pump(Reply(2, 200, "{\"ok\":true}", CallPath("/answer")));
  ASSERT_EQ(network_.Requests(4).size(), 1u);
  EXPECT_EQ(network_.Requests(4)[0].path, CallPath("/ice"));
  ASSERT_TRUE(session_.HangUp());
  Pump(Reply(3, 200, "{\"ok\":true}", CallPath("/end")));
  EXPECT_EQ(session_.state, CallSession::kIdle);
  EXPECT_FALSE(media_.running);
}

TEST_F(GatewayCallTest, InviteAfterAFailureRingsAgain) {
  Incoming();
  Event("{\"type\":\"phone_error\"}");
  ASSERT_EQ(session_.state, CallSession::kFailed);
  Pump(Reply(6, 200, "{\"ok\":true}", CallPath("/end")));
  Event("{\"type\":\"phone_invite\",\"call_id\":\"" + kOtherCallId + "\",\"caller_id\":\"carol\"}");
  EXPECT_EQ(session_.state, CallSession::kIncoming);
  EXPECT_EQ(session_.peer_id, "carol");
}

TEST_F(GatewayCallTest, NotFoundEndsTheCallInBothForms) {
  for (const char* detail : {"{\"reason\":\"call_not_found\"}", "\"call_not_found\""}) {
    SCOPED_TRACE(detail);
    EventLogCapture log;
    Incoming();
    ASSERT_TRUE(session_.Decline());
    Pump(Reply(3, 404, std::string("{\"detail\":") + detail + "}", CallPath("/end")));
    EXPECT_EQ(session_.state, CallSession::kIdle);
    EXPECT_EQ(log.Count("CALL_TERMINAL_NOT_FOUND"), 1u);
    EXPECT_EQ(log.Count("GATEWAY_FAILED"), 0u);
  }
}

TEST_F(GatewayCallTest, RecoveryFollowsTheCleanupAndTheConnection) {
  struct Case {
    const char* name;
    NetworkReply cleanup;  // tag 5: the connection was torn down, nothing to clean up
    uint32_t recovery;
  };
  const Case cases[] = {
      {"cleanup ok", Reply(6, 200, "{\"ok\":true}", CallPath("/end")), 0},
      {"cleanup 404", Reply(6, 404, "{}", CallPath("/end")), 0},
      {"cleanup refused", Reply(6, 200, "{\"ok\":false}", CallPath("/end")), 2},
      {"cleanup 500", Reply(6, 500, "{\"ok\":true}", CallPath("/end")), 2},
      {"torn down", Reply(5, 0, ""), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EventLogCapture log;
    gateway_.Activate();
    session_.enabled = 1;
    network_.calls.clear();
    Incoming();
    if (c.cleanup.tag == 6) {
      Event("{\"type\":\"phone_signal_ack\",\"delivered\":false}");
      ASSERT_EQ(gateway_.recovery_state, 1u);
      EXPECT_FALSE(gateway_.IsReady());
    }
    Pump(c.cleanup);
    EXPECT_EQ(gateway_.IsReady(), c.recovery == 0);
    EXPECT_EQ(session_.state, CallSession::kFailed);
    EXPECT_EQ(network_.Requests(6).size(), c.cleanup.tag == 6 ? 1u : 0u);
    EXPECT_EQ(gateway_.recovery_state, c.recovery);
    EXPECT_EQ(log.Count("CALL_RECOVERY_WAIT"), c.cleanup.tag == 5 ? 1u : 0u);
    ASSERT_TRUE(session_.ClearFailure());
  }
  // 2 waits for the service to report the connection ready again.
  Event("{\"type\":\"phone_ready_idle\",\"media_ready\":false}");
  EXPECT_EQ(gateway_.recovery_state, 2u);
  Event("{\"type\":\"phone_ready_idle\",\"media_ready\":true}");
  EXPECT_EQ(gateway_.recovery_state, 0u);
  EXPECT_EQ(log_.Count("CALL_RECOVERY_READY"), 1u);
  EXPECT_TRUE(gateway_.IsReady());
}

TEST_F(GatewayCallTest, PumpHandlesABoundedShareAndOnlyTornDownWhileDisconnected) {
  for (int i = 0; i < 20; ++i) network_.Push(Reply(0, 200, "{\"type\":\"pong\"}"));
  for (int i = 0; i < 30; ++i) media_.events.push_back("{}");
  gateway_.Pump();
  EXPECT_EQ(network_.replies.size(), 4u);
  EXPECT_EQ(media_.events.size(), 6u);

  network_.connected = false;
  network_.replies.clear();
  network_.Push(Reply(0, 200, "{\"type\":\"phone_error\"}"));
  network_.Push(Reply(5, 0, ""));
  gateway_.Pump();
  EXPECT_EQ(log_.Events("GATEWAY_REPLY").size(), 16u + 1u);
  EXPECT_EQ(media_.events.size(), 6u);  // the worker is not read while disconnected
  EXPECT_EQ(gateway_.recovery_state, 2u);
}

TEST_F(GatewayCallTest, AfterShutdownNothingHappensAndTheWorkerIsStopped) {
  Incoming();
  media_.running = true;
  gateway_.Shutdown();
  EXPECT_FALSE(media_.running);
  EXPECT_FALSE(gateway_.IsReady());
  network_.Push(Reply(0, 200, "{\"type\":\"phone_error\"}"));
  gateway_.Pump();
  EXPECT_EQ(network_.replies.size(), 1u);
  EXPECT_FALSE(session_.StartOutgoing("carol"));
}

TEST(GatewayLifecycleTest, AGatewayNeverActivatedPumpsHarmlessly) {
  quorix_test::FakeNetwork network;
  quorix_test::FakeMedia media;
  CallSession session;
  Gateway gateway(&session, &network, &media, nullptr);
  network.Push(GatewayReply(0, 200, "{\"type\":\"phone_error\"}"));
  media.events.push_back("{\"event\":\"error\"}");
  gateway.Pump();
  gateway.Pump();
  EXPECT_TRUE(network.calls.empty());
  EXPECT_TRUE(media.commands.empty());
  EXPECT_EQ(gateway.recovery_state, 0u);
  EXPECT_EQ(session.state, CallSession::kIdle);
  EXPECT_FALSE(gateway.StartCall("bob"));  // no identity yet
  EXPECT_TRUE(network.calls.empty());
}

TEST_F(GatewayCallTest, InboxReadinessFollowsTheStream) {
  Event("{\"type\":\"phone_ready_idle\",\"media_ready\":true,\"connection_id\":\"" + kCallId + "\"}");
  const auto inbox_event = [&](const std::string& type, const std::string& revision, const std::string& extra) {
    Event("{\"type\":\"" + type + "\",\"version\":1,\"user_id\":\"alice\",\"connection_id\":\"" + kCallId +
          "\",\"revision\":\"" + revision + "\"" + extra + "}");
  };
  const std::string inbox_ready = ",\"lease_seconds\":15,\"fallback_seconds\":60,\"stream_id\":\"s1\"";
  struct Case {
    const char* name;
    std::string type;
    std::string revision;
    std::string extra;
    uint8_t ready;
    std::string stored_revision;
  };
  const Case cases[] = {
      {"changed before ready", "phone_inbox_changed", "1", ",\"stream_id\":\"s1\"", 0, ""},
      {"inbox ready with 30", "phone_inbox_ready", "1",
       ",\"lease_seconds\":15,\"fallback_seconds\":30,\"stream_id\":\"s1\"", 0, ""},
      {"inbox ready", "phone_inbox_ready", "9", inbox_ready, 1, "9"},
      {"10 after 9", "phone_inbox_changed", "10", ",\"stream_id\":\"s1\"", 1, "10"},
      {"leading zero", "phone_inbox_changed", "011", ",\"stream_id\":\"s1\"", 0, "10"},
      {"notifications ready with 30", "phone_notifications_ready", "12",
       ",\"lease_seconds\":15,\"fallback_seconds\":30", 1, "12"},
      {"unavailable", "phone_inbox_unavailable", "12", "", 0, "12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    inbox_event(c.type, c.revision, c.extra);
    EXPECT_EQ(gateway_.inbox.ready, c.ready);
    EXPECT_EQ(gateway_.inbox.revision, c.stored_revision);
    EXPECT_EQ(gateway_.inbox.lease_until, c.ready ? now_ + 15000 : 0u);
  }
  EXPECT_EQ(gateway_.inbox.stream_seen, 1u);
  EXPECT_EQ(session_.state, CallSession::kIdle);  // inbox events never touch calls

  const uint64_t changes = gateway_.inbox.change_count;
  gateway_.SetIdentity("alice", 8);
  EXPECT_EQ(gateway_.inbox.generation, 8u);
  EXPECT_TRUE(gateway_.inbox.connection_id.empty());
  EXPECT_EQ(gateway_.inbox.stream_seen, 0u);
  EXPECT_EQ(gateway_.inbox.change_count, changes + 1);
}

}  // namespace
}  // namespace quorix_phone
