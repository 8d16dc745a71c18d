// The menu settings form's template: the logo, the 48 lists with their labels, the group boxes
// around them and the three buttons, in dialog units. It is derived from the settings table:
// the boxes stand in three columns and their rows follow at a fixed pitch. Plain data, no
// toolkit.
#pragma once

#include <span>
#include <string_view>

#include "ui/dialog_template.h"

namespace korvan::ui {

inline constexpr std::string_view kParameterDialogTitle = "Настройка МЕНЮ";
// Smaller than the main dialog's: 48 rows have to fit.
inline constexpr int kParameterFontPoints = 8;
inline constexpr DialogRect kParameterClientArea{0, 0, 469, 360};

// Template ids of the controls that are not lists (a list's id is its setting's control id).
inline constexpr int kParameterOk = 1;
inline constexpr int kParameterCancel = 2;
inline constexpr int kParameterDefaults = 1012;  // "По умолч"
inline constexpr int kParameterLogo = 1029;

struct ParameterControl {
  ControlTemplate control;
  int setting = -1;  // the table index a list or its label stands for; -1 for the others
};

// The controls in creation order (the tab order): the logo, Language, the boxes column by
// column, each followed by its labels and lists, then the buttons.
std::span<const ParameterControl> ParameterDialogTemplate();

}  // namespace korvan::ui
