// Test main of the chat tests: LOCALAPPDATA and the data-protection key
// folder are fresh temporary folders for the whole run.
#include <gtest/gtest.h>

#include "platform/env.h"
#include "platform/test_hooks.h"
#include "test_util.h"

namespace history_test {
namespace {
std::filesystem::path g_key_folder;
}
const std::filesystem::path& TestKeyFolder() { return g_key_folder; }
}  // namespace history_test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  quorix_test::TempDir local_app_data;
  quorix_test::TempDir key_folder;
  if (!platform::env::Set("LOCALAPPDATA", local_app_data.path().string())) return 2;
  history_test::g_key_folder = key_folder.path();
  platform::testing::SetDataProtectionKeyFolder(key_folder.path());
  return RUN_ALL_TESTS();
}
