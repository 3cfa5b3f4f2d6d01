#include "core/environment.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/env.h"

namespace {

std::optional<std::string> Raw(const char* name) { return platform::env::Get(name); }

TEST(ReadEnvironment, EmptyUnsetLengthBoundsAndExactProductionMode) {
  platform::env::Set("QX_E1", "");
  EXPECT_EQ(ReadEnvironmentString(u"QX_E1"), u"");
  platform::env::Unset("QX_E1");
  EXPECT_EQ(ReadEnvironmentString(u"QX_E1"), u"");

  platform::env::Set("QX_E1", std::string(32766, 'x'));
  EXPECT_EQ(ReadEnvironmentString(u"QX_E1").size(), 32766u);
  platform::env::Set("QX_E1", std::string(32767, 'x'));
  EXPECT_EQ(ReadEnvironmentString(u"QX_E1"), u"");
  EXPECT_EQ(ReadEnvironmentStringWiped(u"QX_E1").size(), 32767u);
  platform::env::Set("QX_E1", std::string(32768, 'x'));
  EXPECT_EQ(ReadEnvironmentStringWiped(u"QX_E1"), u"");
  EXPECT_EQ(ReadEnvironmentValue(u"QX_E1").size(), 32768u);

  platform::env::Set("QX_E1", "\xE3\x81\x82");
  EXPECT_EQ(ReadEnvironmentString(u"QX_E1"), u"\u3042");
  platform::env::Set("QX_E1", "\xFF");  // not UTF-8: unreadable as text
  EXPECT_EQ(ReadEnvironmentString(u"QX_E1"), u"");
  platform::env::Unset("QX_E1");

  ScopedEnvironmentVariable restore(u"QUORIX_RUNTIME_MODE");
  platform::env::Set("QUORIX_RUNTIME_MODE", "LIVE_PRODUCTION_RC");
  EXPECT_TRUE(IsLiveProductionMode());
  platform::env::Set("QUORIX_RUNTIME_MODE", "live_production_rc");
  EXPECT_FALSE(IsLiveProductionMode());
  platform::env::Set("QUORIX_RUNTIME_MODE", "LIVE_PRODUCTION_RC ");
  EXPECT_FALSE(IsLiveProductionMode());
}

TEST(ProcessFlags, SetsRemovesRefusesNonAsciiAndReportsEachCopysFailure) {
  SetProcessEnvironmentFlag(u"QX_FLAG", std::u16string_view(u"1"));
  EXPECT_EQ(Raw("QX_FLAG"), "1");
  EXPECT_THROW(SetProcessEnvironmentFlag(u"QX_FLAG", std::u16string_view(u"\u00e9")), std::runtime_error);
  EXPECT_EQ(Raw("QX_FLAG"), "1");  // untouched
  try {
    SetProcessEnvironmentFlag(u"QX_\u00c9", std::u16string_view(u"1"));
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "NON_ASCII_FLAG_NAME");
  }
  SetProcessEnvironmentFlag(u"QX_FLAG", std::nullopt);
  EXPECT_FALSE(Raw("QX_FLAG").has_value());

  for (auto failing : {platform::env::Layer::kRuntime, platform::env::Layer::kProcess}) {
    platform::env::SetWriteFaultForTesting([failing](platform::env::Layer layer, std::string_view) {
      return layer != failing;
    });
    try {
      SetProcessEnvironmentFlag(u"QX_FLAG2", std::u16string_view(u"1"));
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), failing == platform::env::Layer::kRuntime ? "CRT_ENVIRONMENT_FAILED"
                                                                       : "WIN32_ENVIRONMENT_FAILED");
    }
  }
  platform::env::SetWriteFaultForTesting({});
  platform::env::Unset("QX_FLAG2");
}

TEST(ScopedVariable, RestoresTheValueOrRemovesIt) {
  platform::env::Set("QX_SCOPED", "before");
  {
    ScopedEnvironmentVariable scoped(u"QX_SCOPED", std::u16string_view(u"during"));
    EXPECT_EQ(Raw("QX_SCOPED"), "during");
  }
  EXPECT_EQ(Raw("QX_SCOPED"), "before");
  platform::env::Unset("QX_SCOPED");
  {
    ScopedEnvironmentVariable scoped(u"QX_SCOPED", std::u16string_view(u"during"));
  }
  EXPECT_FALSE(Raw("QX_SCOPED").has_value());
}

TEST(BrowserRoute, ParseTakesAWholeNonZeroGenerationAndPublishCountsOnlyChanges) {
  EXPECT_TRUE(ParseBrowserRouteEnvironment(u"dev", u"1").valid);
  const auto max = ParseBrowserRouteEnvironment(u"dev", u"18446744073709551615");
  EXPECT_TRUE(max.valid);
  EXPECT_EQ(max.output_generation, UINT64_MAX);
  for (const char16_t* bad : {u"0", u"12a", u"", u"-1", u" 1", u"18446744073709551616", u"100000000000000000000"}) {
    const auto r = ParseBrowserRouteEnvironment(u"dev", bad);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.output_generation, 0u);
    EXPECT_TRUE(r.render_endpoint_id.empty());
  }
  EXPECT_FALSE(ParseBrowserRouteEnvironment(u"", u"5").valid);
  EXPECT_FALSE(ParseBrowserRouteEnvironment(std::u16string(u"a\0b", 3), u"5").valid);
  EXPECT_TRUE(ParseBrowserRouteEnvironment(std::u16string(32767, u'x'), u"5").valid);
  EXPECT_FALSE(ParseBrowserRouteEnvironment(std::u16string(32768, u'x'), u"5").valid);

  BrowserRouteEnvironment state;
  ASSERT_TRUE(PublishBrowserRenderId(state, u"speakers"));
  ASSERT_TRUE(PublishBrowserRenderId(state, u"speakers"));
  EXPECT_EQ(state.output_generation, 1u);
  auto read = ReadBrowserRouteEnvironment();
  EXPECT_TRUE(read.valid);
  EXPECT_EQ(read.render_endpoint_id, u"speakers");
  EXPECT_EQ(read.output_generation, 1u);

  ASSERT_TRUE(PublishBrowserRenderId(state, u""));
  EXPECT_EQ(state.output_generation, 2u);
  EXPECT_FALSE(Raw("QUORIX_BROWSER_RENDER_ID").has_value());
  EXPECT_EQ(Raw("QUORIX_BROWSER_OUTPUT_GENERATION"), "2");
  EXPECT_FALSE(ReadBrowserRouteEnvironment().valid);  // no id: nothing to route to

  // The generation cannot be written once; removing both afterwards works.
  int refusals = 1;
  platform::env::SetWriteFaultForTesting([&refusals](platform::env::Layer, std::string_view name) {
    return !(name == "QUORIX_BROWSER_OUTPUT_GENERATION" && refusals-- > 0);
  });
  EXPECT_FALSE(PublishBrowserRenderId(state, u"headset"));
  platform::env::SetWriteFaultForTesting({});
  EXPECT_EQ(state.output_generation, 0u);
  EXPECT_TRUE(state.render_endpoint_id.empty());
  EXPECT_FALSE(Raw("QUORIX_BROWSER_RENDER_ID").has_value());
  EXPECT_FALSE(Raw("QUORIX_BROWSER_OUTPUT_GENERATION").has_value());

  BrowserRouteEnvironment wrapped{u"a", UINT64_MAX, true};
  EXPECT_FALSE(PublishBrowserRenderId(wrapped, u"b"));
  EXPECT_EQ(wrapped.output_generation, 0u);
}

}  // namespace
