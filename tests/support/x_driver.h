#pragma once
// Drives and reads the test process's private X server from a connection of
// its own, as a user and a screen would: the pointer, buttons and keys
// through XTest; windows by WM_CLASS, their place, map state and pixels; a
// PNG screenshot. Every action is flushed to the server before returning;
// its effect on our GTK windows still arrives asynchronously, so tests wait
// for the resulting state.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace quorix_test {

class XDriver {
 public:
  // Opens DISPLAY from the environment table.
  XDriver();
  ~XDriver();
  XDriver(const XDriver&) = delete;
  XDriver& operator=(const XDriver&) = delete;

  bool ok() const { return display_ != nullptr; }

  void MovePointer(int x, int y);
  void Button(int button, bool down);
  // Press and release at (x, y).
  void Click(int x, int y, int button = 1);
  // Press at `from`, move in steps to `to`, release there.
  void Drag(int from_x, int from_y, int to_x, int to_y, int steps = 4);
  // Presses the keys (X keysyms) in order and releases them in reverse.
  void Chord(const std::vector<unsigned long>& keysyms);
  void Key(unsigned long keysym, bool down);
  // Types ASCII text (letters, digits, space), one chord per character.
  void Type(const std::string& text);

  // Top-level windows (children of the root) with this WM_CLASS class or
  // instance name, in stacking order.
  std::vector<unsigned long> WindowsOfClass(const std::string& name);
  // x, y (on the root), width, height.
  std::array<int, 4> Geometry(unsigned long window);
  bool Viewable(unsigned long window);
  // 0x00RRGGBB of a screen pixel.
  uint32_t ScreenPixel(int x, int y);
  // The window's pixels as rows of 0x00RRGGBB words.
  std::vector<uint32_t> WindowPixels(unsigned long window, int* width, int* height);
  // The whole screen as an RGBA PNG.
  bool Screenshot(const std::filesystem::path& path);

  // A plain input-only window of this connection at the given place,
  // mapped, counting the button presses it gets.
  unsigned long CreateProbeWindow(int x, int y, int width, int height);
  int ProbePresses(unsigned long window);
  // Grabs Ctrl+P on the root from this connection, as another program would.
  void GrabCtrlP();
  // Sets Num Lock on or off (its lock state) through a key press.
  void ToggleNumLock();
  // The owner of an X selection, 0 for none.
  unsigned long SelectionOwner(const std::string& selection);

 private:
  Display* display_ = nullptr;
  int probe_presses_ = 0;
};

}  // namespace quorix_test
