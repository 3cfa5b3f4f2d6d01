#include "chat/account_http.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/environment.h"
#include "core/service_origin.h"
#include "platform/test_hooks.h"
#include "service_admission.h"
#include "test_util.h"

namespace {

using quorix_test::LoopbackService;
using quorix_test::ScopedIsolatedService;
using quorix_test::ScopedProductionService;
using quorix_test::ScriptedReply;

using Env = std::vector<std::pair<const char16_t*, std::optional<std::u16string>>>;

// Sets the policy variables for one case and restores them afterwards.
class PolicyScope {
 public:
  explicit PolicyScope(const Env& values) {
    for (const char16_t* name : {u"QUORIX_RUNTIME_MODE", u"QUORIX_2PC_NETWORK", u"QUORIX_2PC_ORIGIN",
                                 u"QUORIX_2PC_ALLOWED_HOST", u"QUORIX_2PC_REAL_ACCOUNTS"}) {
      std::optional<std::u16string> value;
      for (const auto& [n, v] : values) {
        if (std::u16string_view(n) == name) value = v;
      }
      saved_.push_back(std::make_unique<ScopedEnvironmentVariable>(name, value));
    }
  }

 private:
  std::vector<std::unique_ptr<ScopedEnvironmentVariable>> saved_;
};

Env Isolated(std::u16string origin, std::u16string allowed = u"svc.qx-loopback.TEST") {
  return {{u"QUORIX_2PC_NETWORK", u"AUTHORIZED_ISOLATED_ONLY"},
          {u"QUORIX_2PC_ORIGIN", std::move(origin)},
          {u"QUORIX_2PC_ALLOWED_HOST", std::move(allowed)},
          {u"QUORIX_2PC_REAL_ACCOUNTS", u"1"}};
}

TEST(ServicePolicy, ProductionUsesOnlyTheServiceAndIgnoresIsolatedSettings) {
  Env env = Isolated(u"https://svc.qx-loopback.test:8443");
  env.push_back({u"QUORIX_RUNTIME_MODE", u"LIVE_PRODUCTION_RC"});
  PolicyScope scope(env);
  std::u16string host;
  uint16_t port = 0;
  ASSERT_TRUE(ResolveServiceHost(&host, &port));
  EXPECT_EQ(host, u"api.quorix.example");
  EXPECT_EQ(port, 443);
  EXPECT_FALSE(ResolveServiceHost(&host, nullptr));
  EXPECT_EQ(ChooseServiceBaseUrl(""), quorix_service::kServiceBaseUrl);
  EXPECT_EQ(ChooseServiceBaseUrl(quorix_service::kServiceBaseUrl), quorix_service::kServiceBaseUrl);
  EXPECT_EQ(ChooseServiceBaseUrl("https://svc.qx-loopback.test:8443"), "");
  ServiceEndpoint endpoint{u"x", 1};
  std::string error;
  ASSERT_TRUE(ParseServiceEndpoint(&endpoint, "", &error));
  EXPECT_EQ(endpoint.host, u"api.quorix.example");
  EXPECT_EQ(endpoint.port, 443);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(ParseServiceEndpoint(&endpoint, "https://api.quorix.example/", &error));
  EXPECT_EQ(error, "invalid_url_utf8");
  EXPECT_TRUE(endpoint.host.empty());
  EXPECT_EQ(endpoint.port, 0);
}

TEST(ServicePolicy, AdmittedIsolatedOriginIsLowerCasedWithItsPort) {
  PolicyScope scope(Isolated(u"HTTPS://Svc.QX-Loopback.test:8443/"));
  std::u16string host;
  uint16_t port = 0;
  ASSERT_TRUE(ResolveServiceHost(&host, &port));
  EXPECT_EQ(host, u"svc.qx-loopback.test");
  EXPECT_EQ(port, 8443);
  EXPECT_EQ(ChooseServiceBaseUrl(""), "HTTPS://Svc.QX-Loopback.test:8443/");
  // Callers that name the production service still reach it.
  EXPECT_EQ(ChooseServiceBaseUrl(quorix_service::kServiceBaseUrl), quorix_service::kServiceBaseUrl);
  EXPECT_EQ(ChooseServiceBaseUrl("https://svc.qx-loopback.test:8443"), "");
  ServiceEndpoint endpoint;
  ASSERT_TRUE(ParseServiceEndpoint(&endpoint, ""));
  EXPECT_EQ(endpoint.port, 8443);
}

TEST(ServicePolicy, RefusedIsolatedSettings) {
  const std::u16string good = u"https://svc.qx-loopback.test:8443";
  std::vector<std::pair<const char*, Env>> cases = {
      {"no network", {{u"QUORIX_2PC_ORIGIN", good}, {u"QUORIX_2PC_ALLOWED_HOST", u"svc.qx-loopback.test"},
                      {u"QUORIX_2PC_REAL_ACCOUNTS", u"1"}}},
      {"lower-case network", {{u"QUORIX_2PC_NETWORK", u"authorized_isolated_only"}, {u"QUORIX_2PC_ORIGIN", good},
                              {u"QUORIX_2PC_ALLOWED_HOST", u"svc.qx-loopback.test"}}},
      {"no origin", {{u"QUORIX_2PC_NETWORK", u"AUTHORIZED_ISOLATED_ONLY"},
                     {u"QUORIX_2PC_ALLOWED_HOST", u"svc.qx-loopback.test"}}},
      {"no allowed host", {{u"QUORIX_2PC_NETWORK", u"AUTHORIZED_ISOLATED_ONLY"}, {u"QUORIX_2PC_ORIGIN", good}}},
      {"513 units", Isolated(u"https://svc.qx-loopback.test:8443/" + std::u16string(479, u'/'))},
      {"other allowed host", Isolated(good, u"svc2.qx-loopback.test")},
      {"http", Isolated(u"http://svc.qx-loopback.test:8443")},
      {"path", Isolated(u"https://svc.qx-loopback.test:8443/api")},
      {"query", Isolated(u"https://svc.qx-loopback.test:8443?q")},
      {"fragment", Isolated(u"https://svc.qx-loopback.test:8443#f")},
      {"user", Isolated(u"https://u@svc.qx-loopback.test:8443")},
      {"user and password", Isolated(u"https://u:p@svc.qx-loopback.test:8443")},
      {"trailing dot", Isolated(u"https://svc.qx-loopback.test.:8443", u"svc.qx-loopback.test.")},
      {"underscore", Isolated(u"https://svc_1.qx-loopback.test", u"svc_1.qx-loopback.test")},
      {"port 0", Isolated(u"https://svc.qx-loopback.test:0")},
      {"port 65536", Isolated(u"https://svc.qx-loopback.test:65536")},
      {"localhost", Isolated(u"https://localhost:8443", u"localhost")},
      {"127.0.0.1", Isolated(u"https://127.0.0.1:8443", u"127.0.0.1")},
      {"[::1]", Isolated(u"https://[::1]:8443", u"[::1]")},
      {"service domain", Isolated(u"https://a.quorix.example.qx-loopback.test", u"a.quorix.example.qx-loopback.test")},
      {"non-ASCII letter", Isolated(u"https://svc\u0130.qx-loopback.test", u"svc\u0130.qx-loopback.test")},
  };
  // The 513-unit origin is exactly one unit over.
  ASSERT_EQ(std::get<1>(cases[4].second[1]).value().size(), 513u);
  for (const auto& [name, env] : cases) {
    PolicyScope scope(env);
    std::u16string host;
    uint16_t port = 0;
    EXPECT_FALSE(ResolveServiceHost(&host, &port)) << name;
    EXPECT_EQ(ChooseServiceBaseUrl(""), "") << name;
    ServiceEndpoint endpoint;
    std::string error;
    EXPECT_FALSE(ParseServiceEndpoint(&endpoint, "", &error)) << name;
    EXPECT_EQ(error, "invalid_url_utf8") << name;
  }
}

TEST(ServicePolicy, WithoutRealAccountsOnlyTheBaseUrlIsRefused) {
  Env env = Isolated(u"https://svc.qx-loopback.test:8443");
  env.pop_back();
  PolicyScope scope(env);
  std::u16string host;
  uint16_t port = 0;
  EXPECT_TRUE(ResolveServiceHost(&host, &port));
  EXPECT_EQ(ChooseServiceBaseUrl(""), "");
  EXPECT_EQ(ChooseServiceBaseUrl(quorix_service::kServiceBaseUrl), "");
}

TEST(ServicePolicy, WithoutNetworkEveryParseFails) {
  PolicyScope scope({});
  for (const char* base : {"", quorix_service::kServiceBaseUrl, "https://svc.qx-loopback.test"}) {
    ServiceEndpoint endpoint;
    std::string error;
    EXPECT_FALSE(ParseServiceEndpoint(&endpoint, base, &error));
    EXPECT_EQ(error, "invalid_url_utf8");
  }
}

// Requests refused before anything goes out.
TEST(AccountExecutor, LocalChecksInOrder) {
  LoopbackService service;
  ScopedProductionService admission(service);
  ServiceEndpoint endpoint;
  ASSERT_TRUE(ParseServiceEndpoint(&endpoint, quorix_service::kServiceBaseUrl));
  auto send = [&](const ServiceEndpoint& e, const std::string& path, const std::string& body, const std::string& token) {
    return SendAccountRequest(e, u"POST", path, body, token);
  };
  auto expect = [](const AccountHttpReply& reply, const char* code) {
    EXPECT_FALSE(reply.ok) << code;
    EXPECT_EQ(reply.status, 0u) << code;
    EXPECT_TRUE(reply.body.empty()) << code;
    EXPECT_EQ(reply.error, code);
  };
  expect(send({u"", 443}, "/a", "", ""), "adapter_not_configured");
  expect(send({u"api.quorix.example", 0}, "/a", "", ""), "adapter_not_configured");
  expect(send({u"a b", 443}, "/a", "", ""), "winhttp_connect_failed");
  for (const char* path : {"", "x", "/a?b", "/a#b", "/a..b", "/.."}) expect(send(endpoint, path, "", ""), "invalid_api_path");
  for (const std::string& token : {std::string(2049, 'a'), std::string("a.b"), std::string("a="), std::string("a b")}) {
    expect(send(endpoint, "/a", "", token), "invalid_token_header");
  }
  expect(send(endpoint, "/a", std::string(1048577, 'x'), ""), "request_too_large");
  expect(send(endpoint, "/a\xff", "", ""), "invalid_api_path_encoding");
  expect(send(endpoint, "/a\xc0\xaf", "", ""), "invalid_api_path_encoding");
  // Two faults: the earlier check wins.
  expect(send(endpoint, "/a..b", std::string(1048577, 'x'), "a.b"), "invalid_api_path");
  expect(send(endpoint, "/a\xff", std::string(1048577, 'x'), ""), "request_too_large");

  using platform::testing::FailNext;
  using platform::testing::FailStep;
  const std::vector<std::pair<std::function<void()>, const char*>> faults = {
      {[] { FailNext(FailStep::kHandle); }, "winhttp_open_failed"},
      {[] { FailNext(FailStep::kRequest); }, "winhttp_request_failed"},
      {[] { FailNext(FailStep::kRedirectPolicy); }, "redirect_policy_failed"},
      {[] { FailNext(FailStep::kHeader, "Accept"); }, "accept_header_failed"},
      {[] { FailNext(FailStep::kHeader, "Content-Type"); }, "content_type_header_failed"},
      {[] { FailNext(FailStep::kHeader, "X-NiloPhone-Token"); }, "authentication_header_failed"},
  };
  for (const auto& fault : faults) {
    const std::function<void()>& arm = fault.first;
    const char* const code = fault.second;
    // Fresh threads, so that the handle step is really taken.
    std::thread([&] {
      arm();
      expect(send(endpoint, "/a", "", "tok"), code);
      EXPECT_TRUE(send(endpoint, "/a", "", "tok").ok) << code;
    }).join();
  }
  EXPECT_EQ(service.Requests().size(), faults.size());
}

class AccountService : public ::testing::Test {
 protected:
  AccountService() : admission_(std::make_unique<ScopedProductionService>(service_)) {
    EXPECT_TRUE(ParseServiceEndpoint(&endpoint_, quorix_service::kServiceBaseUrl));
  }
  AccountHttpReply Send(const char16_t* method, const std::string& path, const std::string& body = {},
                        const std::string& token = {}) {
    return SendAccountRequest(endpoint_, method, path, body, token);
  }

