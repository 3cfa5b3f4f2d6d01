// The call state machine against a recording gateway: every state against
// every operation and event, the identifier rule and the backend's failures.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "phone_service/call_session.h"

namespace {

class RecordingGateway final : public quorix_call::Gateway {
 public:
  bool IsReady() override { return ready; }
  bool StartCall(const std::string& peer) override { return Record("StartCall " + peer); }
  bool CancelCall(const std::string& peer) override { return Record("CancelCall " + peer); }
  bool AnswerCall(const std::string& id) override { return Record("AnswerCall " + id); }
  bool DeclineCall(const std::string& id) override { return Record("DeclineCall " + id); }
  bool EndCall(const std::string& id) override { return Record("EndCall " + id); }
  bool SetMuted(const std::string& id, bool muted) override {
    return Record("SetMuted " + id + (muted ? " 1" : " 0"));
  }

  bool ready = true;
  bool result = true;
  std::string throw_on;  // call name prefix that throws
  std::vector<std::string> calls;

 private:
  bool Record(const std::string& call) {
    calls.push_back(call);
    if (!throw_on.empty() && call.rfind(throw_on, 0) == 0) throw std::runtime_error("backend down");
    return result;
  }
};

struct Fields {
  uint32_t state;
  std::string peer;
  std::string call;
  uint8_t muted;
  uint8_t enabled;
  quorix_call::Gateway* backend;
  bool operator==(const Fields&) const = default;
};

Fields Read(const CallSession& s) { return {s.state, s.peer_id, s.call_id, s.muted, s.enabled, s.backend}; }

// A new session put in `state`, outside IDLE with peer "p1" and call id "c1".
void Enter(CallSession& s, RecordingGateway& g, uint32_t state) {
  s.enabled = 1;
  s.backend = &g;
  s.state = state;
  if (state == CallSession::kIdle) return;  // a new session has neither
  // Moved in whole: a literal assigned to a new string takes the replace path,
  // whose overlap branch g++ 12 at -O3 reads as the unset tail of the buffer.
  s.peer_id = std::string("p1");
  s.call_id = std::string("c1");
}

TEST(CallSessionTest, EveryStateAgainstEveryOperationAndEvent) {
  using Op = std::function<int(CallSession&)>;  // 1/0 result, -1 for events
  auto ev = [](std::function<void(CallSession&)> f) { return Op([f](CallSession& s) { f(s); return -1; }); };
  struct Case {
    const char* name;
    Op run;
    const char* after;  // per state 0..6: the state reached, '.' refused
    const char* call;   // the backend call of an accepted row
  };
  const Case cases[] = {
      {"StartOutgoing", [](CallSession& s) { return int(s.StartOutgoing("p2")); }, "1......", "StartCall p2"},
      {"Answer", [](CallSession& s) { return int(s.Answer()); }, "..3....", "AnswerCall c1"},
      {"Decline", [](CallSession& s) { return int(s.Decline()); }, "..5....", "DeclineCall c1"},
      {"HangUp", [](CallSession& s) { return int(s.HangUp()); }, ".5555..", "EndCall c1"},
      {"SetMuted", [](CallSession& s) { return int(s.SetMuted(true)); }, "....4..", "SetMuted c1 1"},
      {"ClearFailure", [](CallSession& s) { return int(s.ClearFailure()); }, "......0", ""},
      {"AttachGateway", [](CallSession& s) { return int(s.AttachGateway(nullptr)); }, "0.....6", ""},
      {"OnIncomingCall", ev([](CallSession& s) { s.OnIncomingCall("c2", "p2"); }), "2......", ""},
      {"OnCallIdAssigned", ev([](CallSession& s) { s.OnCallIdAssigned("c9"); }), ".1.....", ""},
      {"OnOutgoingAccepted", ev([](CallSession& s) { s.OnOutgoingAccepted("c1"); }), ".3.....", ""},
      {"OnConnected", ev([](CallSession& s) { s.OnConnected("c1"); }), "...4...", ""},
      {"OnCallEnded", ev([](CallSession& s) { s.OnCallEnded("c1"); }), ".000000", ""},
      {"OnCancelFinished", ev([](CallSession& s) { s.OnCancelFinished(); }), ".......", ""},
      {"OnCallFailed", ev([](CallSession& s) { s.OnCallFailed("c1"); }), ".666666", ""},
      {"OnCallFailedEmpty", ev([](CallSession& s) { s.OnCallFailed(""); }), ".6.....", ""},
      {"OnCallEndedOther", ev([](CallSession& s) { s.OnCallEnded("c7"); }), ".......", ""},
  };
  for (const Case& c : cases) {
    for (uint32_t state = 0; state < 7; ++state) {
      SCOPED_TRACE(std::string(c.name) + " in " + CallSession::StateName(state));
      CallSession s;
      RecordingGateway g;
      Enter(s, g, state);
      s.muted = 0;
      const Fields before = Read(s);
      const int result = c.run(s);
      const char want = c.after[state];
      if (want == '.') {
        EXPECT_NE(result, 1);
        EXPECT_TRUE(Read(s) == before);
        EXPECT_TRUE(g.calls.empty());
        continue;
      }
      EXPECT_NE(result, 0);
      EXPECT_EQ(s.state, uint32_t(want - '0'));
      EXPECT_EQ(g.calls, std::string(c.call).empty() ? std::vector<std::string>{} : std::vector<std::string>{c.call});
    }
  }
}

TEST(CallSessionTest, IdentifierRule) {
  struct Case {
    const char* name;
    std::string id;
    bool accepted;
  };
  const Case cases[] = {
      {"129 bytes", std::string(129, 'a'), false},
      {"empty", "", false},
      {"tab", "a\tb", false},
      {"DEL", "a\x7f", false},
      {"128 bytes of UTF-8", std::string(64, '\xc3') + std::string(64, '\xa9'), true},
      {"one byte 0xFF", "\xff", true},
      {"space", " ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallSession s;
    RecordingGateway g;
    Enter(s, g, CallSession::kIdle);
    EXPECT_EQ(s.StartOutgoing(c.id), c.accepted);
    EXPECT_EQ(g.calls.size(), c.accepted ? 1u : 0u);
    CallSession in;
    in.OnIncomingCall(c.id, "p1");  // the call id checked
    EXPECT_EQ(in.state, c.accepted ? CallSession::kIncoming : CallSession::kIdle);
    CallSession peer;
    peer.OnIncomingCall("c1", c.id);  // the peer id checked
    EXPECT_EQ(peer.state, c.accepted ? CallSession::kIncoming : CallSession::kIdle);
    CallSession out;
    Enter(out, g, CallSession::kOutgoing);
    out.call_id.clear();
    out.OnCallIdAssigned(c.id);
    EXPECT_EQ(out.call_id, c.accepted ? c.id : "");
  }
}

TEST(CallSessionTest, HangUpCancelsBeforeTheIdAndEndsAfterIt) {
  CallSession s;
  RecordingGateway g;
  Enter(s, g, CallSession::kIdle);
  ASSERT_TRUE(s.StartOutgoing("p1"));
  ASSERT_TRUE(s.HangUp());
  s.OnCancelFinished();
  EXPECT_EQ(s.GetSnapshot().state_name, std::string("IDLE"));

  ASSERT_TRUE(s.StartOutgoing("p1"));
  s.OnCallIdAssigned("c1");
  ASSERT_TRUE(s.HangUp());
  s.OnCancelFinished();  // a call id is set: only its end leaves ENDING
  EXPECT_EQ(s.state, CallSession::kEnding);
  s.OnCallEnded("c1");
  EXPECT_EQ(s.state, CallSession::kIdle);
  EXPECT_EQ(g.calls, (std::vector<std::string>{"StartCall p1", "CancelCall p1", "StartCall p1", "EndCall c1"}));
}

TEST(CallSessionTest, MuteSendsOnlyChangesAndFailureClearsIt) {
  CallSession s;
  RecordingGateway g;
  Enter(s, g, CallSession::kConnected);
  EXPECT_TRUE(s.SetMuted(true));
  EXPECT_TRUE(s.SetMuted(true));
  EXPECT_EQ(g.calls, std::vector<std::string>{"SetMuted c1 1"});
  g.result = false;
  EXPECT_FALSE(s.SetMuted(false));
  EXPECT_EQ(s.muted, 1);
  s.OnCallFailed("c1");
  EXPECT_EQ(s.GetSnapshot().muted, 0);
  EXPECT_EQ(s.GetSnapshot().peer_id, "p1");
  EXPECT_TRUE(s.ClearFailure());
  EXPECT_EQ(s.GetSnapshot().peer_id, "");
}

TEST(CallSessionTest, BackendRefusalsAndExceptions) {
  CallSession s;
  RecordingGateway g;
  Enter(s, g, CallSession::kIdle);
  s.enabled = 0;
  EXPECT_TRUE(s.IsBackendReady());
  EXPECT_FALSE(s.StartOutgoing("p1"));
  s.enabled = 1;
  s.SetPrepareCheck([] { return false; });
  EXPECT_FALSE(s.StartOutgoing("p1"));
  EXPECT_TRUE(g.calls.empty());
  s.SetPrepareCheck({});
  g.throw_on = "StartCall";
  EXPECT_THROW(s.StartOutgoing("p1"), std::runtime_error);
  EXPECT_EQ(s.state, CallSession::kIdle);
  EXPECT_EQ(s.peer_id, "");
}

TEST(CallSessionTest, ForceResetEndsTheCallOnceEvenWhenThatThrows) {
  CallSession s;
  RecordingGateway g;
  Enter(s, g, CallSession::kConnected);
  s.muted = 1;
  RecordingGateway other;
  EXPECT_FALSE(s.AttachGateway(&other));
  g.throw_on = "EndCall";
  s.ForceReset();
  EXPECT_EQ(g.calls, std::vector<std::string>{"EndCall c1"});
  EXPECT_TRUE(Read(s) == (Fields{CallSession::kIdle, "", "", 0, 0, nullptr}));
}

}  // namespace
