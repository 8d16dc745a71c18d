// What the dialogs built from a template share: UTF-8 texts for the toolkit, and the plain
// controls of a template row.
#pragma once

#include <wx/gdicmn.h>
#include <wx/string.h>
#include <wx/window.h>

#include <string_view>

#include "ui/dialog_template.h"

namespace korvan::ui {

wxString Utf8(std::string_view text);

// Frames, labels, radios, check boxes, buttons and read-only edits of a template, created on
// `parent` with window id `id` at `pixels`. Null for the kinds each dialog makes itself
// (pictures, lists, the progress bar), whose sizes mean different things in each.
wxWindow* CreatePlainControl(wxWindow* parent, int id, const ControlTemplate& control,
                             const wxRect& pixels);

}  // namespace korvan::ui
