#include "platform/gui.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "platform/env.h"

namespace platform {
namespace {

// Main-thread state, except g_display_lost, which Xlib's handlers set from
// inside any X call (also on the main thread).
bool g_attempted = false;
bool g_available = false;
bool g_display_lost = false;
int g_termination_fd = -1;

int ReturningIoErrorHandler(Display* /*display*/) {
  g_display_lost = true;
  return 0;
}

// Called by Xlib after the I/O error handler returned; returning from it
// keeps the process alive (the default one exits).
void DisplayLostExitHandler(Display* /*display*/, void* /*data*/) { g_display_lost = true; }

class GlibPollSource final : public PollSource {
 public:
  void Prepare(std::vector<pollfd>* fds, int* timeout_ms) override {
    prepared_ = false;
    if (!g_available || g_display_lost) return;
    GMainContext* context = g_main_context_default();
    if (!g_main_context_acquire(context)) return;
    g_main_context_prepare(context, &priority_);
    int timeout = -1;
    int count = g_main_context_query(context, priority_, &timeout, gfds_.data(), static_cast<int>(gfds_.size()));
    if (count > static_cast<int>(gfds_.size())) {
      gfds_.resize(static_cast<size_t>(count));
      count = g_main_context_query(context, priority_, &timeout, gfds_.data(), count);
    }
    used_ = static_cast<size_t>(count);
    for (size_t i = 0; i < used_; ++i) {
      fds->push_back({gfds_[i].fd, static_cast<short>(gfds_[i].events), 0});
    }
    if (timeout >= 0 && (*timeout_ms < 0 || timeout < *timeout_ms)) *timeout_ms = timeout;
    prepared_ = true;
  }

  void Check(pollfd* fds, size_t count) override {
    if (!prepared_) return;
    prepared_ = false;
    for (size_t i = 0; i < used_ && i < count; ++i) gfds_[i].revents = static_cast<gushort>(fds[i].revents);
    GMainContext* context = g_main_context_default();
    g_main_context_check(context, priority_, gfds_.data(), static_cast<int>(used_));
    g_main_context_release(context);
  }

  void Dispatch() override {
    if (!g_available || g_display_lost) return;
    // Bounded: a source that is always ready cannot hold the main loop.
    for (int i = 0; i < 64 && !g_display_lost && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
  }

 private:
  std::vector<GPollFD> gfds_ = std::vector<GPollFD>(16);
  size_t used_ = 0;
  int priority_ = 0;
  bool prepared_ = false;
};

}  // namespace

bool StartGui() {
  if (g_attempted) return g_available;
  g_attempted = true;
  const std::optional<std::string> display = env::Get("DISPLAY");
  if (!display || display->empty()) return false;
  gdk_set_allowed_backends("x11");
  std::string arg0 = "quorix";
  std::string arg1 = "--display";
  std::string arg2 = *display;
  char* args[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
  int argc = 3;
  char** argv = args;
  if (!gtk_init_check(&argc, &argv)) return false;
  GdkDisplay* gdk_display = gdk_display_get_default();
  if (gdk_display == nullptr || !GDK_IS_X11_DISPLAY(gdk_display)) return false;
  gdk_x11_display_set_window_scale(gdk_display, 1);
  XSetIOErrorHandler(ReturningIoErrorHandler);
  XSetIOErrorExitHandler(gdk_x11_display_get_xdisplay(gdk_display), DisplayLostExitHandler, nullptr);
  g_available = true;
  return true;
}

bool GuiAvailable() { return g_available && !g_display_lost; }

bool DisplayLost() { return g_display_lost; }

PollSource* GuiPollSource() {
  static GlibPollSource source;
  return &source;
}

void SetTerminationWatchFd(int fd) { g_termination_fd = fd; }

int TerminationWatchFd() { return g_termination_fd; }

}  // namespace platform
