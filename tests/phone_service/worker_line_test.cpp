// The worker pipe framing without a process: line kinds, command shapes and
// the splitter under cut, bulk and overlong input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "phone_service/worker_line.h"

namespace quorix_phone {
namespace {

// Feeds `bytes` in pieces of at most `piece`, taking every line as it comes;
// an overflow shows as "<111>".
std::vector<std::string> Split(WorkerLineReader& reader, const std::string& bytes, size_t piece) {
  std::vector<std::string> out;
  std::string line;
  size_t at = 0;
  for (;;) {
    WorkerLineReader::Result r;
    while ((r = reader.Next(line)) != WorkerLineReader::Result::kNone) {
      out.push_back(r == WorkerLineReader::Result::kLine ? line : "<111>");
    }
    if (at == bytes.size()) return out;
    at += reader.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
  }
}

TEST(WorkerLineTest, Classification) {
  struct Case {
    std::string line;
    WorkerLineKind kind;
    std::string after;
  };
  const std::string obj = "{\"event\":\"x\"}";
  const Case cases[] = {
      {"READY_IDLE", WorkerLineKind::kReady, "READY_IDLE"},
      {"READY_IDLE ", WorkerLineKind::kInvalid, "READY_IDLE "},
      {"ready_idle", WorkerLineKind::kInvalid, "ready_idle"},
      {"PONG_IDLE", WorkerLineKind::kPong, "PONG_IDLE"},
      {"STOPPING", WorkerLineKind::kStopping, "STOPPING"},
      {"  " + obj + "\t", WorkerLineKind::kJson, obj},
      {"{\"a\":\"b\r\"}", WorkerLineKind::kInvalid, "{\"a\":\"b\r\"}"},
      {std::string("{\"a\0\":1}", 8), WorkerLineKind::kInvalid, std::string("{\"a\0\":1}", 8)},
      {"", WorkerLineKind::kInvalid, ""},
      {" \t ", WorkerLineKind::kInvalid, " \t "},
      {"hello", WorkerLineKind::kInvalid, "hello"},
      {"{", WorkerLineKind::kInvalid, "{"},
      {"{" + std::string(144998, 'x') + "}", WorkerLineKind::kJson, "{" + std::string(144998, 'x') + "}"},
      {"{" + std::string(144999, 'x') + "}", WorkerLineKind::kInvalid, "{" + std::string(144999, 'x') + "}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 40));
    std::string line = c.line;
    EXPECT_EQ(ClassifyWorkerLine(line), c.kind);
    EXPECT_EQ(line, c.after);
  }
}

TEST(WorkerLineTest, CommandShapes) {
  struct Case {
    std::string json;
    bool valid;
  };
  const Case cases[] = {
      {"{}", true},
      {"{" + std::string(144998, 'a') + "}", true},
      {"{", false},
      {"{" + std::string(144999, 'a') + "}", false},
      {"{\n}", false},
      {"{\r}", false},
      {std::string("{\0}", 3), false},
      {"[]", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json.size());
    EXPECT_EQ(IsValidWorkerCommand(c.json), c.valid);
  }
}

TEST(WorkerLineTest, LineCutAtEveryByte) {
  const std::string bytes = "READY_IDLE\r\n{\"event\":\"a\"}\n\nlast\r\n";
  const std::vector<std::string> want{"READY_IDLE", "{\"event\":\"a\"}", "", "last"};
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    WorkerLineReader reader;
    std::vector<std::string> got = Split(reader, bytes.substr(0, cut), 1 << 20);
    for (const std::string& line : Split(reader, bytes.substr(cut), 1 << 20)) got.push_back(line);
    EXPECT_EQ(got, want);
  }
}

TEST(WorkerLineTest, BulkAndOverlongInput) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> want;
  };
  const std::string long_line(145000, 'l');
  const std::string next(8192, 'n');
  std::string many;
  std::vector<std::string> many_lines;
  for (int i = 0; i < 2000; ++i) {
    many_lines.push_back(std::to_string(i) + std::string(199 - std::to_string(i).size(), 'm'));
    many += many_lines.back() + "\n";
  }
  const Case cases[] = {
      // A longest line whose LF arrives together with the next line's start.
      {"long line then 8 KB", long_line + "\n" + next + "\n", {long_line, next}},
      {"2000 lines of 200 bytes", many, many_lines},
      {"150000 bytes without LF", std::string(150000, 'z') + "\nafter\n", {"<111>", "after"}},
      {"149999 bytes and LF", std::string(149999, 'y') + "\nafter\n", {std::string(149999, 'y'), "after"}},
      {"overflow, more of it", std::string(300001, 'z') + "\r\nafter\n", {"<111>", "after"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkerLineReader reader;
    EXPECT_EQ(Split(reader, c.bytes, c.bytes.size()), c.want);
    EXPECT_EQ(reader.Buffered(), 0u);
  }
}

}  // namespace
}  // namespace quorix_phone
