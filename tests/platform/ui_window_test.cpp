// Window records: the class table, the messages a procedure sees around
// creation and destruction, quit, and the apartment count.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/com.h"
#include "platform/message_pump.h"
#include "platform/ui_window.h"
#include "platform/ui_window_test_hooks.h"

namespace {

namespace ui = platform::ui;

std::vector<std::string> g_seen;

intptr_t RecordingProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  const std::string who = ui::GetProp(window, u"child") != 0 ? ":child" : ":top";
  if (message == ui::kWmNcCreate) g_seen.push_back("nccreate");
  if (message == ui::kWmCreate) g_seen.push_back("create");
  if (message == ui::kWmDestroy) g_seen.push_back("destroy" + who);
  if (message == ui::kWmNcDestroy) g_seen.push_back("ncdestroy" + who);
  return ui::DefWindowProc(window, message, wparam, lparam);
}

TEST(UiWindow, ClassTableAnswersCreatedExistsOrFailed) {
  struct Case {
    const char16_t* name;
    bool fail;
    uint32_t expected;
  } cases[] = {
      {u"TableClass", false, ui::kClassRegistered},   {u"TableClass", false, ui::kErrorClassAlreadyExists},
      {u"STATIC", false, ui::kErrorClassAlreadyExists}, {u"OtherClass", true, ui::kErrorNotEnoughMemory},
      {u"OtherClass", false, ui::kClassRegistered},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    if (cases[i].fail) ui::testing::FailNextClassRegistration();
    EXPECT_EQ(ui::RegisterWindowClass({cases[i].name, &RecordingProc}), cases[i].expected);
  }
}

TEST(UiWindow, ProcedureSeesCreationAndDestructionWithChildrenGoingAfterTheirParentsDestroy) {
  (void)ui::RegisterWindowClass({u"LifeClass", &RecordingProc});
  g_seen.clear();
  const platform::WindowHandle top = ui::CreateWindowRecord({u"LifeClass", u"t", 0, 0, 0, 10, 10, 0, 0});
  ASSERT_NE(top, platform::kNoWindow);
  EXPECT_FALSE(ui::IsWindowVisible(top));
  const platform::WindowHandle child = ui::CreateWindowRecord({u"LifeClass", u"c", ui::kWsChild, 0, 0, 1, 1, top, 7});
  ui::SetProp(child, u"child", 1);
  const platform::WindowHandle edit = ui::CreateWindowRecord({u"EDIT", u"", ui::kWsChild, 0, 0, 1, 1, top, 0});
  EXPECT_EQ(ui::ChildWindows(top), (std::vector<platform::WindowHandle>{child, edit}));
  EXPECT_EQ(ui::SendMessage(top, ui::kWmClose, 0, 0), 0);  // the default destroys
  EXPECT_EQ(g_seen, (std::vector<std::string>{"nccreate", "create", "nccreate", "create", "destroy:top",
                                              "destroy:child", "ncdestroy:child", "ncdestroy:top"}));
  for (platform::WindowHandle gone : {top, child, edit}) EXPECT_FALSE(ui::IsWindow(gone));
  // Handles are never handed out again.
  EXPECT_GT(ui::CreateWindowRecord({u"STATIC", u"", 0, 0, 0, 1, 1, 0, 0}), edit);
  ui::testing::FailNextWindowCreation();
  EXPECT_EQ(ui::CreateWindowRecord({u"STATIC", u"", 0, 0, 0, 1, 1, 0, 0}), platform::kNoWindow);
  EXPECT_EQ(ui::CreateWindowRecord({u"NoSuchClass", u"", 0, 0, 0, 1, 1, 0, 0}), platform::kNoWindow);
}

TEST(UiWindow, FocusedChildIsKeptPerWindowUntilTheChildGoes) {
  const platform::WindowHandle top = ui::CreateWindowRecord({u"STATIC", u"t", ui::kWsPopup, 0, 0, 10, 10, 0, 0});
  const platform::WindowHandle first = ui::CreateWindowRecord({u"BUTTON", u"a", ui::kWsChild, 0, 0, 1, 1, top, 1});
  const platform::WindowHandle second = ui::CreateWindowRecord({u"BUTTON", u"b", ui::kWsChild, 0, 0, 1, 1, top, 2});
  EXPECT_EQ(ui::GetFocusedChild(top), platform::kNoWindow);
  struct Case {
    const char* name;
    platform::WindowHandle window;
    bool result;
    platform::WindowHandle focused;
  } cases[] = {
      {"second", second, true, second},
      {"first", first, true, first},
      {"the window itself", top, false, first},
      {"no window", platform::kNoWindow, false, first},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ui::SetFocus(c.window), c.result);
    EXPECT_EQ(ui::GetFocusedChild(top), c.focused);
  }
  EXPECT_FALSE(ui::IsWindowVisible(top));  // nothing is shown or activated
  ui::DestroyWindow(first);
  EXPECT_EQ(ui::GetFocusedChild(top), platform::kNoWindow);
  ui::DestroyWindow(top);
}

TEST(UiWindow, QuitGoesToTheRegisteredPumpOnly) {
  ui::PostQuitMessage(0);  // no pump: nothing
  platform::MessagePump pump;
  ui::SetQuitPump(&pump);
  ui::PostQuitMessage(0);
  ui::SetQuitPump(nullptr);
  EXPECT_TRUE(pump.Drain([](const platform::PumpMessage&) {}));
}

TEST(UiWindow, ApartmentCountsPerThreadAndReportsInjectedResults) {
  std::thread([] {
    EXPECT_EQ(platform::InitializeApartment(), platform::kApartmentOk);
    EXPECT_EQ(platform::InitializeApartment(), platform::kApartmentAlreadyEntered);
    for (int32_t injected : {platform::kApartmentChangedMode, platform::kApartmentFailed}) {
      platform::testing::SetNextApartmentResult(injected);
      EXPECT_EQ(platform::InitializeApartment(), injected);
    }
    EXPECT_EQ(platform::ApartmentDepth(), 2u);
    for (int i = 0; i < 3; ++i) platform::UninitializeApartment();  // one more than entered: nothing
    EXPECT_EQ(platform::InitializeApartment(), platform::kApartmentOk);
    platform::UninitializeApartment();
  }).join();
}

}  // namespace
