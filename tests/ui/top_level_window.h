// Where another program's top-level window is on the X server, found by its title: for tests
// that click into a window of a program started as a process.
#pragma once

#include <optional>
#include <string>

namespace korvan::testing {

struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The first mapped top-level window titled `title`, in screen coordinates.
std::optional<ScreenRect> FindTopLevelWindow(const std::string& title);

}  // namespace korvan::testing
