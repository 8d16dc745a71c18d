// `CParameterDlg`: the menu settings form of the fixed-layout models, built from its template
// over a ParameterForm. It shows the form's lists and selections and hands every choice and
// "По умолч" to the form; what the choices mean, and saving them, is the form's. OK ends it
// with wxID_OK; "Отменить", Esc and the close box with wxID_CANCEL.
#pragma once

#include <wx/dialog.h>

#include <array>
#include <map>
#include <span>
#include <vector>

#include "settings/parameter_form.h"
#include "ui/dialog_template.h"

class wxChoice;

namespace korvan::ui {

class CParameterDlg final : public wxDialog {
 public:
  CParameterDlg(wxWindow* parent, ParameterForm& form);

  // The control of a template id: a list by its setting's control id, the logo, the buttons
  // by kParameterOk, kParameterCancel and kParameterDefaults. Null for none.
  wxWindow* Control(int id) const;
  // The list of setting `index` of the table.
  wxChoice* List(int index) const;
  // Every control, in the order of ParameterDialogTemplate().
  std::span<wxWindow* const> Windows() const { return windows_; }

 private:
  wxWindow* CreateControl(const ControlTemplate& control, const wxRect& pixels);
  void FillLists();
  void ShowSelections();
  void OnDefaults(wxCommandEvent& event);

  ParameterForm& form_;
  std::vector<wxWindow*> windows_;
  std::map<int, wxWindow*> controls_;
  std::array<wxChoice*, kMenuSettingCount> lists_{};
};

}  // namespace korvan::ui