  LoopbackService service_;
  std::unique_ptr<ScopedProductionService> admission_;
  ServiceEndpoint endpoint_;
};

TEST_F(AccountService, HeadersAsTheServiceSeesThem) {
  service_.Script("GET", "/auth/me", ScriptedReply::Json(200, R"({"ok":true})"));
  const AccountHttpReply get = Send(u"GET", "/auth/me");
  ASSERT_TRUE(get.ok) << get.error;
  EXPECT_EQ(get.status, 200u);
  EXPECT_EQ(get.body, R"({"ok":true})");
  // A failing status is the caller's to judge.
  service_.Script("POST", "/auth/logout", ScriptedReply::Json(500, R"({"error":"x"})"));
  const std::string token(2048, 'T');
  const AccountHttpReply broken = Send(u"POST", "/auth/logout", "", token);
  EXPECT_TRUE(broken.ok);
  EXPECT_EQ(broken.status, 500u);
  EXPECT_EQ(broken.body, R"({"error":"x"})");
  Send(u"GET", "/a/./b");
  Send(u"GET", "/a b");

  const auto seen = service_.Requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].HeaderCount("Accept"), 1u);
  EXPECT_EQ(seen[0].Header("Accept"), "application/json");
  EXPECT_EQ(seen[0].Header("User-Agent"), "QuorixPhone/0.1.12");
  EXPECT_EQ(seen[0].Header("Host"), "api.quorix.example");
  EXPECT_EQ(seen[0].server_name, "api.quorix.example");
  EXPECT_EQ(seen[0].HeaderCount("Content-Type"), 0u);
  EXPECT_EQ(seen[0].HeaderCount("Expect"), 0u);
  EXPECT_EQ(seen[0].HeaderCount("X-NiloPhone-Token"), 0u);
  EXPECT_EQ(seen[1].method, "POST");
  EXPECT_EQ(seen[1].Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(seen[1].Header("Content-Length"), "0");
  EXPECT_EQ(seen[1].Header("X-NiloPhone-Token"), token);
  EXPECT_EQ(seen[1].HeaderCount("Expect"), 0u);
  EXPECT_EQ(seen[2].target, "/a/./b");
  EXPECT_EQ(seen[3].target, "/a%20b");
}

