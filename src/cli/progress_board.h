// Several live progress lines on a terminal, one per device of `korvan update --all`, redrawn
// in place. Main thread only, like the views whose lines it shows.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvan::cli {

class ProgressBoard {
 public:
  // `out` is the terminal; null draws nothing (not a terminal, JSON output, --quiet).
  explicit ProgressBoard(std::ostream* out) : out_(out) {}
  ~ProgressBoard() { End(); }
  ProgressBoard(const ProgressBoard&) = delete;
  ProgressBoard& operator=(const ProgressBoard&) = delete;

  // Adds a line; returns its index.
  int AddLine(std::string text);
  // Sets a line's text and redraws every line when it changed.
  void SetLine(int index, std::string text);
  // Leaves the lines as they stand; the next output starts below them.
  void End();

 private:
  void Draw();

  std::ostream* out_;
  std::vector<std::string> lines_;
  int drawn_ = 0;  // lines on screen above the cursor, from the last draw
};

}  // namespace korvan::cli
