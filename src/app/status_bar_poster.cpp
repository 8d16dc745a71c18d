#include "app/status_bar_poster.h"

#include <string>

namespace korvan {

void StatusBarPoster::Text(int slot, std::string_view text) {
  if (slot == 0) {
    window_.Post([&view = view_, text = std::string(text)] { view.SetStatusText(text); });
  }
}

void StatusBarPoster::Amount(int slot, uint64_t done, uint64_t total) {
  if (slot == 0) {
    done_ = done;
    total_ = total;
  }
}

bool StatusBarPoster::Position(int slot, int position, bool clearText) {
  if (slot != 0 || position == lastPosition_) {
    return false;
  }
  lastPosition_ = position;
  window_.Post([&view = view_, position, clearText, done = done_, total = total_] {
    if (clearText) {
      view.SetStatusText("");
    }
    view.SetStatusAmount(done, total);
    view.SetStatusPosition(position);
  });
  return true;
}

}  // namespace korvan
