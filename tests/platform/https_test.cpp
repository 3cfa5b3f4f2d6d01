#include "platform/https.h"

#include <gtest/gtest.h>

#include <string>

#include "loopback_service.h"
#include "test_util.h"
#include "platform/test_hooks.h"
#include "test_pki.h"

namespace {

using platform::HttpsFailure;
using platform::HttpsRequest;
using quorix_test::LoopbackService;
using quorix_test::ScriptedReply;

// Trusts the test CA and maps the loopback name to the service.
class Https : public ::testing::Test {
 protected:
  Https() {
    platform::testing::SetTrustAnchorsPem(quorix_test::TestPki::Get().ca_pem());
    platform::testing::SetConnectOverride(quorix_test::kLoopbackServiceName, service_.port(), service_.port());
  }
  ~Https() override {
    platform::testing::ClearConnectOverrides();
    platform::testing::SetTrustAnchorsPem({});
  }

  HttpsRequest Get(const std::string& path) const {
    HttpsRequest request;
    request.host = quorix_test::kLoopbackServiceName;
    request.port = service_.port();
    request.method = "GET";
    request.path = path;
    request.user_agent = "QuorixTest/1";
    request.headers = {"Accept: application/json"};
    return request;
  }

  LoopbackService service_;
  platform::HttpsConnection connection_;
};

TEST_F(Https, SendsTheRequestAsGivenAndReadsTheReply) {
  service_.Script("POST", "/a%20b/./c", ScriptedReply::Json(201, R"({"ok":true})"));
  HttpsRequest request = Get("/a b/./c");
  request.method = "POST";
  request.headers = {"Accept: application/json", "Content-Type: application/json; charset=utf-8", "X-Two: 2"};
  request.body = "{}";
  const auto response = connection_.Send(request);
  ASSERT_EQ(response.failure, HttpsFailure::kNone) << platform::LastError();
  EXPECT_EQ(response.status, 201u);
  EXPECT_EQ(response.body.view(), R"({"ok":true})");
  const auto seen = service_.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].target, "/a%20b/./c");
  EXPECT_EQ(seen[0].server_name, quorix_test::kLoopbackServiceName);
  EXPECT_EQ(seen[0].Header("Host"), std::string(quorix_test::kLoopbackServiceName) + ":" + std::to_string(service_.port()));
  EXPECT_EQ(seen[0].HeaderCount("Accept"), 1u);
  EXPECT_EQ(seen[0].Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(seen[0].HeaderCount("Expect"), 0u);
  EXPECT_EQ(seen[0].HeaderCount("Accept-Encoding"), 0u);
  EXPECT_EQ(seen[0].Header("User-Agent"), "QuorixTest/1");
  EXPECT_EQ(seen[0].body, "{}");

  // A redirect is a reply like any other, never followed.
  ScriptedReply moved = ScriptedReply::Json(302, "{}");
  moved.headers.emplace_back("Location", "/elsewhere");
  service_.Script("GET", "/moved", moved);
  const auto redirect = connection_.Send(Get("/moved"));
  ASSERT_EQ(redirect.failure, HttpsFailure::kNone) << platform::LastError();
  EXPECT_EQ(redirect.status, 302u);
  EXPECT_EQ(service_.Requests().size(), 2u);
  // Both went over one kept connection; a connection's end closes its socket.
  EXPECT_EQ(service_.accepts(), 1u);
  EXPECT_EQ(platform::HttpsConnection().Send(Get("/z")).status, 404u);
  EXPECT_EQ(service_.accepts(), 2u);
  EXPECT_TRUE(quorix_test::WaitFor([&] { return service_.client_closes() == 1; }, std::chrono::seconds(5)));
}

TEST_F(Https, CapHoldsForEveryFraming) {
  for (const auto framing : {ScriptedReply::Framing::kContentLength, ScriptedReply::Framing::kChunked,
                             ScriptedReply::Framing::kCloseDelimited}) {
    ScriptedReply fits;
    fits.body = std::string(1000, 'a');
    fits.framing = framing;
    service_.Script("GET", "/fits", fits);
    ScriptedReply over = fits;
    over.body += "b";
    service_.Script("GET", "/over", over);
    HttpsRequest request = Get("/fits");
    request.body_cap = 1000;
    const auto ok = connection_.Send(request);
    ASSERT_EQ(ok.failure, HttpsFailure::kNone);
    EXPECT_EQ(ok.body.size(), 1000u);
    request.path = "/over";
    const auto refused = connection_.Send(request);
    EXPECT_EQ(refused.failure, HttpsFailure::kTooLarge) << static_cast<int>(framing);
    EXPECT_EQ(refused.status, 0u);
    EXPECT_TRUE(refused.body.empty());
  }
}

