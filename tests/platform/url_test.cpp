#include "platform/url.h"

#include <gtest/gtest.h>

namespace {

using platform::CrackUrl;
using platform::UrlParts;
using platform::UrlScheme;

TEST(CrackUrl, SplitsAcceptedAddresses) {
  struct Case {
    const char* url;
    UrlScheme scheme;
    const char* user;
    const char* password;
    const char* host;
    uint16_t port;
    const char* path;
    const char* extra;
  };
  const Case cases[] = {
      {"https://h/p?q=1", UrlScheme::kHttps, "", "", "h", 443, "/p", "?q=1"},
      {"http://h:8080/x", UrlScheme::kHttp, "", "", "h", 8080, "/x", ""},
      {"HTTPS://Ex.COM/A", UrlScheme::kHttps, "", "", "Ex.COM", 443, "/A", ""},
      {"hTtP://h", UrlScheme::kHttp, "", "", "h", 80, "", ""},
      {"http://h#frag/x?y", UrlScheme::kHttp, "", "", "h", 80, "", "#frag/x?y"},
      {"http://h/a#b?c", UrlScheme::kHttp, "", "", "h", 80, "/a", "#b?c"},
      {"https://u:p@h:0/", UrlScheme::kHttps, "u", "p", "h", 0, "/", ""},
      {"https://h:65535/", UrlScheme::kHttps, "", "", "h", 65535, "/", ""},
      {"https://127.0.0.1:00443/x", UrlScheme::kHttps, "", "", "127.0.0.1", 443, "/x", ""},
      {"https://\xE4\xBE\x8B.jp/\xE3\x81\x82", UrlScheme::kHttps, "", "", "\xE4\xBE\x8B.jp", 443, "/\xE3\x81\x82", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    UrlParts parts;
    ASSERT_TRUE(CrackUrl(c.url, &parts));
    EXPECT_EQ(parts.scheme, c.scheme);
    EXPECT_EQ(parts.user, c.user);
    EXPECT_EQ(parts.password, c.password);
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(parts.port, c.port);
    EXPECT_EQ(parts.path, c.path);
    EXPECT_EQ(parts.extra, c.extra);
  }
}

TEST(CrackUrl, TellsWhetherUserPasswordAndPortWereGiven) {
  UrlParts parts;
  ASSERT_TRUE(CrackUrl("http://@h/", &parts));
  EXPECT_TRUE(parts.has_user);
  EXPECT_FALSE(parts.has_password);
  EXPECT_TRUE(parts.user.empty());
  ASSERT_TRUE(CrackUrl("http://u:@h/", &parts));
  EXPECT_TRUE(parts.has_password);
  ASSERT_TRUE(CrackUrl("http://h/", &parts));
  EXPECT_FALSE(parts.has_user);
  EXPECT_FALSE(parts.has_port);
  ASSERT_TRUE(CrackUrl("http://h:80/", &parts));
  EXPECT_TRUE(parts.has_port);
}

TEST(CrackUrl, RefusesEverythingElseAndLeavesTheOutputAlone) {
  const std::string refused[] = {
      "",
      "ftp://h/",
      "file:///x",
      "javascript:alert(1)",
      "http:///x",
      "https:h",
      "https:/h",
      "http//h",
      "http://",
      "http://:80/",
      "http://u@/",
      "http://h:/",
      "http://h:65536/",
      "http://h:123456/",
      "http://h:8a/",
      "http://h:-1/",
      "http://h:+1/",
      "http://h h/",
      "http://h\\x/",
      "http://[::1]/",
      "http://h/\x01",
      "http://h/a\x7F",
      "http://h/a\tb",
      std::string("http://h/a\0b", 12),
      " http://h/",
  };
  for (const std::string& url : refused) {
    SCOPED_TRACE(url);
    UrlParts parts;
    parts.host = "kept";
    EXPECT_FALSE(CrackUrl(url, &parts));
    EXPECT_EQ(parts.host, "kept");
  }
}

}  // namespace
