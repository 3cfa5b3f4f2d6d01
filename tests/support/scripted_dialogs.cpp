#include "scripted_dialogs.h"

#include <filesystem>

#include "platform/text_encoding.h"

namespace quorix_test {

ScriptedDialogs::ScriptedDialogs() {
  platform::SetMessageBoxFormHandler(
      [this](platform::WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags) {
        return AnswerBox(owner, text, caption, flags);
      });
  platform::SetFileDialogHandler([this](const platform::FileDialogRequest& request) { return AnswerFile(request); });
}

ScriptedDialogs::~ScriptedDialogs() {
  platform::SetMessageBoxFormHandler({});
  platform::SetFileDialogHandler({});
}

int ScriptedDialogs::AnswerBox(platform::WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                               uint32_t flags) {
  boxes.push_back({owner, std::u16string(text), std::u16string(caption), flags});
  if (box_answers.empty()) return platform::kMessageBoxAnswerCancel;
  const int answer = box_answers.front();
  box_answers.pop_front();
  return answer;
}

std::optional<std::u16string> ScriptedDialogs::AnswerFile(const platform::FileDialogRequest& request) {
  requests.push_back(request);
  if (while_open) while_open();
  while (!file_answers.empty()) {
    const std::u16string path = file_answers.front();
    file_answers.pop_front();
    const bool exists = std::filesystem::exists(std::filesystem::path(platform::Utf16ToUtf8Lenient(path)));
    if ((request.flags & platform::kFileDialogFileMustExist) != 0 && !exists) continue;
    if ((request.flags & platform::kFileDialogOverwritePrompt) != 0 && exists) {
      ++overwrite_questions;
      const bool replace = !overwrite_answers.empty() && overwrite_answers.front();
      if (!overwrite_answers.empty()) overwrite_answers.pop_front();
      if (!replace) continue;
    }
    return path;
  }
  return std::nullopt;
}

}  // namespace quorix_test
