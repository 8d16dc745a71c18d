// The dialog font. The template asks for a Windows face that this system does not have, and
// the fallback font is wider, which cuts Russian labels; pick a face with the same metrics.
#pragma once

#include <wx/font.h>
#include <wx/string.h>

namespace korvan::ui {

// The first installed face of `candidates` (a null-terminated list), else the default GUI
// font's face.
wxString FirstInstalledFace(const char* const* candidates);

// Tahoma, then Liberation Sans, then DejaVu Sans, at the template's size.
wxFont DialogFont();

}  // namespace korvan::ui
