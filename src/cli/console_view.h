// The window as the command line shows it: every control's state is kept (so the final texts
// can be printed exactly as the window would show them), and the status bar's progress is
// drawn on a terminal line while long copies run.
#pragma once

#include <ostream>
#include <string>

#include "app/recording_view.h"

namespace korvan::cli {

class ConsoleView final : public RecordingView {
 public:
  // `progress` receives the live status line; null keeps quiet (JSON output, pipes).
  explicit ConsoleView(std::ostream* progress) : progress_(progress) {}
  ~ConsoleView() override { EndProgressLine(); }

  void SetControlText(int id, std::string_view text) override;
  void SetStatusPosition(int position) override;
  void SetStatusText(std::string_view text) override;

  // Ends the live status line so that further output starts on a fresh line.
  void EndProgressLine();

  // A field's text as a script should see it: the blank placeholders (all spaces) read as
  // empty.
  std::string FieldText(int id) const;
  // What the status bar shows: its text, or the percentage when it has none.
  std::string StatusShown() const;
  // The text of the last result message shown, or empty.
  std::string LastMessage() const;

 private:
  void DrawProgress();

  std::ostream* progress_;
  bool lineOpen_ = false;
  std::string component_;  // the component a status cell says is being written or checked
};

}  // namespace korvan::cli
