#include "ui/dialog_font.h"

#include <wx/fontenum.h>
#include <wx/settings.h>

#include "ui/dialog_template.h"

namespace korvan::ui {

wxString FirstInstalledFace(const char* const* candidates) {
  for (const char* const* face = candidates; *face != nullptr; ++face) {
    if (wxFontEnumerator::IsValidFacename(*face)) {
      return *face;
    }
  }
  return wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).GetFaceName();
}

wxRect DialogPixels(const wxWindow& dialog, const DialogRect& rect) {
  const wxPoint topLeft = dialog.ConvertDialogToPixels(wxPoint(rect.x, rect.y));
  const wxPoint bottomRight =
      dialog.ConvertDialogToPixels(wxPoint(rect.x + rect.width, rect.y + rect.height));
  return wxRect(topLeft, bottomRight - wxPoint(1, 1));
}

wxFont DialogFont(int points) {
  static const char* const kFaces[] = {"Tahoma", "Liberation Sans", "DejaVu Sans", nullptr};
  return wxFont(wxFontInfo(points).FaceName(FirstInstalledFace(kFaces)));
}

}  // namespace korvan::ui
