#include "platform/file_dialog.h"

#include <mutex>

#include "platform/gui.h"

namespace platform {
namespace {

std::mutex g_mutex;
FileDialogHandler g_handler;

}  // namespace

std::optional<std::u16string> ShowFileDialog(const FileDialogRequest& request) {
  FileDialogHandler handler;
  {
    std::lock_guard lock(g_mutex);
    handler = g_handler;
  }
  if (handler) return handler(request);
  if (!StartGui()) return std::nullopt;
  return GuiFileDialog(request);
}

void SetFileDialogHandler(FileDialogHandler handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
}

}  // namespace platform
