#include "cli/console_view.h"

#include "app/control_ids.h"

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
  DrawProgress();
}

void ConsoleView::SetStatusText(std::string_view text) {
  RecordingView::SetStatusText(text);
  DrawProgress();
}

void ConsoleView::DrawProgress() {
  if (progress_ == nullptr) {
    return;
  }
  // The bar shows its text when it has one and the percentage otherwise; a copy in progress
  // is worth both.
  *progress_ << "\r\033[K";
  if (!component_.empty()) {
    *progress_ << component_ << ' ';
  }
  *progress_ << Status().text;
  if (Status().position > 0) {
    *progress_ << (Status().text.empty() ? "" : " ") << Status().position << '%';
  }
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
