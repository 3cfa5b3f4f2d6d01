#pragma once
// A scripted stand-in for the message boxes and file dialogs: installs both
// replaceable presenters for its lifetime, records every box and file
// request, and answers from queues. An empty queue cancels. The file dialog
// refuses a missing path when the request says the file must exist, and asks
// the overwrite queue for an existing path when it says to prompt (a refused
// or declined path takes the next answer, as the real dialog stays open).
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_dialog.h"
#include "platform/message_box.h"

namespace quorix_test {

class ScriptedDialogs {
 public:
  struct Box {
    platform::WindowHandle owner;
    std::u16string text;
    std::u16string caption;
    uint32_t flags;
  };

  ScriptedDialogs();
  ~ScriptedDialogs();
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  std::deque<int> box_answers;
  std::deque<std::u16string> file_answers;
  std::deque<bool> overwrite_answers;
  // Runs while a file dialog is open, before it answers.
  std::function<void()> while_open;

  std::vector<Box> boxes;
  std::vector<platform::FileDialogRequest> requests;
  size_t overwrite_questions = 0;

 private:
  int AnswerBox(platform::WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                uint32_t flags);
  std::optional<std::u16string> AnswerFile(const platform::FileDialogRequest& request);
};

}  // namespace quorix_test
