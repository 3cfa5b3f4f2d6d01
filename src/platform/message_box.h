#pragma once
// A modal message to the user with only an OK button. Until the desktop
// window brings a real dialog, it goes to standard error; tests replace it.
#include <functional>
#include <string_view>

namespace platform {

void ShowMessageBox(std::string_view text, std::string_view caption);

// Replaces the presenter; an empty function restores the default.
void SetMessageBoxHandler(std::function<void(std::string_view text, std::string_view caption)> handler);

}  // namespace platform
