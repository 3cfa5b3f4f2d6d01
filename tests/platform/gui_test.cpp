// GTK on a private X server, run by the message pump.
#include "platform/gui.h"

#include <gtest/gtest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <string>

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
