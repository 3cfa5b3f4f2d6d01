// Window records on a private X server through the GTK presenter, clicked
// through the X test driver.
#include "platform/gtk_presenter.h"

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/gui.h"
#include "platform/message_pump.h"
#include "platform/ui_window.h"
#include "private_x_server.h"
#include "x_driver.h"

namespace {

namespace ui = platform::ui;

// (message, wparam) of the popup's commands, closes and paints.
std::vector<std::pair<uint32_t, uintptr_t>> g_seen;

intptr_t RecordingProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message != ui::kWmCommand && message != ui::kWmClose && message != ui::kWmPaint) {
    return ui::DefWindowProc(window, message, wparam, lparam);
  }
  g_seen.emplace_back(message, wparam);
  return 0;  // a close leaves the window to the test
}

size_t Count(uint32_t message) {
  return std::count_if(g_seen.begin(), g_seen.end(), [message](const auto& seen) { return seen.first == message; });
}

// The texts of the labels and buttons under `widget`, depth first.
void CollectLabels(GtkWidget* widget, std::vector<std::string>* out) {
  if (GTK_IS_LABEL(widget)) out->push_back(gtk_label_get_label(GTK_LABEL(widget)));
  if (!GTK_IS_CONTAINER(widget)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* child = children; child != nullptr; child = child->next) CollectLabels(GTK_WIDGET(child->data), out);
  g_list_free(children);
}

class GtkPresenterTest : public testing::Test {
 protected:
  void SetUp() override {
    quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
    if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
    ASSERT_TRUE(platform::StartWindowPresenter());
    pump_.SetPollSource(platform::GuiPollSource());
    (void)ui::RegisterWindowClass({u"PresenterTestPopup", &RecordingProc});
    g_seen.clear();
    display_ = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  }
  void TearDown() override {
    if (popup_ != platform::kNoWindow) ui::DestroyWindow(popup_);
    pump_.SetPollSource(nullptr);
  }

  // Pumps until `done` holds; the bound only stops a broken run.
  template <typename Done>
  bool PumpUntil(Done done) {
    for (int pass = 0; pass < 20000 && !done(); ++pass) {
      pump_.Wait(50);
      pump_.Drain([](const platform::PumpMessage&) {});
    }
    return done();
  }
  bool Viewable(unsigned long xid) {
    XWindowAttributes attributes{};
    // The window may be gone already.
    gdk_x11_display_error_trap_push(gdk_display_get_default());
    const bool viewable =
        xid != 0 && XGetWindowAttributes(display_, xid, &attributes) != 0 && attributes.map_state == IsViewable;
    gdk_x11_display_error_trap_pop_ignored(gdk_display_get_default());
    return viewable;
  }
  // A popup as the owner makes its notices: a label and two buttons.
  platform::WindowHandle MakePopup(const std::u16string& label) {
    ui::WindowSpec spec;
    spec.class_name = u"PresenterTestPopup";
    spec.text = u"Quorix 着信";
    spec.ex_style = ui::kWsExTopmost | ui::kWsExToolWindow | ui::kWsExNoActivate;
    spec.style = ui::kWsPopup | ui::kWsCaption | ui::kWsSysMenu;
    spec.x = 300;
    spec.y = 200;
    spec.width = 410;
    spec.height = 165;
    popup_ = ui::CreateWindowRecord(spec);
    for (const auto& [cls, text, x, id] : {std::tuple{u"STATIC", label, 64, 0u}, {u"BUTTON", u"応答", 16, 1u},
                                           {u"BUTTON", u"拒否", 210, 2u}}) {
      ui::WindowSpec child;
      child.class_name = cls;
      child.text = text;
      child.style = ui::kWsChild | ui::kWsVisible | (id == 0 ? ui::kSsNoPrefix : 0);
      child.x = x;
      child.y = id == 0 ? 12 : 65;
      child.width = id == 0 ? 324 : 176;
      child.height = id == 0 ? 40 : 44;
      child.id = id;
      child.parent = popup_;
      ui::CreateWindowRecord(child);
    }
    return popup_;
  }

