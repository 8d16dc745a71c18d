// The main dialog's template: every control with its id, kind, text and rectangle in dialog
// units, as the dialog was designed. The window builds itself from this table, and the tests
// check the built window against it. Plain data, no toolkit.
#pragma once

#include <span>
#include <string_view>

namespace korvan::ui {

enum class ControlKind {
  GroupBox,
  Static,
  StaticBitmap,
  Radio,
  CheckBox,
  Button,
  Edit,          // read-only, bordered
  DropDownList,  // the height: of the opened list here, of the closed control in the settings
                 // form's template
  ProgressBar,
};

struct DialogRect {
  int x, y, width, height;
};

struct ControlTemplate {
  int id;  // -1 for the labels and frames nobody addresses
  ControlKind kind;
  std::string_view text;  // UTF-8
  DialogRect rect;
  bool hidden = false;      // created invisible
  bool groupStart = false;  // a radio that starts a new group
};

// Title of the template; the program replaces it at start-up.
inline constexpr std::string_view kTemplateTitle = "Dahlia_Updater";
inline constexpr std::string_view kMainWindowTitle = "Korvan Updater v7.23";
// The template's font: "MS Shell Dlg" at 9 points, which this system may not have.
inline constexpr int kDialogFontPoints = 9;

// The controls in creation order (which is also the tab order and the radio grouping).
std::span<const ControlTemplate> MainDialogTemplate();

// The dialog's client area in dialog units: the controls' extent plus the template's margin.
DialogRect MainDialogClientArea();

// The About box: title, its one text and the OK button.
inline constexpr std::string_view kAboutTitle = "Dahlia_Updater 정보";
inline constexpr DialogRect kAboutRect{0, 0, 170, 62};
inline constexpr DialogRect kAboutIconRect{14, 14, 21, 20};
inline constexpr std::string_view kAboutText = "Korvan Updater";
inline constexpr DialogRect kAboutTextRect{42, 14, 114, 8};
inline constexpr std::string_view kAboutOkText = "확인";
inline constexpr DialogRect kAboutOkRect{113, 41, 50, 14};
// The text of the About item added to the window's menu.
inline constexpr std::string_view kAboutItemText = "About";
inline constexpr int kAboutCommand = 0x10;

// The accelerator Ctrl+A: service mode.
inline constexpr int kServiceModeCommand = 32771;

}  // namespace korvan::ui
