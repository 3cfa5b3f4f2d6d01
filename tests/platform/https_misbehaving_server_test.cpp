// The HTTPS client against servers that end, cut or pad their replies.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/https.h"
#include "service_admission.h"
#include "test_util.h"

namespace {

using platform::HttpsFailure;
using quorix_test::LoopbackService;
using quorix_test::ScriptedReply;
using End = ScriptedReply::End;

ScriptedReply Raw(std::string bytes, End end) {
  ScriptedReply reply;
  reply.raw = std::move(bytes);
  reply.end = end;
  return reply;
}

class HttpsMisbehavingServer : public ::testing::Test {
 protected:
  HttpsMisbehavingServer() : admission_(service_) {}

  platform::HttpsResponse Send(const std::string& path, const std::string& method = "GET") {
    platform::HttpsRequest request;
    request.host = quorix_test::kLoopbackServiceName;
    request.port = service_.port();
    request.method = method;
    request.path = path;
    request.user_agent = "QuorixTest/1";
    return connection_.Send(request);
  }

  LoopbackService service_;
  quorix_test::ScopedIsolatedService admission_;
  platform::HttpsConnection connection_;
};

// A header block that never ended is a receive failure, with no status read.
TEST_F(HttpsMisbehavingServer, CutHeaderBlockFailsWithoutStatus) {
  struct Case {
    const char* bytes;
    End end;
  };
  for (const Case& c : {Case{"HTTP/1.1 200 OK\r\n", End::kTls}, Case{"HTTP/1.1 200 OK\r\n", End::kTcpOnly},
                        Case{"HTTP/1.1 401 Unauthorized\r\nContent-Ty", End::kTls},
                        Case{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", End::kTcpOnly},
                        Case{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", End::kTls}}) {
    SCOPED_TRACE(std::string(c.bytes) + (c.end == End::kTls ? " close_notify" : " tcp"));
    service_.Script("GET", "/cut", Raw(c.bytes, c.end));
    const auto response = Send("/cut");
    EXPECT_EQ(response.failure, HttpsFailure::kReceive);
    EXPECT_EQ(response.status, 0u);
    EXPECT_EQ(response.status_read, 0u);
  }
}

// Bytes that came before the request never answer it; a request that may
// have gone out is not sent again.
TEST_F(HttpsMisbehavingServer, StaleReplyOnAKeptConnectionIsNeverTheAnswer) {
  struct Case {
    const char* stale;
    End end;
  };
  for (const Case& c : {Case{"HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", End::kTls},
                        Case{"HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\n\r\n", End::kTcpOnly},
                        Case{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nstale", End::kKeep}}) {
    SCOPED_TRACE(c.stale);
    ScriptedReply first = ScriptedReply::Json(200, "{}");
    first.unsolicited = c.stale;
    first.end = c.end;
    service_.Script("GET", "/first", first);
    service_.Script("GET", "/next", ScriptedReply::Json(201, "fresh"));
    const size_t before = service_.unsolicited_writes();
    ASSERT_EQ(Send("/first").status, 200u);
    ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.unsolicited_writes() > before; }, std::chrono::seconds(30)));
    const auto response = Send("/next");
    EXPECT_EQ(response.failure, HttpsFailure::kNone);
    EXPECT_EQ(response.status, 201u);
    EXPECT_EQ(response.body.view(), "fresh");
  }
  // A kept connection that ends after reading the request: one try only.
  ScriptedReply none;
  none.close_without_answer = true;
  service_.Script("POST", "/none", none);
  ASSERT_EQ(Send("/next").status, 201u);
  EXPECT_EQ(Send("/none", "POST").failure, HttpsFailure::kReceive);
  EXPECT_EQ(service_.RequestsTo("/none").size(), 1u);
}

TEST_F(HttpsMisbehavingServer, ConflictingContentLengthsFail) {
  struct Case {
    const char* lengths;
    bool ok;
  };
  for (const Case& c : {Case{"Content-Length: 5\r\nContent-Length: 3\r\n", false},
                        Case{"Content-Length: 3\r\ncontent-length: 5\r\n", false},
                        Case{"Content-Length: 5, 3\r\n", false}, Case{"Content-Length: 5\r\nContent-Length: 5\r\n", true},
                        Case{"Content-Length: 5, 5\r\n", true}}) {
    SCOPED_TRACE(c.lengths);
    service_.Script("GET", "/two", Raw(std::string("HTTP/1.1 200 OK\r\n") + c.lengths + "\r\nabcde", End::kKeep));
    const auto response = Send("/two");
    EXPECT_EQ(response.failure, c.ok ? HttpsFailure::kNone : HttpsFailure::kReceive);
    EXPECT_EQ(response.body.view(), c.ok ? "abcde" : "");
    EXPECT_EQ(response.status_read, c.ok ? 200u : 0u);
  }
}

// A status is exactly three digits after the version; any other status line
// leaves the status unread and fails the exchange as a receive failure.
TEST_F(HttpsMisbehavingServer, StatusIsExactlyThreeDigits) {
  struct Case {
    const char* status_line;
    uint32_t status;  // 0: refused
  };
  for (const Case& c : {Case{"HTTP/1.1 200 OK", 200}, Case{"HTTP/1.1 404 Not Found", 404}, Case{"HTTP/1.1 201", 201},
                        Case{"HTTP/2 200 OK", 200}, Case{"HTTP/2 4294967496 OK", 0}, Case{"HTTP/1.1 4294967496 OK", 0},
                        Case{"HTTP/1.1 200x OK", 0}, Case{"HTTP/1.1 2000 OK", 0}, Case{"HTTP/1.1 20 OK", 0},
                        Case{"HTTP/1.1 2O0 OK", 0}, Case{"HTTP/1.1 OK", 0}, Case{"HTTP/1.1 +200 OK", 0},
                        Case{"HTTP/1.1  200 OK", 0}}) {
    SCOPED_TRACE(c.status_line);
    service_.Script("GET", "/status", Raw(std::string(c.status_line) + "\r\nContent-Length: 2\r\n\r\nok", End::kKeep));
    const auto response = Send("/status");
    EXPECT_EQ(response.failure, c.status != 0 ? HttpsFailure::kNone : HttpsFailure::kReceive);
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(response.status_read, c.status);
    EXPECT_EQ(response.body.view(), std::string(c.status != 0 ? "ok" : ""));
  }
}

}  // namespace
