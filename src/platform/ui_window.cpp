#include "platform/ui_window.h"

#include <algorithm>
#include <map>

#include "platform/message_pump.h"
#include "platform/ui_window_test_hooks.h"

namespace platform::ui {
namespace {

struct Record {
  WindowProc procedure = nullptr;  // null: a built-in control class
  WindowInfo info;
  std::u16string text;
  std::vector<WindowHandle> children;
  intptr_t user_data = 0;
  std::map<std::u16string, intptr_t> props;
  WindowHandle focus = kNoWindow;  // the child given the keyboard
  bool destroying = false;
};

struct State {
  std::map<std::u16string, WindowClass> classes;
  std::map<WindowHandle, Record> windows;
  // Handles count up from an arbitrary base and are never reused.
  WindowHandle next_handle = 0x10000;
  MessagePump* quit_pump = nullptr;
  WindowPresenter* presenter = nullptr;
  bool fail_next_class = false;
  bool fail_next_window = false;
};

State& GetState() {
  static State state;
  return state;
}

Record* Find(WindowHandle window) {
  auto it = GetState().windows.find(window);
  return it == GetState().windows.end() ? nullptr : &it->second;
}

bool IsBuiltInClass(const std::u16string& name) {
  return name == u"STATIC" || name == u"EDIT" || name == u"BUTTON" || name == u"COMBOBOX";
}

// The built-in control classes' procedure.
intptr_t ControlMessage(WindowInfo& record, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  const bool combo = record.class_name == u"COMBOBOX";
  switch (message) {
    case kEmLimitText:
      record.text_limit = static_cast<uint32_t>(wparam);
      return 0;
    case kCbResetContent:
      if (!combo) return 0;
      record.rows.clear();
      record.selection = -1;
      return 0;
    case kCbAddString:
      if (!combo || lparam == 0) return kCbErr;
      record.rows.push_back(*reinterpret_cast<const std::u16string*>(lparam));
      return static_cast<intptr_t>(record.rows.size() - 1);
    case kCbSetCurSel:
      if (!combo) return kCbErr;
      if (static_cast<intptr_t>(wparam) < 0 || wparam >= record.rows.size()) {
        record.selection = -1;
        return kCbErr;
      }
      record.selection = static_cast<int32_t>(wparam);
      return record.selection;
    case kCbGetCurSel:
      return combo ? record.selection : kCbErr;
    case kWmNcCreate:
      return 1;
    default:
      return 0;  // WM_SETFONT and the rest: nothing to keep
  }
}

intptr_t Dispatch(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  Record* record = Find(window);
  if (record == nullptr) return 0;
  if (record->procedure == nullptr) {
    const intptr_t result = ControlMessage(record->info, message, wparam, lparam);
    const bool rows = message == kCbResetContent || message == kCbAddString || message == kCbSetCurSel;
    if (rows && record->info.class_name == u"COMBOBOX" && GetState().presenter != nullptr) {
      GetState().presenter->RowsChanged(window);
    }
    return result;
  }
  return record->procedure(window, message, wparam, lparam);
}

}  // namespace

uint32_t RegisterWindowClass(const WindowClass& window_class) {
  State& state = GetState();
  if (std::exchange(state.fail_next_class, false)) return kErrorNotEnoughMemory;
  if (window_class.name.empty() || window_class.procedure == nullptr) return kErrorNotEnoughMemory;
  if (IsBuiltInClass(window_class.name) || state.classes.count(window_class.name) != 0) {
    return kErrorClassAlreadyExists;
  }
  state.classes.emplace(window_class.name, window_class);
  return kClassRegistered;
}

WindowHandle CreateWindowRecord(const WindowSpec& spec) {
  State& state = GetState();
  if (std::exchange(state.fail_next_window, false)) return kNoWindow;
  Record record;
  if (!IsBuiltInClass(spec.class_name)) {
    auto it = state.classes.find(spec.class_name);
    if (it == state.classes.end()) return kNoWindow;
    record.procedure = it->second.procedure;
  }
  if (spec.parent != kNoWindow && Find(spec.parent) == nullptr) return kNoWindow;
  record.text = spec.text;
  WindowInfo& info = record.info;
  info.class_name = spec.class_name;
  info.style = spec.style;
  info.x = spec.x;
  info.y = spec.y;
  info.width = spec.width;
  info.height = spec.height;
  info.id = spec.id;
  info.parent = spec.parent;
  info.ex_style = spec.ex_style;
  const WindowHandle handle = state.next_handle++;
  state.windows.emplace(handle, std::move(record));
  if (spec.parent != kNoWindow) Find(spec.parent)->children.push_back(handle);

  CreateParams params{spec.param, spec.parent};
  const intptr_t lparam = reinterpret_cast<intptr_t>(&params);
  if (Dispatch(handle, kWmNcCreate, 0, lparam) == 0 || Dispatch(handle, kWmCreate, 0, lparam) == -1) {
    DestroyWindow(handle);
    return kNoWindow;
  }
  // The procedure may have destroyed the window itself.
  return Find(handle) != nullptr ? handle : kNoWindow;
}

bool IsWindow(WindowHandle window) { return Find(window) != nullptr; }

bool DestroyWindow(WindowHandle window) {
  Record* record = Find(window);
  if (record == nullptr || record->destroying) return false;
  record->destroying = true;
  if (GetState().presenter != nullptr) GetState().presenter->Destroying(window);
  Dispatch(window, kWmDestroy, 0, 0);
  // Children go after their parent's WM_DESTROY, as on Windows.
  record = Find(window);
  const std::vector<WindowHandle> children = record != nullptr ? record->children : std::vector<WindowHandle>{};
  for (WindowHandle child : children) DestroyWindow(child);
  Dispatch(window, kWmNcDestroy, 0, 0);
  record = Find(window);
  if (record == nullptr) return true;
  if (Record* parent = Find(record->info.parent)) {
    std::erase(parent->children, window);
    if (parent->focus == window) parent->focus = kNoWindow;
  }
  GetState().windows.erase(window);
  return true;
}

intptr_t SendMessage(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return Dispatch(window, message, wparam, lparam);
}

intptr_t DefWindowProc(WindowHandle window, uint32_t message, uintptr_t, intptr_t) {
  switch (message) {
    case kWmNcCreate:
      return 1;
    case kWmClose:
      DestroyWindow(window);
      return 0;
    default:
      return 0;
  }
}

void PostQuitMessage(int32_t) {
  if (GetState().quit_pump != nullptr) GetState().quit_pump->PostQuit();
}

void SetQuitPump(MessagePump* pump) { GetState().quit_pump = pump; }

void ShowWindow(WindowHandle window, bool shown) {
  if (Record* record = Find(window)) {
    uint32_t& style = record->info.style;
    style = shown ? (style | kWsVisible) : (style & ~kWsVisible);
    if (GetState().presenter != nullptr) GetState().presenter->Shown(window, shown);
  }
}

bool IsWindowVisible(WindowHandle window) {
  const Record* record = Find(window);
  return record != nullptr && (record->info.style & kWsVisible) != 0;
}

void EnableWindow(WindowHandle window, bool enabled) {
  if (Record* record = Find(window)) {
    uint32_t& style = record->info.style;
    style = enabled ? (style & ~kWsDisabled) : (style | kWsDisabled);
    if (GetState().presenter != nullptr) GetState().presenter->EnabledChanged(window);
  }
}

bool IsWindowEnabled(WindowHandle window) {
  const Record* record = Find(window);
  return record != nullptr && (record->info.style & kWsDisabled) == 0;
}

bool SetWindowText(WindowHandle window, const std::u16string& text) {
  Record* record = Find(window);
  if (record == nullptr) return false;
  // Zero the old text before its buffer may be released or reused.
  std::fill(record->text.begin(), record->text.end(), u'\0');
  record->text = text;
  if (GetState().presenter != nullptr) GetState().presenter->TextChanged(window);
  return true;
}

bool SetTextFromUser(WindowHandle window, const std::u16string& text) {
  Record* record = Find(window);
  if (record == nullptr) return false;
  std::fill(record->text.begin(), record->text.end(), u'\0');
  record->text = text;
  return true;
}

bool SelectFromUser(WindowHandle window, int32_t row) {
  Record* record = Find(window);
  if (record == nullptr || record->info.class_name != u"COMBOBOX") return false;
  record->info.selection = row >= 0 && static_cast<size_t>(row) < record->info.rows.size() ? row : -1;
  return true;
}

std::u16string GetWindowText(WindowHandle window) {
  const Record* record = Find(window);
  return record != nullptr ? record->text : std::u16string();
}

int64_t GetWindowTextLength(WindowHandle window) {
  const Record* record = Find(window);
  return record != nullptr ? static_cast<int64_t>(record->text.size()) : 0;
}

void SetUserData(WindowHandle window, intptr_t value) {
  if (Record* record = Find(window)) record->user_data = value;
}

intptr_t GetUserData(WindowHandle window) {
  const Record* record = Find(window);
  return record != nullptr ? record->user_data : 0;
}

bool SetProp(WindowHandle window, const std::u16string& name, intptr_t value) {
  Record* record = Find(window);
  if (record == nullptr) return false;
  record->props[name] = value;
  return true;
}

intptr_t GetProp(WindowHandle window, const std::u16string& name) {
  const Record* record = Find(window);
  if (record == nullptr) return 0;
  auto it = record->props.find(name);
  return it == record->props.end() ? 0 : it->second;
}

bool InvalidateRect(WindowHandle window, bool) {
  Record* record = Find(window);
  if (record == nullptr) return false;
  ++record->info.invalidations;
  if (GetState().presenter != nullptr) GetState().presenter->Invalidated(window);
  return true;
}

bool SetFocus(WindowHandle control) {
  const Record* record = Find(control);
  if (record == nullptr || (record->info.style & kWsChild) == 0) return false;
  Record* parent = Find(record->info.parent);
  if (parent == nullptr) return false;
  parent->focus = control;
  if (GetState().presenter != nullptr) GetState().presenter->FocusChanged(record->info.parent);
  return true;
}

WindowHandle GetFocusedChild(WindowHandle window) {
  const Record* record = Find(window);
  return record != nullptr ? record->focus : kNoWindow;
}

bool GetWindowInfo(WindowHandle window, WindowInfo* info) {
  const Record* record = Find(window);
  if (record == nullptr || info == nullptr) return false;
  *info = record->info;
  return true;
}

std::vector<WindowHandle> ChildWindows(WindowHandle parent) {
  const Record* record = Find(parent);
  return record != nullptr ? record->children : std::vector<WindowHandle>{};
}

size_t WindowCount() { return GetState().windows.size(); }

void SetWindowPresenter(WindowPresenter* presenter) { GetState().presenter = presenter; }

}  // namespace platform::ui

namespace platform::ui::testing {

void FailNextClassRegistration() { GetState().fail_next_class = true; }
void FailNextWindowCreation() { GetState().fail_next_window = true; }

}  // namespace platform::ui::testing
