#include "platform/spawn.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string_view>

#include "platform/child_spawn.h"
#include "platform/env.h"

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

  std::vector<std::string> argv;
  argv.reserve(args.size() + 1);
  argv.push_back(program);
  argv.insert(argv.end(), args.begin(), args.end());
  const int null_streams[3] = {-1, -1, -1};
  pid_t pid = -1;
  int error = 0;
  if (!internal::SpawnChild(path, argv, null_streams, &pid, &error)) return false;
  internal::ReapInBackground(pid);
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
