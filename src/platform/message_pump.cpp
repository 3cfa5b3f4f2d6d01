#include "platform/message_pump.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/instance.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void MessagePump::BlockTerminationSignals() {
  sigset_t set = TerminationSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

MessagePump::MessagePump() {
  event_fd_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  sigset_t set = TerminationSignals();
  sigset_t blocked;
  pthread_sigmask(SIG_SETMASK, nullptr, &blocked);
  // Only when the signals are blocked does the signalfd receive them.
  if (sigismember(&blocked, SIGTERM) == 1) {
    signal_fd_.reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
  }
}

MessagePump::~MessagePump() = default;

void MessagePump::PostQuit() {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({PumpMessage::Kind::kQuit, 0});
  }
  const uint64_t one = 1;
  if (event_fd_.valid()) (void)!::write(event_fd_.get(), &one, sizeof(one));
}

void MessagePump::Post(uint32_t id) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({PumpMessage::Kind::kUser, id});
  }
  const uint64_t one = 1;
  if (event_fd_.valid()) (void)!::write(event_fd_.get(), &one, sizeof(one));
}

void MessagePump::AttachShowListener(ShowListener* listener) { show_ = listener; }

void MessagePump::AddWatch(int fd, std::function<void()> on_ready) {
  RemoveWatch(fd);
  watches_.push_back({fd, std::move(on_ready)});
}

void MessagePump::RemoveWatch(int fd) {
  watches_.erase(std::remove_if(watches_.begin(), watches_.end(), [fd](const Watch& w) { return w.fd == fd; }),
                 watches_.end());
}

void MessagePump::SetPollSource(PollSource* source) { source_ = source; }

void MessagePump::CollectSources() {
  uint64_t count = 0;
  if (event_fd_.valid()) (void)!::read(event_fd_.get(), &count, sizeof(count));
  if (signal_fd_.valid()) {
    signalfd_siginfo info{};
    while (::read(signal_fd_.get(), &info, sizeof(info)) == static_cast<ssize_t>(sizeof(info))) {
      std::lock_guard lock(mutex_);
      queue_.push_back({PumpMessage::Kind::kQuit, 0});
    }
  }
  if (show_ != nullptr) {
    for (const std::string& message : show_->Accept()) {
      if (message == "Quorix.UI3.Show") {
        std::lock_guard lock(mutex_);
        queue_.push_back({PumpMessage::Kind::kShow, 0});
      }
    }
  }
  if (!watches_.empty()) {
    std::vector<pollfd> fds;
    for (const Watch& w : watches_) fds.push_back({w.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 0) > 0) {
      const auto watches = watches_;  // a callback may change the list
      for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) watches[i].on_ready();
      }
    }
  }
}

bool MessagePump::Drain(const std::function<void(const PumpMessage&)>& dispatch) {
  if (source_ != nullptr) source_->Dispatch();
  CollectSources();
  while (true) {
    PumpMessage message;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return false;
      message = queue_.front();
      queue_.pop_front();
    }
    dispatch(message);
    if (message.kind == PumpMessage::Kind::kQuit) return true;
  }
}

void MessagePump::Wait(int timeout_ms) {
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return;
  }
  std::vector<pollfd> fds;
  if (event_fd_.valid()) fds.push_back({event_fd_.get(), POLLIN, 0});
  if (signal_fd_.valid()) fds.push_back({signal_fd_.get(), POLLIN, 0});
  if (show_ != nullptr) fds.push_back({show_->fd(), POLLIN, 0});
  for (const Watch& w : watches_) fds.push_back({w.fd, POLLIN, 0});
  const size_t own = fds.size();
  if (source_ != nullptr) source_->Prepare(&fds, &timeout_ms);
  // Readiness is collected by the next Drain (and the source's Check).
  (void)RetryOnEintr([&] { return ::poll(fds.data(), fds.size(), timeout_ms); });
  if (source_ != nullptr) source_->Check(fds.data() + own, fds.size() - own);
}

}  // namespace platform
