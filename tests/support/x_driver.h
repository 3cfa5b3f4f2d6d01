#pragma once
// Drives and reads the test process's private X server from a connection of
// its own, as a user and a screen would: pointer, buttons and keys through
// XTest; windows by WM_CLASS, their place, map state and pixels; a PNG
// screenshot. Actions are flushed before returning; their effect on our GTK
// windows arrives asynchronously, so tests wait for the resulting state.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace quorix_test {

class XDriver {
 public:
  // Opens `display`, else DISPLAY of the environment table.
  explicit XDriver(const std::string& display = {});
  ~XDriver();
  XDriver(const XDriver&) = delete;
  XDriver& operator=(const XDriver&) = delete;

  bool ok() const { return display_ != nullptr; }
  void MovePointer(int x, int y);
  void Button(int button, bool down);
  void Click(int x, int y, int button = 1);
  // Press at `from`, `steps` moves to `to`, release there.
  void Drag(int from_x, int from_y, int to_x, int to_y, int steps);
  void Key(unsigned long keysym, bool down);
  // Presses the keysyms in order, releases them in reverse.
  void Chord(const std::vector<unsigned long>& keysyms);
  // Lower-case letters, digits and spaces.
  void Type(const std::string& text);

  // Children of the root whose WM_CLASS class or instance is `name`.
  std::vector<unsigned long> WindowsOfClass(const std::string& name);
  // Mapped children of the root titled `title` (_NET_WM_NAME, else WM_NAME).
  std::vector<unsigned long> ViewableWindowsTitled(const std::string& title);
  std::string Title(unsigned long window);
  // Asks the window to close as a window manager's close button does
  // (WM_DELETE_WINDOW).
  void Close(unsigned long window);
  std::array<int, 4> Geometry(unsigned long window);  // root x, y, width, height
  bool Viewable(unsigned long window);  // false also for a window that is gone
  // 0x00RRGGBB words of a window's (or the root's) rectangle; the whole
  // window when width is 0.
  std::vector<uint32_t> Pixels(unsigned long window, int x = 0, int y = 0, int width = 0, int height = 1);
  bool Screenshot(const std::filesystem::path& path);
  unsigned long Root() const;

  // A mapped input-only window below all others, counting its button presses.
  unsigned long CreateProbeWindow(int x, int y, int width, int height);
  int ProbePresses(unsigned long window);
  // Grabs Ctrl+P on the root, as another program would.
  void GrabCtrlP();

 private:
  Display* display_ = nullptr;
  int probe_presses_ = 0;
};

}  // namespace quorix_test
