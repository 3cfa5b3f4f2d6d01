#include "text_input/kana_conversion.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/text.h"
#include "platform/clock.h"
#include "support/scripted_kana_engine.h"
#include "support/test_util.h"
#include "text_input/homophone_format.h"

namespace {

using platform::ConversionDescriptor;
using platform::kConvModePlural;
using platform::kConvModeSingle;
using quorix_test::EngineScript;
using quorix_test::MakeAnswer;
using Values = std::vector<std::u16string>;

class KanaConversionTest : public ::testing::Test {
 protected:
  KanaConversionTest() {
    platform::SetClockForTesting(&clock_);
    script_->clock = &clock_;
    WriteDictionary({{"こうえん", {"公園", "講演", "公演"}}, {"いく", {"行く", "逝く"}}, {"みち", {"道", "未知"}}});
  }
  ~KanaConversionTest() override { platform::SetClockForTesting(nullptr); }

  void WriteDictionary(std::vector<homophone_format::Entry> entries) {
    quorix_test::WriteFile(dict_, homophone_format::BuildFile(std::move(entries)));
  }
  std::unique_ptr<KanaConversionProvider> Provider() {
    return std::make_unique<KanaConversionProvider>(quorix_test::ScriptedEngineFactory(script_), dict_);
  }
  // The plural mode's first answer for みちをいく: 道|を|行く.
  static platform::EngineAnswer Phrase() {
    return MakeAnswer(u"道を行く", u"みちをいく", {{0, 2, 0, 1}, {2, 1, 1, 1}, {3, 2, 2, 2}});
  }

