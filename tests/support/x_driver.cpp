#include "x_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/env.h"
#include "platform/png_codec.h"

namespace quorix_test {
namespace {

int IgnoreError(Display*, XErrorEvent*) { return 0; }

// Errors of the requests made while it lives (a window that went in the
// meantime) are ignored instead of ending the process; GTK's handler, which
// is process-wide, comes back afterwards.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display), previous_(XSetErrorHandler(IgnoreError)) {}
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

 private:
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*);
};

}  // namespace

XDriver::XDriver(const std::string& display) {
  const std::optional<std::string> name = display.empty() ? platform::env::Get("DISPLAY") : display;
  if (name && !name->empty()) display_ = XOpenDisplay(name->c_str());
}

XDriver::~XDriver() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

unsigned long XDriver::Root() const { return DefaultRootWindow(display_); }

void XDriver::MovePointer(int x, int y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XSync(display_, False);
}

void XDriver::Button(int button, bool down) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), down, CurrentTime);
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
  for (int i = 1; i <= steps; ++i) MovePointer(from_x + (to_x - from_x) * i / steps, from_y + (to_y - from_y) * i / steps);
  Button(1, false);
}

void XDriver::Key(unsigned long keysym, bool down) {
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), down, CurrentTime);
  XSync(display_, False);
}

void XDriver::Chord(const std::vector<unsigned long>& keysyms) {
  for (unsigned long keysym : keysyms) Key(keysym, true);
  for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it) Key(*it, false);
}

void XDriver::Type(const std::string& text) {
  for (char c : text) Chord({c == ' ' ? XK_space : static_cast<unsigned long>(static_cast<unsigned char>(c))});
}

std::vector<unsigned long> XDriver::WindowsOfClass(const std::string& name) {
  std::vector<unsigned long> found;
  ::Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, Root(), &root, &parent, &children, &count)) return found;
  for (unsigned i = 0; i < count; ++i) {
    XClassHint hint{};
    if (XGetClassHint(display_, children[i], &hint) == 0) continue;
    if ((hint.res_class != nullptr && name == hint.res_class) || (hint.res_name != nullptr && name == hint.res_name)) {
      found.push_back(children[i]);
    }
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  if (children != nullptr) XFree(children);
  return found;
}

std::array<int, 4> XDriver::Geometry(unsigned long window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, window, &attributes)) return {};
  int x = 0, y = 0;
  ::Window child = 0;
  XTranslateCoordinates(display_, window, Root(), 0, 0, &x, &y, &child);
  return {x, y, attributes.width, attributes.height};
}

bool XDriver::Viewable(unsigned long window) {
  ErrorTrap trap(display_);
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
}

std::string XDriver::Title(unsigned long window) {
  ErrorTrap trap(display_);
  const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  for (const Atom name : {XInternAtom(display_, "_NET_WM_NAME", False), XA_WM_NAME}) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, rest = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, name, 0, 1024, False, name == XA_WM_NAME ? AnyPropertyType : utf8,
                           &type, &format, &items, &rest, &data) != Success) {
      continue;
    }
    std::string title = data != nullptr && format == 8 ? std::string(reinterpret_cast<char*>(data), items) : "";
    if (data != nullptr) XFree(data);
    if (!title.empty()) return title;
  }
  return {};
}

std::vector<unsigned long> XDriver::ViewableWindowsTitled(const std::string& title) {
  std::vector<unsigned long> found;
  ::Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, Root(), &root, &parent, &children, &count)) return found;
  for (unsigned i = 0; i < count; ++i) {
    if (Viewable(children[i]) && Title(children[i]) == title) found.push_back(children[i]);
  }
  if (children != nullptr) XFree(children);
  return found;
}

void XDriver::Close(unsigned long window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  ErrorTrap trap(display_);
  XSendEvent(display_, window, False, NoEventMask, &event);
}

std::vector<uint32_t> XDriver::Pixels(unsigned long window, int x, int y, int width, int height) {
  if (width == 0) {
    const std::array<int, 4> geometry = Geometry(window);
    width = geometry[2];
    height = geometry[3];
  }
  std::vector<uint32_t> pixels;
  XImage* image = XGetImage(display_, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) pixels.push_back(XGetPixel(image, column, row) & 0xFFFFFF);
  }
  XDestroyImage(image);
  return pixels;
}

bool XDriver::Screenshot(const std::filesystem::path& path) {
  const int width = DisplayWidth(display_, 0), height = DisplayHeight(display_, 0);
  std::vector<uint8_t> rgba;
  for (uint32_t pixel : Pixels(Root(), 0, 0, width, height)) {
    rgba.insert(rgba.end(), {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                             static_cast<uint8_t>(pixel), 255});
  }
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  return rgba.size() == size_t{4} * width * height &&
         platform::WritePngFile(path, width, height, rgba) == platform::PngStatus::kOk;
}

unsigned long XDriver::CreateProbeWindow(int x, int y, int width, int height) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.event_mask = ButtonPressMask;
  const ::Window window = XCreateWindow(display_, Root(), x, y, width, height, 0, CopyFromParent, InputOnly,
                                        CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
  XMapWindow(display_, window);
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
  XGrabKey(display_, XKeysymToKeycode(display_, XK_p), ControlMask, Root(), False, GrabModeAsync, GrabModeAsync);
  XSync(display_, False);
}

}  // namespace quorix_test
