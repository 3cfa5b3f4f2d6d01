// Test main of the binaries that talk HTTPS or protect data.
//
// Before any thread starts: the network layer is set up as the program does,
// every proxy variable points at a closed port (a trap: a loopback test that
// passes proves no proxy was used), and the data-protection key folder and
// LOCALAPPDATA go to temporary folders.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/env.h"
#include "platform/https.h"
#include "platform/test_hooks.h"
#include "test_util.h"

int main(int argc, char** argv) {
  // libcurl reads proxy settings from the C runtime's environment, so the trap
  // goes there (no thread runs yet) as well as into the program's table.
  for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::setenv(name, "http://127.0.0.1:9", 1);
    platform::env::Set(name, "http://127.0.0.1:9");
  }
  platform::InitializeNetwork();
  quorix_test::TempDir keys;
  quorix_test::TempDir local_app_data;
  platform::testing::SetDataProtectionKeyFolder(keys.path() / "quorix-platform");
  // The user's own data folder stays out of reach even without the hook.
  platform::env::Set("XDG_DATA_HOME", keys.path().string());
  platform::env::Set("LOCALAPPDATA", local_app_data.path().string());

  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
