#include "core/ui_settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include "core/environment.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;
using quorix_test::TempDir;
using quorix_test::WriteFile;

const char kDefaultText[] =
    "{\"ring_black\":false,\"notifications\":true,\"wrist_x\":0,\"wrist_y\":-0.025,\"wrist_z\":0.1,"
    "\"normal_x\":0,\"normal_y\":1,\"normal_z\":0,\"pull_m\":0.03,\"grab_radius_m\":0.12,"
    "\"spawn_distance_m\":0.65,\"spawn_height_m\":0,\"phone_width_m\":0.24,\"ray_pitch_deg\":-45,"
    "\"ray_yaw_deg\":0,\"ring_visibility_deg\":80,\"pointer_left\":false,\"pointer_blue\":false,"
    "\"pointer_size_percent\":100,\"dark\":false,\"english\":false,\"ui_volume\":100,\"browser_volume\":100,"
    "\"browser_size_youtube\":1,\"browser_size_x\":1,\"browser_size_web\":1,\"notification_mode\":0,"
    "\"peer_modes\":[]}";

class UiSettingsTest : public testing::Test {
 protected:
  std::string root() const { return (dir_.path() / "root").string(); }
  std::filesystem::path file() const { return dir_.path() / "root" / "settings" / "wrist_home_v1"; }

  // Loads a fresh record from `text` stored under the test's root.
  UiSettings LoadText(const std::string& text) {
    std::filesystem::create_directories(file().parent_path());
    WriteFile(file(), text);
    UiSettings s;
    EXPECT_TRUE(Load(s, root()));
    return s;
  }
  static bool Load(UiSettings& s, const std::string& where) {
    testing::internal::CaptureStdout();
    const bool ok = s.Load(where);
    testing::internal::GetCapturedStdout();
    return ok;
  }
  // The text a record writes.
  std::string SavedText(UiSettings& s) {
    if (!s.store.initialized) {
      // The store only: loading would overwrite the fields under test.
      testing::internal::CaptureStdout();
      EXPECT_TRUE(s.store.Initialize((dir_.path() / "scratch").string()));
      testing::internal::GetCapturedStdout();
    }
    EXPECT_TRUE(s.Save());
    return ReadFile(std::filesystem::path(s.store.root) / "settings" / "wrist_home_v1");
  }

  TempDir dir_;
};

TEST_F(UiSettingsTest, DefaultRecordTextIsExactInAnyLocale) {
  UiSettings s;
  EXPECT_EQ(SavedText(s), kDefaultText);
  EXPECT_FALSE(s.store_failed);

  // An empty object leaves every field at its default.
  UiSettings loaded = LoadText("{}");
  EXPECT_EQ(SavedText(loaded), kDefaultText);

  const std::string old_c_locale = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  const std::locale old_global = std::locale::global(std::locale("de_DE.UTF-8"));
  UiSettings german;
  german.wrist_x = 0.125f;
  const std::string text = SavedText(german);
  UiSettings back = LoadText(text);
  std::locale::global(old_global);
  std::setlocale(LC_ALL, old_c_locale.c_str());
  EXPECT_NE(text.find("\"wrist_x\":0.125,\"wrist_y\":-0.025,"), std::string::npos) << text;
  EXPECT_EQ(back.wrist_x, 0.125f);
  EXPECT_EQ(back.spawn_distance_m, 0.65f);
}

TEST_F(UiSettingsTest, FlagsAndNotificationModes) {
  UiSettings a = LoadText(R"({"notifications":false})");
  EXPECT_EQ(a.notification_mode, 2);
  EXPECT_FALSE(a.notifications);
  UiSettings b = LoadText(R"({"notifications":false,"notification_mode":1})");
  EXPECT_EQ(b.notification_mode, 1);
  EXPECT_TRUE(b.notifications);
  UiSettings c = LoadText(R"({"notification_mode":1.9})");
  EXPECT_EQ(c.notification_mode, 1);
  EXPECT_EQ(LoadText(R"({"notification_mode":2})").notifications, false);
  // Above 2 is out of range, not truncated.
  EXPECT_EQ(LoadText(R"({"notification_mode":2.7})").notification_mode, 0);
  UiSettings d = LoadText(R"({"notification_mode":3,"notifications":true})");
  EXPECT_EQ(d.notification_mode, 0);
  UiSettings e = LoadText(R"({"notification_mode":"1","notifications":false})");
  EXPECT_EQ(e.notification_mode, 2);

  UiSettings f = LoadText(R"({"ring_black":true,"dark":true,"english":true,"pointer_left":true,"pointer_blue":true})");
  EXPECT_TRUE(f.ring_black && f.dark && f.english && f.pointer_left && f.pointer_blue);
  UiSettings g = LoadText(R"({"ring_black":1,"dark":"true","english":null})");
  EXPECT_FALSE(g.ring_black || g.dark || g.english);
}