// Each framing's cap is the HTTPS layer's own test; here, the account cap,
// then the failures by phase, the last one a real receive timeout (8 s).
TEST_F(AccountService, BodyCapAndFailuresByPhase) {
  ScriptedReply exact;
  exact.body = std::string(1048576, 'a');
  exact.body.back() = 'z';
  exact.framing = ScriptedReply::Framing::kChunked;
  service_.Script("GET", "/exact", exact);
  ScriptedReply over = exact;
  over.body.push_back('!');
  service_.Script("GET", "/over", over);
  const AccountHttpReply fits = Send(u"GET", "/exact");
  ASSERT_TRUE(fits.ok) << fits.error;
  EXPECT_EQ(fits.body, exact.body);
  const AccountHttpReply refused = Send(u"GET", "/over");
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error, "response_too_large");
  EXPECT_EQ(refused.status, 0u);
  EXPECT_TRUE(refused.body.empty());

  ScriptedReply none;
  none.close_without_answer = true;
  service_.Script("GET", "/none", none);
  ScriptedReply cut;
  cut.body = std::string(4000, 'x');
  cut.close_after_body_bytes = 1000;
  service_.Script("GET", "/cut", cut);
  EXPECT_EQ(Send(u"GET", "/none").error, "receive_failed");
  EXPECT_EQ(Send(u"GET", "/cut").error, "body_query_failed");

  ScriptedReply silent;
  silent.hold_until_released = true;
  service_.Script("GET", "/silent", silent);
  EXPECT_EQ(Send(u"GET", "/silent").error, "receive_failed");
  service_.Release();

  uint16_t closed_port = 0;
  {
    LoopbackService gone;
    closed_port = gone.port();
  }
  platform::testing::SetConnectOverride("api.quorix.example", 443, closed_port);
  EXPECT_EQ(Send(u"GET", "/x").error, "send_failed");
}