  platform::ManualClock clock_;
  std::shared_ptr<EngineScript> script_ = std::make_shared<EngineScript>();
  quorix_test::TempDir dir_;
  std::filesystem::path dict_ = dir_.path() / "homophones.bin";
};

TEST_F(KanaConversionTest, InvalidReadingsNeverReachTheEngine) {
  auto provider = Provider();
  for (const std::u16string& reading : {std::u16string(), std::u16string(1001, u'あ'), std::u16string(u"あ\0い", 3)}) {
    const ConversionResult r = provider->Convert(7, reading);
    EXPECT_EQ(r.status, kConversionRejected);
    EXPECT_EQ(r.request_id, 7u);
    EXPECT_EQ(r.elapsed_ms, 0u);
    EXPECT_TRUE(r.candidates.empty());
  }
  EXPECT_EQ(script_->made(), 0);
}

TEST_F(KanaConversionTest, WithoutAnEngineTheDictionaryStillAnswers) {
  struct Case {
    const char* name;
    int32_t initialize_code;
    bool no_engine;
    uint32_t empty_status;
  } cases[] = {{"no engine", 0, true, kConversionNoEngine},
               {"open fails", 0, false, kConversionNoEngine},
               {"set-up fails", static_cast<int32_t>(0x8001010Eu), false, kConversionNoEngineSetup}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_ = std::make_shared<EngineScript>();
    script_->initialize_code = c.initialize_code;
    script_->open_code = platform::kConvFail;
    KanaConversionProvider provider(
        c.no_engine ? quorix_test::NoEngineFactory() : quorix_test::ScriptedEngineFactory(script_), dict_);
    ConversionResult r = provider.Convert(1, u"こうえん");
    EXPECT_EQ(r.status, kConversionFound);
    EXPECT_EQ(r.hresult, 0);
    EXPECT_EQ(r.candidates, (Values{u"公園", u"講演", u"公演", u"こうえん", u"コウエン"}));
    EXPECT_EQ(r.dictionary_added, 3u);
    EXPECT_EQ(r.dictionary_state, kDictionaryOpen);
    r = provider.Convert(2, u"そら");
    EXPECT_EQ(r.status, c.empty_status);
    EXPECT_NE(r.hresult, 0);
    EXPECT_TRUE(r.candidates.empty());
    EXPECT_EQ(script_->made(), c.no_engine ? 0 : 1);  // opened once, never retried
    EXPECT_EQ(script_->open_calls(), c.no_engine || c.initialize_code != 0 ? 0 : 1);
  }
}

TEST_F(KanaConversionTest, CandidatesAreListedOnceAndCapped) {
  script_->calls[kConvModePlural] = {{0, MakeAnswer(u"公園")}, {0, MakeAnswer(u"講演")}};
  script_->calls[kConvModeSingle] = {{0, MakeAnswer(u"公園")}, {0, MakeAnswer(u"こうえん")}};
  ConversionResult r = Provider()->Convert(1, u"こうえん");
  EXPECT_EQ(r.candidates, (Values{u"公園", u"講演", u"こうえん", u"公演", u"コウエン"}));
  EXPECT_EQ(r.dictionary_added, 1u);
  EXPECT_EQ(r.hresult, 0);

  // 126 from the dictionary, then the reading and its katakana: 128.
  homophone_format::Entry big{"かず", {}};
  for (int i = 0; i < 126; ++i) big.values.push_back("数" + std::to_string(i));
  WriteDictionary({big});
  script_->calls.clear();
  r = Provider()->Convert(1, u"かず");
  ASSERT_EQ(r.candidates.size(), 128u);
  EXPECT_EQ(r.candidates[126], u"かず");
  EXPECT_EQ(r.candidates[127], u"カズ");
}

TEST_F(KanaConversionTest, AMalformedAnswerGivesNoClausesButKeepsItsOutput) {
  const auto with = [](auto change) {
    platform::EngineAnswer a = Phrase();
    change(a);
    return a;
  };
  struct Case {
    const char* name;
    platform::EngineAnswer answer;
    bool output_kept;
  } cases[] = {
      {"size too small", with([](auto& a) { a.declared_size = 75; }), false},
      {"size over 1 MiB", with([](auto& a) { a.declared_size = 1024 * 1024 + 1; }), false},
      {"size short of the output", with([](auto& a) { a.declared_size = 76 + 2 * 4 - 1; }), false},
      {"output with NUL", with([](auto& a) { a.output = std::u16string(u"道\0行く", 4); }), false},
      {"size short of the descriptors", with([](auto& a) { a.declared_size -= 1; }), true},
      {"echo differs", with([](auto& a) { a.reading_echo = u"みちをゆく"; }), true},
      {"overlapping", with([](auto& a) { a.descriptors[1].reading_pos = 1; }), true},
      {"past the reading", with([](auto& a) { a.descriptors[2].reading_len = 3; }), true},
      {"past the phrase", with([](auto& a) { a.descriptors[2].display_len = 0xFFFFFFFFu; }), true},
      {"no descriptors", MakeAnswer(u"道を行く", u"みちをいく", {}), true},
      {"513 descriptors",
       MakeAnswer(u"道を行く", u"みちをいく", std::vector<ConversionDescriptor>(513, ConversionDescriptor{})), true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.answer.declared_size == Phrase().declared_size) c.answer.declared_size = platform::DeclaredAnswerSize(c.answer);
    script_ = std::make_shared<EngineScript>();
    script_->calls[kConvModePlural] = {{0, c.answer}};
    const ConversionResult r = Provider()->Convert(1, u"みちをいく");
    Values want;
    if (c.output_kept) want.push_back(u"道を行く");
    want.insert(want.end(), {u"みちをいく", u"ミチヲイク"});
    if (!c.output_kept) want.clear();  // nothing at all: no phrase, no homophone of the whole reading
    EXPECT_EQ(r.candidates, want);
    EXPECT_EQ(r.dictionary_added, 0u);
  }

  // A clause boundary between the halves of a surrogate pair.
  script_ = std::make_shared<EngineScript>();
  script_->calls[kConvModePlural] = {{0, MakeAnswer(u"𠮷を行く", u"みちをいく", {{0, 3, 0, 1}, {3, 2, 3, 2}})}};
  EXPECT_EQ(Provider()->Convert(1, u"みちをいく").candidates, (Values{u"𠮷を行く", u"みちをいく", u"ミチヲイク"}));
}

TEST_F(KanaConversionTest, ClausesAreSubstitutedRoundByRound) {
  script_->calls[kConvModePlural] = {{0, Phrase()}};
  ConversionResult r = Provider()->Convert(1, u"みちをいく");
  EXPECT_EQ(r.candidates,
            (Values{u"道を行く", u"未知を行く", u"道を逝く", u"みちをいく", u"ミチヲイク"}));
  EXPECT_EQ(r.dictionary_added, 2u);

  // A clause with 20 alternatives offers its first 16.
  homophone_format::Entry many{"みち", {}};
  for (int i = 0; i < 20; ++i) many.values.push_back("路" + std::to_string(i));
  WriteDictionary({many});
  r = Provider()->Convert(1, u"みちをいく");
  ASSERT_EQ(r.candidates.size(), 1u + 16u + 2u);
  EXPECT_EQ(r.candidates[16], u"路15を行く");
}

TEST_F(KanaConversionTest, TheBudgetIsCheckedAfterEachCall) {
  for (int i = 0; i < 5; ++i) {
    script_->calls[kConvModePlural].push_back({0, MakeAnswer(u"案" + Utf8ToWide(std::to_string(i)))});
    script_->calls[kConvModeSingle].push_back({0, MakeAnswer(u"単" + Utf8ToWide(std::to_string(i)))});
  }
  script_->cost_ms = 300;
  const ConversionResult r = Provider()->Convert(1, u"そら");
  EXPECT_EQ(script_->next_calls(kConvModePlural), 2);
  EXPECT_EQ(script_->next_calls(kConvModeSingle), 1);
  EXPECT_EQ(r.elapsed_ms, 900u);
  EXPECT_EQ(r.candidates, (Values{u"案0", u"案1", u"単0", u"そら", u"ソラ"}));

  // Without a cost, a mode ends at the engine's "no more" and keeps its code.
  script_->cost_ms = 0;
  script_->calls[kConvModeSingle].clear();
  EXPECT_EQ(Provider()->Convert(1, u"そら").candidates.size(), 5u + 2u);
}

}  // namespace