TEST_F(UiSettingsTest, IntegersAreClampedRoundedOrRefusedAsTheirRulesSay) {
  const std::pair<const char*, uint32_t> pointer[] = {{"10", 50},    {"62", 50},      {"63", 75},
                                                      {"137.5", 125}, {"1000", 200},  {"-1e300", 50}};
  for (const auto& [text, expected] : pointer) {
    EXPECT_EQ(LoadText(std::string("{\"pointer_size_percent\":") + text + "}").pointer_size_percent, expected)
        << text;
  }
  EXPECT_EQ(LoadText(R"({"ui_volume":150})").ui_volume, 100u);
  EXPECT_EQ(LoadText(R"({"ui_volume":-5})").ui_volume, 0u);
  EXPECT_EQ(LoadText(R"({"ui_volume":42.9})").ui_volume, 42u);
  EXPECT_EQ(LoadText(R"({"browser_volume":250})").browser_volume, 200u);
  EXPECT_EQ(LoadText(R"({"browser_volume":1e300})").browser_volume, 200u);
  EXPECT_EQ(LoadText(R"({"browser_volume":"150"})").browser_volume, 100u);
  EXPECT_EQ(LoadText(R"({"browser_size_x":1.5})").browser_size_x, 1u);
  EXPECT_EQ(LoadText(R"({"browser_size_x":3})").browser_size_x, 1u);
  EXPECT_EQ(LoadText(R"({"browser_size_x":-1})").browser_size_x, 1u);
  EXPECT_EQ(LoadText(R"({"browser_size_x":2})").browser_size_x, 2u);
  UiSettings sizes = LoadText(R"({"browser_size_youtube":0,"browser_size_web":2.0})");
  EXPECT_EQ(sizes.browser_size_youtube, 0u);
  EXPECT_EQ(sizes.browser_size_web, 2u);
}

