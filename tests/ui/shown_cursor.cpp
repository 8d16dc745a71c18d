// Kept apart from the toolkit's headers: Xlib's macros (None, Bool, Status) clash with them.
#include "tests/ui/shown_cursor.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace korvan::testing {

unsigned long ShownCursor() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return 0;
  }
  unsigned long serial = 0;
  int eventBase = 0;
  int errorBase = 0;
  if (XFixesQueryExtension(display, &eventBase, &errorBase)) {
    if (XFixesCursorImage* image = XFixesGetCursorImage(display)) {
      serial = image->cursor_serial;
      XFree(image);
    }
  }
  XCloseDisplay(display);
  return serial;
}

}  // namespace korvan::testing
