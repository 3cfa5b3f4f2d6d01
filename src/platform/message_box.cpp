#include "platform/message_box.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace platform {
namespace {

std::mutex g_mutex;
std::function<void(std::string_view, std::string_view)> g_handler;

}  // namespace

void ShowMessageBox(std::string_view text, std::string_view caption) {
  std::function<void(std::string_view, std::string_view)> handler;
  {
    std::lock_guard lock(g_mutex);
    handler = g_handler;
  }
  if (handler) {
    handler(text, caption);
    return;
  }
  const std::string line = std::string(caption) + ": " + std::string(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void SetMessageBoxHandler(std::function<void(std::string_view, std::string_view)> handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
}

}  // namespace platform
