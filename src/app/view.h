// `View`: what the main window's logic needs of a window, in the dialog's own terms: controls
// by id, the status bar (SlotProgressBars[0]), the voice list and the result message box.
// Implemented by the wxWidgets dialog, by the console front end and by the recorder in tests.
// Every call comes on the window thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/voice_names.h"

namespace korvan {

class ParameterForm;
class ProcessValueForm;

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kDarkGreen{0, 128, 0};
inline constexpr Rgb kWhite{255, 255, 255};

struct StatusColours {
  Rgb bar;
  Rgb background;
  Rgb textOnBackground;
  Rgb textOnBar;
  bool operator==(const StatusColours&) const = default;
};

enum class MessageIcon { None, Information, Error };

class View {
 public:
  virtual ~View() = default;

  // Texts are UTF-8.
  virtual void SetControlText(int id, std::string_view text) = 0;
  virtual void EnableControl(int id, bool enabled) = 0;
  virtual void ShowControl(int id, bool shown) = 0;
  virtual void CheckControl(int id, bool checked) = 0;

  // The status bar: position 0..100 (not clamped), its text (empty: the percentage shows),
  // its colours and whether any text is drawn.
  virtual void SetStatusPosition(int position) = 0;
  // The bytes behind the position set next: `done` of `total` in the copy or write that moves
  // the bar. Only a view that shows a rate needs them; the window's bar does not.
  virtual void SetStatusAmount(uint64_t /*done*/, uint64_t /*total*/) {}
  virtual void SetStatusText(std::string_view text) = 0;
  virtual void SetStatusColours(const StatusColours& colours) = 0;
  virtual void SetStatusShowText(bool show) = 0;

  // Empties the voice list, adds `items` in order with their item data and selects the first.
  virtual void SetVoiceItems(const std::vector<VoiceItem>& items) = 0;
  // The item data of the voice the list shows selected; -1 when the list is empty.
  virtual int SelectedVoiceData() const = 0;

  // A modal message box with an OK button; returns when the user has closed it. An empty
  // caption means the program's own title.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  // The system's open-file dialog over the main window, with a filter in the form
  // "Bin file(*.bin)|*.bin|". The chosen file's full path, or nullopt when cancelled.
  virtual std::optional<std::string> ChooseOpenFile(std::string_view filter) = 0;

  // The menu settings form of the fixed-layout models over the main window, modal. It shows
  // `form`'s lists with their selections, puts every choice the user makes into `form` (Select)
  // and runs `form.Defaults()` for "По умолч". True when closed with OK, false for "Отменить"
  // or the window's close; the caller then takes the selections from `form`.
  virtual bool RunParameterForm(ParameterForm& form) = 0;

  // The settings dialog of types 25-27 ("Set Menu values") over the main window, modal: the
  // country list and the grid of `form`, every choice reported to `form` (OnPropertyChanged,
  // OnCountryChanged, OnDefaults). True when closed with OK.
  virtual bool RunSchemaForm(ProcessValueForm& form) = 0;
};

}  // namespace korvan
