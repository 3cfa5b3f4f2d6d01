#include "platform/instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/env.h"

namespace platform {
namespace {

bool OwnedPrivateFolder(const std::filesystem::path& dir, bool require_private) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
  return !require_private || (st.st_mode & 077) == 0;
}

bool MakeAddress(std::string_view class_name, sockaddr_un* addr, std::filesystem::path* path) {
  const auto dir = UserRuntimeDirectory();
  if (dir.empty()) return false;
  *path = dir / (std::string(class_name) + ".sock");
  if (path->native().size() >= sizeof(addr->sun_path)) return false;
  std::memset(addr, 0, sizeof(*addr));
  addr->sun_family = AF_UNIX;
  std::memcpy(addr->sun_path, path->c_str(), path->native().size());
  return true;
}

}  // namespace

std::filesystem::path UserRuntimeDirectory() {
  if (auto xdg = env::Get("XDG_RUNTIME_DIR"); xdg && !xdg->empty() && xdg->front() == '/') {
    if (OwnedPrivateFolder(*xdg, false)) return *xdg;
  }
  const std::filesystem::path fallback = "/tmp/quorix-" + std::to_string(::getuid());
  if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return {};
  if (!OwnedPrivateFolder(fallback, true)) return {};
  return fallback;
}

InstanceLockResult InstanceLock::Acquire(std::string_view name, std::unique_ptr<InstanceLock>* out) {
  const auto dir = UserRuntimeDirectory();
  if (dir.empty()) return InstanceLockResult::kFailed;
  const auto path = dir / (std::string(name) + ".lock");
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.valid()) return InstanceLockResult::kFailed;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    return errno == EWOULDBLOCK ? InstanceLockResult::kAlreadyRunning : InstanceLockResult::kFailed;
  }
  out->reset(new InstanceLock(std::move(fd)));
  return InstanceLockResult::kAcquired;
}

InstanceLock::~InstanceLock() = default;

std::unique_ptr<ShowListener> ShowListener::Listen(std::string_view class_name) {
  sockaddr_un addr{};
  std::filesystem::path path;
  if (!MakeAddress(class_name, &addr, &path)) return nullptr;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return nullptr;
  ::unlink(path.c_str());  // left by a holder that died
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd.get(), 8) != 0) {
    return nullptr;
  }
  ::chmod(path.c_str(), 0600);
  return std::unique_ptr<ShowListener>(new ShowListener(std::move(fd), std::move(path)));
}

ShowListener::~ShowListener() { ::unlink(path_.c_str()); }

std::vector<std::string> ShowListener::Accept() {
  std::vector<std::string> messages;
  for (int i = 0; i < 16; ++i) {
    const UniqueFd conn(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!conn.valid()) break;
    ucred cred{};
    socklen_t len = sizeof(cred);
    if (::getsockopt(conn.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid()) {
      std::string text;
      char buf[128];
      // The peer writes one short message and closes; wait for it briefly.
      while (text.size() < 256) {
        pollfd pfd{conn.get(), POLLIN, 0};
        if (::poll(&pfd, 1, 200) <= 0) break;
        const ssize_t n = ::read(conn.get(), buf, sizeof(buf));
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
      }
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      if (!text.empty()) messages.push_back(std::move(text));
    }
  }
  return messages;
}

bool PostToInstance(std::string_view class_name, std::string_view message) {
  sockaddr_un addr{};
  std::filesystem::path path;
  if (!MakeAddress(class_name, &addr, &path)) return false;
  const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return false;
  bool ok = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  if (ok) {
    std::string line(message);
    line.push_back('\n');
    ok = ::send(fd.get(), line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
  }
  return ok;
}

}  // namespace platform
