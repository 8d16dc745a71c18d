#include "ui/parameter_dialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/tooltip.h>

#include "ui/artwork.h"
#include "ui/dialog_font.h"
#include "ui/parameter_dialog_template.h"
#include "ui/template_controls.h"

namespace korvan::ui {
namespace {

// OK and "Отменить" take the toolkit's ids, which end the dialog (and Esc and the close box
// press the cancel one).
int WindowId(int templateId) {
  switch (templateId) {
    case kParameterOk:
      return wxID_OK;
    case kParameterCancel:
      return wxID_CANCEL;
    default:
      return templateId < 0 ? wxID_ANY : templateId;
  }
}

// The long tooltips explain a setting in several sentences: they stay up long enough to be
// read, and are wrapped into a narrow block.
void SetTooltipTiming() {
  wxToolTip::SetAutoPop(20000);
#ifdef __WXMSW__
  // GTK wraps its tooltips itself and has no such setting.
  wxToolTip::SetMaxWidth(300);
#endif
}

}  // namespace

CParameterDlg::CParameterDlg(wxWindow* parent, ParameterForm& form)
    : wxDialog(parent, wxID_ANY, Utf8(kParameterDialogTitle)), form_(form) {
  // Dialog units follow the font, so it is set before anything is measured or created.
  SetFont(DialogFont(kParameterFontPoints));
  SetClientSize(
      ConvertDialogToPixels(wxSize(kParameterClientArea.width, kParameterClientArea.height)));
  for (const ParameterControl& entry : ParameterDialogTemplate()) {
    wxWindow* window = CreateControl(entry.control, DialogPixels(*this, entry.control.rect));
    windows_.push_back(window);
    if (entry.control.id >= 0) {
      controls_[entry.control.id] = window;
    }
    if (entry.control.kind == ControlKind::DropDownList) {
      lists_[static_cast<size_t>(entry.setting)] = static_cast<wxChoice*>(window);
    }
  }
  static_cast<wxButton*>(Control(kParameterOk))->SetDefault();
  Bind(wxEVT_BUTTON, &CParameterDlg::OnDefaults, this, kParameterDefaults);

  SetTooltipTiming();
  FillLists();
  ShowSelections();
  SetIcon(AppIcon(16));
  CentreOnParent();
}

wxWindow* CParameterDlg::CreateControl(const ControlTemplate& control, const wxRect& pixels) {
  const int id = WindowId(control.id);
  const wxPoint pos = pixels.GetPosition();
  const wxSize size = pixels.GetSize();
  switch (control.kind) {
    case ControlKind::StaticBitmap:
      return new wxStaticBitmap(this, id, LogoBitmap(false, size), pos, size);
    case ControlKind::DropDownList:
      // Shorter than GTK's natural height, which would not leave 48 rows room; the text
      // still fits.
      return new wxChoice(this, id, pos, size);
    default:
      return CreatePlainControl(this, id, control, pixels);
  }
}

void CParameterDlg::FillLists() {
  for (int i = 0; i < kMenuSettingCount; ++i) {
    wxChoice* list = lists_[static_cast<size_t>(i)];
    for (const std::string& entry : form_.Entries(i)) {
      list->Append(Utf8(entry));
    }
    // A disabled list stays in view with its selection, which is still saved.
    list->Enable(form_.Enabled(i));
    if (const std::string_view tip = form_.Tooltip(i); !tip.empty()) {
      list->SetToolTip(Utf8(tip));
    }
    list->Bind(wxEVT_CHOICE, [this, i, list](wxCommandEvent&) {
      const int selection = list->GetSelection();
      form_.Select(i, selection == wxNOT_FOUND ? std::nullopt : std::optional<int>(selection));
    });
  }
}

void CParameterDlg::ShowSelections() {
  for (int i = 0; i < kMenuSettingCount; ++i) {
    const std::optional<int> selection = form_.Selection(i);
    lists_[static_cast<size_t>(i)]->SetSelection(selection.value_or(wxNOT_FOUND));
  }
}

void CParameterDlg::OnDefaults(wxCommandEvent&) {
  // A Parameters.ini that cannot be written now will not be written on OK either, and the
  // command reports that then.
  form_.Defaults();
  ShowSelections();
}

wxWindow* CParameterDlg::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

wxChoice* CParameterDlg::List(int index) const {
  return index >= 0 && index < kMenuSettingCount ? lists_[static_cast<size_t>(index)] : nullptr;
}

}  // namespace korvan::ui
