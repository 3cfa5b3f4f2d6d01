#include "fake_media_worker.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/text.h"
#include "platform/test_hooks.h"

namespace quorix_test {

std::filesystem::path FakeMediaWorker::BuiltProgram() { return QUORIX_FAKE_MEDIA_WORKER; }

FakeMediaWorker::FakeMediaWorker() {
  std::filesystem::copy_file(BuiltProgram(), WorkerPath());
  std::filesystem::permissions(WorkerPath(), std::filesystem::perms(0755));
  platform::testing::SetExecutablePathOverride(dir_.path() / "Quorix");
  script_ = std::make_unique<ScopedEnvironmentVariable>(u"QUORIX_TEST_WORKER_SCRIPT", std::nullopt);
  record_ = std::make_unique<ScopedEnvironmentVariable>(u"QUORIX_TEST_WORKER_RECORD",
                                                       Utf8ToWide((dir_.path() / "record").string()));
}

FakeMediaWorker::~FakeMediaWorker() {
  script_.reset();
  record_.reset();
  platform::testing::SetExecutablePathOverride({});
}

void FakeMediaWorker::SetScript(const std::vector<std::string>& steps) {
  std::string text;
  for (const std::string& step : steps) text += step + "\n";
  WriteFile(dir_.path() / "script", text);
  script_.reset();
  script_ = std::make_unique<ScopedEnvironmentVariable>(u"QUORIX_TEST_WORKER_SCRIPT",
                                                       Utf8ToWide((dir_.path() / "script").string()));
}

std::vector<std::string> FakeMediaWorker::Record() const {
  std::ifstream in(dir_.path() / "record");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool FakeMediaWorker::WaitForRecord(const std::string& line, std::chrono::milliseconds timeout) const {
  return WaitFor(
      [&] {
        const auto lines = Record();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
      },
      timeout);
}

std::string FakeMediaWorker::RecordValue(const std::string& key) const {
  for (const std::string& line : Record()) {
    if (line.rfind(key + " ", 0) == 0) return line.substr(key.size() + 1);
  }
  return {};
}

bool ProcessGone(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  const size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z';
}

}  // namespace quorix_test
