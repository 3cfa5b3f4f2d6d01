#include "platform/message_box.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/gui.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::function<void(std::string_view, std::string_view)> g_handler;

gboolean CloseOnTermination(gint /*fd*/, GIOCondition /*condition*/, gpointer dialog) {
  // The signal stays unread: the message pump posts the quit afterwards.
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
  return G_SOURCE_REMOVE;
}

// A modal dialog with one OK button; returns when it is closed.
void RunDialog(const std::string& text, const std::string& caption) {
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s",
                                             text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  guint watch = 0;
  const int fd = TerminationWatchFd();
  if (fd >= 0) watch = g_unix_fd_add(fd, G_IO_IN, CloseOnTermination, dialog);
  if (watch != 0) {
    // The source may already have removed itself; look it up before removing.
    gtk_dialog_run(GTK_DIALOG(dialog));
    if (GSource* source = g_main_context_find_source_by_id(nullptr, watch)) g_source_destroy(source);
  } else {
    gtk_dialog_run(GTK_DIALOG(dialog));
  }
  gtk_widget_destroy(dialog);
}

}  // namespace

void ShowMessageBox(std::string_view text, std::string_view caption) {
  std::function<void(std::string_view, std::string_view)> handler;
  {
    std::lock_guard lock(g_mutex);
    handler = g_handler;
  }
  if (handler) {
    handler(text, caption);
    return;
  }
  const std::string line = std::string(caption) + ": " + std::string(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  // Before the window toolkit runs (a sibling client, the single-instance
  // mutex) standard error is all there is.
  if (GuiAvailable()) RunDialog(std::string(text), std::string(caption));
}

void SetMessageBoxHandler(std::function<void(std::string_view, std::string_view)> handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
}

}  // namespace platform
