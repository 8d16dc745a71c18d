#include "cli/progress_board.h"

namespace korvan::cli {

int ProgressBoard::AddLine(std::string text) {
  lines_.push_back(std::move(text));
  Draw();
  return static_cast<int>(lines_.size()) - 1;
}

void ProgressBoard::SetLine(int index, std::string text) {
  if (index < 0 || index >= static_cast<int>(lines_.size()) || lines_[index] == text) {
    return;
  }
  lines_[index] = std::move(text);
  Draw();
}

void ProgressBoard::Draw() {
  if (out_ == nullptr) {
    return;
  }
  // Back to the first line drawn, then every line rewritten in full; each line ends with a
  // newline, so the cursor rests below them and other output cannot land inside a line.
  if (drawn_ > 0) {
    *out_ << "\033[" << drawn_ << 'A';
  }
  for (const std::string& line : lines_) {
    *out_ << "\r\033[K" << line << '\n';
  }
  out_->flush();
  drawn_ = static_cast<int>(lines_.size());
}

void ProgressBoard::End() {
  drawn_ = 0;  // what is on screen stays; nothing is redrawn over it
  lines_.clear();
}

}  // namespace korvan::cli
