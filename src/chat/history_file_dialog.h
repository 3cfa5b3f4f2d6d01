#pragma once
// Taking the chat history to another computer: explains what is about to
// happen, lets the user pick the file, exports or imports the current
// account's history and reports the outcome. Modal, main thread.
#include "platform/window_handle.h"

// True when the export or import succeeded; false when cancelled or failed.
bool ShowHistoryFileDialog(platform::WindowHandle owner, bool import);
