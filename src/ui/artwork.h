// The program's own pictures, drawn in code so they scale to the dialog's font: the logo in
// its plain and hover forms, and the application icon (a detector with radar waves).
#pragma once

#include <wx/bitmap.h>
#include <wx/gdicmn.h>
#include <wx/icon.h>
#include <wx/iconbndl.h>

namespace korvan::ui {

// The logo control's picture: plain (resource 150) or under the mouse (157), `size` pixels.
wxBitmap LogoBitmap(bool hover, const wxSize& size);

// The application icon at `side` pixels (resources 128 and 140 are the same drawing).
wxBitmap IconBitmap(int side);
wxIcon AppIcon(int side);
// Every size the window manager may ask for.
wxIconBundle AppIcons();

}  // namespace korvan::ui
