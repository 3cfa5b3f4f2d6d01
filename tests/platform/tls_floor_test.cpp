// The clients' own safety floor: weak leaves refused even when the machine's
// OpenSSL configuration allows them, and header lines that could split a
// request refused before any traffic.
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/https.h"
#include "platform/wss.h"
#include "service_admission.h"
#include "test_util.h"

extern char** environ;

namespace {

using platform::HttpsFailure;
using platform::WssStep;
using quorix_test::LeafKind;
using quorix_test::LoopbackService;

constexpr char kChildFlag[] = "QUORIX_TLS_FLOOR_CHILD";

platform::HttpsRequest Get(const LoopbackService& service, std::vector<std::string> headers) {
  platform::HttpsRequest request;
  request.host = quorix_test::kLoopbackServiceName;
  request.port = service.port();
  request.method = "GET";
  request.path = "/x";
  request.user_agent = "QuorixTest/1";
  request.headers = std::move(headers);
  return request;
}

platform::WssConnectResult Upgrade(const LoopbackService& service, const std::vector<std::string>& headers) {
  auto ws = platform::WssConnection::Create();
  return ws->Connect(quorix_test::kLoopbackServiceName, service.port(), "/phone/v1/ws", headers, "QuorixTest/1");
}

// Runs in a child whose OpenSSL configuration drops the system floor.
TEST(HttpsWssTlsFloorChild, WeakLeavesRefused) {
  if (std::getenv(kChildFlag) == nullptr) GTEST_SKIP() << "runs only as the child of HttpsWssTlsFloor";
  SSL_CTX* probe = SSL_CTX_new(TLS_client_method());
  ASSERT_EQ(SSL_CTX_get_security_level(probe), 0) << "the permissive configuration is not in effect";
  SSL_CTX_free(probe);
  struct Case {
    LeafKind leaf;
    bool accepted;
  };
  for (const Case& c : {Case{LeafKind::kGood, true}, Case{LeafKind::kWeakRsa, false}, Case{LeafKind::kSha1, false}}) {
    SCOPED_TRACE(static_cast<int>(c.leaf));
    LoopbackService service(c.leaf);
    quorix_test::ScopedIsolatedService admission(service);
    service.ScriptWebSocket([](size_t) { return quorix_test::WsUpgrade{}; });
    platform::HttpsConnection https;
    const auto reply = https.Send(Get(service, {}));
    EXPECT_EQ(reply.failure, c.accepted ? HttpsFailure::kNone : HttpsFailure::kSend);
    EXPECT_EQ(platform::LastError(), c.accepted ? 0u : 12175u);
    const auto upgraded = Upgrade(service, {});
    EXPECT_EQ(upgraded.failed, c.accepted ? WssStep::kNone : WssStep::kTls);
    EXPECT_EQ(upgraded.detail, c.accepted ? 0u : 12175u);
    EXPECT_EQ(service.Requests().size(), c.accepted ? 2u : 0u);
  }
}

TEST(HttpsWssTlsFloor, HoldsUnderAPermissiveSystemConfiguration) {
  if (std::getenv(kChildFlag) != nullptr) GTEST_SKIP();
  quorix_test::TempDir dir;
  const auto conf = dir.path() / "permissive.cnf";
  quorix_test::WriteFile(conf,
                         "openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\nsystem_default = lax\n"
                         "[lax]\nCipherString = DEFAULT@SECLEVEL=0\nMinProtocol = TLSv1\n");
  std::vector<std::string> env = {std::string(kChildFlag) + "=1", "OPENSSL_CONF=" + conf.string()};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).rfind("OPENSSL_CONF=", 0) != 0) env.emplace_back(*e);
  }
  auto child = quorix_test::ChildProcess::Start(std::filesystem::read_symlink("/proc/self/exe"),
                                                {"--gtest_filter=HttpsWssTlsFloorChild.*"}, env);
  ASSERT_EQ(child->WaitExit(std::chrono::minutes(3)), 0) << child->Stdout() << child->Stderr();
  EXPECT_NE(child->Stdout().find("[  PASSED  ] 1 test"), std::string::npos) << child->Stdout();
}

TEST(HttpsWssHeaderLines, SplittingLinesRefusedBeforeAnyTraffic) {
  LoopbackService service;
  quorix_test::ScopedIsolatedService admission(service);
  service.ScriptWebSocket([](size_t) { return quorix_test::WsUpgrade{}; });
  for (const std::string& value : {std::string("a\r\nX-Evil: 1"), std::string("a\nX-Evil: 1"), std::string("a\0b", 3)}) {
    SCOPED_TRACE(value.size());
    const std::vector<std::string> headers = {"Accept: application/json", "X-NiloPhone-Token: " + value};
    platform::HttpsConnection https;
    const auto reply = https.Send(Get(service, headers));
    EXPECT_EQ(reply.failure, HttpsFailure::kHeader);
    EXPECT_EQ(reply.failed_header, 1u);
    EXPECT_EQ(Upgrade(service, headers).failed, WssStep::kUpgrade);
  }
  EXPECT_EQ(service.accepts(), 0u);
  EXPECT_EQ(service.upgrades(), 0u);
  EXPECT_TRUE(service.Requests().empty());
}

}  // namespace
