#include "text_input/tsf_draft_bridge.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/text.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "support/draft_bridge_fixture.h"

namespace {

using quorix_test::BoundDraftBridge;
using quorix_test::ImeCandidateDriver;
using State = QuorixTsfDraftBridge::State;
using Values = std::vector<std::u16string>;
constexpr uint64_t kEnd = QuorixTsfDraftBridge::kToDraftEnd;

bool HasCandidates(const State& s) { return s.background_candidates != 0; }

TEST(TsfDraftBridge, InitializationFailuresPrintTheirLine) {
  struct Case {
    platform::TsCall call;
    const char* line;
  } cases[] = {{platform::TsCall::kInitializeApartment, "MVP02C3C_INIT=FAIL COM_STA\n"},
               {platform::TsCall::kLoadRichEdit, "MVP02C3C_INIT=FAIL RICHEDIT\n"},
               {platform::TsCall::kActivate, ""},
               {platform::TsCall::kAdvise, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    platform::CurrentTextServices().FailNext(c.call);
    platform::InProcessDraftEdit edit;
    QuorixTsfDraftBridge bridge;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(bridge.Initialize(&edit, &edit));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    EXPECT_FALSE(bridge.IsVrConvertEnabled());
    EXPECT_FALSE(bridge.SyncDraft(u"あ"));
    bridge.Shutdown();
    EXPECT_FALSE(platform::CurrentTextServices().advised());
    EXPECT_FALSE(platform::CurrentTextServices().active());
  }
}

TEST(TsfDraftBridge, OwnWindowModeEnablesVrConversionOnlyForExactlyOne) {
  struct Case {
    const char* value;  // null: unset
    bool enabled;
  } cases[] = {{nullptr, false}, {"0", false}, {"11", false}, {"1", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "unset");
    if (c.value) {
      platform::env::Set("QUORIXPHONE_TSF_C3E", c.value);
    } else {
      platform::env::Unset("QUORIXPHONE_TSF_C3E");
    }
    QuorixTsfDraftBridge bridge;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(bridge.Initialize(nullptr, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("MVP02C3E_VR_CONVERT_FEATURE=") + (c.enabled ? "OPT_IN_EXPERIMENTAL" : "OFF") +
                  "\nMVP02C3C_TSF_SINK=PASS scope=DRAFT_ONLY native_candidate_ui=SUPPRESSED\n");
    EXPECT_EQ(bridge.IsVrConvertEnabled(), c.enabled);
    ASSERT_NE(bridge.own_edit(), nullptr);
    EXPECT_EQ(bridge.own_edit()->UnitLimit(), 1000u);
  }
  platform::env::Unset("QUORIXPHONE_TSF_C3E");
}

TEST(TsfDraftBridge, TheReadingIsTheKanaBeforeTheEnd) {
  struct Case {
    const char* name;
    std::u16string draft;
    uint64_t start, end;
    bool requested;
    std::u16string reading;
  } cases[] = {
      {"kanji then kana", u"公園こうえん", 0, kEnd, true, u"こうえん"},
      {"long vowel mark", u"ラーメンらーめん", 0, kEnd, true, u"らーめん"},
      {"start limits", u"はしはし", 3, kEnd, true, u"し"},
      {"explicit end", u"こうえんで", 0, 4, true, u"こうえん"},
      {"Latin end", u"こうえんA", 0, kEnd, false, u""},
      {"end past the draft", u"はし", 0, 3, false, u""},
      {"start after end", u"はし", 2, 1, false, u""},
      {"end inside a pair", u"は𠮷", 0, 2, false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoundDraftBridge b;
    b.Type(c.draft);
    EXPECT_EQ(b.bridge->RequestVrConvert(c.start, c.end), c.requested);
    if (!c.requested) {
      EXPECT_EQ(b.state().status_name, u"NO_KANA");
      continue;
    }
    ASSERT_TRUE(b.PollUntil([](const State& s) { return s.stats_revision == 1; }));
    EXPECT_EQ(b.script->last_reading(), c.reading);
  }
}

// The selection replaces exactly the reading; no draft or candidate text
// reaches standard output on the way.
TEST(TsfDraftBridge, SelectingReplacesExactlyTheReadingAndPrintsNoText) {
  testing::internal::CaptureStdout();
  {
    BoundDraftBridge b;
    b.Type(u"朝、こうえんで");
    ASSERT_TRUE(b.bridge->RequestVrConvert(0, 6));
    ASSERT_TRUE(b.PollUntilStatus(u"BACKGROUND_CANDIDATES"));
    EXPECT_EQ(b.state().candidates, (Values{u"公園", u"講演", u"公演", u"後援", u"こうえん", u"コウエン"}));
    EXPECT_EQ(b.state().last_stats[0], kConversionFound);
    EXPECT_EQ(b.state().last_stats[2], 6u);
    EXPECT_TRUE(b.bridge->IsBusy());
    EXPECT_EQ(b.bridge->SelectCandidate(6), 0);
    EXPECT_EQ(b.bridge->SelectCandidate(1), 1);
    EXPECT_EQ(b.edit.text, u"朝、講演で");
    EXPECT_EQ(b.edit.selection_start(), 4u);
    EXPECT_EQ(b.edit.selection_end(), 4u);
    EXPECT_EQ(b.state().status_name, u"BACKGROUND_FINALIZED");
    EXPECT_FALSE(b.bridge->IsBusy());
  }
  const std::string out = testing::internal::GetCapturedStdout();
  for (const char* text : {"こうえん", "公園", "講演", "朝"}) EXPECT_EQ(out.find(text), std::string::npos) << text;
  EXPECT_NE(out.find("MVP02C3D_NATIVE_SNAPSHOT focus=IN"), std::string::npos);
}

TEST(TsfDraftBridge, TypingDuringAConversionDropsItsResult) {
  BoundDraftBridge b;
  b.script->Hold();
  b.Type(u"はし");
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, kEnd));
  ASSERT_TRUE(b.script->WaitUntilHeld());
  b.Type(u"を");
  EXPECT_EQ(b.state().status_name, u"CANCELED_STALE");
  EXPECT_FALSE(b.bridge->IsBusy());
  EXPECT_EQ(b.edit.text, u"はしを");
}

TEST(TsfDraftBridge, AResultForAnOlderRequestIsDropped) {
  BoundDraftBridge b;
  b.script->Hold();
  b.Type(u"はし");
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, kEnd));
  ASSERT_TRUE(b.script->WaitUntilHeld());
  b.bridge->CancelComposition();
  EXPECT_EQ(b.state().status_name, u"CANCELED_CONTEXT");
  b.edit.text = u"こうえん";
  b.bridge->Poll();
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, kEnd));
  b.script->Release();
  ASSERT_TRUE(b.PollUntil(HasCandidates));
  EXPECT_EQ(b.state().candidates[0], u"公園");
  EXPECT_EQ(b.state().stats_revision, 1u);
}

