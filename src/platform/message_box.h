#pragma once
// A modal message to the user with only an OK button. The text always goes
// to standard error; once the window toolkit runs (StartGui) it is also shown
// as a dialog, which a pending termination signal closes (the signal is left
// for the message pump, so the quit still follows). Tests replace it.
#include <functional>
#include <string_view>

namespace platform {

void ShowMessageBox(std::string_view text, std::string_view caption);

// Replaces the presenter; an empty function restores the default.
void SetMessageBoxHandler(std::function<void(std::string_view text, std::string_view caption)> handler);

}  // namespace platform
