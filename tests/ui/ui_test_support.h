// Helpers of the window tests: pumping the event loop until something holds.
#pragma once

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/utils.h>

#include <chrono>
#include <functional>
#include <thread>

namespace korvan::testing {

// Processes pending events (posted tasks, paints, timers) for about `duration`.
inline void PumpEvents(std::chrono::milliseconds duration = std::chrono::milliseconds(50)) {
  const auto end = std::chrono::steady_clock::now() + duration;
  do {
    wxTheApp->ProcessPendingEvents();
    wxYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < end);
}

// Processes events until `done()` holds or `timeout` passes; returns whether it held.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    wxTheApp->ProcessPendingEvents();
    wxYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A click on `control` as the control reports it to its dialog: a button's command, a radio
// checked, a check box toggled.
inline void ClickControl(wxWindow& control) {
  wxEventType type = wxEVT_BUTTON;
  int checked = 0;
  if (auto* radio = dynamic_cast<wxRadioButton*>(&control)) {
    radio->SetValue(true);
    type = wxEVT_RADIOBUTTON;
    checked = 1;
  } else if (auto* box = dynamic_cast<wxCheckBox*>(&control)) {
    box->SetValue(!box->GetValue());
    type = wxEVT_CHECKBOX;
    checked = box->GetValue() ? 1 : 0;
  }
  wxCommandEvent event(type, control.GetId());
  event.SetEventObject(&control);
  event.SetInt(checked);
  control.ProcessWindowEvent(event);
}

}  // namespace korvan::testing
