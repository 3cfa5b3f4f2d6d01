#include "chat/sign_in_worker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>

#include "chat/session_file.h"
#include "chat/sign_in_worker_test_hooks.h"
#include "service_admission.h"
#include "test_util.h"

namespace {

using quorix_test::LoopbackService;
using quorix_test::ScriptedReply;
using quorix_test::WaitFor;
using W = VrSignInWorker;
constexpr auto kBound = std::chrono::seconds(60);
const char kGrant[] = R"({"ok":true,"token":"tok_A1b2","user":{"user_id":"alice"}})";
const char kActive[] = R"({"ok":true,"user":{"user_id":"alice"},"session":{"is_active":true}})";

// Runs one sign-in to its final state (the event asserted on).
uint32_t RunToEnd(W& worker, std::u16string id, std::u16string password) {
  EXPECT_TRUE(worker.Start(std::move(id), std::move(password)));
  EXPECT_TRUE(WaitFor([&] { return worker.state.load() != W::kSigningIn; }, kBound));
  return worker.state.load();
}

bool AllZero(const char16_t* units, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (units[i] != 0) return false;
  }
  return true;
}

TEST(VrSignInWorker, RunsEndInTheirFinalStates) {
  struct Case {
    const char* name;
    unsigned login_status;
    std::string login_body, me_body;
    bool no_local_app_data;
    uint32_t state;
    size_t me_requests;
  } cases[] = {
      {"signed in", 200, kGrant, kActive, false, W::kSignedIn, 1},
      {"login 401", 401, kGrant, kActive, false, W::kNetworkError, 0},
      {"not granted", 200, R"({"ok":false})", kActive, false, W::kLoginDenied, 0},
      {"granted for bob", 200, R"({"ok":true,"token":"t","user":{"user_id":"bob"}})", kActive, false, W::kLoginDenied, 0},
      {"inactive", 200, kGrant, R"({"ok":true,"user":{"user_id":"alice"},"session":{"is_active":false}})", false,
       W::kLoginDenied, 1},
      {"no LOCALAPPDATA", 200, kGrant, kActive, true, W::kSessionSaveFailed, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackService service;
    quorix_test::ScopedProductionService admission(service);
    ASSERT_TRUE(DeleteSessionFile());
    service.Script("POST", "/auth/login", ScriptedReply::Json(c.login_status, c.login_body));
    service.Script("GET", "/auth/me", ScriptedReply::Json(200, c.me_body));
    std::optional<ScopedEnvironmentVariable> local;
    if (c.no_local_app_data) local.emplace(u"LOCALAPPDATA", std::nullopt);
    W worker;
    EXPECT_EQ(RunToEnd(worker, u"alice", u"pw"), c.state);
    EXPECT_EQ(worker.TakeState(), c.state);
    EXPECT_EQ(worker.TakeState(), W::kNotChecked);
    const auto me = service.RequestsTo("/auth/me");
    ASSERT_EQ(me.size(), c.me_requests);
    for (const auto& request : me) EXPECT_EQ(request.Header("X-NiloPhone-Token"), "tok_A1b2");
    local.reset();
    StoredSession saved;
    EXPECT_EQ(LoadSessionFile(&saved), c.state == W::kSignedIn);
    EXPECT_EQ(saved.user_id + "/" + saved.token, c.state == W::kSignedIn ? "alice/tok_A1b2" : "/");
    EXPECT_TRUE(DeleteSessionFile());
  }
}

TEST(VrSignInWorker, NoRequestWithoutAnEndpointOrAWellFormedId) {
  struct Case {
    const char* name;
    std::u16string id;
    bool isolated;
    uint32_t state;
  } cases[] = {
      {"isolated without real accounts", u"alice", true, W::kNetworkError},
      {"unpaired surrogate", std::u16string(u"al") + char16_t(0xD800) + u"ice", false, W::kLoginDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackService service;
    std::optional<quorix_test::ScopedProductionService> production;
    std::optional<quorix_test::ScopedIsolatedService> isolated;
    std::optional<ScopedEnvironmentVariable> real_accounts;
    if (c.isolated) {
      isolated.emplace(service);
      real_accounts.emplace(u"QUORIX_2PC_REAL_ACCOUNTS", std::nullopt);
    } else {
      production.emplace(service);
    }
    W worker;
    EXPECT_EQ(RunToEnd(worker, c.id, u"pw"), c.state);
    EXPECT_TRUE(service.Requests().empty());
  }
}

TEST(VrSignInWorker, RefusalsZeroThePasswordAndLeaveTheRunAlone) {
  LoopbackService service;
  quorix_test::ScopedProductionService admission(service);
  ScriptedReply held = ScriptedReply::Json(200, kGrant);
  held.hold_until_released = true;
  service.Script("POST", "/auth/login", held);
  service.Script("GET", "/auth/me", ScriptedReply::Json(200, kActive));
  ASSERT_TRUE(DeleteSessionFile());
  auto worker = std::make_unique<W>();
  auto refused = [&](std::u16string id, std::u16string password) {
    const char16_t* buffer = password.data();
    const size_t capacity = password.capacity();
    EXPECT_FALSE(worker->Start(std::move(id), std::move(password)));
    EXPECT_TRUE(password.empty());
    EXPECT_TRUE(AllZero(buffer, capacity));
  };
  refused(std::u16string(129, u'a'), u"a password of some length");
  refused(u"alice", u"");
  refused(std::u16string(129, u'a'), u"short");
  EXPECT_EQ(worker->state.load(), W::kNotChecked);

  ASSERT_TRUE(worker->Start(u"alice", u"pw"));
  ASSERT_TRUE(WaitFor([&] { return service.RequestsTo("/auth/login").size() == 1; }, kBound));
  refused(u"bob", u"another password, held run");
  EXPECT_EQ(worker->TakeState(), W::kSigningIn);
  EXPECT_EQ(worker->state.load(), W::kSigningIn);

  // Destruction waits for the held request and the rest of the run.
  std::atomic<bool> destroying{false};
  std::thread releaser([&] {
    WaitFor([&] { return destroying.load(); }, kBound);
    service.Release();
  });
  destroying = true;
  worker.reset();
  releaser.join();
  EXPECT_EQ(service.RequestsTo("/auth/login").size(), 1u);
  EXPECT_EQ(service.RequestsTo("/auth/me").size(), 1u);
  StoredSession saved;
  EXPECT_TRUE(LoadSessionFile(&saved));
  EXPECT_TRUE(DeleteSessionFile());
}

TEST(VrSignInWorker, FailedThreadStartLeavesTheWorkerUsable) {
  LoopbackService service;
  quorix_test::ScopedProductionService admission(service);
  service.Script("POST", "/auth/login", ScriptedReply::Json(200, kGrant));
  service.Script("GET", "/auth/me", ScriptedReply::Json(200, kActive));
  W worker;
  quorix_sign_in::test_hooks::FailNextThreadStart();
  std::u16string password = u"a password on the heap";
  EXPECT_THROW(worker.Start(u"alice", std::move(password)), std::system_error);
  EXPECT_TRUE(password.empty());
  EXPECT_EQ(worker.state.load(), W::kNotChecked);
  EXPECT_EQ(RunToEnd(worker, u"alice", u"pw"), W::kSignedIn);
  EXPECT_TRUE(DeleteSessionFile());
}

}  // namespace
