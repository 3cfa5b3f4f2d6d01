#include "phone_service/phone_http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/text.h"
#include "event_log_capture.h"
#include "platform/https.h"
#include "platform/test_hooks.h"
#include "service_admission.h"

namespace {

using quorix_phone::PhoneTarget;
using quorix_phone::SendPhoneHttpRequest;
using quorix_test::LeafKind;
using quorix_test::LoopbackService;
using quorix_test::ScopedIsolatedService;
using quorix_test::ScriptedReply;

const std::string kToken = "tok_EN-123";
const std::string kConnection = "0123456789abcdef0123456789abcdef";

PhoneTarget Target(const LoopbackService& service) {
  return PhoneTarget{Utf8ToWide(quorix_test::kLoopbackServiceName), service.port(), nullptr};
}

struct Outcome {
  bool ok = false;
  uint32_t status = 0;
  std::string body;
  uint32_t error = 0;
};

Outcome Exchange(const PhoneTarget& target, const std::string& method, const std::string& path,
                 const std::string& body = {}, const std::string& connection = {}, const std::string& token = kToken) {
  Outcome out;
  out.ok = SendPhoneHttpRequest(target, token, method, path, body, &out.status, &out.body, connection);
  out.error = platform::LastError();
  return out;
}

TEST(PhoneRules, TokenConnectionIdAndBoundedConversion) {
  EXPECT_TRUE(quorix_phone::IsValidPhoneToken(std::string(2048, 'a')));
  EXPECT_TRUE(quorix_phone::IsValidPhoneToken("A-z_09"));
  for (const std::string& bad : {std::string(), std::string(2049, 'a'), std::string("a.b"), std::string("a+b"),
                                std::string("a/b"), std::string("a b")}) {
    EXPECT_FALSE(quorix_phone::IsValidPhoneToken(bad)) << bad.size();
  }
  EXPECT_TRUE(quorix_phone::IsValidConnectionId(kConnection));
  EXPECT_FALSE(quorix_phone::IsValidConnectionId("0123456789ABCDEF0123456789abcdef"));
  EXPECT_FALSE(quorix_phone::IsValidConnectionId(kConnection + "0"));
  EXPECT_FALSE(quorix_phone::IsValidConnectionId(kConnection.substr(1)));
  EXPECT_EQ(quorix_phone::Utf8ToWideBounded("\xC3\xA9"), u"\u00E9");
  EXPECT_TRUE(quorix_phone::Utf8ToWideBounded("").empty());
  EXPECT_TRUE(quorix_phone::Utf8ToWideBounded("\x80").empty());
  EXPECT_TRUE(quorix_phone::Utf8ToWideBounded(std::string(200001, 'a')).empty());
  EXPECT_EQ(quorix_phone::Utf8ToWideBounded(std::string(200000, 'a')).size(), 200000u);
}

class PhoneExchange : public ::testing::Test {
 protected:
  PhoneExchange() : admission_(service_) {
    service_.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, R"({"ok":true})"));
    service_.Script("POST", "/phone/v1/calls/start", ScriptedReply::Json(200, R"({"ok":true})"));
    service_.Script("POST", "/phone/v1/messages/send", ScriptedReply::Json(200, R"({"ok":true})"));
    service_.Script("GET", "/phone/v1/presence", ScriptedReply::Json(200, R"({"ok":true})"));
  }

  LoopbackService service_;
  ScopedIsolatedService admission_;
  quorix_test::EventLogCapture log_;
};

