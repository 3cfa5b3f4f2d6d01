#pragma once
// Hooks of the in-process sign-in worker. Only tests include this header; the
// hooks are process-wide, set only by these calls and inert until set.
#include <functional>

namespace quorix_sign_in::test_hooks {

// The next VrSignInWorker::Start fails to create its thread, as the system
// would (std::system_error, resource_unavailable_try_again).
void FailNextThreadStart();

// Runs `hook` on every worker thread as its run begins; empty clears it.
void SetWorkerThreadHook(std::function<void()> hook);

}  // namespace quorix_sign_in::test_hooks
