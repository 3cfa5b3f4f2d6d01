#pragma once
// The separate auth helper program "QuorixPhoneMvp02Auth", beside our own
// executable, asked whether an account is signed in ("status") or to sign it
// out ("logout"). Its only answer is its exit code; its output is never read.
// Progress lines go to standard output for diagnosis. Main thread only:
// starting never waits for the helper and polling never blocks.
#include <cstdint>
#include <optional>

#include "platform/process_handle.h"

class AuthHelperProcess {
 public:
  static constexpr uint32_t kNotChecked = 0;
  static constexpr uint32_t kWaitForPc = 1;
  static constexpr uint32_t kSignedIn = 2;
  static constexpr uint32_t kSignedOut = 3;
  static constexpr uint32_t kLoginNeeded = 4;
  static constexpr uint32_t kCheckFailed = 5;

  static constexpr uint32_t kActionNone = 0;
  static constexpr uint32_t kActionStatus = 1;
  static constexpr uint32_t kActionLogout = 2;

  // The helper's file name beside our executable.
  static constexpr char kHelperName[] = "QuorixPhoneMvp02Auth";

  uint32_t status = kNotChecked;
  uint32_t action = kActionNone;              // the action in flight
  std::optional<platform::ProcessHandle> process;  // held while an action is in flight

  // Releasing the record leaves a running helper running (and reaped once it
  // ends).
  AuthHelperProcess() = default;
  AuthHelperProcess(const AuthHelperProcess&) = delete;
  AuthHelperProcess& operator=(const AuthHelperProcess&) = delete;

  void StartStatusCheck() { (void)Start(kActionStatus); }
  void StartLogout() { (void)Start(kActionLogout); }

  // Starts the helper with "status" or "logout": true and WAIT FOR PC when it
  // started. False and nothing changed while an action is in flight; false
  // and CHECK FAILED when our own path is unusable or the helper cannot be
  // started ("[MVP02B] START=FAIL stage=PROCESS_START" in the latter case).
  bool Start(uint32_t action);

  // Checks a running helper without waiting: true when `status` or `action`
  // changed. The ended helper's exit code is mapped (0 after "status" SIGNED
  // IN, 2 LOGIN NEEDED; 0 after "logout" SIGNED OUT; anything else, a signal
  // death included, CHECK FAILED) and "[MVP02B] RESULT=<name>" printed; a
  // helper whose state cannot be read gives CHECK FAILED without a line.
  bool Poll();

  // "NOT CHECKED", "WAIT FOR PC", "SIGNED IN", "SIGNED OUT", "LOGIN NEEDED",
  // "CHECK FAILED"; any other value "UNKNOWN".
  static const char* StatusName(uint32_t status);
};
