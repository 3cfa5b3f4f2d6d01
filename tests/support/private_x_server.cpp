#include "private_x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/env.h"

namespace quorix_test {
namespace {

bool XvfbInstalled() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && ::access((dir + "/Xvfb").c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

PrivateXServer::PrivateXServer() {
  if (!XvfbInstalled()) {
    failure_ = "Xvfb is not installed";
    return;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    failure_ = "pipe failed";
    return;
  }
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::close(fds[0]);
    const int out = ::dup(fds[1]);  // without close-on-exec
    const std::string fd_text = std::to_string(out);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd >= 0) ::dup2(null_fd, STDERR_FILENO);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid_ < 0) {
    ::close(fds[0]);
    failure_ = "fork failed";
    return;
  }
  // Xvfb writes the display number and a newline once it accepts clients.
  std::string number;
  char c = 0;
  while (true) {
    const ssize_t n = ::read(fds[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    number.push_back(c);
  }
  ::close(fds[0]);
  if (number.empty()) {
    failure_ = "Xvfb did not start";
    Stop();
    return;
  }
  display_ = ":" + number;
  (void)platform::env::Set("DISPLAY", display_);
  // GTK reads these from the C environment: no accessibility bus (its
  // D-Bus connection is never freed) and no settings daemon.
  ::setenv("NO_AT_BRIDGE", "1", 1);
  ::setenv("GSETTINGS_BACKEND", "memory", 1);
}

PrivateXServer::~PrivateXServer() { Stop(); }

void PrivateXServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

PrivateXServer& SharedPrivateXServer() {
  static PrivateXServer server;
  return server;
}

void AddPrivateDisplay(std::vector<std::string>* env) {
  PrivateXServer& server = SharedPrivateXServer();
  if (server.running()) env->push_back("DISPLAY=" + server.display());
}

}  // namespace quorix_test
