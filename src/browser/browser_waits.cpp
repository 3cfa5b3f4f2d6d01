#include "browser/browser_waits.h"

#include <mutex>

#include "core/poll_wait.h"


namespace quorix_browser {

std::atomic<uint32_t> input_worker_threads{0};
std::atomic<uint32_t> capture_workers{0};
std::atomic<uint32_t> launch_workers{0};

namespace {
std::mutex g_callback_mutex;
std::function<void(uint64_t)> g_editor_close;
}  // namespace

void SetEditorCloseCallback(std::function<void(uint64_t)> callback) {
  std::lock_guard lock(g_callback_mutex);
  g_editor_close = std::move(callback);
}

void CloseLeasedEditor(uint64_t editor_id) {
  std::function<void(uint64_t)> callback;
  {
    std::lock_guard lock(g_callback_mutex);
    callback = g_editor_close;
  }
  if (callback) callback(editor_id);
}

}  // namespace quorix_browser

bool WaitForInputWorkerThreads(uint32_t milliseconds) {
  return PollUntil(milliseconds, std::chrono::milliseconds(5),
                   [] { return quorix_browser::input_worker_threads.load() == 0; });
}

bool BrowserShutdownWait(uint32_t milliseconds) {
  return PollUntil(milliseconds, std::chrono::milliseconds(5), [] {
    return quorix_browser::capture_workers.load() == 0 && quorix_browser::launch_workers.load() == 0;
  });
}
