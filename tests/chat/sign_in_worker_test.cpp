#include "chat/sign_in_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>

#include "chat/session_file.h"
#include "chat/sign_in_worker_test_hooks.h"
#include "leftovers.h"
#include "service_admission.h"
#include "test_util.h"

namespace {

using quorix_test::ScriptedReply;
using W = VrSignInWorker;
const char kGrant[] = R"({"ok":true,"token":"tok_A1b2","user":{"user_id":"alice"}})";
const char kActive[] = R"({"ok":true,"user":{"user_id":"alice"},"session":{"is_active":true}})";

bool WaitFor(const std::function<bool()>& done) { return quorix_test::WaitFor(done, std::chrono::seconds(60)); }

// One sign-in to its final state (the event asserted on).
uint32_t RunToEnd(W& worker, std::u16string id) {
  EXPECT_TRUE(worker.Start(std::move(id), u"pw"));
  EXPECT_TRUE(WaitFor([&] { return worker.state.load() != W::kSigningIn; }));
  return worker.state.load();
}

struct Service {
  explicit Service(const char* login = kGrant, unsigned login_status = 200, const char* me = kActive) {
    service.Script("POST", "/auth/login", ScriptedReply::Json(login_status, login));
    service.Script("GET", "/auth/me", ScriptedReply::Json(200, me));
    EXPECT_TRUE(DeleteSessionFile());
  }
  ~Service() { EXPECT_TRUE(DeleteSessionFile()); }
  quorix_test::LoopbackService service;
  quorix_test::ScopedProductionService admission{service};
};

TEST(VrSignInWorker, RunsEndInTheirFinalStates) {
  struct Case {
    const char *name, *login;
    unsigned login_status;
    const char* me;
    bool no_local_app_data;
    uint32_t state;
    size_t me_requests;
  } cases[] = {
      {"signed in", kGrant, 200, kActive, false, W::kSignedIn, 1},
      {"login 401", kGrant, 401, kActive, false, W::kNetworkError, 0},
      {"not granted", R"({"ok":false})", 200, kActive, false, W::kLoginDenied, 0},
      {"for bob", R"({"ok":true,"token":"t","user":{"user_id":"bob"}})", 200, kActive, false, W::kLoginDenied, 0},
      {"inactive", kGrant, 200, R"({"ok":true,"user":{"user_id":"alice"},"session":{"is_active":false}})", false,
       W::kLoginDenied, 1},
      {"no LOCALAPPDATA", kGrant, 200, kActive, true, W::kSessionSaveFailed, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Service s(c.login, c.login_status, c.me);
    std::optional<ScopedEnvironmentVariable> local;
    if (c.no_local_app_data) local.emplace(u"LOCALAPPDATA", std::nullopt);
    W worker;
    EXPECT_EQ(RunToEnd(worker, u"alice"), c.state);
    EXPECT_EQ(worker.TakeState(), c.state);
    EXPECT_EQ(worker.TakeState(), W::kNotChecked);
    const auto me = s.service.RequestsTo("/auth/me");
    ASSERT_EQ(me.size(), c.me_requests);
    for (const auto& request : me) EXPECT_EQ(request.Header("X-NiloPhone-Token"), "tok_A1b2");
    local.reset();
    StoredSession saved;
    EXPECT_EQ(LoadSessionFile(&saved), c.state == W::kSignedIn);
    EXPECT_EQ(saved.user_id + "/" + saved.token, c.state == W::kSignedIn ? "alice/tok_A1b2" : "/");
  }
}

// A save killed before its rename, in an earlier run that had this pid, left
// its temporary file where this run's save would put its own: the sign-in
// still ends signed in, not in SESSION SAVE FAILED.
TEST(VrSignInWorker, LeftoversOfAKilledSaveNeverFailTheSignIn) {
  quorix_test::TempDir local;
  ScopedEnvironmentVariable local_app_data(u"LOCALAPPDATA", local.path().u16string());
  Service s;
  std::filesystem::path path;
  ASSERT_TRUE(SessionFilePath(&path));
  std::filesystem::create_directories(path.parent_path());
  const quorix_test::Leftovers leftovers(path);
  W worker;
  EXPECT_EQ(RunToEnd(worker, u"alice"), W::kSignedIn);
  StoredSession saved;
  ASSERT_TRUE(LoadSessionFile(&saved));
  EXPECT_EQ(saved.user_id + "/" + saved.token, "alice/tok_A1b2");
  leftovers.ExpectOnlyEndedWritersRemoved();
}

TEST(VrSignInWorker, NoRequestWithoutAnEndpointOrAWellFormedId) {
  quorix_test::LoopbackService service;
  {
    quorix_test::ScopedIsolatedService isolated(service);
    ScopedEnvironmentVariable real_accounts(u"QUORIX_2PC_REAL_ACCOUNTS", std::nullopt);
    W worker;
    EXPECT_EQ(RunToEnd(worker, u"alice"), W::kNetworkError);
  }
  quorix_test::ScopedProductionService production(service);
  W worker;
  EXPECT_EQ(RunToEnd(worker, std::u16string(u"al") + char16_t(0xD800) + u"ice"), W::kLoginDenied);
  EXPECT_TRUE(service.Requests().empty());
}

TEST(VrSignInWorker, RefusalsAndAFailedThreadStartZeroThePasswordAndLeaveTheRunAlone) {
  Service s;
  ScriptedReply held = ScriptedReply::Json(200, kGrant);
  held.hold_until_released = true;
  s.service.Script("POST", "/auth/login", held);
  auto worker = std::make_unique<W>();
  auto refused = [&](std::u16string id, std::u16string password) {
    const char16_t* buffer = password.data();
    const size_t capacity = password.capacity();
    EXPECT_FALSE(worker->Start(std::move(id), std::move(password)));
    EXPECT_TRUE(password.empty());
    EXPECT_TRUE(std::all_of(buffer, buffer + capacity, [](char16_t unit) { return unit == 0; }));
  };
  refused(std::u16string(129, u'a'), u"a password of some length");
  refused(std::u16string(129, u'a'), u"short");
  refused(u"alice", u"");
  EXPECT_EQ(worker->state.load(), W::kNotChecked);
  // A failed thread start wipes the password and leaves the worker usable.
  quorix_sign_in::test_hooks::FailNextThreadStart();
  std::u16string password = u"a password on the heap";
  EXPECT_THROW(worker->Start(u"alice", std::move(password)), std::system_error);
  EXPECT_TRUE(password.empty());
  EXPECT_EQ(worker->state.load(), W::kNotChecked);

  ASSERT_TRUE(worker->Start(u"alice", u"pw"));
  ASSERT_TRUE(WaitFor([&] { return s.service.RequestsTo("/auth/login").size() == 1; }));
  refused(u"bob", u"another password, held run");
  EXPECT_EQ(worker->TakeState(), W::kSigningIn);
  EXPECT_EQ(worker->state.load(), W::kSigningIn);
  // Destruction waits for the held request and the rest of the run.
  std::atomic<bool> destroying{false};
  std::thread releaser([&] {
    WaitFor([&] { return destroying.load(); });
    s.service.Release();
  });
  destroying = true;
  worker.reset();
  releaser.join();
  EXPECT_EQ(s.service.RequestsTo("/auth/login").size(), 1u);
  StoredSession saved;
  EXPECT_TRUE(LoadSessionFile(&saved));
}

}  // namespace
