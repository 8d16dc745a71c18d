// The window as the command line shows it: every control's state is kept (so the final texts
// can be printed exactly as the window would show them), and the status bar's progress is
// drawn on a terminal line while long copies run, with the rate and the time left once a copy
// or write has run a few seconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
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
  void SetStatusAmount(uint64_t done, uint64_t total) override;

  // Instead of drawing its own line, the view calls `changed` whenever ProgressLine() may
  // have changed: for a caller that draws several devices' lines together. The view must have
  // been made without a stream.
  void OnProgressChanged(std::function<void()> changed) { changed_ = std::move(changed); }
  // The live line's text: the component at work, the bar's text or percentage, and the rate
  // and time left of a long copy or write.
  std::string ProgressLine() const;

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
  using Clock = std::chrono::steady_clock;
  // The copy or write moving the bar now, timed from its first reported amount.
  struct Timing {
    Clock::time_point start;
    uint64_t startDone = 0;
    uint64_t done = 0;
    uint64_t total = 0;
    Clock::time_point last;
  };

  void DrawProgress();

  std::ostream* progress_;
  std::function<void()> changed_;
  bool lineOpen_ = false;
  std::string component_;  // the component a status cell says is being written or checked
  std::optional<Timing> timing_;
};

}  // namespace korvan::cli
