// The real message dialog on a private X server: Return answers OK, a
// termination signal closes it as cancelled and stays pending.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/gui.h"
#include "platform/message_box.h"
#include "private_x_server.h"
#include "x_driver.h"

namespace {

// The X driver, and the title and text of the last dialog it saw.
struct DialogWatch {
  quorix_test::XDriver* x = nullptr;
  std::string title;
  std::string text;
};

// Once the dialog is up, notes its title and text, points at it and presses
// Return (keys go to the window under the pointer on a server without a
// window manager).
gboolean PressReturnOnDialog(gpointer data) {
  auto* watch = static_cast<DialogWatch*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* it = windows; it != nullptr; it = it->next) {
    GtkWidget* widget = GTK_WIDGET(it->data);
    if (!GTK_IS_MESSAGE_DIALOG(widget) || !gtk_widget_get_mapped(widget)) continue;
    const gchar* title = gtk_window_get_title(GTK_WINDOW(widget));
    watch->title = title != nullptr ? title : "";
    gchar* text = nullptr;
    g_object_get(widget, "text", &text, nullptr);
    watch->text = text != nullptr ? text : "";
    g_free(text);
    gint left = 0, top = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &left, &top);
    watch->x->MovePointer(left + 5, top + 5);
    watch->x->Chord({XK_Return});
  }
  g_list_free(windows);
  return G_SOURCE_CONTINUE;
}

// GTK on the private X server, with Return pressed on every dialog that
// comes up.
class MessageDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
    if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
    ASSERT_TRUE(platform::StartGui());
    x_.emplace();  // on the private server, which is up now
    ASSERT_TRUE(x_->ok());
    watch_.x = &*x_;
    source_ = g_timeout_add(100, PressReturnOnDialog, &watch_);
  }
  void TearDown() override {
    if (source_ != 0) g_source_remove(source_);
  }

  std::optional<quorix_test::XDriver> x_;
  DialogWatch watch_;
  guint source_ = 0;
};

TEST_F(MessageDialogTest, ReturnAnswersOkAndATerminationSignalCancels) {
  EXPECT_EQ(platform::ShowMessageBox(platform::kNoWindow, u"Return closes me", u"Quorix", platform::kMessageBoxOk),
            platform::kMessageBoxAnswerOk);
  g_source_remove(std::exchange(source_, 0));
  EXPECT_EQ(watch_.text, "Return closes me");

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

// The two-argument form of a failed start: the dialog with its text and
// caption, closed by a key press, and the same line on standard error.
TEST_F(MessageDialogTest, ShortFormShowsTheDialogAndStillWritesItsLine) {
  const std::string text = "Close the previous Quorix client first. / 以前のQuorixを終了してください。";
  testing::internal::CaptureStderr();
  platform::ShowMessageBox(text, "Quorix");
  const std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(watch_.text, text);
  EXPECT_EQ(watch_.title, "Quorix");
  EXPECT_EQ(written, "Quorix: " + text + "\n");
}

}  // namespace
