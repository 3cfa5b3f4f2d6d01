#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/entry.h"
#include "core/text.h"

namespace {

// Handlers that record which one ran and with what; each returns its own code.
struct Spy {
  std::vector<std::string> ran;
  int audio_guard_result = -1;
  bool vr_server = false;
  EntryHandlers handlers;

  Spy() {
    auto dir = [this](const char* name, int code) {
      return [this, name, code](const std::u16string& d) {
        ran.push_back(std::string(name) + ":" + WideToUtf8(d));
        return code;
      };
    };
    handlers.login_settings_checks = dir("login", 10);
    handlers.ui41_volume_checks = dir("ui41", 11);
    handlers.ui42_pointer_settings_checks = dir("ui42", 12);
    handlers.desktop_package_check = dir("package", 13);
    handlers.ui38_output_route_checks = dir("ui38route", 14);
    handlers.ui37_scale_checks = dir("ui37scale", 15);
    handlers.ui37_shared_input_checks = dir("ui37shared", 16);
    handlers.ui38_vr_reliability_checks = dir("ui38vr", 17);
    handlers.ui37_browser_input_checks = dir("ui37browser", 18);
    handlers.ui35_dictionary_checks = dir("ui35dict", 19);
    handlers.ui35_candidate_checks = dir("ui35cand", 20);
    handlers.ui34_notice_checks = dir("ui34notice", 21);
    handlers.ui34_ime_checks = dir("ui34ime", 22);
    handlers.ui34_integration_checks = dir("ui34int", 23);
    handlers.ui33_checks = dir("ui33", 24);
    handlers.ui32_checks = dir("ui32", 25);
    handlers.ui31_startup_check = dir("ui31", 26);
    handlers.browser_audio_guard = [this](int argc, const std::vector<std::u16string>& argv) {
      ran.push_back("audio_guard:" + std::to_string(argc) + ":" + std::to_string(argv.size()));
      return audio_guard_result;
    };
    handlers.owner_check = [this](const std::string& d, const std::filesystem::path& exe) {
      ran.push_back("owner_check:" + d + ":" + exe.string());
      return 30;
    };
    handlers.ui3_checks = [this](const std::string& d) {
      ran.push_back("ui3:" + d);
      return 31;
    };
    handlers.verify_autostart = [this](const std::filesystem::path&, bool expect) {
      ran.push_back(std::string("verify:") + (expect ? "on" : "off"));
      return 32;
    };
    handlers.configure_autostart = [this](const std::filesystem::path&, bool enable, bool explicit_choice) {
      ran.push_back(std::string("configure:") + (enable ? "on" : "off") + (explicit_choice ? ":explicit" : ":auto"));
      return 33;
    };
    handlers.vr_server_running = [this] { return vr_server; };
    handlers.normal_start = [this](const std::filesystem::path&) {
      ran.push_back("normal");
      return 0;
    };
  }

  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "Quorix");
    return DispatchCommandLine(args, "/opt/quorix/Quorix", handlers);
  }
};

TEST(Dispatch, EverySelfCheckOptionReachesItsHandler) {
  const std::pair<const char*, const char*> rows[] = {
      {"--ui41-volume-ui-checks", "ui41"},         {"--ui42-pointer-settings-checks", "ui42"},
      {"--ui45-package-check", "package"},         {"--ui38-output-route-checks", "ui38route"},
      {"--ui37-scale-checks", "ui37scale"},        {"--ui37-shared-input-checks", "ui37shared"},
      {"--ui38-vr-reliability-checks", "ui38vr"},  {"--ui37-browser-input-checks", "ui37browser"},
      {"--ui36-package-check", "package"},         {"--ui32-package-check", "package"},
      {"--ui35-dictionary-checks", "ui35dict"},    {"--ui35-candidate-checks", "ui35cand"},
      {"--ui35-package-check", "package"},         {"--ui34-notice-checks", "ui34notice"},
      {"--ui34-ime-checks", "ui34ime"},            {"--ui34-integration-checks", "ui34int"},
      {"--ui34-package-check", "package"},         {"--ui33-checks", "ui33"},
      {"--ui33-package-check", "package"},         {"--ui32-checks", "ui32"},
      {"--ui31-startup-check", "ui31"},
  };
  for (const auto& [option, name] : rows) {
    Spy spy;
    spy.Run({option, "/out/\xE3\x81\x82"});
    ASSERT_EQ(spy.ran.size(), 2u) << option;
    EXPECT_EQ(spy.ran[0], "audio_guard:3:3") << option;  // asked first, declined
    EXPECT_EQ(spy.ran[1], std::string(name) + ":/out/\xE3\x81\x82") << option;
  }
}