TEST(TsfDraftBridge, ResultsWithoutCandidatesEndTheRequestByStatus) {
  struct Case {
    const char* name;
    int32_t initialize_code, open_code;
    const char16_t* status;
  } cases[] = {{"no engine", 0, platform::kConvFail, u"PROVIDER_UNAVAILABLE"},
               {"engine set-up fails", platform::kConvFail, 0, u"PROVIDER_REJECTED"},
               {"engine without candidates", 0, 0, u"PROVIDER_REJECTED"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto script = std::make_shared<quorix_test::EngineScript>();
    script->initialize_code = c.initialize_code;
    script->open_code = c.open_code;
    BoundDraftBridge b(quorix_test::SampleHomophones(), script);
    b.Type(u"そら");
    ASSERT_TRUE(b.bridge->RequestVrConvert(0, kEnd));
    ASSERT_TRUE(b.PollUntil([](const State& s) { return s.stats_revision == 1; }));
    EXPECT_EQ(b.state().status_name, c.status);
    EXPECT_FALSE(b.bridge->IsBusy());
    EXPECT_EQ(b.edit.text, u"そら");
  }
}

TEST(TsfDraftBridge, ARequestTimesOutAfterEightSeconds) {
  platform::ManualClock clock;
  platform::SetClockForTesting(&clock);
  {
    BoundDraftBridge b;
    b.script->Hold();
    b.Type(u"あめ");
    b.edit.SetSelection(0, 0);
    ASSERT_TRUE(b.bridge->RequestVrConvert(0, kEnd));
    clock.Advance(8000);
    b.bridge->Poll();
    EXPECT_EQ(b.state().status_name, u"BACKGROUND_REQUESTED");
    clock.Advance(1);
    testing::internal::CaptureStdout();
    b.bridge->Poll();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MVP02C3E_VR_CONVERT=NO_CANDIDATE_TIMEOUT\n");
    EXPECT_EQ(b.state().status_name, u"NO_CANDIDATE_TIMEOUT");
    EXPECT_EQ(b.edit.selection_start(), 2u);
  }
  platform::SetClockForTesting(nullptr);
}

TEST(TsfDraftBridge, ImeCandidatesDuringAWaitAreObservedAndHidden) {
  BoundDraftBridge b;
  ImeCandidateDriver ime;
  b.script->Hold();
  b.Type(u"はし");
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, kEnd));
  bool shown = true;
  testing::internal::CaptureStdout();
  const uint32_t id = ime.Begin({u"橋", u"箸"}, true, &shown);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "MVP02C3E_VR_CONVERT=CANDIDATES_OBSERVED\n");
  EXPECT_FALSE(shown);
  EXPECT_EQ(b.state().status_name, u"CANDIDATES_OBSERVED");
  EXPECT_EQ(b.state().candidates, (Values{u"橋", u"箸"}));
  EXPECT_EQ(b.state().background_candidates, 0);
  ime.End(id);
  EXPECT_EQ(b.state().candidates_present, 0);
  EXPECT_TRUE(ime.Begin({u"端"}, true, &shown) != 0 && shown);  // no wait now: the native list shows
}

