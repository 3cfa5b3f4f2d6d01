#include "platform/gui.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/message_box.h"
#include "platform/text_encoding.h"

namespace platform {
namespace {

int g_gui_state = -1;  // -1 not tried, 0 unavailable, 1 started; main thread only
// Set by Xlib's handlers from inside an X call, on the GUI thread.
bool g_display_lost = false;
pthread_t g_gui_thread{};

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
    if (!GuiAvailable()) return;
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
    // Bounded: a source that is always ready cannot hold the main loop.
    for (int i = 0; i < 64 && GuiAvailable() && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
  }

 private:
  std::vector<GPollFD> gfds_ = std::vector<GPollFD>(16);
  size_t used_ = 0;
  int priority_ = 0;
  bool prepared_ = false;
};

bool TerminationPending() {
  sigset_t pending;
  if (::sigpending(&pending) != 0) return false;
  return sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1 ||
         sigismember(&pending, SIGHUP) == 1;
}

// Runs `dialog` modally; a pending termination signal answers `cancel`.
int RunModal(GtkDialog* dialog, int cancel) {
  struct Watch {
    GtkDialog* dialog;
    int cancel;
  } watch{dialog, cancel};
  const guint source = g_timeout_add(
      50,
      [](gpointer data) -> gboolean {
        auto* w = static_cast<Watch*>(data);
        if (TerminationPending()) gtk_dialog_response(w->dialog, w->cancel);
        return G_SOURCE_CONTINUE;
      },
      &watch);
  const int response = TerminationPending() ? cancel : gtk_dialog_run(dialog);
  g_source_remove(source);
  return TerminationPending() ? cancel : response;
}

void Destroy(GtkWidget* widget) {
  gtk_widget_destroy(widget);
  while (gtk_events_pending()) gtk_main_iteration();
}

std::string Utf8(std::u16string_view text) { return Utf16ToUtf8Lenient(text); }

bool IsFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void AddFilters(GtkFileChooser* chooser, const FileDialogRequest& request) {
  bool first = true;
  for (const auto& [label, patterns] : request.filters) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, Utf8(label).c_str());
    const std::string all = Utf8(patterns);
    for (size_t at = 0; at <= all.size();) {
      const size_t end = std::min(all.find(';', at), all.size());
      const std::string pattern = all.substr(at, end - at);
      gtk_file_filter_add_pattern(filter, pattern == "*.*" ? "*" : pattern.c_str());
      at = end + 1;
    }
    gtk_file_chooser_add_filter(chooser, filter);
    if (first) gtk_file_chooser_set_filter(chooser, filter);
    first = false;
  }
}

}  // namespace

bool StartGui() {
  if (g_gui_state >= 0) return g_gui_state == 1;
  g_gui_state = 0;
  const std::optional<std::string> display = env::Get("DISPLAY");
  if (!display || display->empty()) return false;
  gdk_set_allowed_backends("x11");
  std::string name = "quorix", option = "--display", value = *display;
  char* arguments[] = {name.data(), option.data(), value.data(), nullptr};
  int count = 3;
  char** vector = arguments;
  if (!gtk_init_check(&count, &vector)) return false;
  GdkDisplay* gdk_display = gdk_display_get_default();
  if (gdk_display == nullptr || !GDK_IS_X11_DISPLAY(gdk_display)) return false;
  gdk_x11_display_set_window_scale(gdk_display, 1);
  XSetIOErrorHandler(ReturningIoErrorHandler);
  XSetIOErrorExitHandler(gdk_x11_display_get_xdisplay(gdk_display), DisplayLostExitHandler, nullptr);
  g_gui_thread = pthread_self();
  g_gui_state = 1;
  return true;
}

bool GuiAvailable() { return g_gui_state == 1 && !g_display_lost; }

bool DisplayLost() { return g_display_lost; }

bool IsGuiThread() { return g_gui_state == 1 && pthread_equal(g_gui_thread, pthread_self()) != 0; }

PollSource* GuiPollSource() {
  static GlibPollSource source;
  return &source;
}

namespace {

// The toplevel whose X window is `xid` (a window handle is its X id).
GtkWindow* ToplevelOf(WindowHandle xid) {
  if (xid == kNoWindow) return nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* at = toplevels; at != nullptr && found == nullptr; at = at->next) {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(at->data));
    if (window != nullptr && gdk_x11_window_get_xid(window) == xid) found = GTK_WINDOW(at->data);
  }
  g_list_free(toplevels);
  return found;
}

}  // namespace

int GuiMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags) {
  const uint32_t icon = flags & 0xF0;
  const GtkMessageType type = icon == kMessageBoxIconError         ? GTK_MESSAGE_ERROR
                              : icon == kMessageBoxIconWarning     ? GTK_MESSAGE_WARNING
                              : icon == 0x20                       ? GTK_MESSAGE_QUESTION
                              : icon == kMessageBoxIconInformation ? GTK_MESSAGE_INFO
                                                                   : GTK_MESSAGE_OTHER;
  const bool ok_cancel = (flags & 0xF) == kMessageBoxOkCancel;
  GtkWidget* box = gtk_message_dialog_new(ToplevelOf(owner), GTK_DIALOG_MODAL, type,
                                          ok_cancel ? GTK_BUTTONS_OK_CANCEL : GTK_BUTTONS_OK, "%s",
                                          Utf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(box), Utf8(caption).c_str());
  const int response = RunModal(GTK_DIALOG(box), GTK_RESPONSE_CANCEL);
  Destroy(box);
  return response == GTK_RESPONSE_OK ? kMessageBoxAnswerOk : kMessageBoxAnswerCancel;
}

std::optional<std::u16string> GuiFileDialog(const FileDialogRequest& request) {
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      nullptr, nullptr, request.save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
      GTK_RESPONSE_CANCEL, request.save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  AddFilters(chooser, request);
  if (request.save) gtk_file_chooser_set_current_name(chooser, Utf8(request.initial_name).c_str());
  std::optional<std::string> chosen;
  while (!chosen && RunModal(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL) == GTK_RESPONSE_ACCEPT) {
    gchar* name = gtk_file_chooser_get_filename(chooser);
    if (name == nullptr) continue;
    std::string path = name;
    g_free(name);
    if (!request.save) {
      chosen = path;
      break;
    }
    const size_t slash = path.rfind('/');
    const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (!request.default_extension.empty() && base.find('.') == std::string::npos) {
      path += "." + Utf8(request.default_extension);
    }
    if ((request.flags & kFileDialogOverwritePrompt) != 0 && Exists(path)) {
      const std::string question = path + " already exists.\nDo you want to replace it?";
      std::u16string text;
      DecodeUtf8(question.data(), question.size(), &text);
      if (GuiMessageBox(request.owner, text, u"Confirm Save As", kMessageBoxOkCancel | 0x30) !=
          kMessageBoxAnswerOk) {
        continue;
      }
    }
    chosen = path;
  }
  Destroy(dialog);
  // An opened file must still be there; a name that is not text, or longer
  // than the caller's buffer, fails the dialog.
  if (!chosen || (!request.save && !IsFile(*chosen))) return std::nullopt;
  std::u16string wide;
  if (!DecodeUtf8(chosen->data(), chosen->size(), &wide) || wide.size() + 1 > request.buffer_units) {
    return std::nullopt;
  }
  return wide;
}

}  // namespace platform
