#include "chat/chat_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Ids = std::vector<std::string>;

ChatMessage Msg(std::string id, std::string sender, std::string receiver, double t, bool flag = false,
                std::string text = "hi") {
  return ChatMessage{std::move(id), std::move(sender), std::move(receiver), std::move(text), t, flag};
}

// Every field the drawing code and the invariants depend on.
void ExpectSameModel(const ChatModel& a, const ChatModel& b) {
  EXPECT_EQ(a.self_id(), b.self_id());
  EXPECT_EQ(a.selected_id(), b.selected_id());
  EXPECT_EQ(a.mode(), b.mode());
  EXPECT_EQ(a.previous_mode(), b.previous_mode());
  EXPECT_EQ(a.snapshot_loaded(), b.snapshot_loaded());
  EXPECT_EQ(a.FriendIds(), b.FriendIds());
  ASSERT_EQ(a.friends().size(), b.friends().size());
  for (size_t i = 0; i < a.friends().size(); ++i) {
    EXPECT_EQ(a.friends()[i].user_id, b.friends()[i].user_id);
    EXPECT_EQ(a.friends()[i].display_name, b.friends()[i].display_name);
  }
  for (const ChatFriend& f : a.friends()) {
    const ChatThread* ta = a.FindThread(f.user_id);
    const ChatThread* tb = b.FindThread(f.user_id);
    ASSERT_TRUE(ta && tb);
    EXPECT_EQ(ta->unread, tb->unread);
    EXPECT_EQ(ta->friend_.display_name, tb->friend_.display_name);
    ASSERT_EQ(ta->messages.size(), tb->messages.size());
    for (size_t i = 0; i < ta->messages.size(); ++i) {
      EXPECT_EQ(ta->messages[i].id, tb->messages[i].id);
      EXPECT_EQ(ta->messages[i].flag, tb->messages[i].flag);
    }
    EXPECT_EQ(a.LastMessageText(f.user_id), b.LastMessageText(f.user_id));
  }
}

TEST(ChatModelDemo, FreshModelAndDemoData) {
  ChatModel m;
  EXPECT_EQ("demo_self", m.self_id());
  EXPECT_EQ((Ids{"demo_bob", "demo_alice", "demo_clara"}), m.FriendIds());
  EXPECT_EQ(0u, m.mode());
  EXPECT_FALSE(m.snapshot_loaded());
  EXPECT_EQ("", m.LastMessageText("demo_bob"));
  const ChatThread* alice = m.FindThread("demo_alice");
  ASSERT_NE(nullptr, alice);
  EXPECT_EQ(2u, alice->unread);
  ASSERT_EQ(3u, alice->messages.size());
  EXPECT_TRUE(m.FindThread("demo_clara")->messages.empty());
  EXPECT_EQ(nullptr, m.FindThread("nobody"));

  ASSERT_TRUE(m.MarkThreadRead("demo_alice"));
  EXPECT_EQ(0u, alice->unread);
  EXPECT_TRUE(alice->messages[0].flag);   // a1, incoming
  EXPECT_TRUE(alice->messages[1].flag);   // a2 was already set and is outgoing
  EXPECT_TRUE(alice->messages[2].flag);   // a3, incoming
  EXPECT_FALSE(m.MarkThreadRead("nobody"));

  // Marking outgoing messages is not the read mark's job.
  ASSERT_TRUE(m.AddMessages("demo_clara", {Msg("c1", "demo_self", "demo_clara", 5)}));
  ASSERT_TRUE(m.MarkThreadRead("demo_clara"));
  EXPECT_FALSE(m.FindThread("demo_clara")->messages[0].flag);

  ASSERT_TRUE(m.OpenThread("demo_bob"));
  m.Reset();
  ExpectSameModel(m, ChatModel());
}

struct SnapshotCase {
  const char* name;
  ChatSnapshot snapshot;
  bool accepted;
};

std::vector<SnapshotCase> SnapshotCases() {
  std::string s256(256, 's');
  std::vector<ChatFriend> two = {{"p1", "One"}, {"p2", "Two"}};
  std::vector<ChatFriend> many;
  for (int i = 0; i < 100000; ++i) many.push_back({"f" + std::to_string(i), ""});
  std::vector<ChatFriend> too_many = many;
  too_many.push_back({"extra", ""});
  return {
      {"empty self", {"", two, {}}, false},
      {"self of 257 bytes", {std::string(257, 's'), two, {}}, false},
      {"self of 256 bytes", {s256, two, {}}, true},
      {"friend equal to self", {"me", {{"me", "x"}}, {}}, false},
      {"repeated friend", {"me", {{"p1", "a"}, {"p1", "b"}}, {}}, false},
      {"empty friend id", {"me", {{"", "a"}}, {}}, false},
      {"friend id of 257 bytes", {"me", {{std::string(257, 'f'), "a"}}, {}}, false},
      {"friend id of 256 bytes", {"me", {{std::string(256, 'f'), "a"}}, {}}, true},
      {"name of 4097 bytes", {"me", {{"p1", std::string(4097, 'n')}}, {}}, false},
      {"name of 4096 bytes", {"me", {{"p1", std::string(4096, 'n')}}, {}}, true},
      {"100000 friends", {"me", many, {}}, true},
      {"100001 friends", {"me", too_many, {}}, false},
      {"peer not a friend", {"me", two, {{"p3", "x", 0}}}, false},
      {"repeated peer", {"me", two, {{"p1", "x", 0}, {"p1", "y", 0}}}, false},
      {"unread 1000001", {"me", two, {{"p1", "x", 1000001}}}, false},
      {"unread 1000000", {"me", two, {{"p1", "x", 1000000}}}, true},
  };
}

