#include "cli/console_view.h"

#include "app/control_ids.h"
#include "cli/time_left.h"

namespace korvan::cli {

void ConsoleView::SetControlText(int id, std::string_view text) {
  RecordingView::SetControlText(id, text);
  const char* name = id == ids::kFwResultText      ? "firmware"
                     : id == ids::kVoiceResultText ? "voice"
                     : id == ids::kDbResultText    ? "database"
                                                   : nullptr;
  if (name != nullptr) {
    // The cell's text: "Обновляется.." while writing, "проверка.." while verifying.
    const bool busy = text == "Обновляется.." || text == "проверка..";
    component_ = busy ? std::string(name) + " " + std::string(text) : std::string();
    DrawProgress();
  }
}

void ConsoleView::SetStatusPosition(int position) {
  RecordingView::SetStatusPosition(position);
  if (position == 0) {
    timing_.reset();  // a new copy or write starts from an empty bar
  }
  DrawProgress();
}

void ConsoleView::SetStatusText(std::string_view text) {
  RecordingView::SetStatusText(text);
  DrawProgress();
}

void ConsoleView::SetStatusAmount(uint64_t done, uint64_t total) {
  const Clock::time_point now = Clock::now();
  // Another total, or fewer bytes than before, is another copy or write.
  if (!timing_ || timing_->total != total || done < timing_->done) {
    timing_ = Timing{now, done, done, total, now};
  }
  timing_->done = done;
  timing_->last = now;
}

std::string ConsoleView::ProgressLine() const {
  // The bar shows its text when it has one and the percentage otherwise; a copy in progress
  // is worth both.
  std::string line;
  if (!component_.empty()) {
    line += component_ + ' ';
  }
  line += Status().text;
  if (Status().position > 0) {
    line += (Status().text.empty() ? "" : " ") + std::to_string(Status().position) + '%';
  }
  if (timing_ && Status().position > 0) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(timing_->last - timing_->start);
    const uint64_t remaining = timing_->total > timing_->done ? timing_->total - timing_->done : 0;
    const auto estimate = EstimateTimeLeft(elapsed, timing_->done - timing_->startDone, remaining);
    if (estimate) {
      line += " (" + TimeLeftText(*estimate) + ')';
    }
  }
  return line;
}

void ConsoleView::DrawProgress() {
  if (changed_) {
    changed_();
    return;
  }
  if (progress_ == nullptr) {
    return;
  }
  *progress_ << "\r\033[K" << ProgressLine();
  progress_->flush();
  lineOpen_ = true;
}

void ConsoleView::EndProgressLine() {
  if (progress_ != nullptr && lineOpen_) {
    *progress_ << '\n';
    progress_->flush();
    lineOpen_ = false;
  }
}

std::string ConsoleView::FieldText(int id) const {
  const std::string& text = Text(id);
  const bool blank = text.find_first_not_of(' ') == std::string::npos;
  return blank ? std::string() : text;
}

std::string ConsoleView::StatusShown() const {
  return Status().text.empty() ? std::to_string(Status().position) + "%" : Status().text;
}

std::string ConsoleView::LastMessage() const {
  return Messages().empty() ? std::string() : Messages().back().text;
}

}  // namespace korvan::cli