TEST_F(UiSettingsTest, FloatsOutsideTheirRangeAreIgnoredAndTheNormalIsNormalised) {
  EXPECT_EQ(LoadText(R"({"wrist_x":0.3})").wrist_x, 0.0f);
  EXPECT_EQ(LoadText(R"({"wrist_x":-0.1})").wrist_x, -0.1f);
  EXPECT_EQ(LoadText(R"({"phone_width_m":1e300})").phone_width_m, 0.24f);
  EXPECT_EQ(LoadText(R"({"ray_yaw_deg":-1e-300})").ray_yaw_deg, -0.0f);

  UiSettings small = LoadText(R"({"normal_x":0,"normal_y":0,"normal_z":0.05})");
  EXPECT_EQ(small.normal_x, 0.0f);
  EXPECT_EQ(small.normal_y, 1.0f);
  EXPECT_EQ(small.normal_z, 0.0f);
  UiSettings tilted = LoadText(R"({"normal_x":0.3,"normal_y":0.4,"normal_z":0})");
  EXPECT_FLOAT_EQ(tilted.normal_x, 0.6f);
  EXPECT_FLOAT_EQ(tilted.normal_y, 0.8f);
  EXPECT_EQ(tilted.normal_z, 0.0f);
  UiSettings partly = LoadText(R"({"normal_x":0.3,"normal_y":0.4,"normal_z":2})");
  EXPECT_FLOAT_EQ(partly.normal_x, 0.6f);
  EXPECT_FLOAT_EQ(partly.normal_y, 0.8f);
  EXPECT_EQ(partly.normal_z, 0.0f);

  UiSettings ring = LoadText(R"({"ring_visibility_deg":30.5})");
  EXPECT_EQ(ring.ring_visibility_deg, 30.5f);
  EXPECT_EQ(ring.ring_appear_deg, 29.5f);
  EXPECT_EQ(LoadText(R"({"ring_visibility_deg":4})").ring_visibility_deg, 80.0f);
  // The setter clamps where loading refuses.
  UiSettings set;
  set.SetRingVisibilityDegrees(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(set.ring_visibility_deg, 80.0f);
  set.SetRingVisibilityDegrees(1.0f);
  EXPECT_EQ(set.ring_visibility_deg, 5.0f);
  EXPECT_EQ(set.ring_appear_deg, 4.0f);
  set.SetRingVisibilityDegrees(120.0f);
  EXPECT_EQ(set.ring_visibility_deg, 90.0f);
  // One bad member leaves the others.
  UiSettings mixed = LoadText(R"({"pull_m":"x","grab_radius_m":0.05,"spawn_height_m":-0.5,"ray_pitch_deg":10})");
  EXPECT_EQ(mixed.pull_m, 0.03f);
  EXPECT_EQ(mixed.grab_radius_m, 0.05f);
  EXPECT_EQ(mixed.spawn_height_m, 0.0f);
  EXPECT_EQ(mixed.ray_pitch_deg, 10.0f);
  // A malformed text keeps all defaults.
  UiSettings broken = LoadText(R"({"dark":true,})");
  EXPECT_FALSE(broken.dark);
}

TEST_F(UiSettingsTest, EveryFloatSavedAtItsBoundsLoadsBackEqual) {
  struct Bound {
    float UiSettings::*field;
    float lo, hi;
  };
  const Bound bounds[] = {
      {&UiSettings::wrist_x, -0.2f, 0.2f},         {&UiSettings::wrist_y, -0.2f, 0.2f},
      {&UiSettings::wrist_z, -0.2f, 0.2f},         {&UiSettings::pull_m, 0.015f, 0.08f},
      {&UiSettings::grab_radius_m, 0.025f, 0.16f}, {&UiSettings::spawn_distance_m, 0.35f, 1.5f},
      {&UiSettings::spawn_height_m, -0.45f, 0.25f}, {&UiSettings::phone_width_m, 0.16f, 0.4f},
      {&UiSettings::ray_pitch_deg, -80.0f, 80.0f}, {&UiSettings::ray_yaw_deg, -90.0f, 90.0f},
      {&UiSettings::ring_visibility_deg, 5.0f, 90.0f},
  };
  for (const Bound& b : bounds) {
    for (const float value : {b.lo, b.hi}) {
      UiSettings s;
      s.*b.field = value;
      UiSettings back = LoadText(SavedText(s));
      EXPECT_EQ(back.*b.field, value) << value;
    }
  }
  for (int axis = 0; axis < 3; ++axis) {
    for (const float sign : {-1.0f, 1.0f}) {
      UiSettings s;
      s.normal_x = axis == 0 ? sign : 0.0f;
      s.normal_y = axis == 1 ? sign : 0.0f;
      s.normal_z = axis == 2 ? sign : 0.0f;
      UiSettings back = LoadText(SavedText(s));
      EXPECT_EQ(back.normal_x, s.normal_x);
      EXPECT_EQ(back.normal_y, s.normal_y);
      EXPECT_EQ(back.normal_z, s.normal_z);
    }
  }
  // A whole record off its defaults survives a round trip, and saving it
  // again gives the same text.
  UiSettings s;
  s.ring_black = s.dark = s.english = s.pointer_left = s.pointer_blue = true;
  s.wrist_x = 0.1234567f;
  s.ray_yaw_deg = -12.5f;
  s.pointer_size_percent = 175;
  s.ui_volume = 0;
  s.browser_volume = 200;
  s.browser_size_youtube = 0;
  s.browser_size_web = 2;
  s.notification_mode = 1;
  s.peer_modes = {{"me/you", 2}, {"me/them", 0}};
  const std::string text = SavedText(s);
  UiSettings back = LoadText(text);
  EXPECT_EQ(SavedText(back), text);
  EXPECT_EQ(back.peer_modes, s.peer_modes);
}

TEST_F(UiSettingsTest, SavePutsNonFiniteAndOutOfRangeFieldsRight) {
  UiSettings s;
  s.wrist_x = std::numeric_limits<float>::quiet_NaN();
  s.ray_pitch_deg = std::numeric_limits<float>::infinity();
  s.wrist_y = 0.05f;
  s.dark = true;
  s.ui_volume = 500;
  s.browser_volume = 9999;
  s.pointer_size_percent = 7;
  s.browser_size_x = 9;
  const std::string text = SavedText(s);
  // In the record itself, and in what it wrote.
  EXPECT_EQ(s.wrist_x, 0.0f);
  EXPECT_EQ(s.ray_pitch_deg, -45.0f);
  EXPECT_EQ(s.ui_volume, 100u);
  EXPECT_EQ(s.browser_volume, 200u);
  EXPECT_EQ(s.pointer_size_percent, 50u);
  EXPECT_EQ(s.browser_size_x, 1u);
  EXPECT_NE(text.find("\"ui_volume\":100,\"browser_volume\":200,"), std::string::npos);
  UiSettings back = LoadText(text);
  EXPECT_EQ(back.wrist_x, 0.0f);
  EXPECT_EQ(back.ray_pitch_deg, -45.0f);
  EXPECT_EQ(back.wrist_y, 0.05f);
  EXPECT_TRUE(back.dark);
}

TEST_F(UiSettingsTest, PeerModes) {
  auto list = [](size_t count) {
    std::string text = "{\"peer_modes\":[";
    for (size_t i = 0; i < count; ++i) {
      if (i != 0) text += ',';
      text += "{\"key\":\"me/p" + std::to_string(i) + "\",\"mode\":1}";
    }
    return text + "]}";
  };
  EXPECT_EQ(LoadText(list(10000)).peer_modes.size(), 10000u);
  EXPECT_TRUE(LoadText(list(10001)).peer_modes.empty());

  const std::string key258(258, 'k');
  const std::string key259(259, 'k');
  UiSettings s = LoadText("{\"peer_modes\":[{\"key\":\"a\",\"mode\":2.9},{\"key\":\"b\",\"mode\":-0.5},"
                          "{\"key\":\"c\",\"mode\":3},{\"key\":\"d\",\"mode\":-1},{\"key\":\"" + key259 +
                          "\",\"mode\":1},{\"key\":\"" + key258 +
                          "\",\"mode\":1},{\"key\":\"a\",\"mode\":1},{\"key\":5,\"mode\":1},"
                          "{\"mode\":1},{\"key\":\"e\"},7,{\"key\":\"f\",\"mode\":\"1\"},{\"key\":\"\",\"mode\":0}]}");
  const std::map<std::string, int32_t> expected = {{"a", 1}, {"b", 0}, {key258, 1}, {"", 0}};
  EXPECT_EQ(s.peer_modes, expected);
  EXPECT_TRUE(LoadText(R"({"peer_modes":{"key":"a","mode":1}})").peer_modes.empty());

  UiSettings saved;
  saved.peer_modes = {{"me/a b", 1}, {"\xC3\xA9", 1}, {"a/b", 2}, {"A.z_-", 0}, {"", 1}, {"q\"", 1}};
  const std::string text = SavedText(saved);
  EXPECT_NE(text.find(R"("peer_modes":[{"key":"","mode":1},{"key":"A.z_-","mode":0},{"key":"a/b","mode":2}]})"),
            std::string::npos)
      << text;
}

TEST_F(UiSettingsTest, PeerNotificationModeIsClampedAndSavedEvenWithoutIds) {
  UiSettings s;
  ASSERT_TRUE(Load(s, root()));
  s.SetPeerNotificationMode("me", "you", 5);
  EXPECT_EQ(s.peer_modes.at("me/you"), 2);
  EXPECT_NE(ReadFile(file()).find(R"({"key":"me/you","mode":2})"), std::string::npos);
  s.SetPeerNotificationMode("me", "them", -3);
  EXPECT_EQ(s.peer_modes.at("me/them"), 0);

  std::filesystem::remove(file());
  s.SetPeerNotificationMode("", "you", 1);
  s.SetPeerNotificationMode("me", "", 1);
  EXPECT_EQ(s.peer_modes.size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(file()));
}

TEST_F(UiSettingsTest, FailedSaveIsReportedAndKeepsTheOldFile) {
  UiSettings s;
  ASSERT_TRUE(Load(s, root()));
  ASSERT_TRUE(s.Save());
  const std::string before = ReadFile(file());
  // The settings area replaced by a plain file: the value cannot be placed.
  const auto area = file().parent_path();
  std::filesystem::rename(area, dir_.path() / "kept");
  WriteFile(area, "in the way");
  s.dark = true;
  EXPECT_FALSE(s.Save());
  EXPECT_TRUE(s.store_failed);
  std::filesystem::remove(area);
  std::filesystem::rename(dir_.path() / "kept", area);
  EXPECT_EQ(ReadFile(file()), before);
  EXPECT_TRUE(s.Save());
  EXPECT_FALSE(s.store_failed);
  EXPECT_NE(ReadFile(file()).find("\"dark\":true"), std::string::npos);

  UiSettings never_loaded;
  EXPECT_FALSE(never_loaded.Save());
  EXPECT_TRUE(never_loaded.store_failed);
}

class UiSettingsLocationTest : public UiSettingsTest {
 protected:
  std::filesystem::path local() const { return dir_.path() / "local"; }
  std::filesystem::path ui3() const { return local() / "QuorixPhone/UI3/data/v1/settings/wrist_home_v1"; }
  std::filesystem::path ui2() const { return local() / "QuorixPhone/UI2/data/v1/settings/wrist_home_v1"; }
  std::filesystem::path older(const char* k) const {
    return local() / "QuorixPhoneReal2PCTest" / k / "data/v1/settings/wrist_home_v1";
  }
  void Put(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, text);
  }
  ScopedEnvironmentVariable local_{u"LOCALAPPDATA", std::u16string(local().u16string())};
};

