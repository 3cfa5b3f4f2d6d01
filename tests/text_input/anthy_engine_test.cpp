// The real engine on the system dictionary (no fake, never skipped).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/env.h"
#include "platform/kana_kanji_engine.h"
#include "support/test_util.h"
#include "text_input/kana_conversion.h"
#include "text_input/tsf_draft_bridge.h"

namespace {

// Anthy reads HOME (and XDG_CONFIG_HOME) when it starts, and would keep its
// learning there: the whole binary points both at an empty folder of the build
// tree, whoever runs it, before the first test.
class AnthyHome : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("HOME", QUORIX_TEST_ANTHY_HOME, 1);
    ::setenv("XDG_CONFIG_HOME", QUORIX_TEST_ANTHY_HOME, 1);
    (void)platform::env::Set("HOME", QUORIX_TEST_ANTHY_HOME);
    (void)platform::env::Set("XDG_CONFIG_HOME", QUORIX_TEST_ANTHY_HOME);
  }
};
[[maybe_unused]] ::testing::Environment* const anthy_home = ::testing::AddGlobalTestEnvironment(new AnthyHome);

bool Has(const ConversionResult& r, const std::u16string& text) {
  return std::find(r.candidates.begin(), r.candidates.end(), text) != r.candidates.end();
}

// Anthy only: the dictionary path leads nowhere.
KanaConversionProvider AnthyProvider() { return KanaConversionProvider(platform::MakeAnthyEngine, "/nonexistent/h.bin"); }

TEST(AnthyEngine, ClausesTileTheReadingAndTheOutput) {
  auto engine = platform::MakeAnthyEngine();
  ASSERT_EQ(engine->Initialize(), platform::kConvOk);
  ASSERT_EQ(engine->Open(), platform::kConvOk);
  const std::u16string reading = u"きょうはいいてんきです";
  for (uint32_t mode : {platform::kConvModePlural, platform::kConvModeSingle}) {
    SCOPED_TRACE(mode);
    std::optional<platform::EngineAnswer> a;
    ASSERT_EQ(engine->Next(mode, &reading, platform::TickCount64() + 60000, &a), platform::kConvOk);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->reading_echo, reading);
    EXPECT_EQ(a->declared_size, platform::DeclaredAnswerSize(*a));
    if (mode == platform::kConvModePlural) {
      EXPECT_GE(a->descriptors.size(), 2u);
    } else {
      EXPECT_EQ(a->descriptors.size(), 1u);
    }
    uint32_t r = 0, d = 0;
    for (const auto& desc : a->descriptors) {
      EXPECT_EQ(desc.reading_pos, r);
      EXPECT_EQ(desc.display_pos, d);
      r += desc.reading_len;
      d += desc.display_len;
    }
    EXPECT_EQ(r, reading.size());
    EXPECT_EQ(d, a->output.size());
    // Later calls move on until nothing is left.
    int more = 0;
    while (engine->Next(mode, nullptr, 0, &a) == platform::kConvOk && more < 2000) ++more;
    EXPECT_GT(more, 0);
    EXPECT_LT(more, 2000);
  }
  engine->Close();
}

// Common readings convert on four providers at once, and Anthy keeps no
// learning under HOME.
TEST(AnthyEngine, ProvidersOnFourThreadsConvertAndWriteNothingUnderHome) {
  std::vector<std::thread> threads;
  std::vector<int> found(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &found] {
      KanaConversionProvider provider = AnthyProvider();
      for (int i = 0; i < 3; ++i) {
        const ConversionResult today = provider.Convert(1, u"きょうは");
        const ConversionResult park = provider.Convert(2, u"こうえん");
        found[static_cast<size_t>(t)] += today.status == kConversionFound && Has(today, u"今日は") &&
                                         Has(park, u"公園") && Has(park, u"講演") && Has(park, u"コウエン") &&
                                         park.dictionary_state == kDictionaryUnopenable;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(found, (std::vector<int>{3, 3, 3, 3}));
  EXPECT_EQ(quorix_test::CountDirectoryEntries(QUORIX_TEST_ANTHY_HOME), 0u);
}

TEST(AnthyEngine, ABoundBridgeConvertsWithAnthyAndTheShippedDictionary) {
  const std::filesystem::path dictionary =
      std::filesystem::path(QUORIX_TEST_BUILD_DIR) / "assets" / "ime" / "homophones.bin";
  QuorixTsfDraftBridge bridge([dictionary] { return std::make_unique<KanaConversionProvider>(platform::MakeAnthyEngine, dictionary); });
  platform::InProcessDraftEdit edit;
  ASSERT_TRUE(bridge.Initialize(&edit, &edit));
  ASSERT_TRUE(bridge.SyncDraft(u"こうえん"));
  ASSERT_TRUE(bridge.RequestVrConvert(0, QuorixTsfDraftBridge::kToDraftEnd));
  ASSERT_TRUE(quorix_test::WaitFor(
      [&] {
        bridge.Poll();
        return bridge.GetState()->background_candidates != 0;
      },
      std::chrono::seconds(60)));
  const auto& list = bridge.GetState()->candidates;
  const auto at = [&](const std::u16string& text) { return std::find(list.begin(), list.end(), text) - list.begin(); };
  ASSERT_LT(at(u"公園"), static_cast<long>(list.size()));
  ASSERT_LT(at(u"講演"), static_cast<long>(list.size()));
  EXPECT_EQ(bridge.GetState()->last_stats[3], kDictionaryOpen);
  EXPECT_EQ(bridge.SelectCandidate(static_cast<uint32_t>(at(u"講演"))), 1);
  EXPECT_EQ(edit.text, u"講演");
}

}  // namespace
