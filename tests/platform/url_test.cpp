#include "platform/url.h"

#include <gtest/gtest.h>

namespace {

using platform::CrackedUrl;
using platform::CrackUrl;

TEST(CrackUrl, SplitsEveryPart) {
  CrackedUrl url;
  ASSERT_TRUE(CrackUrl(u"HTTPS://u:p@Svc.Example:8443/a/b?q=1#f", &url));
  EXPECT_TRUE(url.https);
  EXPECT_TRUE(url.has_user_info);
  EXPECT_EQ(url.user, u"u");
  EXPECT_EQ(url.password, u"p");
  EXPECT_EQ(url.host, u"Svc.Example");
  EXPECT_EQ(url.port, 8443);
  EXPECT_TRUE(url.port_given);
  EXPECT_EQ(url.path, u"/a/b");
  EXPECT_EQ(url.extra, u"?q=1#f");

  ASSERT_TRUE(CrackUrl(u"http://h", &url));
  EXPECT_FALSE(url.https);
  EXPECT_EQ(url.port, 80);
  EXPECT_EQ(url.path, u"");
  ASSERT_TRUE(CrackUrl(u"https://h#x/y", &url));
  EXPECT_EQ(url.port, 443);
  EXPECT_EQ(url.extra, u"#x/y");
  ASSERT_TRUE(CrackUrl(u"https://h:0", &url));
  EXPECT_EQ(url.port, 0);
  ASSERT_TRUE(CrackUrl(u"https://h:65535/", &url));
  EXPECT_EQ(url.port, 65535);
  ASSERT_TRUE(CrackUrl(u"https://[::1]:8/", &url));
  EXPECT_EQ(url.host, u"[::1]");
  ASSERT_TRUE(CrackUrl(u"https://@h", &url));
  EXPECT_TRUE(url.has_user_info);
}

TEST(CrackUrl, RefusesAnythingElse) {
  for (const char16_t* text :
       {u"", u"ftp://h", u"https:/h", u"https//h", u"https://", u"https:///x", u"https://h:", u"https://h:65536",
        u"https://h:123456", u"https://h:8a", u"https://h:-1", u"https://h\t", u"https://h/\x7f", u"https://u@",
        u"https://[::1", u"https://[::1]x", u"http://a\\b/", u"http://a b/"}) {
    CrackedUrl url;
    url.host = u"left";
    EXPECT_FALSE(CrackUrl(text, &url)) << static_cast<int>(std::u16string_view(text).size());
    EXPECT_TRUE(url.host.empty());
  }
}

}  // namespace