TEST_F(PhoneExchange, RefusalsSendNothing) {
  struct Case {
    std::string token, path, body, connection;
  };
  const std::vector<Case> cases = {
      {"a.b", "/phone/v1/capabilities", "", ""},  // every token rule: PhoneRules
      {kToken, "/" + std::string(256, 'a'), "", ""},
      {kToken, "phone/v1/capabilities", "", ""},
      {kToken, "/phone/v1/../capabilities", "", ""},
      {kToken, "/phone/v1/capabilities#x", "", ""},
      {kToken, "/phone/v1/\x80", "", ""},
      {kToken, "/phone/v1/calls/start", std::string(4097, 'x'), ""},
      {kToken, "/phone/v1/messages/send", std::string(32769, 'x'), ""},
      {kToken, "/phone/v1/presence", "", kConnection},
      {kToken, "/phone/v1/calls/start", "", "0123456789ABCDEF0123456789abcdef"},
  };
  const PhoneTarget target = Target(service_);
  for (const Case& c : cases) {
    uint32_t status = 7;
    std::string reply = "kept";
    EXPECT_FALSE(SendPhoneHttpRequest(target, c.token, "POST", c.path, c.body, &status, &reply, c.connection))
        << c.path;
    EXPECT_EQ(platform::LastError(), 87u);
    EXPECT_EQ(status, 7u);
  }
  uint32_t status = 0;
  EXPECT_FALSE(SendPhoneHttpRequest(target, kToken, "GET", "/phone/v1/capabilities", "", &status, nullptr, ""));
  std::string unused;
  EXPECT_FALSE(SendPhoneHttpRequest(target, kToken, "GET", "/phone/v1/capabilities", "", nullptr, &unused, ""));
  EXPECT_TRUE(service_.Requests().empty());
  EXPECT_EQ(service_.accepts(), 0u);
}

TEST_F(PhoneExchange, LimitsThatPassAndEscapedPathBytes) {
  const PhoneTarget target = Target(service_);
  EXPECT_TRUE(Exchange(target, "GET", "/phone/v1/capabilities", "", "", std::string(2048, 'T')).ok);
  EXPECT_TRUE(Exchange(target, "POST", "/phone/v1/messages/send", std::string(4097, 'x'), kConnection).ok);
  service_.Script("GET", "/phone/v1/a b\r\xC3\xA9", ScriptedReply::Json(200, "{}"));
  Exchange(target, "GET", "/phone/v1/a b\r\xC3\xA9");
  const auto seen = service_.Requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].Header("X-NiloPhone-Token"), std::string(2048, 'T'));
  EXPECT_EQ(seen[1].body.size(), 4097u);
  EXPECT_EQ(seen[2].target, "/phone/v1/a%20b%0D%C3%A9");
}

TEST_F(PhoneExchange, HeadersAsSent) {
  const PhoneTarget target = Target(service_);
  ASSERT_TRUE(Exchange(target, "GET", "/phone/v1/capabilities").ok);
  ASSERT_TRUE(Exchange(target, "POST", "/phone/v1/calls/start", R"({"to":"b"})", kConnection).ok);
  ASSERT_TRUE(Exchange(target, "POST", "/phone/v1/messages/send", "{}", kConnection).ok);
  ASSERT_TRUE(Exchange(target, "GET", "/phone/v1/presence", "{}").ok);
  const auto seen = service_.Requests();
  ASSERT_EQ(seen.size(), 4u);
  for (const auto& r : seen) {
    EXPECT_EQ(r.Header("User-Agent"), "QuorixPhone/0.1.12");
    EXPECT_EQ(r.Header("X-NiloPhone-Token"), kToken);
    EXPECT_EQ(r.Header("Accept"), "application/json");
    EXPECT_EQ(r.HeaderCount("Content-Type"), 1u);
    EXPECT_EQ(r.Header("Content-Type"), "application/json");
    EXPECT_EQ(r.HeaderCount("Expect"), 0u);
    EXPECT_EQ(r.Header("Host"), std::string(quorix_test::kLoopbackServiceName) + ":" + std::to_string(service_.port()));
  }
  EXPECT_EQ(seen[0].HeaderCount("X-Quorix-Connection"), 0u);
  EXPECT_EQ(seen[1].Header("X-Quorix-Connection"), kConnection);
  EXPECT_EQ(seen[2].Header("X-Quorix-Connection"), kConnection);
  EXPECT_EQ(seen[3].HeaderCount("X-Quorix-Connection"), 0u);
  EXPECT_EQ(seen[3].method, "GET");
  EXPECT_EQ(seen[3].body, "{}");  // a GET with a body sends it
  EXPECT_EQ(log_.Raw().find(kToken), std::string::npos);
}