TEST_F(UiSettingsLocationTest, DefaultRootAndItsFailures) {
  UiSettings s;
  ASSERT_TRUE(Load(s, ""));
  EXPECT_EQ(s.store.root, (local() / "QuorixPhone/UI3/data/v1").string());
  ASSERT_TRUE(s.Save());
  EXPECT_EQ(ReadFile(ui3()), kDefaultText);
  {
    ScopedEnvironmentVariable unset(u"LOCALAPPDATA", std::nullopt);
    UiSettings none;
    EXPECT_FALSE(Load(none, ""));
    EXPECT_TRUE(Load(none, root()));  // a given root needs no LOCALAPPDATA
  }
  WriteFile(dir_.path() / "plain", "x");
  UiSettings blocked;
  EXPECT_FALSE(Load(blocked, (dir_.path() / "plain" / "root").string()));
}

TEST_F(UiSettingsLocationTest, OlderFilesServeThisStartAndTheFirstThatOpensEndsTheSearch) {
  Put(ui2(), R"({"browser_volume":120})");
  Put(older("K18"), R"({"dark":true})");
  UiSettings s;
  ASSERT_TRUE(Load(s, ""));
  EXPECT_EQ(s.browser_volume, 120u);
  EXPECT_FALSE(s.dark);
  EXPECT_FALSE(std::filesystem::exists(ui3()));

  // A given root never looks at them.
  UiSettings isolated;
  ASSERT_TRUE(Load(isolated, root()));
  EXPECT_EQ(isolated.browser_volume, 100u);

  Put(ui2(), "");
  Put(older("K19"), "");
  Put(older("K18"), R"({"dark":true})");
  UiSettings empty_k19;
  ASSERT_TRUE(Load(empty_k19, ""));
  EXPECT_FALSE(empty_k19.dark);

  std::filesystem::remove(older("K19"));
  std::filesystem::create_directories(older("K19"));
  UiSettings folder_k19;
  ASSERT_TRUE(Load(folder_k19, ""));
  EXPECT_TRUE(folder_k19.dark);

  // The current file wins over all of them.
  Put(ui3(), R"({"english":true})");
  UiSettings current;
  ASSERT_TRUE(Load(current, ""));
  EXPECT_TRUE(current.english);
  EXPECT_FALSE(current.dark);
}