TEST(ChatModelSnapshot, RefusalsLeaveTheModelAsItWasAndLoadedContentFollowsTheSnapshot) {
  for (const SnapshotCase& c : SnapshotCases()) {
    SCOPED_TRACE(c.name);
    ChatModel m;
    ASSERT_TRUE(m.SelectRightTab());
    ASSERT_TRUE(m.OpenThread("demo_alice"));
    ChatModel before = m;
    EXPECT_EQ(c.accepted, m.LoadSnapshot(c.snapshot));
    if (c.accepted) {
      EXPECT_TRUE(m.snapshot_loaded());
      EXPECT_EQ(0u, m.mode());
      EXPECT_EQ(0u, m.previous_mode());
      EXPECT_EQ("", m.selected_id());
      EXPECT_EQ(c.snapshot.self_id, m.self_id());
    } else {
      ExpectSameModel(m, before);
      EXPECT_EQ(2u, m.mode());
      EXPECT_EQ(1u, m.previous_mode());
      EXPECT_EQ("demo_alice", m.selected_id());
    }
  }

  ChatModel m;
  ChatSnapshot s{"me", {{"p1", "One"}, {"p2", "Two"}, {"p3", "Three"}}, {{"p3", "latest", 4}, {"p1", "older", 0}}};
  ASSERT_TRUE(m.LoadSnapshot(s));
  EXPECT_EQ((Ids{"p3", "p1"}), m.FriendIds());
  EXPECT_EQ("latest", m.LastMessageText("p3"));
  EXPECT_EQ("", m.LastMessageText("p2"));
  EXPECT_EQ(4u, m.FindThread("p3")->unread);
  EXPECT_EQ(0u, m.FindThread("p2")->unread);
  for (const char* id : {"p1", "p2", "p3"}) EXPECT_TRUE(m.FindThread(id)->messages.empty());
  EXPECT_EQ(nullptr, m.FindThread("demo_alice"));
  EXPECT_EQ(3u, m.friends().size());
  // A second load replaces the first one wholesale.
  ASSERT_TRUE(m.LoadSnapshot({"me2", {{"q", "Q"}}, {}}));
  EXPECT_TRUE(m.FriendIds().empty());
  EXPECT_EQ("", m.LastMessageText("p3"));
  m.Reset();
  EXPECT_FALSE(m.snapshot_loaded());
  EXPECT_EQ("demo_self", m.self_id());
}

