// The generator refuses a bad list, naming the line, and leaves the output as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_util.h"

namespace {

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string ManyValues(int n) {
  std::string out = "かず";
  for (int i = 0; i < n; ++i) out += "\t" + std::to_string(i);
  return out;
}

TEST(MakeHomophones, RefusesABadLineByNumber) {
  const std::filesystem::path tool = std::filesystem::path(QUORIX_TEST_BUILD_DIR) / "tools" / "make_homophones";
  quorix_test::TempDir dir;
  const auto out = dir.path() / "ime" / "homophones.bin";
  const std::string good = "あめ\t雨\t飴\n";
  struct Case {
    const char* name;
    std::string line;
    const char* why;
  } cases[] = {
      {"empty reading", "\t雨", "empty reading"},
      {"41 units", Repeat("あ", 41) + "\t亜", "reading over 40 units"},
      {"katakana", "アメ\t雨", "reading is not hiragana"},
      {"no values", "はし", "no values"},
      {"127 values", ManyValues(127), "over 126 values"},
      {"empty value", "はし\t橋\t\t端", "empty value"},
      {"value over 4000 bytes", "はし\t" + std::string(4001, 'a'), "value over 4000 bytes"},
      {"value over 1000 units", "はし\t" + std::string(1001, 'a'), "value over 1000 units"},
      {"invalid UTF-8", "はし\t\xC3(", "value is not valid UTF-8"},
      {"repeated reading", "あめ\t天", "repeated reading"},
      {"repeated value", "はし\t橋\t橋", "repeated value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto list = dir.path() / "list.tsv";
    quorix_test::WriteFile(list, good + c.line + "\n");
    auto child = quorix_test::ChildProcess::Start(tool, {list.string(), out.string()}, {});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->WaitExit(std::chrono::seconds(60)), 1);
    EXPECT_NE(child->Stderr().find("list.tsv:2: " + std::string(c.why)), std::string::npos) << child->Stderr();
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  quorix_test::WriteFile(dir.path() / "list.tsv", good + ManyValues(126) + "\n");
  auto child = quorix_test::ChildProcess::Start(tool, {(dir.path() / "list.tsv").string(), out.string()}, {});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->WaitExit(std::chrono::seconds(60)), 0) << child->Stderr();
  EXPECT_TRUE(std::filesystem::exists(out));
}

}  // namespace
