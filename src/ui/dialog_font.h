// The dialog font. The template asks for a Windows face that this system does not have, and
// the fallback font is wider, which cuts Russian labels; pick a face with the same metrics.
#pragma once

#include <wx/font.h>
#include <wx/gdicmn.h>
#include <wx/string.h>
#include <wx/window.h>

#include "ui/dialog_template.h"

namespace korvan::ui {

// The first installed face of `candidates` (a null-terminated list), else the default GUI
// font's face.
wxString FirstInstalledFace(const char* const* candidates);

// Tahoma, then Liberation Sans, then DejaVu Sans, at `points` (the main template's size unless
// a dialog asks for another).
wxFont DialogFont(int points = kDialogFontPoints);

// `rect` in pixels of `dialog`'s font. The corners are mapped, as Windows maps a dialog
// rectangle, so neighbours meet exactly.
wxRect DialogPixels(const wxWindow& dialog, const DialogRect& rect);

}  // namespace korvan::ui