TEST(ChatModelMessages, AddMessagesChecksOrdersBoundsAndKeepsTheNewest3000) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Bad {
    const char* name;
    ChatMessage message;
  } bad[] = {
      {"nan time", Msg("x", "demo_clara", "demo_self", nan)},
      {"infinite time", Msg("x", "demo_clara", "demo_self", inf)},
      {"negative time", Msg("x", "demo_clara", "demo_self", -1)},
      {"foreign pair", Msg("x", "demo_bob", "demo_self", 1)},
      {"self to self", Msg("x", "demo_self", "demo_self", 1)},
      {"empty id", Msg("", "demo_clara", "demo_self", 1)},
      {"id of 257 bytes", Msg(std::string(257, 'i'), "demo_clara", "demo_self", 1)},
      {"empty text", Msg("x", "demo_clara", "demo_self", 1, false, "")},
      {"text over 1 MiB", Msg("x", "demo_clara", "demo_self", 1, false, std::string(1048577, 't'))},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    ChatModel m;
    EXPECT_FALSE(m.AddMessages("demo_clara", {Msg("ok", "demo_clara", "demo_self", 1), b.message}));
    EXPECT_TRUE(m.FindThread("demo_clara")->messages.empty());
  }
  ChatModel m;
  EXPECT_TRUE(m.AddMessages("demo_clara", {Msg("z", "demo_clara", "demo_self", -0.0, false,
                                               std::string(1048576, 't'))}));
  EXPECT_FALSE(m.AddMessages("nobody", {}));
  EXPECT_TRUE(m.AddMessages("demo_clara", {}));
  EXPECT_FALSE(m.AddMessages("demo_clara", std::vector<ChatMessage>(3001, Msg("q", "demo_clara", "demo_self", 1))));

  // Sorted by time, then bytewise by id with a prefix first.
  ASSERT_TRUE(m.AddMessages("demo_clara", {Msg("b", "demo_clara", "demo_self", 7), Msg("ab", "demo_self", "demo_clara", 7),
                                           Msg("a", "demo_clara", "demo_self", 7), Msg("c", "demo_clara", "demo_self", 3)}));
  Ids order;
  for (const ChatMessage& x : m.FindThread("demo_clara")->messages) order.push_back(x.id);
  EXPECT_EQ((Ids{"z", "c", "a", "ab", "b"}), order);

  // A known id only ORs the flag, and only for the same pair.
  ASSERT_TRUE(m.AddMessages("demo_clara", {Msg("c", "demo_self", "demo_clara", 99, true)}));
  EXPECT_FALSE(m.FindThread("demo_clara")->messages[1].flag);
  ASSERT_TRUE(m.AddMessages("demo_clara", {Msg("c", "demo_clara", "demo_self", 99, true, "other")}));
  const ChatMessage& c = m.FindThread("demo_clara")->messages[1];
  EXPECT_TRUE(c.flag);
  EXPECT_EQ(3.0, c.timestamp);
  EXPECT_EQ("hi", c.text);
  ASSERT_TRUE(m.AddMessages("demo_clara", {Msg("c", "demo_clara", "demo_self", 3, false)}));
  EXPECT_TRUE(m.FindThread("demo_clara")->messages[1].flag);

  ChatModel full;
  std::vector<ChatMessage> batch;
  for (int i = 0; i < 3000; ++i) batch.push_back(Msg("m" + std::to_string(i), "demo_clara", "demo_self", 10 + i));
  ASSERT_TRUE(full.AddMessages("demo_clara", batch));
  ASSERT_TRUE(full.AddMessages("demo_clara", {Msg("new", "demo_clara", "demo_self", 100000)}));
  const auto& list = full.FindThread("demo_clara")->messages;
  ASSERT_EQ(3000u, list.size());
  EXPECT_EQ("m1", list.front().id);
  EXPECT_EQ("new", list.back().id);
  // A message older than all of a full thread goes straight out again.
  ASSERT_TRUE(full.AddMessages("demo_clara", {Msg("old", "demo_clara", "demo_self", 0)}));
  EXPECT_EQ("m1", list.front().id);
  EXPECT_EQ(3000u, list.size());
  EXPECT_EQ((Ids{"demo_clara", "demo_bob", "demo_alice"}), full.FriendIds());  // newest thread first
}

TEST(ChatModelViews, ModesSelectionAndFriendsKeepingTheirThreads) {
  ChatModel m;
  EXPECT_FALSE(m.SelectLeftTab());
  EXPECT_FALSE(m.CloseThread());
  EXPECT_FALSE(m.OpenThread("nobody"));
  EXPECT_EQ(0u, m.mode());
  ASSERT_TRUE(m.SelectRightTab());
  EXPECT_FALSE(m.SelectRightTab());
  ASSERT_TRUE(m.OpenThread("demo_bob"));
  EXPECT_EQ(2u, m.mode());
  EXPECT_EQ(1u, m.previous_mode());
  ASSERT_TRUE(m.OpenThread("demo_alice"));  // keeps the earlier tab
  EXPECT_EQ(1u, m.previous_mode());
  EXPECT_EQ("demo_alice", m.selected_id());
  ASSERT_TRUE(m.CloseThread());
  EXPECT_EQ(1u, m.mode());
  EXPECT_EQ("", m.selected_id());
  ASSERT_TRUE(m.OpenThread("demo_bob"));
  ASSERT_TRUE(m.SelectLeftTab());  // a tab from a thread leaves previous_mode
  EXPECT_EQ(0u, m.mode());
  EXPECT_EQ(1u, m.previous_mode());
  EXPECT_EQ("", m.selected_id());
  ASSERT_TRUE(m.OpenThread("demo_bob"));
  EXPECT_EQ(0u, m.previous_mode());
  EXPECT_TRUE(m.SetUnread("demo_bob", 1000000));
  EXPECT_FALSE(m.SetUnread("demo_bob", 1000001));
  EXPECT_FALSE(m.SetUnread("nobody", 1));
  EXPECT_EQ(1000000u, m.FindThread("demo_bob")->unread);

  // SetFriends keeps the threads of listed ids.
  ChatModel fresh;
  ASSERT_TRUE(fresh.SetFriends({{"demo_bob", "Robert"}, {"new", "N"}}));
  EXPECT_EQ(2u, fresh.FindThread("demo_bob")->messages.size());
  EXPECT_EQ(1u, fresh.FindThread("demo_bob")->unread);
  EXPECT_EQ("Robert", fresh.FindThread("demo_bob")->friend_.display_name);
  EXPECT_EQ(nullptr, fresh.FindThread("demo_alice"));
  EXPECT_FALSE(fresh.SetFriends({{"x", "1"}, {"demo_self", "2"}}));
  EXPECT_NE(nullptr, fresh.FindThread("new"));
  EXPECT_EQ(nullptr, fresh.FindThread("x"));
}

}  // namespace
