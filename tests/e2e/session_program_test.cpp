// The built program's signed-in session: without a stored session it finds
// nothing to restore, and a stop keeps the session file for the next start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "program_env.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(SessionProgram, NothingToRestoreAndTheCloseKeepsTheSession) {
  quorix_test::TempDir root;
  fs::create_directories(root.path() / "run");
  ::chmod((root.path() / "run").c_str(), 0700);
  auto program = quorix_test::ChildProcess::Start(QUORIX_EXE_PATH, {}, quorix_test::ProgramEnvironment(root.path()));

  // The run folder's event log, once the restore has found no session.
  fs::path events;
  const auto logged = [&](const std::string& name) {
    if (events.empty()) {
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(root.path() / "profile" / "Documents" / "QuorixPhone_Development", ec)) {
        if (fs::exists(e.path() / "events.private.jsonl")) events = e.path() / "events.private.jsonl";
      }
    }
    return !events.empty() && quorix_test::ReadFile(events).find("\"event\":\"" + name + "\"") != std::string::npos;
  };
  ASSERT_TRUE(quorix_test::WaitFor([&] { return logged("SESSION_RESTORE_ABSENT"); }, 60s)) << program->Stderr();
  EXPECT_TRUE(logged("SESSION_RESTORE_STARTED"));
  quorix_test::WriteFile(events.parent_path() / "STOP.requested", "");
  const auto code = program->WaitExit(30s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0) << program->Stderr();
  const std::string log = quorix_test::ReadFile(events);
  const size_t preserved = log.find("\"event\":\"SESSION_PRESERVED_ON_CLOSE\"");
  ASSERT_NE(preserved, std::string::npos);
  EXPECT_LT(log.find("\"event\":\"SESSION_RESTORE_STARTED\""), log.find("\"event\":\"SESSION_RESTORE_ABSENT\""));
  EXPECT_NE(log.find("\"event\":\"PANEL_CLOSED\"", preserved), std::string::npos);
}

}  // namespace
