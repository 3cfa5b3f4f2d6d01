#pragma once
// The program's one GUI toolkit connection (GTK 3 on X11), shared by the
// message boxes, the file dialogs and the desktop window. Main thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_dialog.h"
#include "platform/window_handle.h"

namespace platform {

// Starts GTK on the X11 display named by DISPLAY in the environment table,
// once; later calls give the first result. False without a display.
bool StartGui();
// True once StartGui succeeded.
bool GuiAvailable();

// The GTK presenters behind message_box.h and file_dialog.h; call only when
// GuiAvailable(). A modal dialog closes as cancelled once a termination
// signal is pending (the signals are blocked for the main loop's pump) and
// leaves the signal pending for the main loop.
int GuiMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags);
std::optional<std::u16string> GuiFileDialog(const FileDialogRequest& request);

}  // namespace platform