TEST_F(Https, FailuresAreToldByPhase) {
  ScriptedReply none;
  none.close_without_answer = true;
  service_.Script("GET", "/none", none);
  ScriptedReply cut;
  cut.body = std::string(500, 'x');
  cut.close_after_body_bytes = 100;
  service_.Script("GET", "/cut", cut);
  ScriptedReply stall = cut;
  stall.close_after_body_bytes.reset();
  stall.stall_after_body_bytes = 100;
  service_.Script("GET", "/stall", stall);
  ScriptedReply late;
  late.delay_before_headers = std::chrono::seconds(30);
  service_.Script("GET", "/late", late);

  EXPECT_EQ(connection_.Send(Get("/none")).failure, HttpsFailure::kReceive);
  EXPECT_EQ(platform::LastError(), 12030u);
  EXPECT_EQ(connection_.Send(Get("/cut")).failure, HttpsFailure::kBodyNetwork);
  HttpsRequest quick = Get("/stall");
  quick.receive_timeout_ms = 1000;
  EXPECT_EQ(connection_.Send(quick).failure, HttpsFailure::kBodyNetwork);
  EXPECT_EQ(platform::LastError(), 12002u);
  quick.path = "/late";
  EXPECT_EQ(connection_.Send(quick).failure, HttpsFailure::kReceive);
  EXPECT_EQ(platform::LastError(), 12002u);
  const auto fine = connection_.Send(Get("/unscripted"));
  EXPECT_EQ(fine.failure, HttpsFailure::kNone);
  EXPECT_EQ(fine.status, 404u);
  EXPECT_EQ(platform::LastError(), 0u);
}

TEST_F(Https, RefusedHostSendsNothing) {
  HttpsRequest request = Get("/x");
  request.host = "a b";
  EXPECT_EQ(connection_.Send(request).failure, HttpsFailure::kHostRefused);
  EXPECT_EQ(platform::LastError(), 87u);
  request.host = "127.0.0.1:1@x";
  EXPECT_EQ(connection_.Send(request).failure, HttpsFailure::kHostRefused);
  EXPECT_EQ(service_.accepts(), 0u);
}

TEST_F(Https, UntrustedLeavesFailToConnect) {
  for (const auto leaf : {quorix_test::LeafKind::kRogue, quorix_test::LeafKind::kWrongName,
                          quorix_test::LeafKind::kExpired}) {
    LoopbackService bad(leaf);
    platform::testing::SetConnectOverride(quorix_test::kLoopbackServiceName, bad.port(), bad.port());
    HttpsRequest request = Get("/x");
    request.port = bad.port();
    EXPECT_EQ(connection_.Send(request).failure, HttpsFailure::kSend) << static_cast<int>(leaf);
    EXPECT_EQ(platform::LastError(), 12175u);
    EXPECT_TRUE(bad.Requests().empty());
  }
}

TEST_F(Https, LocalStepsFailOnceWhenAsked) {
  using platform::testing::FailNext;
  using platform::testing::FailStep;
  FailNext(FailStep::kHandle);
  EXPECT_EQ(connection_.Send(Get("/x")).failure, HttpsFailure::kHandle);
  FailNext(FailStep::kRequest);
  EXPECT_EQ(connection_.Send(Get("/x")).failure, HttpsFailure::kRequest);
  FailNext(FailStep::kRedirectPolicy);
  EXPECT_EQ(connection_.Send(Get("/x")).failure, HttpsFailure::kRedirectPolicy);
  FailNext(FailStep::kHeader, "accept");
  const auto header = connection_.Send(Get("/x"));
  EXPECT_EQ(header.failure, HttpsFailure::kHeader);
  EXPECT_EQ(header.failed_header, 0u);
  EXPECT_TRUE(service_.Requests().empty());
  EXPECT_EQ(connection_.Send(Get("/x")).status, 404u);
}

}  // namespace
