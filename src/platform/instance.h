#pragma once
// Single-instance lock and the "show yourself" channel between instances.
//
// The lock is an flock'd file in the per-user runtime folder: the kernel drops
// it when its holder dies, so nothing stale survives a crash. The channel is a
// Unix socket in the same folder named after the window class; it accepts
// connections from the same user only.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

// XDG_RUNTIME_DIR when it is an absolute folder owned by this user, else a
// 0700 folder "/tmp/quorix-<uid>" (created when missing; refused when it is a
// link, not ours or open to others). Empty when neither can be had.
std::filesystem::path UserRuntimeDirectory();

enum class InstanceLockResult { kAcquired, kAlreadyRunning, kFailed };

class InstanceLock {
 public:
  // Takes the lock named `name`. On kAcquired, `out` holds it until destroyed.
  [[nodiscard]] static InstanceLockResult Acquire(std::string_view name, std::unique_ptr<InstanceLock>* out);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  explicit InstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

class ShowListener {
 public:
  // Listens on the channel of `class_name`, replacing a socket left by a dead
  // holder (call it only while holding the instance lock). Null on failure.
  static std::unique_ptr<ShowListener> Listen(std::string_view class_name);
  ~ShowListener();
  ShowListener(const ShowListener&) = delete;
  ShowListener& operator=(const ShowListener&) = delete;

  int fd() const { return fd_.get(); }
  // Accepts the waiting connections and returns the messages that peers of
  // this user sent; never blocks for long.
  std::vector<std::string> Accept();

 private:
  ShowListener(UniqueFd fd, std::filesystem::path path) : fd_(std::move(fd)), path_(std::move(path)) {}
  UniqueFd fd_;
  std::filesystem::path path_;
};

// Sends `message` to the instance listening on `class_name`'s channel. False
// when nobody listens there.
[[nodiscard]] bool PostToInstance(std::string_view class_name, std::string_view message);

}  // namespace platform
