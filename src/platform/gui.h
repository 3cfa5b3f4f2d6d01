#pragma once
// The program's one window toolkit: GTK 3 on the X11 backend.
//
// StartGui opens the display named by the environment table's DISPLAY (GTK
// itself reads only the C environment), pins the window scale to 1 and
// replaces GDK's X I/O error handler, which would exit the process at once
// and skip the shutdown: a lost display instead sets DisplayLost(), after
// which no X call may be made. GLib's default main context runs inside the
// message pump (GuiPollSource), so that GTK's events are dispatched by the
// main loop's Drain, never by a loop of its own.
//
// Main thread only. Nothing here is undone: GTK cannot be shut down.
#include "platform/message_pump.h"

namespace platform {

// Starts GTK once; later calls return the first result. False without an X
// display (no DISPLAY, or the server cannot be reached).
bool StartGui();
bool GuiAvailable();
// The X connection broke after StartGui (server gone, session ended).
bool DisplayLost();

// GLib's main context as a source of the message pump; harmless before
// StartGui (it then adds nothing).
PollSource* GuiPollSource();

// The descriptor that becomes readable when a termination signal is pending
// (the pump's signalfd), so that a modal dialog can close on it without
// consuming the signal. -1 when none.
void SetTerminationWatchFd(int fd);
int TerminationWatchFd();

}  // namespace platform
