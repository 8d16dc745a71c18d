// Helpers of the window tests: pumping the event loop until something holds, and acting on the
// window as a person does, through the X server (the pointer and the keyboard of the display).
#pragma once

#include <wx/app.h>
#include <wx/choice.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

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

// Moves the display's pointer to `screen` and waits until the server has it there; the motion
// events it causes are then queued or already handled.
inline bool MovePointer(const wxPoint& screen) {
  wxUIActionSimulator pointer;
  pointer.MouseMove(screen);
  return PumpUntil([&screen] { return wxGetMousePosition() == screen; }, std::chrono::seconds(5));
}

// A left click with the display's pointer in the middle of `control`, which must be shown,
// uncovered and outlive the click. Returns once the control has seen the button go up: what
// the toolkit does on a click (a button's command, a radio checked, a box toggled) has then
// run. False when the click never reached the control.
inline bool ClickControl(wxWindow& control) {
  bool released = false;
  const auto onRelease = [&released](wxMouseEvent& event) {
    released = true;
    event.Skip();
  };
  control.Bind(wxEVT_LEFT_UP, onRelease);
  const wxRect rect = control.GetScreenRect();
  bool clicked = MovePointer(rect.GetPosition() + rect.GetSize() / 2);
  if (clicked) {
    wxUIActionSimulator pointer;
    pointer.MouseClick();
    clicked = PumpUntil([&released] { return released; }, std::chrono::seconds(5));
  }
  control.Unbind(wxEVT_LEFT_UP, onRelease);
  PumpEvents(std::chrono::milliseconds(10));
  return clicked;
}

// A key pressed and released on the keyboard, with `modifiers` (wxMOD_CONTROL ...) held. The
// window under the pointer receives it: there is no window manager to give the focus.
inline void PressKey(int key, int modifiers = wxMOD_NONE) {
  wxUIActionSimulator keyboard;
  keyboard.Char(key, modifiers);
}

// Opens a drop-down `list` with a click of the pointer, moves `steps` entries down with the
// keyboard and takes the entry with Return. The opened list holds the pointer, so the click's
// release never reaches the list itself. True once the list shows another selection.
inline bool ChooseWithKeys(wxChoice& list, int steps) {
  const int before = list.GetSelection();
  const wxRect rect = list.GetScreenRect();
  if (!MovePointer(rect.GetPosition() + rect.GetSize() / 2)) {
    return false;
  }
  wxUIActionSimulator pointer;
  pointer.MouseClick();
  PumpEvents(std::chrono::milliseconds(300));
  for (int i = 0; i < steps; ++i) {
    PressKey(WXK_DOWN);
  }
  PressKey(WXK_RETURN);
  const bool changed =
      PumpUntil([&] { return list.GetSelection() != before; }, std::chrono::seconds(5));
  PumpEvents(std::chrono::milliseconds(100));
  return changed;
}

}  // namespace korvan::testing
