#pragma once
// Signing in from VR without the session owner: one thread per sign-in logs
// in, checks the session with the profile request and saves the session
// file, while the main thread keeps drawing. The phone UI reads `state` each
// tick. The password, the token and every reply body are zero-filled before
// they are released.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class VrSignInWorker {
 public:
  static constexpr uint32_t kNotChecked = 0;
  static constexpr uint32_t kSigningIn = 1;
  static constexpr uint32_t kSignedIn = 2;
  static constexpr uint32_t kLoginDenied = 3;
  static constexpr uint32_t kNetworkError = 4;
  static constexpr uint32_t kSessionSaveFailed = 5;

  // Written by the run at its end and by Start and TakeState on the caller's
  // thread; read by the phone UI each tick.
  std::atomic<uint32_t> state{kNotChecked};

  VrSignInWorker() = default;
  // Waits for a running run to end (up to the request time-outs).
  ~VrSignInWorker();
  VrSignInWorker(const VrSignInWorker&) = delete;
  VrSignInWorker& operator=(const VrSignInWorker&) = delete;

  // Starts a run with a user id of 1-128 units and a password of 1-256 units;
  // false while a run is in progress or for a length out of range. Both
  // strings are taken over: on every path, refusal included, `password` is
  // left empty with its whole old buffer zero (so is `user_id` once taken).
  // A caller that keeps its password passes a copy. Throws std::system_error
  // when the thread cannot be created; the state is then NOT CHECKED again.
  bool Start(std::u16string&& user_id, std::u16string&& password);

  // The current state. SIGNING IN is returned unchanged; any other state is
  // returned once and replaced by NOT CHECKED in the same exchange.
  uint32_t TakeState();

  // "NOT CHECKED", "SIGNING IN", "SIGNED IN", "LOGIN DENIED", "NETWORK ERROR",
  // "SESSION SAVE FAILED"; any other value "CHECK FAILED".
  static const char* StateName(uint32_t state);

 private:
  std::thread thread_;
};
