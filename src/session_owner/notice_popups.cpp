// The desktop notice popups: the call and chat popups beside the panel.
#include "session_owner/window.h"

namespace two_pc {

// Phone mode shows no popups; the desktop popups come with their presenter.
void Window::UpdateDesktopNotices() {}

}  // namespace two_pc
