#include "platform/child_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/env.h"
#include "platform/unique_fd.h"

namespace platform::internal {
namespace {

// posix_spawn's attribute and file action objects, destroyed with the scope.
class SpawnSetup {
 public:
  SpawnSetup() {
    actions_ok_ = posix_spawn_file_actions_init(&actions_) == 0;
    attr_ok_ = posix_spawnattr_init(&attr_) == 0;
  }
  ~SpawnSetup() {
    if (actions_ok_) posix_spawn_file_actions_destroy(&actions_);
    if (attr_ok_) posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  int ChangeDirectory(const std::string& dir) { return posix_spawn_file_actions_addchdir_np(&actions_, dir.c_str()); }

  int Prepare(const int (&stdio)[3]) {
    if (!actions_ok_ || !attr_ok_) return ENOMEM;
    for (int fd = 0; fd <= 2; ++fd) {
      const int rc = stdio[fd] >= 0 ? posix_spawn_file_actions_adddup2(&actions_, stdio[fd], fd)
                                    : posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null",
                                                                       fd == 0 ? O_RDONLY : O_WRONLY, 0);
      if (rc != 0) return rc;
    }
    if (const int rc = posix_spawn_file_actions_addclosefrom_np(&actions_, 3); rc != 0) return rc;
    // This process blocks its termination signals (read through the message
    // pump) and ignores SIGPIPE; the child starts with none of that.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD, SIGXFSZ}) sigaddset(&defaults, s);
    if (const int rc = posix_spawnattr_setsigmask(&attr_, &none); rc != 0) return rc;
    if (const int rc = posix_spawnattr_setsigdefault(&attr_, &defaults); rc != 0) return rc;
    return posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }

  posix_spawn_file_actions_t* actions() { return &actions_; }
  posix_spawnattr_t* attr() { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
  bool actions_ok_ = false;
  bool attr_ok_ = false;
};

}  // namespace

bool SpawnChild(const std::string& path, const std::vector<std::string>& argv, const int (&stdio)[3], pid_t* pid,
                int* error, const std::string& working_dir) {
  *error = 0;
  if (path.empty() || argv.empty()) {
    *error = ENOENT;
    return false;
  }
  std::vector<std::string> environment = env::Snapshot();
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = argv;
  std::vector<char*> args;
  args.reserve(arguments.size() + 1);
  for (std::string& a : arguments) args.push_back(a.data());
  args.push_back(nullptr);

  SpawnSetup setup;
  int rc = setup.Prepare(stdio);
  if (rc == 0 && !working_dir.empty()) rc = setup.ChangeDirectory(working_dir);
  // glibc runs the child with CLONE_VFORK: a failed exec comes back here as
  // the result, after glibc has reaped that child.
  if (rc == 0) rc = posix_spawn(pid, path.c_str(), setup.actions(), setup.attr(), args.data(), envp.data());
  *error = rc;
  return rc == 0;
}

void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      (void)RetryOnEintr([&] { return ::waitpid(pid, &status, 0); });
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the child stays a zombie until this process ends.
  }
}

}  // namespace platform::internal
