#pragma once
// Windows of the session owner: records in this process, each with the
// platform's opaque handle (never reused while the process lives), a class
// with its procedure, text, flags, user data, named properties and, for the
// built-in control classes, the control state the owner reads back (edit
// limits, combo box rows and selection). Nothing here reaches a display: a
// hidden record receives no system messages, and shown records are only
// marked visible. Main thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window_handle.h"

namespace platform {
class MessagePump;
}

namespace platform::ui {

// Messages, with the numbers the owner's procedure expects.
inline constexpr uint32_t kWmCreate = 0x0001;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmSetFont = 0x0030;
inline constexpr uint32_t kWmDrawItem = 0x002B;
inline constexpr uint32_t kWmMeasureItem = 0x002C;
inline constexpr uint32_t kWmNcCreate = 0x0081;
inline constexpr uint32_t kWmNcDestroy = 0x0082;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmMouseActivate = 0x0021;
inline constexpr intptr_t kMaNoActivate = 3;
inline constexpr uint32_t kBnClicked = 0;
inline constexpr uint32_t kCbnSelChange = 1;
inline constexpr uint32_t kCbnDropDown = 7;
inline constexpr uint32_t kCbnCloseUp = 8;
inline constexpr uint32_t kEmLimitText = 0x00C5;
inline constexpr uint32_t kCbAddString = 0x0143;
inline constexpr uint32_t kCbGetCurSel = 0x0147;
inline constexpr uint32_t kCbResetContent = 0x014B;
inline constexpr uint32_t kCbSetCurSel = 0x014E;
inline constexpr intptr_t kCbErr = -1;

// Window and control styles.
inline constexpr uint32_t kWsOverlapped = 0x00000000;
inline constexpr uint32_t kWsPopup = 0x80000000;
inline constexpr uint32_t kWsChild = 0x40000000;
inline constexpr uint32_t kWsVisible = 0x10000000;
inline constexpr uint32_t kWsDisabled = 0x08000000;
inline constexpr uint32_t kWsCaption = 0x00C00000;
inline constexpr uint32_t kWsBorder = 0x00800000;
inline constexpr uint32_t kWsVScroll = 0x00200000;
inline constexpr uint32_t kWsSysMenu = 0x00080000;
inline constexpr uint32_t kWsMinimizeBox = 0x00020000;
inline constexpr uint32_t kEsMultiline = 0x0004;
inline constexpr uint32_t kEsPassword = 0x0020;
inline constexpr uint32_t kEsAutoVScroll = 0x0040;
inline constexpr uint32_t kEsAutoHScroll = 0x0080;
inline constexpr uint32_t kEsReadOnly = 0x0800;
inline constexpr uint32_t kCbsDropDownList = 0x0003;
inline constexpr uint32_t kCbsOwnerDrawFixed = 0x0010;
inline constexpr uint32_t kCbsHasStrings = 0x0200;
inline constexpr uint32_t kSsNoPrefix = 0x0080;
// Extended styles.
inline constexpr uint32_t kWsExTopmost = 0x00000008;
inline constexpr uint32_t kWsExToolWindow = 0x00000080;
inline constexpr uint32_t kWsExNoActivate = 0x08000000;
inline constexpr int32_t kCwUseDefault = static_cast<int32_t>(0x80000000);

// Results of RegisterWindowClass.
inline constexpr uint32_t kClassRegistered = 0;
inline constexpr uint32_t kErrorClassAlreadyExists = 1410;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;

// A procedure returns what the message's sender gets back.
using WindowProc = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

struct WindowClass {
  std::u16string name;
  WindowProc procedure = nullptr;
};

// What WM_NCCREATE and WM_CREATE carry in lparam (a pointer to this).
struct CreateParams {
  void* param = nullptr;
  WindowHandle parent = kNoWindow;
};

struct WindowSpec {
  std::u16string class_name;  // a registered class, or "STATIC", "EDIT", "BUTTON", "COMBOBOX"
  std::u16string text;
  uint32_t style = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;  // for a combo box: the height with its drop-down list
  WindowHandle parent = kNoWindow;  // for a popup: its owner
  uint32_t id = 0;
  void* param = nullptr;
  uint32_t ex_style = 0;
};

// kClassRegistered, kErrorClassAlreadyExists (the name is taken, whatever
// its procedure) or kErrorNotEnoughMemory (a test made it fail).
uint32_t RegisterWindowClass(const WindowClass& window_class);

// A new record; a registered class's procedure sees WM_NCCREATE and then
// WM_CREATE before this returns. kNoWindow for an unknown class, a parent
// that is gone, a procedure that refuses WM_NCCREATE (0) or WM_CREATE (-1),
// or a failure a test asked for.
WindowHandle CreateWindowRecord(const WindowSpec& spec);

bool IsWindow(WindowHandle window);
// Destroys the children first, then the window: each gets WM_DESTROY and
// WM_NCDESTROY. False for a handle that is not a window.
bool DestroyWindow(WindowHandle window);

// Built-in classes answer the control messages above; a registered class's
// procedure gets everything. 0 for a handle that is not a window.
intptr_t SendMessage(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// The default answers: WM_NCCREATE 1, WM_CLOSE destroys the window, else 0.
intptr_t DefWindowProc(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Posts quit to the pump registered here (none: nothing).
void PostQuitMessage(int32_t exit_code);
void SetQuitPump(MessagePump* pump);

void ShowWindow(WindowHandle window, bool shown);
bool IsWindowVisible(WindowHandle window);
void EnableWindow(WindowHandle window, bool enabled);
bool IsWindowEnabled(WindowHandle window);
bool SetWindowText(WindowHandle window, const std::u16string& text);
// A change the user made on screen: the record takes the text without the
// presenter being told (it already shows it).
bool SetTextFromUser(WindowHandle window, const std::u16string& text);
// The user's choice of a combo box row (-1 or out of range: none), taken
// without the presenter being told.
bool SelectFromUser(WindowHandle window, int32_t row);
// The text, or empty; the length is what WM_GETTEXTLENGTH would report.
std::u16string GetWindowText(WindowHandle window);
int64_t GetWindowTextLength(WindowHandle window);
void SetUserData(WindowHandle window, intptr_t value);
intptr_t GetUserData(WindowHandle window);
bool SetProp(WindowHandle window, const std::u16string& name, intptr_t value);
intptr_t GetProp(WindowHandle window, const std::u16string& name);
// Counts the requests (there is nothing to paint).
bool InvalidateRect(WindowHandle window, bool erase);
// Makes `control`, a child of a window, the control that window gives the
// keyboard to whenever it has it. The window is not activated by this: a
// popup that never takes the focus keeps not taking it. False for a handle
// that is not a child window.
bool SetFocus(WindowHandle control);
// The child `window` gives the keyboard to; kNoWindow when none is set or
// it is gone.
WindowHandle GetFocusedChild(WindowHandle window);

// Reading back what a window holds.
struct WindowInfo {
  std::u16string class_name;
  uint32_t style = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t id = 0;
  WindowHandle parent = kNoWindow;
  uint32_t text_limit = 0;  // EM_LIMITTEXT's value; 0 = none set
  uint32_t ex_style = 0;
  uint64_t invalidations = 0;
  std::vector<std::u16string> rows;  // combo box rows
  int32_t selection = -1;            // combo box selection
};
bool GetWindowInfo(WindowHandle window, WindowInfo* info);
// The live children of `parent`, in creation order.
std::vector<WindowHandle> ChildWindows(WindowHandle parent);
// Windows alive in the process.
size_t WindowCount();

// What WM_PAINT carries in lparam (a pointer to this) when a window is drawn
// on a display: the drawing surface of its client area.
class PaintRecorder;
struct PaintTarget {
  void* surface = nullptr;  // the toolkit's drawing context
  int32_t width = 0;
  int32_t height = 0;
  void* style = nullptr;              // the toolkit's style of the drawn widget; null: default colours
  PaintRecorder* recorder = nullptr;  // when set, drawing is recorded here instead
};

// A rectangle in pixels; right and bottom are outside it.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// The system colours an owner-drawn row uses.
enum class SystemColour : uint32_t { kHighlight, kWindow, kHighlightText, kWindowText };

// One drawing call, as a recording target keeps it. Colours are 0x00BBGGRR.
struct PaintCall {
  enum Kind : uint32_t { kFill, kText, kFocus, kPixels } kind = kFill;
  Rect rect;
  uint32_t colour = 0;  // kPixels: the pixel at the centre of the copied block
  std::u16string text;
};
class PaintRecorder {
 public:
  std::vector<PaintCall> calls;
};

// What WM_DRAWITEM carries in lparam (a pointer to this) for an owner-drawn
// list row; the index is -1 for a field without a row.
struct DrawItem {
  int32_t index = -1;
  bool selected = false;
  bool focused = false;
  Rect rect;
  PaintTarget target;
};

// The target's style colour (selected background, base, selected text,
// text), or Windows' default when the style has none. 0x00BBGGRR.
uint32_t GetSystemColour(const PaintTarget& target, SystemColour which);
// A solid fill. False for an empty target or rectangle.
bool FillRect(const PaintTarget& target, const Rect& rect, uint32_t colour);
// `text` as plain text (no markup, no mnemonic) on one line in `rect`,
// vertically centred, cut with an end ellipsis, transparent background.
bool DrawTextLine(const PaintTarget& target, const Rect& rect, const std::u16string& text, uint32_t colour);
// A 1-pixel dotted rectangle just inside `rect`.
bool DrawFocusRect(const PaintTarget& target, const Rect& rect);
// Copies top-down 32-bit B, G, R, X pixels (rows of width × 4 bytes) to
// (x, y) of the target. False for an empty target or size.
bool DrawPixels(const PaintTarget& target, int32_t x, int32_t y, int32_t width, int32_t height,
                const uint8_t* pixels);

// Something that shows window records on a display. Called after the record
// changed (and before a destroyed one is gone).
class WindowPresenter {
 public:
  virtual ~WindowPresenter() = default;
  virtual void Shown(WindowHandle window, bool shown) = 0;
  virtual void TextChanged(WindowHandle window) = 0;
  virtual void EnabledChanged(WindowHandle window) = 0;
  virtual void Destroying(WindowHandle window) = 0;
  // A combo box's rows or selection were set by the program.
  virtual void RowsChanged(WindowHandle) {}
  // A redraw was asked for.
  virtual void Invalidated(WindowHandle) {}
  // The window's focused child was set (GetFocusedChild).
  virtual void FocusChanged(WindowHandle) {}
};
// Null: records only.
void SetWindowPresenter(WindowPresenter* presenter);

}  // namespace platform::ui
