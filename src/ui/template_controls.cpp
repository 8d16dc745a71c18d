#include "ui/template_controls.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace korvan::ui {

wxString Utf8(std::string_view text) {
  return wxString::FromUTF8(text.data(), text.size());
}

wxWindow* CreatePlainControl(wxWindow* parent, int id, const ControlTemplate& control,
                             const wxRect& pixels) {
  const wxString text = Utf8(control.text);
  const wxPoint pos = pixels.GetPosition();
  const wxSize size = pixels.GetSize();
  switch (control.kind) {
    case ControlKind::GroupBox:
      return new wxStaticBox(parent, id, text, pos, size);
    case ControlKind::Static:
      return new wxStaticText(parent, id, text, pos, size, wxST_NO_AUTORESIZE);
    case ControlKind::Radio:
      return new wxRadioButton(parent, id, text, pos, size, control.groupStart ? wxRB_GROUP : 0);
    case ControlKind::CheckBox:
      return new wxCheckBox(parent, id, text, pos, size);
    case ControlKind::Button:
      return new wxButton(parent, id, text, pos, size);
    case ControlKind::Edit:
      return new wxTextCtrl(parent, id, text, pos, size, wxTE_READONLY);
    case ControlKind::StaticBitmap:
    case ControlKind::DropDownList:
    case ControlKind::ProgressBar:
      break;
  }
  return nullptr;
}

}  // namespace korvan::ui