TEST(Dispatch, LoginChecksComeBeforeTheAudioGuard) {
  Spy spy;
  spy.audio_guard_result = 0;
  EXPECT_EQ(spy.Run({"--login-settings-checks", "/out"}), 10);
  EXPECT_EQ(spy.ran, std::vector<std::string>{"login:/out"});
}

TEST(Dispatch, AudioGuardResultEndsTheDispatchWhenNotNegative) {
  Spy spy;
  spy.audio_guard_result = 0;
  EXPECT_EQ(spy.Run({"--ui41-volume-ui-checks", "/out"}), 0);
  EXPECT_EQ(spy.ran, std::vector<std::string>{"audio_guard:3:3"});
}

TEST(Dispatch, WrongArityOrCaseStartsNormally) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--ui33-checks", "/a", "/b"},
           {"--ui33-checks"},
           {"--UI33-CHECKS", "/a"},
           {"--steamvr-start"},
           {"--verify-autostart", "x"},
           {"--ui3-owner-check"},
           {},
       }) {
    Spy spy;
    EXPECT_EQ(spy.Run(args), 0);
    EXPECT_EQ(spy.ran.back(), "normal");
  }
}

TEST(Dispatch, NarrowOptionsAndAutostart) {
  Spy spy;
  EXPECT_EQ(spy.Run({"--ui3-owner-check", "/dir"}), 30);
  EXPECT_EQ(spy.ran.back(), "owner_check:/dir:/opt/quorix/Quorix");
  EXPECT_EQ(spy.Run({"--ui3-checks", "/dir"}), 31);
  EXPECT_EQ(spy.Run({"--verify-autostart"}), 32);
  EXPECT_EQ(spy.ran.back(), "verify:on");
  EXPECT_EQ(spy.Run({"--verify-autostart-off"}), 32);
  EXPECT_EQ(spy.ran.back(), "verify:off");
  EXPECT_EQ(spy.Run({"--automatic-autostart"}), 33);
  EXPECT_EQ(spy.ran.back(), "configure:on:auto");
  spy.vr_server = true;
  EXPECT_EQ(spy.Run({"--register-autostart"}), 33);
  EXPECT_EQ(spy.ran.back(), "configure:on:explicit");
  EXPECT_EQ(spy.Run({"--unregister-autostart"}), 33);
  EXPECT_EQ(spy.ran.back(), "configure:off:explicit");
}

TEST(Dispatch, RegisterWithoutVrServerPrintsAndReturnsTwo) {
  Spy spy;
  testing::internal::CaptureStdout();
  EXPECT_EQ(spy.Run({"--register-autostart"}), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "START_STEAMVR_FOR_AUTOSTART_CONFIGURATION\n");
  EXPECT_EQ(spy.ran.back(), "audio_guard:2:2");  // no configure call
}

TEST(Dispatch, ArgumentsThatAreNotUtf8SkipTheWideOptions) {
  Spy spy;
  EXPECT_EQ(spy.Run({"--ui33-checks", "/bad\xFF"}), 0);
  EXPECT_EQ(spy.ran, std::vector<std::string>{"normal"});
  Spy narrow;
  EXPECT_EQ(narrow.Run({"--ui3-checks", "/bad\xFF"}), 31);
}

}  // namespace
