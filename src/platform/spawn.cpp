#include "platform/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/env.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

std::mutex g_spawner_mutex;
DetachedSpawner g_spawner;

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program's path as execvp would find it, but from the table's PATH.
std::string ResolveProgram(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return program;
  const std::string search = env::Get("PATH").value_or("/bin:/usr/bin");
  const std::string_view all(search);
  size_t begin = 0;
  while (begin <= all.size()) {
    const size_t end = std::min(all.find(':', begin), all.size());
    const std::string_view dir = end == begin ? std::string_view(".") : all.substr(begin, end - begin);
    std::string candidate;
    candidate.reserve(dir.size() + 1 + program.size());
    candidate.append(dir);
    candidate.push_back('/');
    candidate.append(program);
    if (IsExecutableFile(candidate)) return candidate;
    begin = end + 1;
  }
  return {};
}

bool SpawnReal(const std::string& program, const std::vector<std::string>& args) {
  const std::string path = ResolveProgram(program);
  if (path.empty()) return false;

  std::vector<std::string> environment = env::Snapshot();
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::vector<std::string> arguments;
  arguments.reserve(args.size() + 1);
  arguments.push_back(program);
  arguments.insert(arguments.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  bool ok = true;
  for (int fd = 0; fd <= 2; ++fd) {
    ok = ok && posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0) == 0;
  }
  // This process blocks its termination signals and reads them itself; the
  // child must start with none blocked and default handlers.
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD, SIGXFSZ}) sigaddset(&defaults, s);
  ok = ok && posix_spawnattr_setsigmask(&attr, &none) == 0 && posix_spawnattr_setsigdefault(&attr, &defaults) == 0 &&
       posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  pid_t pid = -1;
  ok = ok && posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), envp.data()) == 0;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (!ok) return false;

  std::thread([pid] {
    int status = 0;
    (void)RetryOnEintr([&] { return ::waitpid(pid, &status, 0); });
  }).detach();
  return true;
}

}  // namespace

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args) {
  return SpawnReal(program, args);
}

void SetDetachedSpawnerForTesting(DetachedSpawner spawner) {
  std::lock_guard<std::mutex> lock(g_spawner_mutex);
  g_spawner = std::move(spawner);
}

bool ShellOpen(const std::string& target) {
  DetachedSpawner spawner;
  {
    std::lock_guard<std::mutex> lock(g_spawner_mutex);
    spawner = g_spawner;
  }
  const std::vector<std::string> args{target};
  return spawner ? spawner("xdg-open", args) : SpawnDetached("xdg-open", args);
}

}  // namespace platform
