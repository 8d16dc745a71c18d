// Acting on a modal dialog from a test: the call that shows it (ShowModal, deep in the code
// under test) does not return until the dialog ends, so the test's script runs from inside the
// dialog's own modal loop, started by a timer that watches for the dialog to appear.
#pragma once

#include <gtest/gtest.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include <chrono>
#include <functional>
#include <utility>

#include "tests/ui/ui_test_support.h"

namespace korvan::testing {

// Runs `script` once on the first dialog of type `Dialog` that is shown modal while this object
// lives. A script that leaves the dialog open (a failed assertion, say) fails the test and ends
// the dialog with wxID_ABORT, so that the waiting call returns.
template <typename Dialog>
class OnModalDialog {
 public:
  explicit OnModalDialog(std::function<void(Dialog&)> script) : script_(std::move(script)) {
    timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Poll(); });
    timer_.Start(20);
  }
  OnModalDialog(const OnModalDialog&) = delete;
  OnModalDialog& operator=(const OnModalDialog&) = delete;

  bool ran() const { return ran_; }

 private:
  void Poll() {
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<Dialog*>(window);
      if (dialog == nullptr || !dialog->IsModal()) {
        continue;
      }
      timer_.Stop();
      ran_ = true;
      // Mapped and drawn before the pointer goes for it.
      PumpEvents(std::chrono::milliseconds(100));
      script_(*dialog);
      if (dialog->IsModal()) {
        ADD_FAILURE() << "the script left the dialog open";
        dialog->EndModal(wxID_ABORT);
      }
      return;
    }
  }

  std::function<void(Dialog&)> script_;
  wxTimer timer_;
  bool ran_ = false;
};

}  // namespace korvan::testing
