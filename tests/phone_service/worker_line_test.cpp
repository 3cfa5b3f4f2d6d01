// The worker pipe framing without a process: line kinds at the length bound and
// command shapes. The splitter under cut, bulk and overlong input is the fuzz
// entry's (its corpus holds those cases).
#include <gtest/gtest.h>

#include <string>

#include "phone_service/worker_line.h"

namespace quorix_phone {
namespace {

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

}  // namespace
}  // namespace quorix_phone
