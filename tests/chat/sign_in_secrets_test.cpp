// Every block freed through operator delete while a sign-in runs is scanned
// for the password (UTF-8 and UTF-16) and the token. The replaced operators
// are inert unless armed, and scan only the test thread and the worker thread
// (the test service's threads hold the secrets by design).
#include <malloc.h>
#include <string.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "chat/session_file.h"
#include "chat/sign_in_worker.h"
#include "chat/sign_in_worker_test_hooks.h"
#include "service_admission.h"
#include "test_util.h"

namespace {

// 28 bytes or more: a login body grown by appends once released a copy.
const char kPassword[] = "Scan-Pass-2741xyzQ-long-enough-to-regrow";
const char16_t kPasswordWide[] = u"Scan-Pass-2741xyzQ-long-enough-to-regrow";
const char kToken[] = "tok_ScanNeedle_8192abc";
struct Needle {
  const void* bytes;
  size_t size;
  std::atomic<int> found{0};
} g_needles[] = {{kPassword, sizeof kPassword - 1}, {kPasswordWide, sizeof kPasswordWide - 2}, {kToken, sizeof kToken - 1}};
std::atomic<bool> g_armed{false};
thread_local bool t_scanned = false;

// Every replaced operator below allocates with malloc and releases with free
// through these two, so each allocation is released by its own pair.
void* Allocate(size_t size) noexcept { return std::malloc(size == 0 ? 1 : size); }

void ScanAndRelease(void* block) noexcept {
  if (block != nullptr && t_scanned && g_armed.load()) {
    for (Needle& n : g_needles) n.found += memmem(block, malloc_usable_size(block), n.bytes, n.size) != nullptr;
  }
  std::free(block);
}

}  // namespace

void* operator new(size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { ScanAndRelease(block); }
void operator delete[](void* block) noexcept { ScanAndRelease(block); }
void operator delete(void* block, size_t) noexcept { ScanAndRelease(block); }
void operator delete[](void* block, size_t) noexcept { ScanAndRelease(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { ScanAndRelease(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { ScanAndRelease(block); }

namespace {

TEST(VrSignInSecrets, NoFreedBlockHoldsThePasswordOrTheToken) {
  quorix_test::LoopbackService service;
  quorix_test::ScopedProductionService admission(service);
  const std::string grant = std::string(R"({"ok":true,"user":{"user_id":"alice"},"token":")") + kToken + "\"}";
  service.Script("POST", "/auth/login", quorix_test::ScriptedReply::Json(200, grant));
  service.Script("GET", "/auth/me", quorix_test::ScriptedReply::Json(
                                        200, R"({"ok":true,"user":{"user_id":"alice"},"session":{"is_active":true}})"));
  quorix_sign_in::test_hooks::SetWorkerThreadHook([] { t_scanned = true; });
  std::u16string password = kPasswordWide;
  t_scanned = true;
  g_armed = true;
  delete new std::string(kToken);  // the scan itself sees a released copy
  EXPECT_EQ(g_needles[2].found.exchange(0), 1);
  {
    VrSignInWorker worker;
    ASSERT_TRUE(worker.Start(u"alice", std::move(password)));
    EXPECT_TRUE(quorix_test::WaitFor([&] { return worker.state.load() == VrSignInWorker::kSignedIn; },
                                     std::chrono::seconds(60)));
  }
  g_armed = t_scanned = false;
  quorix_sign_in::test_hooks::SetWorkerThreadHook(nullptr);
  for (const Needle& n : g_needles) EXPECT_EQ(n.found.load(), 0) << static_cast<const char*>(n.bytes);
  EXPECT_TRUE(DeleteSessionFile());
}

}  // namespace