TEST(BrowserOverlayCallbacks, VolumeAndSizeAreStoredAndSaved) {
  TempDir dir;
  ScopedEnvironmentVariable log(u"QUORIX_2PC_EVENT_LOG", std::u16string((dir.path() / "events").u16string()));
  UiSettings s;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(s.Load((dir.path() / "root").string()));
  testing::internal::GetCapturedStdout();
  const auto file = dir.path() / "root" / "settings" / "wrist_home_v1";

  uint32_t routed = 0;
  ApplyBrowserVolume(s, 150, [&](uint32_t p) { routed = p; });
  EXPECT_EQ(s.browser_volume, 150u);
  EXPECT_EQ(routed, 150u);
  EXPECT_NE(ReadFile(file).find("\"browser_volume\":150,"), std::string::npos);
  EXPECT_NE(ReadFile(dir.path() / "events").find("\"event\":\"BROWSER_VOLUME_PERCENT\",\"n\":150,\"code\":0"),
            std::string::npos);

  const std::string before = ReadFile(file);
  std::filesystem::remove(file);
  ApplyBrowserSize(s, 3, 2);
  EXPECT_FALSE(std::filesystem::exists(file));
  ApplyBrowserSize(s, 1, 2);
  EXPECT_EQ(s.browser_size_x, 2u);
  EXPECT_NE(ReadFile(file).find("\"browser_size_x\":2,"), std::string::npos);
  EXPECT_NE(before, ReadFile(file));
}

}  // namespace
