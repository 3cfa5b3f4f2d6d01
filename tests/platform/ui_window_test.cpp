// Window records: the class table, the messages a procedure sees around
// creation and destruction, the control messages, quit, and the apartment
// count.
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
  const uint32_t id = ui::GetProp(window, u"id");
  const std::string who = id != 0 ? "child" : "top";
  switch (message) {
    case ui::kWmNcCreate:
      g_seen.push_back("nccreate:" + std::string(reinterpret_cast<const ui::CreateParams*>(lparam)->param != nullptr
                                                     ? "param"
                                                     : "none"));
      break;
    case ui::kWmCreate:
      g_seen.push_back("create");
      break;
    case ui::kWmDestroy:
      g_seen.push_back("destroy:" + who);
      break;
    case ui::kWmNcDestroy:
      g_seen.push_back("ncdestroy:" + who);
      break;
    default:
      break;
  }
  return ui::DefWindowProc(window, message, wparam, lparam);
}

TEST(UiWindow, ClassTableAnswersCreatedExistsOrFailed) {
  struct Case {
    const char16_t* name;
    bool fail;
    uint32_t expected;
  } cases[] = {
      {u"TableClass", false, ui::kClassRegistered},
      {u"TableClass", false, ui::kErrorClassAlreadyExists},
      {u"STATIC", false, ui::kErrorClassAlreadyExists},
      {u"OtherClass", true, ui::kErrorNotEnoughMemory},
      {u"OtherClass", false, ui::kClassRegistered},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    if (c.fail) ui::testing::FailNextClassRegistration();
    EXPECT_EQ(ui::RegisterWindowClass({c.name, &RecordingProc}), c.expected);
  }
}

TEST(UiWindow, ProcedureSeesCreationAndDestructionWithChildrenGoingAfterTheirParentsDestroy) {
  (void)ui::RegisterWindowClass({u"LifeClass", &RecordingProc});
  g_seen.clear();
  int param = 0;
  const platform::WindowHandle top = ui::CreateWindowRecord({u"LifeClass", u"t", 0, 0, 0, 10, 10, 0, 0, &param});
  ASSERT_NE(top, platform::kNoWindow);
  EXPECT_FALSE(ui::IsWindowVisible(top));
  const platform::WindowHandle child = ui::CreateWindowRecord({u"LifeClass", u"c", ui::kWsChild, 0, 0, 1, 1, top, 7});
  ui::SetProp(child, u"id", 7);
  const platform::WindowHandle edit = ui::CreateWindowRecord({u"EDIT", u"", ui::kWsChild, 0, 0, 1, 1, top, 0});
  EXPECT_EQ(ui::ChildWindows(top), (std::vector<platform::WindowHandle>{child, edit}));
  EXPECT_EQ(ui::SendMessage(top, ui::kWmClose, 0, 0), 0);  // the default destroys
  EXPECT_EQ(g_seen, (std::vector<std::string>{"nccreate:param", "create", "nccreate:none", "create", "destroy:top",
                                              "destroy:child", "ncdestroy:child", "ncdestroy:top"}));
  for (platform::WindowHandle gone : {top, child, edit}) EXPECT_FALSE(ui::IsWindow(gone));
  // Handles are never handed out again.
  const platform::WindowHandle next = ui::CreateWindowRecord({u"STATIC", u"", 0, 0, 0, 1, 1, 0, 0});
  EXPECT_GT(next, edit);
  ui::testing::FailNextWindowCreation();
  EXPECT_EQ(ui::CreateWindowRecord({u"STATIC", u"", 0, 0, 0, 1, 1, 0, 0}), platform::kNoWindow);
  EXPECT_EQ(ui::CreateWindowRecord({u"NoSuchClass", u"", 0, 0, 0, 1, 1, 0, 0}), platform::kNoWindow);
  EXPECT_TRUE(ui::DestroyWindow(next));
  EXPECT_FALSE(ui::DestroyWindow(next));
}

TEST(UiWindow, ControlsKeepTextFlagsLimitsAndComboRows) {
  const platform::WindowHandle combo = ui::CreateWindowRecord({u"COMBOBOX", u"", 0, 0, 0, 1, 160, 0, 112});
  const std::u16string rows[] = {u"bob", u"carol"};
  EXPECT_EQ(ui::SendMessage(combo, ui::kCbGetCurSel, 0, 0), ui::kCbErr);
  for (const std::u16string& row : rows) ui::SendMessage(combo, ui::kCbAddString, 0, reinterpret_cast<intptr_t>(&row));
  EXPECT_EQ(ui::SendMessage(combo, ui::kCbSetCurSel, 1, 0), 1);
  EXPECT_EQ(ui::SendMessage(combo, ui::kCbSetCurSel, 2, 0), ui::kCbErr);  // out of range clears it
  EXPECT_EQ(ui::SendMessage(combo, ui::kCbGetCurSel, 0, 0), -1);
  ui::SendMessage(combo, ui::kCbSetCurSel, 0, 0);
  ui::SendMessage(combo, ui::kEmLimitText, 128, 0);
  ui::EnableWindow(combo, false);
  ui::SetWindowText(combo, u"text");
  ui::InvalidateRect(combo, true);
  ui::WindowInfo info;
  ASSERT_TRUE(ui::GetWindowInfo(combo, &info));
  EXPECT_EQ(info.rows, (std::vector<std::u16string>{u"bob", u"carol"}));
  EXPECT_EQ(info.selection, 0);
  EXPECT_EQ(info.text_limit, 128u);
  EXPECT_EQ(info.invalidations, 1u);
  EXPECT_FALSE(ui::IsWindowEnabled(combo));
  EXPECT_EQ(ui::GetWindowText(combo), u"text");
  ui::SendMessage(combo, ui::kCbResetContent, 0, 0);
  ASSERT_TRUE(ui::GetWindowInfo(combo, &info));
  EXPECT_TRUE(info.rows.empty());
  EXPECT_EQ(info.selection, -1);
  ui::DestroyWindow(combo);
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
    EXPECT_EQ(platform::ApartmentDepth(), 2u);
    for (int32_t injected : {platform::kApartmentChangedMode, platform::kApartmentFailed}) {
      platform::testing::SetNextApartmentResult(injected);
      EXPECT_EQ(platform::InitializeApartment(), injected);
      EXPECT_EQ(platform::ApartmentDepth(), 2u);
    }
    platform::UninitializeApartment();
    platform::UninitializeApartment();
    platform::UninitializeApartment();  // more than entered: nothing
    EXPECT_EQ(platform::ApartmentDepth(), 0u);
    EXPECT_EQ(platform::InitializeApartment(), platform::kApartmentOk);
    platform::UninitializeApartment();
  }).join();
}

}  // namespace
