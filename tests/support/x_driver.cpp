#include "x_driver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/env.h"
#include "platform/png_codec.h"

namespace quorix_test {

XDriver::XDriver() {
  const std::optional<std::string> name = platform::env::Get("DISPLAY");
  if (name && !name->empty()) display_ = XOpenDisplay(name->c_str());
}

XDriver::~XDriver() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

void XDriver::MovePointer(int x, int y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XSync(display_, False);
}

void XDriver::Button(int button, bool down) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), down ? True : False, CurrentTime);
  XSync(display_, False);
}

void XDriver::Click(int x, int y, int button) {
  MovePointer(x, y);
  Button(button, true);
  Button(button, false);
}

void XDriver::Drag(int from_x, int from_y, int to_x, int to_y, int steps) {
  MovePointer(from_x, from_y);
  Button(1, true);
  for (int i = 1; i <= steps; ++i) {
    MovePointer(from_x + (to_x - from_x) * i / steps, from_y + (to_y - from_y) * i / steps);
  }
  Button(1, false);
}

void XDriver::Key(unsigned long keysym, bool down) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
  XSync(display_, False);
}

void XDriver::Chord(const std::vector<unsigned long>& keysyms) {
  for (unsigned long keysym : keysyms) Key(keysym, true);
  for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it) Key(*it, false);
}

void XDriver::Type(const std::string& text) {
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') {
      Chord({XK_Shift_L, static_cast<unsigned long>(XK_a + (c - 'A'))});
    } else if (c == ' ') {
      Chord({XK_space});
    } else {
      Chord({static_cast<unsigned long>(static_cast<unsigned char>(c))});
    }
  }
}

std::vector<unsigned long> XDriver::WindowsOfClass(const std::string& name) {
  std::vector<unsigned long> found;
  ::Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return found;
  for (unsigned i = 0; i < count; ++i) {
    XClassHint hint{};
    if (XGetClassHint(display_, children[i], &hint) == 0) continue;
    if ((hint.res_class != nullptr && name == hint.res_class) || (hint.res_name != nullptr && name == hint.res_name)) {
      found.push_back(children[i]);
    }
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
  }
  if (children != nullptr) XFree(children);
  return found;
}

std::array<int, 4> XDriver::Geometry(unsigned long window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, window, &attributes)) return {};
  int x = 0, y = 0;
  ::Window child = 0;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
  return {x, y, attributes.width, attributes.height};
}

bool XDriver::Viewable(unsigned long window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
}

uint32_t XDriver::ScreenPixel(int x, int y) {
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return 0;
  const uint32_t pixel = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
  XDestroyImage(image);
  return pixel;
}

std::vector<uint32_t> XDriver::WindowPixels(unsigned long window, int* width, int* height) {
  const std::array<int, 4> geometry = Geometry(window);
  *width = geometry[2];
  *height = geometry[3];
  std::vector<uint32_t> pixels;
  XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(geometry[2]),
                            static_cast<unsigned>(geometry[3]), AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  pixels.reserve(static_cast<size_t>(geometry[2]) * geometry[3]);
  for (int y = 0; y < geometry[3]; ++y) {
    for (int x = 0; x < geometry[2]; ++x) pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
  }
  XDestroyImage(image);
  return pixels;
}

bool XDriver::Screenshot(const std::filesystem::path& path) {
  const int width = DisplayWidth(display_, DefaultScreen(display_));
  const int height = DisplayHeight(display_, DefaultScreen(display_));
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  std::vector<uint8_t> rgba;
  rgba.reserve(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      rgba.insert(rgba.end(), {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                               static_cast<uint8_t>(pixel), 255});
    }
  }
  XDestroyImage(image);
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  return platform::WritePngFile(path, static_cast<uint32_t>(width), static_cast<uint32_t>(height), rgba) ==
         platform::PngStatus::kOk;
}

unsigned long XDriver::CreateProbeWindow(int x, int y, int width, int height) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.event_mask = ButtonPressMask;
  const ::Window window =
      XCreateWindow(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOnly, CopyFromParent,
                    CWOverrideRedirect | CWEventMask, &attributes);
  XMapWindow(display_, window);
  // Beneath every other window, so the panels lie over it.
  XLowerWindow(display_, window);
  XSync(display_, False);
  return window;
}

int XDriver::ProbePresses(unsigned long window) {
  XEvent event;
  while (XCheckWindowEvent(display_, window, ButtonPressMask, &event)) ++probe_presses_;
  return probe_presses_;
}

void XDriver::GrabCtrlP() {
  XGrabKey(display_, XKeysymToKeycode(display_, XK_p), ControlMask, DefaultRootWindow(display_), False,
           GrabModeAsync, GrabModeAsync);
  XSync(display_, False);
}

void XDriver::ToggleNumLock() { Chord({XK_Num_Lock}); }

unsigned long XDriver::SelectionOwner(const std::string& selection) {
  return XGetSelectionOwner(display_, XInternAtom(display_, selection.c_str(), False));
}

}  // namespace quorix_test
