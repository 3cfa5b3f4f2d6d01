#pragma once
// The program's one GUI toolkit connection (GTK 3 on X11), shared by the
// message boxes, the file dialogs and the desktop window. Main thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_dialog.h"
#include "platform/message_pump.h"
#include "platform/window_handle.h"

namespace platform {

// Starts GTK on the X11 display named by DISPLAY in the environment table
// (GTK itself reads only the C environment), once, with the window scale
// pinned to 1; later calls give the first result. False without a display.
bool StartGui();
// True once StartGui succeeded, until the display is lost.
bool GuiAvailable();
// The X connection broke after StartGui (server gone, session ended). GDK's
// own X I/O error handler would exit the process at once and skip the
// shutdown; StartGui replaces it, so a lost display only sets this mark, and
// no X call may be made afterwards.
bool DisplayLost();
// Whether the caller is the thread StartGui ran on.
bool IsGuiThread();

// GLib's default main context as a source of the message pump, so that GTK's
// events are dispatched by the main loop's Drain, never by a loop of its
// own. Harmless before StartGui (it then adds nothing).
PollSource* GuiPollSource();

// The GTK presenters behind message_box.h and file_dialog.h; call only when
// GuiAvailable(). A modal dialog closes as cancelled once a termination
// signal is pending (the signals are blocked for the main loop's pump) and
// leaves the signal pending for the main loop.
int GuiMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags);
std::optional<std::u16string> GuiFileDialog(const FileDialogRequest& request);

}  // namespace platform
