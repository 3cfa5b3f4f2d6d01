#pragma once
// The scripted fake call-audio worker (fake_media_worker/), copied beside a
// pretended program path so that the program's own "beside me" lookup finds
// it. For the scope: the own-path override points at "<folder>/Quorix" and
// the environment table names the script and the record.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/environment.h"
#include "test_util.h"

namespace quorix_test {

class FakeMediaWorker {
 public:
  FakeMediaWorker();
  ~FakeMediaWorker();
  FakeMediaWorker(const FakeMediaWorker&) = delete;
  FakeMediaWorker& operator=(const FakeMediaWorker&) = delete;

  // The fake program as built, and where this scope's copy lies.
  static std::filesystem::path BuiltProgram();
  const std::filesystem::path& folder() const { return dir_.path(); }
  std::filesystem::path WorkerPath() const { return dir_.path() / "peerconnection_client"; }

  // The steps the next worker runs (see fake_media_worker.cpp); none: it says
  // "READY_IDLE" and serves.
  void SetScript(const std::vector<std::string>& steps);
  // The record lines written so far by every worker of this scope.
  std::vector<std::string> Record() const;
  // Waits (generously) until the record holds `line`.
  bool WaitForRecord(const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // The value after "<key> " in the first record line starting so.
  std::string RecordValue(const std::string& key) const;

 private:
  TempDir dir_;
  std::unique_ptr<ScopedEnvironmentVariable> script_;
  std::unique_ptr<ScopedEnvironmentVariable> record_;
};

// True when `pid` is gone or a zombie.
bool ProcessGone(int pid);

}  // namespace quorix_test