TEST(TsfDraftBridge, ImeListsAreCappedAndCutSafely) {
  BoundDraftBridge b;
  ImeCandidateDriver ime;
  std::vector<std::u16string> many(95, u"候補");
  many[0] = std::u16string(47, u'あ') + u"𠮷" + u"い";  // the 48th unit is a high surrogate
  many[1] = std::u16string(60, u'う');
  ime.Begin(many);
  ASSERT_EQ(b.state().candidates.size(), 90u);
  EXPECT_EQ(b.state().candidates[0], std::u16string(47, u'あ'));
  EXPECT_EQ(b.state().candidates[1], std::u16string(48, u'う'));
  EXPECT_TRUE(IsWellFormedText(b.state().candidates[0]));
}

TEST(TsfDraftBridge, ImeSelectionReportsWhatTheInputMethodDid) {
  struct Case {
    const char* name;
    bool behavior;
    bool fail_finalize;
    int32_t result;
    const char* out;
  } cases[] = {
      {"accepted", true, false, 1, "MVP02C3C_SELECTION=API_ACCEPTED\nMVP02C3D_POST_FINALIZE draft_units=2 focus=IN\n"},
      {"rejected", true, true, 0, "MVP02C3C_SELECTION=API_REJECTED\nMVP02C3D_POST_FINALIZE draft_units=2 focus=IN\n"},
      {"no behaviour", false, false, 0, "MVP02C3C_SELECTION=UNSUPPORTED_BEHAVIOR\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoundDraftBridge b;
    ImeCandidateDriver ime;
    b.Type(u"はし");
    const uint32_t id = ime.Begin({u"橋", u"箸"}, c.behavior);
    if (c.fail_finalize) ime.services().FailNext(platform::TsCall::kFinalize);
    testing::internal::CaptureStdout();
    EXPECT_EQ(b.bridge->SelectCandidate(1), c.result);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    if (c.result == 1) {
      EXPECT_EQ(ime.services().finalized(), 1u);
    }
    ime.End(id);
  }
}

TEST(TsfDraftBridge, SyncDraftRefusesWhatTheEditCannotHold) {
  BoundDraftBridge b;
  EXPECT_TRUE(b.bridge->SyncDraft(u"ab𠮷c"));
  EXPECT_TRUE(b.bridge->SyncDraft(u"ab𠮷d"));
  EXPECT_EQ(b.edit.text, u"ab𠮷d");
  EXPECT_FALSE(b.bridge->SyncDraft(std::u16string(1001, u'a')));
  EXPECT_FALSE(b.bridge->SyncDraft(std::u16string(u"a\0b", 3)));
  EXPECT_EQ(b.edit.text, u"ab𠮷d");
  ImeCandidateDriver ime;
  const uint32_t id = ime.Begin({u"橋"});
  EXPECT_FALSE(b.bridge->SyncDraft(u"x"));  // not while candidates are shown
  ime.End(id);
}

TEST(TsfDraftBridge, DestructionDuringAConversionJoinsTheWorker) {
  auto script = std::make_shared<quorix_test::EngineScript>();
  {
    BoundDraftBridge b(quorix_test::SampleHomophones(), script);
    script->Hold();
    b.Type(u"はし");
    ASSERT_TRUE(b.bridge->RequestVrConvert(0, kEnd));
    ASSERT_TRUE(script->WaitUntilHeld());
    std::thread release([&] { script->Release(); });
    b.bridge.reset();
    release.join();
  }
  EXPECT_EQ(script->close_calls(), 1);  // the provider went with the worker
}

}  // namespace