TEST_F(AccountService, ConnectionsPerThreadAndEndpoint) {
  EXPECT_EQ(Send(u"GET", "/one").status, 404u);
  EXPECT_EQ(Send(u"GET", "/two").status, 404u);
  EXPECT_EQ(service_.accepts(), 1u);
  std::thread([&] { EXPECT_EQ(Send(u"GET", "/three").status, 404u); }).join();
  EXPECT_EQ(service_.accepts(), 2u);
  // That thread's end closed its connection.
  EXPECT_TRUE(quorix_test::WaitFor([&] { return service_.client_closes() >= 1; }, std::chrono::seconds(5)));
}

TEST(AccountIsolated, ReachesTheAdmittedOriginAndSwitchesConnectionsByEndpoint) {
  LoopbackService first;
  LoopbackService second;
  ServiceEndpoint first_endpoint;
  ServiceEndpoint second_endpoint;
  {
    ScopedIsolatedService admission(first);
    ASSERT_TRUE(ParseServiceEndpoint(&first_endpoint, ""));
  }
  {
    ScopedIsolatedService admission(second);
    ASSERT_TRUE(ParseServiceEndpoint(&second_endpoint, ""));
  }
  ScopedIsolatedService admission(first);
  platform::testing::SetConnectOverride(quorix_test::kLoopbackServiceName, second.port(), second.port());
  std::thread([&] {
    EXPECT_EQ(SendAccountRequest(first_endpoint, u"GET", "/a", "", "").status, 404u);
    EXPECT_EQ(SendAccountRequest(second_endpoint, u"GET", "/a", "", "").status, 404u);
    EXPECT_EQ(SendAccountRequest(first_endpoint, u"GET", "/a", "", "").status, 404u);
  }).join();
  EXPECT_EQ(first.accepts(), 2u);
  EXPECT_EQ(second.accepts(), 1u);
  const auto seen = first.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].server_name, quorix_test::kLoopbackServiceName);
  EXPECT_EQ(seen[0].Header("Host"), std::string(quorix_test::kLoopbackServiceName) + ":" + std::to_string(first.port()));
}

}  // namespace
