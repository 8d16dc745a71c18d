// Slot 0's progress reaches the window's status bar as posted tasks; the other slots' bars have
// no window. The copies and the writers both report this way.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/view.h"
#include "app/window_thread.h"

namespace korvan {

class StatusBarPoster {
 public:
  StatusBarPoster(WindowThread& window, View& view) : window_(window), view_(view) {}

  void Text(int slot, std::string_view text);
  // Kept to go with the next position posted (the command line's rate and time left).
  void Amount(int slot, uint64_t done, uint64_t total);
  // Posts the position with the amount behind it, only when the shown value changes; with
  // `clearText` the bar's text goes at the same time. True when something was posted.
  bool Position(int slot, int position, bool clearText = false);

 private:
  WindowThread& window_;
  View& view_;
  int lastPosition_ = -1;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
};

}  // namespace korvan
