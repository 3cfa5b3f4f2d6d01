#include "chat/sign_in_worker.h"

#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

#include "chat/account_http.h"
#include "chat/account_requests.h"
#include "chat/auth_reply.h"
#include "chat/secure_wipe.h"
#include "chat/session_file.h"
#include "chat/sign_in_worker_test_hooks.h"
#include "core/secret_text.h"
#include "core/service_origin.h"

namespace {

constexpr size_t kMaxUserIdUnits = 128;
constexpr size_t kMaxPasswordUnits = 256;

// What a run needs; owned by its thread and released when the thread ends.
struct Job {
  std::atomic<uint32_t>* state;
  SecretWideText user_id;
  SecretWideText password;
};

struct Hooks {
  std::atomic<bool> fail_next_thread{false};
  std::mutex mutex;
  std::function<void()> on_worker_thread;
};

Hooks& TheHooks() {
  static Hooks hooks;
  return hooks;
}

// The run's steps; the result is the final state.
uint32_t SignIn(Job& job) {
  std::string user_id = job.user_id.ToUtf8();
  std::string password = job.password.ToUtf8();
  WipeStringOnExit wipe_password(password);
  job.user_id.Wipe();
  job.password.Wipe();
  if (user_id.empty() || password.empty()) return VrSignInWorker::kLoginDenied;

  // Always the service base URL: in an isolated set-up it is admitted only
  // with QUORIX_2PC_REAL_ACCOUNTS "1".
  ServiceEndpoint endpoint;
  if (!ParseServiceEndpoint(&endpoint, quorix_service::kServiceBaseUrl)) return VrSignInWorker::kNetworkError;

  AccountHttpReply login = AccountLogin(endpoint, user_id, password);
  SecureWipeString(&password);
  WipeStringOnExit wipe_login(login.body);
  // Any status but 200 (a 401 or 403 too) ends in NETWORK ERROR.
  if (!login.ok || login.status != 200) return VrSignInWorker::kNetworkError;
  AuthReply granted = ParseAuthReply(login.body);
  SecureWipeString(&login.body);
  WipeStringOnExit wipe_granted(granted.token);
  if (!granted.valid || !granted.ok || granted.token.empty() || granted.user_id != user_id) {
    return VrSignInWorker::kLoginDenied;
  }

  StoredSession session;
  WipeStringOnExit wipe_session(session.token);
  session.user_id = user_id;
  session.token = granted.token;
  SecureWipeString(&granted.token);
  AccountHttpReply me = AccountGetMe(endpoint, session.token);
  WipeStringOnExit wipe_me(me.body);
  AuthReply profile = ParseAuthReply(me.body);
  SecureWipeString(&me.body);
  SecureWipeString(&profile.token);
  const bool active = me.ok && me.status == 200 && profile.valid && profile.ok && profile.has_session_is_active &&
                      profile.session_is_active && profile.user_id == user_id;
  if (!active) return VrSignInWorker::kLoginDenied;
  return SaveSessionFile(session) ? VrSignInWorker::kSignedIn : VrSignInWorker::kSessionSaveFailed;
}

void Run(Job* raw_job) {
  std::unique_ptr<Job> job(raw_job);
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(TheHooks().mutex);
    hook = TheHooks().on_worker_thread;
  }
  if (hook) hook();
  uint32_t final_state = VrSignInWorker::kNetworkError;
  try {
    final_state = SignIn(*job);
  } catch (...) {
    // Only an allocation can fail here; every secret was wiped on the way out.
  }
  job->state->exchange(final_state);
}

}  // namespace

VrSignInWorker::~VrSignInWorker() {
  if (thread_.joinable()) thread_.join();
}

bool VrSignInWorker::Start(std::u16string&& user_id, std::u16string&& password) {
  const bool fits = !user_id.empty() && user_id.size() <= kMaxUserIdUnits && !password.empty() &&
                    password.size() <= kMaxPasswordUnits;
  // Only this thread sets SIGNING IN, so a state other than that means no run.
  if (!fits || state.load() == kSigningIn) {
    WipeWideString(&password);
    return false;
  }
  // A previous run has stored its final state; its thread is ending.
  if (thread_.joinable()) thread_.join();
  state.exchange(kSigningIn);
  SecretWideText id_text(std::move(user_id));
  SecretWideText password_text(std::move(password));
  try {
    auto job = std::make_unique<Job>(Job{&state, std::move(id_text), std::move(password_text)});
    if (TheHooks().fail_next_thread.exchange(false)) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "sign-in thread");
    }
    thread_ = std::thread(Run, job.get());
    job.release();  // the thread owns it now
  } catch (...) {
    // The job's strings were wiped with it; without this the state would stay
    // SIGNING IN for good and refuse every later start.
    state.exchange(kNotChecked);
    throw;
  }
  return true;
}

uint32_t VrSignInWorker::TakeState() {
  uint32_t current = state.load();
  while (current != kSigningIn && !state.compare_exchange_weak(current, kNotChecked)) {
  }
  return current;
}

const char* VrSignInWorker::StateName(uint32_t state) {
  switch (state) {
    case kNotChecked: return "NOT CHECKED";
    case kSigningIn: return "SIGNING IN";
    case kSignedIn: return "SIGNED IN";
    case kLoginDenied: return "LOGIN DENIED";
    case kNetworkError: return "NETWORK ERROR";
    case kSessionSaveFailed: return "SESSION SAVE FAILED";
    default: return "CHECK FAILED";
  }
}

namespace quorix_sign_in::test_hooks {

void FailNextThreadStart() { TheHooks().fail_next_thread.store(true); }

void SetWorkerThreadHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(TheHooks().mutex);
  TheHooks().on_worker_thread = std::move(hook);
}

}  // namespace quorix_sign_in::test_hooks
