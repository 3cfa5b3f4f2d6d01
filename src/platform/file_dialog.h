#pragma once
// The common open and save dialogs: the user picks one file. With a display
// a GTK file chooser, without one the dialog counts as cancelled (nothing is
// read or written unasked). Tests replace the presenter.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/window_handle.h"

namespace platform {

// Flags, with the Windows values the callers are written against.
inline constexpr uint32_t kFileDialogOverwritePrompt = 0x2;
inline constexpr uint32_t kFileDialogNoChangeDir = 0x8;
inline constexpr uint32_t kFileDialogPathMustExist = 0x800;
inline constexpr uint32_t kFileDialogFileMustExist = 0x1000;
inline constexpr uint32_t kFileDialogExplorer = 0x80000;

struct FileDialogRequest {
  bool save = false;
  WindowHandle owner = kNoWindow;
  // (label, pattern) in order; the first is selected. "*.*" means any file.
  std::vector<std::pair<std::u16string, std::u16string>> filters;
  std::u16string initial_name;
  std::u16string default_extension;  // without the dot; added to a name without one
  uint32_t flags = 0;
  uint32_t buffer_units = 0;  // the longest answer, its terminator included
};

// The chosen path, or nothing when cancelled or failed. Main thread.
std::optional<std::u16string> ShowFileDialog(const FileDialogRequest& request);

using FileDialogHandler = std::function<std::optional<std::u16string>(const FileDialogRequest& request)>;
// Replaces the presenter; an empty function restores the default.
void SetFileDialogHandler(FileDialogHandler handler);

}  // namespace platform
