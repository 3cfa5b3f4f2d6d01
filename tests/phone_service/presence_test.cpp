#include "phone_service/presence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quorix_phone::ApplyPresenceEvent;
using quorix_phone::ParsePresenceSnapshot;
using quorix_phone::PresenceState;

const std::string kOwn = "me";
const std::string kConn = "0123456789abcdef0123456789abcdef";

std::string Friends(const std::vector<std::pair<std::string, bool>>& friends) {
  std::string out = "[";
  for (size_t i = 0; i < friends.size(); ++i) {
    if (i > 0) out += ",";
    out += R"({"user_id":")" + friends[i].first + R"(","online":)" + (friends[i].second ? "true" : "false") + "}";
  }
  return out + "]";
}

std::string Snapshot(const std::string& friends, const std::string& user = kOwn) {
  return R"({"ok":true,"user_id":")" + user + R"(","schema_version":1,"friends":)" + friends + "}";
}

std::string Event(const std::string& sequence, const std::string& friends, const std::string& extra = "",
                  const std::string& lease = "10") {
  return R"({"type":"phone_presence_snapshot","version":1,"ok":true,"user_id":")" + kOwn +
         R"(","schema_version":1,"connection_id":")" + kConn + R"(","sequence":")" + sequence +
         R"(","lease_seconds":)" + lease + R"(,"fresh_for_seconds":10,"poll_after_seconds":5,"friends":)" + friends +
         extra + "}";
}

TEST(PresenceSequence, Rules) {
  for (const char* good : {"0", "1", "42", "9223372036854775807", "1000000000000000000"}) {
    EXPECT_TRUE(quorix_phone::IsValidPresenceSequence(good)) << good;
  }
  for (const char* bad : {"", "007", "00", "-1", "1.0", "9223372036854775808", "99999999999999999999", " 1", "1a"}) {
    EXPECT_FALSE(quorix_phone::IsValidPresenceSequence(bad)) << bad;
  }
}

