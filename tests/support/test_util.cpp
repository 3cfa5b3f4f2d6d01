#include "test_util.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/test_hooks.h"

namespace quorix_test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "quorix-test-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave folders without write permission behind.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path BuildDir() { return QUORIX_TEST_BUILD_DIR; }

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

unsigned FileMode(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFFFFFFu;
}

size_t CountDirectoryEntries(const std::filesystem::path& folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

std::set<pid_t> ChildProcesses() {
  std::set<pid_t> children;
  const pid_t self = ::getpid();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    // "pid (name) state ppid ...": the name may hold spaces and parentheses.
    const std::string stat = ReadFile(entry.path() / "stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    long parent = 0;
    if (rest >> state >> parent && parent == self) children.insert(static_cast<pid_t>(std::stol(name)));
  }
  return children;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::filesystem::path& exe,
                                                  const std::vector<std::string>& args,
                                                  const std::vector<std::string>& env) {
  std::unique_ptr<ChildProcess> child(new ChildProcess());
  child->io_dir_ = std::make_unique<TempDir>();
  const std::string out_path = (child->io_dir_->path() / "stdout").string();
  const std::string err_path = (child->io_dir_->path() / "stderr").string();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> argv_storage;
  argv_storage.push_back(exe.string());
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_storage = env;
  std::vector<char*> envp;
  for (auto& e : env_storage) envp.push_back(e.data());
  envp.push_back(nullptr);

  const int rc = posix_spawn(&child->pid_, exe.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) throw std::runtime_error("posix_spawn failed for " + exe.string());
  return child;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
}

std::optional<int> ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
  if (!reaped_) {
    const bool done = WaitFor(
        [this] {
          const pid_t r = ::waitpid(pid_, &status_, WNOHANG);
          if (r == pid_) reaped_ = true;
          return reaped_;
        },
        timeout);
    if (!done) return std::nullopt;
  }
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
  return -1;
}

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal_number);
}

std::string ChildProcess::Stdout() const { return ReadFile(io_dir_->path() / "stdout"); }
std::string ChildProcess::Stderr() const { return ReadFile(io_dir_->path() / "stderr"); }

ScopedKeyFolder::ScopedKeyFolder(const std::filesystem::path& folder)
    : saved_(platform::testing::GetDataProtectionKeyFolder()) {
  platform::testing::SetDataProtectionKeyFolder(folder);
}

ScopedKeyFolder::~ScopedKeyFolder() { platform::testing::SetDataProtectionKeyFolder(saved_); }

}  // namespace quorix_test
