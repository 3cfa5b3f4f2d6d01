#include "core/web_url.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/environment.h"
#include "core/text.h"
#include "platform/spawn.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;
using quorix_test::TempDir;
using quorix_test::WaitFor;

TEST(NormalizeWebUrl, AcceptsWebAddressesUnchanged) {
  const std::string accepted[] = {
      "https://h/p?q=1",
      "http://h:8080/x",
      "HTTPS://Ex.COM/A",
      "https://\xE4\xBE\x8B\xE3\x81\x88.jp/\xE3\x83\x91\xE3\x82\xB9?\xC3\xA9",
      "https://h",
      "http://h/#frag",
  };
  for (const std::string& url : accepted) {
    SCOPED_TRACE(url);
    EXPECT_EQ(NormalizeWebUrl(url), Utf8ToWide(url));
    EXPECT_TRUE(IsAcceptableWebUrl(url));
  }
  std::string longest = "https://h/";
  longest.resize(16384, 'a');
  EXPECT_EQ(NormalizeWebUrl(longest).size(), 16384u);
}

TEST(NormalizeWebUrl, RefusesEverythingElse) {
  std::string too_long = "https://h/";
  too_long.resize(16385, 'a');
  const std::string refused[] = {
      "",
      too_long,
      "ftp://h/",
      "file:///x",
      "javascript:alert(1)",
      "http:///x",
      "https:h",
      "http://u:p@h/",
      "http://u@h/",
      "http://@h/",
      "http://h:/",
      "http://h:65536/",
      "https://h/a b",
      "https://h/a\x7F",
      "https://h/\t",
      "https://h/\xC0\xAF",
      "https://h/\xE9",
      std::string("https://h/\0", 11),
  };
  for (const std::string& url : refused) {
    SCOPED_TRACE(url);
    EXPECT_EQ(NormalizeWebUrl(url), u"");
    EXPECT_FALSE(IsAcceptableWebUrl(url));
  }
}

class OpenExternalUrlTest : public testing::Test {
 protected:
  void TearDown() override { platform::SetDetachedSpawnerForTesting({}); }
};

TEST_F(OpenExternalUrlTest, RefusedTextNeverReachesTheOpenerAndNoOpenerFails) {
  std::vector<std::vector<std::string>> calls;
  platform::SetDetachedSpawnerForTesting([&](const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> call{program};
    call.insert(call.end(), args.begin(), args.end());
    calls.push_back(call);
    return true;
  });
  EXPECT_FALSE(OpenExternalUrl("javascript:alert(1)"));
  EXPECT_FALSE(OpenExternalUrl("http://u:p@h/"));
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(OpenExternalUrl("https://h/p"));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"xdg-open", "https://h/p"}));

  platform::SetDetachedSpawnerForTesting({});
  TempDir empty;
  ScopedEnvironmentVariable path(u"PATH", Utf8ToWide(empty.path().string()));
  EXPECT_FALSE(OpenExternalUrl("https://h/p"));
}

TEST_F(OpenExternalUrlTest, RealOpenerGetsTheAddressAsItsOnlyArgument) {
  TempDir dir;
  const auto bin = dir.path() / "bin";
  const auto work = dir.path() / "work";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(work);
  const std::string w = work.string();
  // Records its pid and arguments, then waits for the test's go-ahead.
  const std::string script = "#!/bin/sh\n"
                             "cd '" + w + "' || exit 1\n"
                             "echo $$ > pid.tmp\n"
                             "echo $# > argc\n"
                             "printf '%s' \"$1\" > arg1\n"
                             "mv pid.tmp pid\n"
                             "while [ ! -f go ]; do sleep 0.01; done\n";
  quorix_test::WriteFile(bin / "xdg-open", script);
  ASSERT_EQ(::chmod((bin / "xdg-open").c_str(), 0700), 0);

  const std::string old_path = WideToUtf8(ReadEnvironmentValue(u"PATH"));
  ScopedEnvironmentVariable path(u"PATH", Utf8ToWide(bin.string() + ":" + old_path));
  const std::string url = "https://h/$(touch%20pwned);`id`|x&y";
  ASSERT_TRUE(OpenExternalUrl(url));

  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(work / "pid"); }, std::chrono::seconds(10)));
  EXPECT_EQ(ReadFile(work / "argc"), "1\n");
  EXPECT_EQ(ReadFile(work / "arg1"), url);
  const std::string pid = ReadFile(work / "pid").substr(0, ReadFile(work / "pid").find('\n'));
  const std::filesystem::path proc = "/proc/" + pid;
  EXPECT_TRUE(std::filesystem::exists(proc));

  quorix_test::WriteFile(work / "go", "");
  // Once the opener ends, nothing of it stays behind, not even a zombie.
  EXPECT_TRUE(WaitFor([&] { return !std::filesystem::exists(proc); }, std::chrono::seconds(10)));
  EXPECT_FALSE(std::filesystem::exists(work / "pwned"));
  EXPECT_FALSE(std::filesystem::exists("pwned"));
}

}  // namespace
