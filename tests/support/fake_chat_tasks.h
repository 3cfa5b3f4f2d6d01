#pragma once
// A chat task launcher for tests: each launch is recorded with its
// arguments and returns a future the test completes through the kept
// promise (a value or an exception) or leaves pending. A kind can be made to
// throw std::system_error at its next launch, as when no thread can start.
#include <future>
#include <string>
#include <vector>

#include "chat/chat_tasks.h"

namespace quorix_test {

class FakeChatTasks {
 public:
  struct Launch {
    std::string kind;  // "list", "history", "send" or "mark_read"
    std::string peer;
    std::string bytes;  // the send's UTF-8 text
    friend bool operator==(const Launch&, const Launch&) = default;
  };

  // Wrappers bound to this fake, which must outlive them.
  quorix_chat::ChatTaskLauncher Launcher();

  std::vector<Launch> launches;
  std::vector<std::promise<quorix_mvp03b2b::FetchResult>> lists;
  std::vector<std::promise<quorix_mvp03live::Result>> histories;
  std::vector<std::promise<quorix_mvp03live::Result>> sends;
  std::vector<std::promise<quorix_mvp03read::Result>> mark_reads;
  // The next launch of this kind throws instead.
  std::string throw_next;

 private:
  template <typename R>
  std::future<R> Start(std::vector<std::promise<R>>& promises, Launch launch);
};

}  // namespace quorix_test
