// The real message dialog on a private X server: Return answers OK, a
// termination signal closes it as cancelled and stays pending.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>

#include "platform/gui.h"
#include "platform/message_box.h"
#include "private_x_server.h"
#include "x_driver.h"

namespace {

// Once the dialog is up, points at it and presses Return (keys go to the
// window under the pointer on a server without a window manager).
gboolean PressReturnOnDialog(gpointer data) {
  auto* x = static_cast<quorix_test::XDriver*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* it = windows; it != nullptr; it = it->next) {
    GtkWidget* widget = GTK_WIDGET(it->data);
    if (!GTK_IS_MESSAGE_DIALOG(widget) || !gtk_widget_get_mapped(widget)) continue;
    gint left = 0, top = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &left, &top);
    x->MovePointer(left + 5, top + 5);
    x->Chord({XK_Return});
  }
  g_list_free(windows);
  return G_SOURCE_CONTINUE;
}

TEST(MessageDialogTest, ReturnAnswersOkAndATerminationSignalCancels) {
  quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
  if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
  ASSERT_TRUE(platform::StartGui());
  quorix_test::XDriver x;
  const guint source = g_timeout_add(100, PressReturnOnDialog, &x);
  EXPECT_EQ(platform::ShowMessageBox(platform::kNoWindow, u"Return closes me", u"Quorix", platform::kMessageBoxOk),
            platform::kMessageBoxAnswerOk);
  g_source_remove(source);

  // As in the main loop: the signal blocked, so it waits for the pump.
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &old), 0);
  ::raise(SIGTERM);
  EXPECT_EQ(platform::ShowMessageBox(platform::kNoWindow, u"A signal closes me", u"Quorix", platform::kMessageBoxOk),
            platform::kMessageBoxAnswerCancel);
  const timespec now{};
  EXPECT_EQ(sigtimedwait(&term, nullptr, &now), SIGTERM);  // still pending
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace
