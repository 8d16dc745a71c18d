#include "tests/ui/top_level_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace korvan::testing {

std::optional<ScreenRect> FindTopLevelWindow(const std::string& title) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return std::nullopt;
  }
  std::optional<ScreenRect> found;
  Window root = DefaultRootWindow(display);
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, root, &root, &parent, &children, &count) != 0) {
    for (unsigned int i = 0; i < count && !found; ++i) {
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(display, children[i], &attributes) == 0 ||
          attributes.map_state != IsViewable) {
        continue;
      }
      XTextProperty name{};
      if (XGetWMName(display, children[i], &name) == 0 || name.value == nullptr) {
        continue;
      }
      const std::string text(reinterpret_cast<const char*>(name.value), name.nitems);
      XFree(name.value);
      if (text == title) {
        found = ScreenRect{attributes.x, attributes.y, attributes.width, attributes.height};
      }
    }
    XFree(children);
  }
  XCloseDisplay(display);
  return found;
}

}  // namespace korvan::testing
