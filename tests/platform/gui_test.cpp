// GTK on a private X server, run by the message pump.
#include "platform/gui.h"

#include <gtest/gtest.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <pthread.h>
#include <signal.h>

#include <string>

#include "platform/message_box.h"
#include "platform/message_pump.h"
#include "platform/panel_window.h"
#include "private_x_server.h"

namespace {

class GuiTest : public testing::Test {
 protected:
  void SetUp() override {
    quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
    if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
    ASSERT_TRUE(platform::StartGui());
  }
};

// Pumps until `done` holds; the bound only stops a broken run.
template <typename Done>
bool PumpUntil(platform::MessagePump& pump, Done done) {
  for (int pass = 0; pass < 20000 && !done(); ++pass) {
    pump.Wait(100);
    pump.Drain([](const platform::PumpMessage&) {});
  }
  return done();
}

GtkWidget* MappedDialog(const char* title) {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w != nullptr; w = w->next) {
    GtkWindow* window = GTK_WINDOW(w->data);
    const char* t = gtk_window_get_title(window);
    if (t != nullptr && std::string(t) == title && gtk_widget_get_mapped(GTK_WIDGET(window))) found = GTK_WIDGET(window);
  }
  g_list_free(windows);
  return found;
}

TEST_F(GuiTest, StartsOnceOnTheTablesDisplay) {
  EXPECT_TRUE(platform::GuiAvailable());
  EXPECT_FALSE(platform::DisplayLost());
  EXPECT_TRUE(platform::StartGui());
  EXPECT_EQ(std::string(gdk_display_get_name(gdk_display_get_default())),
            quorix_test::SharedPrivateXServer().display());
}

TEST_F(GuiTest, PumpDispatchesGtkEvents) {
  platform::MessagePump pump;
  pump.SetPollSource(platform::GuiPollSource());
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  bool mapped = false;
  g_signal_connect(window, "map-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer flag) -> gboolean {
                     *static_cast<bool*>(flag) = true;
                     return FALSE;
                   }),
                   &mapped);
  gtk_widget_show(window);
  EXPECT_TRUE(PumpUntil(pump, [&] { return mapped; }));
  gtk_widget_destroy(window);
  pump.SetPollSource(nullptr);
}

struct DialogCloser {
  enum class How { kReturn, kSignal } how;
  const char* title;
  bool acted = false;
};

gboolean CloseWhenMapped(gpointer data) {
  auto* closer = static_cast<DialogCloser*>(data);
  GtkWidget* dialog = MappedDialog(closer->title);
  if (dialog == nullptr) return G_SOURCE_CONTINUE;
  closer->acted = true;
  if (closer->how == DialogCloser::How::kSignal) {
    pthread_kill(pthread_self(), SIGTERM);  // blocked here: it stays pending for the pump's signalfd
  } else {
    // No window manager here: give the dialog the focus, then type as a user would.
    Display* x = gdk_x11_get_default_xdisplay();
    XSetInputFocus(x, gdk_x11_window_get_xid(gtk_widget_get_window(dialog)), RevertToParent, CurrentTime);
    const KeyCode enter = XKeysymToKeycode(x, XK_Return);
    XTestFakeKeyEvent(x, enter, True, CurrentTime);
    XTestFakeKeyEvent(x, enter, False, CurrentTime);
    XFlush(x);
  }
  return G_SOURCE_REMOVE;
}

TEST_F(GuiTest, MessageBoxClosesWithReturnAndWithATerminationSignal) {
  platform::MessagePump::BlockTerminationSignals();
  platform::MessagePump pump;
  pump.SetPollSource(platform::GuiPollSource());
  platform::SetTerminationWatchFd(pump.termination_fd());
  for (auto how : {DialogCloser::How::kReturn, DialogCloser::How::kSignal}) {
    const bool by_signal = how == DialogCloser::How::kSignal;
    SCOPED_TRACE(by_signal ? "signal" : "Return");
    DialogCloser closer{how, by_signal ? "Quorix signal" : "Quorix return"};
    const guint poll = g_timeout_add(10, CloseWhenMapped, &closer);
    platform::ShowMessageBox("Ctrl+P is already in use.", closer.title);  // returns once closed
    if (!closer.acted) g_source_remove(poll);
    EXPECT_TRUE(closer.acted);
    bool quit = false;
    pump.Drain([&](const platform::PumpMessage& m) { quit |= m.kind == platform::PumpMessage::Kind::kQuit; });
    EXPECT_EQ(quit, by_signal);
  }
  platform::SetTerminationWatchFd(-1);
  pump.SetPollSource(nullptr);
}

// The window's pixels as the X server holds them, B, G, R, A per pixel.
std::vector<uint8_t> WindowPixels(unsigned long xid, int width, int height) {
  Display* x = gdk_x11_get_default_xdisplay();
  XImage* image = XGetImage(x, xid, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
  std::vector<uint8_t> bytes;
  if (image == nullptr) return bytes;
  for (int r = 0; r < height; ++r) {
    const auto* row = reinterpret_cast<const uint8_t*>(image->data) + static_cast<size_t>(r) * image->bytes_per_line;
    bytes.insert(bytes.end(), row, row + static_cast<size_t>(width) * 4);
  }
  XDestroyImage(image);
  return bytes;
}

TEST_F(GuiTest, PanelShowsThePresentedPixelsWhereItWasPut) {
  platform::MessagePump pump;
  pump.SetPollSource(platform::GuiPollSource());
  const int w = 64, h = 32;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  for (int i = 0; i < w * h; ++i) {
    const uint8_t a = i % 3 == 0 ? 255 : static_cast<uint8_t>(i % 251);
    pixels[static_cast<size_t>(i) * 4 + 0] = static_cast<uint8_t>(a * (i % 7) / 7);  // premultiplied: at most a
    pixels[static_cast<size_t>(i) * 4 + 1] = static_cast<uint8_t>(a / 2);
    pixels[static_cast<size_t>(i) * 4 + 2] = a;
    pixels[static_cast<size_t>(i) * 4 + 3] = a;
  }
  std::unique_ptr<platform::PanelWindow> panel = platform::PanelWindow::Create(100, 50, 10, 10);
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(panel->Present(pixels.data(), 0, h, 100, 50));
  ASSERT_TRUE(panel->Present(pixels.data(), w, h, 120, 60));
  EXPECT_FALSE(panel->IsMapped());
  panel->SetShown(true);
  ASSERT_TRUE(PumpUntil(pump, [&] { return panel->IsMapped() && WindowPixels(panel->XWindowId(), w, h) == pixels; }));
  Display* x = gdk_x11_get_default_xdisplay();
  int root_x = 0, root_y = 0;
  ::Window child = 0;
  XTranslateCoordinates(x, panel->XWindowId(), DefaultRootWindow(x), 0, 0, &root_x, &root_y, &child);
  EXPECT_EQ(root_x, 120);
  EXPECT_EQ(root_y, 60);
  panel->SetShown(false);
  EXPECT_FALSE(panel->IsMapped());
  panel.reset();
  pump.SetPollSource(nullptr);
}

}  // namespace