  platform::MessagePump pump_;
  Display* display_ = nullptr;
  platform::WindowHandle popup_ = platform::kNoWindow;
};

TEST_F(GtkPresenterTest, HiddenRecordsStayRecords) {
  MakePopup(u"bob");
  EXPECT_EQ(platform::PresentedXWindow(popup_), 0u);
}

TEST_F(GtkPresenterTest, PopupShowsPlainTextAtItsPlaceWithoutTakingTheFocus) {
  // A focused window of someone else's.
  GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_move(GTK_WINDOW(other), 0, 0);
  gtk_widget_set_size_request(other, 200, 100);
  gtk_widget_show_all(other);
  const unsigned long other_xid = GDK_WINDOW_XID(gtk_widget_get_window(other));
  ASSERT_TRUE(PumpUntil([&] { return Viewable(other_xid); }));
  XSetInputFocus(display_, other_xid, RevertToParent, CurrentTime);
  auto focus = [&] {
    ::Window window = 0;
    int revert = 0;
    XGetInputFocus(display_, &window, &revert);
    return window;
  };
  ASSERT_TRUE(PumpUntil([&] { return focus() == other_xid; }));

  MakePopup(u"<b>&amp;_x");
  ui::ShowWindow(popup_, true);
  const unsigned long xid = platform::PresentedXWindow(popup_);
  ASSERT_TRUE(PumpUntil([&] { return Viewable(xid); }));
  quorix_test::XDriver driver;
  ASSERT_TRUE(driver.ok());
  const std::array<int, 4> geometry = driver.Geometry(xid);
  EXPECT_EQ(geometry[0], 300);
  EXPECT_EQ(geometry[1], 200);
  EXPECT_EQ(focus(), other_xid);
  // The no-focus hint and the utility type reach the window manager.
  XWMHints* hints = XGetWMHints(display_, xid);
  ASSERT_NE(hints, nullptr);
  EXPECT_TRUE((hints->flags & InputHint) != 0 && hints->input == False);
  XFree(hints);
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, rest = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(display_, xid, XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False), 0, 1, False,
                               XA_ATOM, &type, &format, &items, &rest, &data),
            Success);
  ASSERT_EQ(items, 1u);
  EXPECT_EQ(*reinterpret_cast<Atom*>(data), XInternAtom(display_, "_NET_WM_WINDOW_TYPE_UTILITY", False));
  XFree(data);
  ASSERT_TRUE(PumpUntil([&] { return Count(ui::kWmPaint) > 0; }));

  // The label shows the text as it stands.
  GtkWidget* top = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* it = toplevels; it != nullptr; it = it->next) {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(it->data));
    if (window != nullptr && GDK_WINDOW_XID(window) == xid) top = GTK_WIDGET(it->data);
  }
  g_list_free(toplevels);
  ASSERT_NE(top, nullptr);
  std::vector<std::string> labels;
  CollectLabels(top, &labels);
  EXPECT_EQ(labels, (std::vector<std::string>{"<b>&amp;_x", "応答", "拒否"}));

  // "拒否" clicked: the procedure hears it, and the focus stays.
  driver.Click(300 + 210 + 88, 200 + 65 + 22);
  ASSERT_TRUE(PumpUntil([&] { return Count(ui::kWmCommand) == 1; }));
  // A paint may follow the command in the same pass: look at the command itself.
  const auto command = std::find_if(g_seen.begin(), g_seen.end(), [](const auto& seen) { return seen.first == ui::kWmCommand; });
  ASSERT_NE(command, g_seen.end());
  EXPECT_EQ(command->second, (uintptr_t{ui::kBnClicked} << 16) | 2);
  EXPECT_EQ(focus(), other_xid);

  // The window manager's close reaches the procedure as WM_CLOSE.
  GdkEvent* event = gdk_event_new(GDK_DELETE);
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
  gtk_main_do_event(event);
  gdk_event_free(event);
  EXPECT_EQ(Count(ui::kWmClose), 1u);
  ui::DestroyWindow(std::exchange(popup_, platform::kNoWindow));
  EXPECT_TRUE(PumpUntil([&] { return !Viewable(xid); }));
  gtk_widget_destroy(other);
}

}  // namespace