// Each framing's cap is the HTTPS layer's own test; here, the cap of each kind of request.
TEST_F(PhoneExchange, ReplyCapsPerRequestKind) {
  const PhoneTarget target = Target(service_);
  struct Case {
    std::string method, path;
    size_t size;
    bool ok;
  };
  for (const Case& c : {Case{"GET", "/phone/v1/presence", 145000, true}, Case{"GET", "/phone/v1/presence", 145001, false},
                        Case{"POST", "/phone/v1/messages/send", 1048576, true},
                        Case{"POST", "/phone/v1/messages/send", 1048577, false}}) {
    ScriptedReply reply = ScriptedReply::Json(200, std::string(c.size, 'r'));
    reply.framing = ScriptedReply::Framing::kChunked;
    service_.Script(c.method, c.path, reply);
    const Outcome out = Exchange(target, c.method, c.path, "", c.path == "/phone/v1/presence" ? "" : kConnection);
    EXPECT_EQ(out.ok, c.ok) << c.size;
    EXPECT_EQ(out.status, 200u) << c.size;  // kept when the body fails
    EXPECT_EQ(out.body.size(), c.ok ? c.size : 0u);
  }
  const auto statuses = log_.Events("HTTP_STATUS");
  ASSERT_EQ(statuses.size(), 4u);
  for (const auto& e : statuses) EXPECT_EQ(e.n, 200u);
}

// Redirects are the HTTPS layer's own test (Https.SendsTheRequestAsGivenAndReadsTheReply).
TEST_F(PhoneExchange, StatusIsNotJudged) {
  service_.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(500, R"({"ok":false})"));
  Outcome out = Exchange(Target(service_), "GET", "/phone/v1/capabilities");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.status, 500u);
  EXPECT_EQ(out.body, R"({"ok":false})");
}

TEST_F(PhoneExchange, ConnectionKeptPerThreadAndReopenedOnChange) {
  std::thread([&] {
    const PhoneTarget target = Target(service_);
    EXPECT_TRUE(Exchange(target, "GET", "/phone/v1/capabilities").ok);
    EXPECT_TRUE(Exchange(target, "GET", "/phone/v1/capabilities").ok);
    EXPECT_EQ(service_.accepts(), 1u);
    LoopbackService other;
    other.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, "{}"));
    platform::testing::SetConnectOverride(quorix_test::kLoopbackServiceName, other.port(), other.port());
    PhoneTarget moved = target;
    moved.port = other.port();
    EXPECT_TRUE(Exchange(moved, "GET", "/phone/v1/capabilities").ok);
    EXPECT_EQ(other.accepts(), 1u);
    EXPECT_TRUE(Exchange(target, "GET", "/phone/v1/capabilities").ok);
    EXPECT_EQ(service_.accepts(), 2u);
  }).join();
}

TEST_F(PhoneExchange, StalledReplyFailsAndAbortEndsEarly) {
  ScriptedReply stalled = ScriptedReply::Json(200, std::string(100, 'x'));
  stalled.stall_after_body_bytes = 10;
  service_.Script("GET", "/phone/v1/presence", stalled);
  const auto begin = std::chrono::steady_clock::now();
  Outcome out = Exchange(Target(service_), "GET", "/phone/v1/presence");
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.error, 12002u);
  EXPECT_EQ(out.status, 200u);
  // The receive timeout ends the stall (a bound for a hang, not a speed check).
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30));

  ScriptedReply held = ScriptedReply::Json(200, "{}");
  held.hold_until_released = true;
  service_.Script("GET", "/phone/v1/capabilities", held);
  std::atomic<bool> abort{false};
  PhoneTarget target = Target(service_);
  target.abort = &abort;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    abort = true;
  });
  out = Exchange(target, "GET", "/phone/v1/capabilities");
  stopper.join();
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.error, 12017u);
  service_.Release();
}

// Every kind of bad leaf is the HTTPS layer's own test; here, that the exchange uses that trust.
TEST(PhoneExchangeTrust, BadCertificateFailsBeforeAnyRequest) {
  LoopbackService bad(LeafKind::kRogue);
  ScopedIsolatedService admission(bad);
  const Outcome out = Exchange(Target(bad), "GET", "/phone/v1/capabilities");
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.error, 12175u);
  EXPECT_TRUE(bad.Requests().empty());
}

}  // namespace
