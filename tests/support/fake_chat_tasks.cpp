#include "support/fake_chat_tasks.h"

#include <system_error>

namespace quorix_test {

template <typename R>
std::future<R> FakeChatTasks::Start(std::vector<std::promise<R>>& promises, Launch launch) {
  if (throw_next == launch.kind) {
    throw_next.clear();
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  launches.push_back(std::move(launch));
  promises.emplace_back();
  return promises.back().get_future();
}

quorix_chat::ChatTaskLauncher FakeChatTasks::Launcher() {
  quorix_chat::ChatTaskLauncher launcher;
  launcher.list = [this] { return Start(lists, {"list", "", ""}); };
  launcher.history = [this](const std::string& peer) { return Start(histories, {"history", peer, ""}); };
  launcher.send = [this](const std::string& peer, const std::string& bytes) {
    return Start(sends, {"send", peer, bytes});
  };
  launcher.mark_read = [this](const std::string& peer) { return Start(mark_reads, {"mark_read", peer, ""}); };
  return launcher;
}

}  // namespace quorix_test
