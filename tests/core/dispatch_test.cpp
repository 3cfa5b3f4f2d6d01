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

// Each command line, what ran in order and what it returned. The audio guard
// is asked first (a result of 0 or more ends the dispatch), except by the login
// checks; arguments that are not UTF-8 skip the guard and the wide handlers.
TEST(Dispatch, CommandLinesRunTheirHandlersInOrder) {
  using V = std::vector<std::string>;
  struct Case {
    V args;
    int guard_result;
    bool vr_server;
    int code;
    V ran;
  } cases[] = {
      {{"--login-settings-checks", "/out"}, 0, false, 10, {"login:/out"}},
      {{"--ui41-volume-ui-checks", "/out"}, 0, false, 0, {"audio_guard:3:3"}},
      {{"--ui33-checks", "/bad\xFF"}, -1, false, 0, {"normal"}},
      {{"--ui3-checks", "/bad\xFF"}, -1, false, 31, {"ui3:/bad\xFF"}},
      {{"--ui3-owner-check", "/dir"}, -1, false, 30, {"audio_guard:3:3", "owner_check:/dir:/opt/quorix/Quorix"}},
      {{"--verify-autostart"}, -1, false, 32, {"audio_guard:2:2", "verify:on"}},
      {{"--verify-autostart-off"}, -1, false, 32, {"audio_guard:2:2", "verify:off"}},
      {{"--automatic-autostart"}, -1, false, 33, {"audio_guard:2:2", "configure:on:auto"}},
      {{"--register-autostart"}, -1, true, 33, {"audio_guard:2:2", "configure:on:explicit"}},
      {{"--unregister-autostart"}, -1, true, 33, {"audio_guard:2:2", "configure:off:explicit"}},
      {{"--register-autostart"}, -1, false, 2, {"audio_guard:2:2"}},  // prints the request to start the VR server
      // Wrong arity or case starts normally.
      {{"--ui33-checks", "/a", "/b"}, -1, false, 0, {"audio_guard:4:4", "normal"}},
      {{"--ui33-checks"}, -1, false, 0, {"audio_guard:2:2", "normal"}},
      {{"--UI33-CHECKS", "/a"}, -1, false, 0, {"audio_guard:3:3", "normal"}},
      {{"--steamvr-start"}, -1, false, 0, {"audio_guard:2:2", "normal"}},
      {{"--verify-autostart", "x"}, -1, false, 0, {"audio_guard:3:3", "normal"}},
      {{"--ui3-owner-check"}, -1, false, 0, {"audio_guard:2:2", "normal"}},
      {{}, -1, false, 0, {"audio_guard:1:1", "normal"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    Spy spy;
    spy.audio_guard_result = c.guard_result;
    spy.vr_server = c.vr_server;
    testing::internal::CaptureStdout();
    EXPECT_EQ(spy.Run(c.args), c.code);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.code == 2 ? "START_STEAMVR_FOR_AUTOSTART_CONFIGURATION\n" : "");
    EXPECT_EQ(spy.ran, c.ran);
  }
}

}  // namespace
