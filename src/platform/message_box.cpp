#include "platform/message_box.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/gui.h"
#include "platform/text_encoding.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::function<void(std::string_view, std::string_view)> g_handler;
MessageBoxFormHandler g_form_handler;

void WriteLine(std::string_view text, std::string_view caption) {
  const std::string line = std::string(caption) + ": " + std::string(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

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
  // The line stays for logs and terminals; a person who started the
  // program from a desktop sees the dialog.
  WriteLine(text, caption);
  if (!StartGui() || DisplayLost()) return;
  std::u16string wide_text;
  std::u16string wide_caption;
  if (!DecodeUtf8(text.data(), text.size(), &wide_text) ||
      !DecodeUtf8(caption.data(), caption.size(), &wide_caption)) {
    return;
  }
  (void)GuiMessageBox(kNoWindow, wide_text, wide_caption, kMessageBoxOk);
}

void SetMessageBoxHandler(std::function<void(std::string_view, std::string_view)> handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
}

int ShowMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags) {
  MessageBoxFormHandler handler;
  {
    std::lock_guard lock(g_mutex);
    handler = g_form_handler;
  }
  if (handler) return handler(owner, text, caption, flags);
  if (StartGui()) return GuiMessageBox(owner, text, caption, flags);
  WriteLine(Utf16ToUtf8Lenient(text), Utf16ToUtf8Lenient(caption));
  return (flags & 0xF) == kMessageBoxOkCancel ? kMessageBoxAnswerCancel : kMessageBoxAnswerOk;
}

void SetMessageBoxFormHandler(MessageBoxFormHandler handler) {
  std::lock_guard lock(g_mutex);
  g_form_handler = std::move(handler);
}

}  // namespace platform