TEST(PresenceSnapshot, PolledSnapshotsAcceptedOrClearedAsTheyCome) {
  struct Case {
    std::string text;
    bool ok;
  };
  std::vector<std::pair<std::string, bool>> many;
  for (int i = 0; i < 513; ++i) many.push_back({"f" + std::to_string(1000 + i), i % 2 == 0});
  std::vector<std::pair<std::string, bool>> limit(many.begin(), many.begin() + 512);
  const std::vector<Case> cases = {
      {Snapshot(Friends({{"b", true}, {"a", false}})), true},  // any order when polled
      {Snapshot(Friends(limit)), true},
      {Snapshot(Friends(many)), false},
      {Snapshot(Friends({{"a", true}, {"a", false}})), false},
      {Snapshot(Friends({{kOwn, true}})), false},
      {Snapshot(Friends({{"bad id", true}})), false},
      {Snapshot(Friends({{std::string(129, 'x'), true}})), false},
      {Snapshot(Friends({})), true},
      {Snapshot(Friends({}), "other"), false},
      {R"({"ok":true,"user_id":"me","schema_version":2,"friends":[]})", false},
      {R"({"ok":true,"user_id":"me","schema_version":1.0,"friends":[],"more":1})", true},
      {R"({"ok":"true","user_id":"me","schema_version":1,"friends":[]})", false},
      {R"({"ok":true,"user_id":"me","schema_version":1,"friends":[{"user_id":"a"}]})", false},
      {"not json", false},
      {Snapshot(Friends({})) + std::string(145001, ' '), false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    PresenceState state;
    ASSERT_TRUE(ParsePresenceSnapshot(state, Snapshot(Friends({{"z", true}})), kOwn, 5));
    const uint64_t revision = state.revision;
    EXPECT_EQ(ParsePresenceSnapshot(state, cases[i].text, kOwn, 7), cases[i].ok) << i;
    EXPECT_EQ(state.has_snapshot, cases[i].ok) << i;
    EXPECT_EQ(state.snapshot_tick, cases[i].ok ? 7u : 0u) << i;
    EXPECT_GT(state.revision, revision) << i;  // the map changed or was cleared
  }
  PresenceState state;
  EXPECT_FALSE(ParsePresenceSnapshot(state, Snapshot(Friends({})), "", 1));
  EXPECT_EQ(state.revision, 0u);  // nothing was known
}

TEST(PresenceSnapshot, IdenticalSnapshotKeepsRevisionAndRefreshesTick) {
  PresenceState state;
  const std::string text = Snapshot(Friends({{"a", true}, {"b", false}}));
  ASSERT_TRUE(ParsePresenceSnapshot(state, text, kOwn, 100));
  const uint64_t revision = state.revision;
  ASSERT_TRUE(ParsePresenceSnapshot(state, text, kOwn, 200));
  EXPECT_EQ(state.revision, revision);
  EXPECT_EQ(state.snapshot_tick, 200u);
  ASSERT_TRUE(ParsePresenceSnapshot(state, Snapshot(Friends({{"a", false}, {"b", false}})), kOwn, 300));
  EXPECT_EQ(state.revision, revision + 1);
  EXPECT_FALSE(state.friends.at("a"));
}

TEST(PresenceEvent, PushedSnapshotRules) {
  struct Case {
    std::string text;
    bool ok;
  };
  const std::string two = Friends({{"a", true}, {"b", false}});
  const std::vector<Case> cases = {
      {Event("0", two), true},
      {Event("007", two), false},
      {Event("", two), false},
      {Event("9223372036854775808", two), false},
      {Event("1", Friends({{"b", true}, {"a", false}})), false},
      {Event("1", Friends({{"a", true}, {"a", false}})), false},
      {Event("1", two, R"(,"twelfth":1)"), false},
      {Event("1", two, "", "15"), false},
      {Event("1", R"([{"user_id":"a","online":true,"x":1}])"), false},
      {Event("1", Friends({{kOwn, true}})), false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    PresenceState state;
    const uint64_t counter = state.push_counter;
    EXPECT_EQ(ApplyPresenceEvent(state, cases[i].text, kOwn, kConn, 1000), cases[i].ok) << i;
    EXPECT_EQ(state.push_counter, counter + 1) << i;
    EXPECT_EQ(state.push_window_end, cases[i].ok ? 11000u : 0u) << i;
    EXPECT_EQ(state.has_snapshot, cases[i].ok) << i;
  }
  PresenceState state;
  EXPECT_FALSE(ApplyPresenceEvent(state, Event("0", two), kOwn, "short", 1));
  EXPECT_FALSE(ApplyPresenceEvent(state, Event("0", two), kOwn, "fedcba9876543210fedcba9876543210", 1));
}

TEST(PresenceEvent, SequenceMustRiseOnTheSameConnection) {
  PresenceState state;
  const std::string two = Friends({{"a", true}, {"b", false}});
  ASSERT_TRUE(ApplyPresenceEvent(state, Event("9", two), kOwn, kConn, 1000));
  ASSERT_TRUE(ApplyPresenceEvent(state, Event("10", two), kOwn, kConn, 1100));
  EXPECT_EQ(state.push_sequence, "10");
  const uint64_t revision = state.revision;
  EXPECT_FALSE(ApplyPresenceEvent(state, Event("10", two), kOwn, kConn, 1200));  // repeated
  EXPECT_GT(state.revision, revision);  // friends were known: cleared
  EXPECT_TRUE(state.friends.empty());
  EXPECT_EQ(state.push_sequence, "10");  // kept
  EXPECT_EQ(state.push_window_end, 0u);
  EXPECT_FALSE(ApplyPresenceEvent(state, Event("9", two), kOwn, kConn, 1300));
  EXPECT_TRUE(ApplyPresenceEvent(state, Event("11", two), kOwn, kConn, 1400));
  quorix_phone::ResetPresence(state);
  EXPECT_TRUE(state.push_sequence.empty());
  EXPECT_TRUE(ApplyPresenceEvent(state, Event("0", two), kOwn, kConn, 1500));  // a new connection starts over
}

}  // namespace
