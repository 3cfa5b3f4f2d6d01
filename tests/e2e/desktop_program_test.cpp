// The built program's desktop window on an X server of the test's own.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>

#include "private_x_server.h"
#include "test_util.h"
#include "x_driver.h"

namespace {

using namespace std::chrono_literals;
using quorix_test::ChildProcess;
using quorix_test::ReadFile;
using quorix_test::WaitFor;

class DesktopProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_.path() / "run");
    ::chmod((home_.path() / "run").c_str(), 0700);
  }

  // `display` empty: none at all.
  std::unique_ptr<ChildProcess> Start(const std::string& display) {
    std::vector<std::string> env = {
        "HOME=" + (home_.path() / "home").string(),
        "USERPROFILE=" + (home_.path() / "profile").string(),
        "LOCALAPPDATA=" + (home_.path() / "local").string(),
        "XDG_RUNTIME_DIR=" + (home_.path() / "run").string(),
        "PATH=/usr/bin:/bin",
        "NO_AT_BRIDGE=1",
        "GSETTINGS_BACKEND=memory",
    };
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return ChildProcess::Start(QUORIX_EXE_PATH, {}, env);
  }

  // The run directory holding `record`, once written.
  std::filesystem::path WaitForRun(const std::string& record) {
    std::filesystem::path run;
    WaitFor(
        [&] {
          std::error_code ec;
          for (const auto& e : std::filesystem::directory_iterator(
                   home_.path() / "profile" / "Documents" / "QuorixPhone_Development", ec)) {
            if (std::filesystem::exists(e.path() / record)) run = e.path();
          }
          return !run.empty();
        },
        30s);
    return run;
  }

  // The phone panel: the viewable overlay window of the phone's size.
  static unsigned long PhoneWindow(quorix_test::XDriver& x) {
    for (unsigned long window : x.WindowsOfClass("QuorixUnifiedOverlay3")) {
      if (x.Viewable(window) && x.Geometry(window)[3] == 864) return window;
    }
    return 0;
  }

  quorix_test::TempDir home_;
};

TEST_F(DesktopProgramTest, ThePhoneShowsHidesWithCtrlPAndComesBackOnASecondStart) {
  quorix_test::PrivateXServer server;
  if (!server.running()) GTEST_SKIP() << server.failure();
  auto program = Start(server.display());
  ASSERT_FALSE(WaitForRun("STARTUP.safe.json").empty()) << program->Stderr();
  quorix_test::XDriver x;
  ASSERT_TRUE(x.ok());
  unsigned long phone = 0;
  ASSERT_TRUE(WaitFor([&] { return (phone = PhoneWindow(x)) != 0; }, 30s)) << program->Stderr();
  EXPECT_TRUE(WaitFor([&] { return x.Geometry(phone) == (std::array{1410, 20, 486, 864}); }, 30s));
  // Painted: the middle of the phone is not the black of an empty window.
  EXPECT_TRUE(WaitFor([&] { return x.Pixels(x.Root(), 1653, 452, 1, 1) != std::vector<uint32_t>{0}; }, 30s));
  const char* build = std::getenv("QUORIX_BUILD_DIR");
  EXPECT_TRUE(x.Screenshot(std::filesystem::path(build != nullptr ? build : ".") / "test-screenshots" /
                           "desktop-phone.png"));

  ASSERT_TRUE(WaitFor([&] { return x.WindowsOfClass("QuorixUnifiedInput3").size() == 1; }, 30s));
  x.Chord({XK_Control_L, XK_p});
  EXPECT_TRUE(WaitFor([&] { return !x.Viewable(phone); }, 30s));
  auto second = Start(server.display());
  EXPECT_EQ(second->WaitExit(30s), 0);
  EXPECT_TRUE(WaitFor([&] { return x.Viewable(phone); }, 30s));

  program->Signal(SIGTERM);
  EXPECT_EQ(program->WaitExit(30s), 0) << program->Stderr();
}

TEST_F(DesktopProgramTest, ALostDisplayEndsTheRunNormally) {
  quorix_test::PrivateXServer server;
  if (!server.running()) GTEST_SKIP() << server.failure();
  auto program = Start(server.display());
  const auto run = WaitForRun("STARTUP.safe.json");
  ASSERT_FALSE(run.empty()) << program->Stderr();
  {
    quorix_test::XDriver x;
    ASSERT_TRUE(WaitFor([&] { return PhoneWindow(x) != 0; }, 30s));
  }
  server.Stop();
  EXPECT_EQ(program->WaitExit(30s), 0) << program->Stderr();
  EXPECT_NE(ReadFile(run / "EXIT.safe.json").find("\"normal_exit\":true"), std::string::npos);
}

TEST_F(DesktopProgramTest, WithoutADisplayTheStartFailsAndSaysSo) {
  auto program = Start("");
  EXPECT_EQ(program->WaitExit(30s), 1);
  EXPECT_NE(program->Stderr().find("Quorix could not finish starting"), std::string::npos);
  const auto run = WaitForRun("EXIT.safe.json");
  ASSERT_FALSE(run.empty());
  EXPECT_NE(ReadFile(run / "STARTUP.safe.json").find("\"component\":\"DESKTOP\""), std::string::npos);
}

}  // namespace
