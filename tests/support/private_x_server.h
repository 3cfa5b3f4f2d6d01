#pragma once
// An X server of the test process's own: grabs, the pointer and the focus
// are per server, and ctest runs test programs side by side.
//
// Runs `Xvfb -displayfd <fd> -screen 0 1920x1080x24 -nolisten tcp` as a
// child that dies with the test process; DISPLAY in the environment table
// names it. One per process (SharedPrivateXServer).
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorix_test {

class PrivateXServer {
 public:
  PrivateXServer();
  ~PrivateXServer();
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  bool running() const { return pid_ > 0 && !display_.empty(); }
  // Why it is not running ("Xvfb is not installed", ...).
  const std::string& failure() const { return failure_; }
  const std::string& display() const { return display_; }
  // Ends the server (SIGTERM, reaped).
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string failure_;
};

// The process's one private server, started on first use.
PrivateXServer& SharedPrivateXServer();

// Adds "DISPLAY=" naming the shared private server to a child's environment
// (nothing when it could not start: the child then has no display).
void AddPrivateDisplay(std::vector<std::string>* env);

}  // namespace quorix_test
