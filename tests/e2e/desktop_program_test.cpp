// The built program's desktop window on an X server of the test's own.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "private_x_server.h"
#include "program_env.h"
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

  // On `display`, or with none when it is empty.
  std::unique_ptr<ChildProcess> Start(const std::string& display) {
    std::vector<std::string> env = quorix_test::ProgramEnvironment(home_.path());
    std::erase_if(env, [](const std::string& entry) { return entry.starts_with("DISPLAY="); });
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return ChildProcess::Start(QUORIX_EXE_PATH, {}, env);
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
  ASSERT_FALSE(quorix_test::WaitForProgramRun(home_.path()).empty()) << program->Stderr();
  quorix_test::XDriver x(server.display());
  ASSERT_TRUE(x.ok());
  unsigned long phone = 0;
  ASSERT_TRUE(WaitFor([&] { return (phone = PhoneWindow(x)) != 0; }, 30s)) << program->Stderr();
  EXPECT_TRUE(WaitFor([&] { return x.Geometry(phone) == (std::array{1410, 20, 486, 864}); }, 30s));
  // Painted: the middle of the phone is not the black of an empty window.
  EXPECT_TRUE(WaitFor([&] { return x.Pixels(x.Root(), 1653, 452, 1, 1) != std::vector<uint32_t>{0}; }, 30s));
  // Beside the program, in the build folder, for a person to look at.
  EXPECT_TRUE(x.Screenshot(std::filesystem::path(QUORIX_EXE_PATH).parent_path() / "test-screenshots" /
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
  const auto run = quorix_test::WaitForProgramRun(home_.path());
  ASSERT_FALSE(run.empty()) << program->Stderr();
  {
    quorix_test::XDriver x(server.display());
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
  const auto run = quorix_test::WaitForProgramRun(home_.path());
  ASSERT_FALSE(run.empty());
  EXPECT_NE(ReadFile(run / "STARTUP.safe.json").find("\"component\":\"DESKTOP\""), std::string::npos);
}

}  // namespace
