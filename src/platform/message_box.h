#pragma once
// Modal messages to the user. The two-argument form shows UTF-8 text with
// an OK button and always writes it to standard error as well; the full form
// takes an owner window, UTF-16 texts and flags and answers which button
// closed it. With a display they are GTK dialogs; without one they go to
// standard error only. Tests replace either presenter.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/window_handle.h"

namespace platform {

// Blocks until the dialog is closed (a key, its button or the window's
// close). Text that is not UTF-8 is written but not shown. Main thread.
void ShowMessageBox(std::string_view text, std::string_view caption);

// Replaces the presenter; an empty function restores the default.
void SetMessageBoxHandler(std::function<void(std::string_view text, std::string_view caption)> handler);

// Flags of the full form: the buttons and the icon.
inline constexpr uint32_t kMessageBoxOk = 0x0;
inline constexpr uint32_t kMessageBoxOkCancel = 0x1;
inline constexpr uint32_t kMessageBoxIconError = 0x10;
inline constexpr uint32_t kMessageBoxIconWarning = 0x30;
inline constexpr uint32_t kMessageBoxIconInformation = 0x40;
// The answers.
inline constexpr int kMessageBoxAnswerOk = 1;
inline constexpr int kMessageBoxAnswerCancel = 2;

// Blocks until the box is closed; closing it without a button answers
// Cancel. Without a display it writes its line to standard error and answers
// OK for an OK box, Cancel for an OK/Cancel box. Main thread.
int ShowMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags);

using MessageBoxFormHandler =
    std::function<int(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags)>;
// Replaces the presenter of the full form; an empty function restores it.
void SetMessageBoxFormHandler(MessageBoxFormHandler handler);

}  // namespace platform
