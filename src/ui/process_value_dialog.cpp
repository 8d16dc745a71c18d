#include "ui/process_value_dialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/settings.h>
#include <wx/stattext.h>

#include "ui/artwork.h"
#include "ui/click_to_drop_editor.h"
#include "ui/dialog_font.h"
#include "ui/template_controls.h"

namespace korvan::ui {
namespace {

// The template asks for the Windows UI face; where it is missing, a sans face of this system
// takes its place. Pango finds glyphs the face lacks (Hangul) in another installed font.
wxFont TemplateFont(int pixels) {
  static const char* const kFaces[] = {"Segoe UI", "Liberation Sans", "DejaVu Sans", nullptr};
  // A character height in pixels at the toolkit's 96 pixels per inch.
  return wxFont(wxFontInfo(pixels * 72.0 / 96.0).FaceName(FirstInstalledFace(kFaces)));
}

// The template's rectangles: left, top, right, bottom in client pixels.
wxRect Pixels(int left, int top, int right, int bottom) {
  return wxRect(wxPoint(left, top), wxSize(right - left, bottom - top));
}

// Rows of the description area.
constexpr int kDescriptionRows = 5;

}  // namespace

CProcessValueDlg::CProcessValueDlg(wxWindow* parent, ProcessValueForm& form)
    : wxDialog(parent, wxID_ANY, Utf8(kProcessValueTitle)), form_(form) {
  // Dialog units follow the font, so it is set before anything is measured or created.
  SetFont(DialogFont(kProcessValueFontPoints));
  SetClientSize(ConvertDialogToPixels(wxSize(kProcessValueWidthUnits, kProcessValueHeightUnits)));
  const wxFont controlFont = TemplateFont(kSchemaControlFontPixels);
  const wxFont gridFont = TemplateFont(kSchemaGridFontPixels);
  const int w = GetClientSize().x;
  const int h = GetClientSize().y;

  wxRect rect = Pixels(12, 12, 122, 40);
  countryLabel_ = new wxStaticText(this, kCountryLabelId, Utf8("Страна:"), rect.GetPosition(),
                                   rect.GetSize(), wxST_NO_AUTORESIZE);
  countryLabel_->SetFont(controlFont);
  rect = Pixels(132, 12, 372, 40);
  countryList_ = new wxChoice(this, kCountryListId, rect.GetPosition(), rect.GetSize());
  countryList_->SetFont(controlFont);
  rect = Pixels(382, 12, 522, 40);
  defaults_ =
      new wxButton(this, kSchemaDefaultsId, Utf8("По умолч"), rect.GetPosition(), rect.GetSize());
  defaults_->SetFont(controlFont);

  rect = Pixels(12, 50, w - 12, h - 52);
  grid_ = new CNoCaretAutoDropGrid(this, kSchemaGridId, rect.GetPosition(), rect.GetSize(),
                                   wxPG_BOLD_MODIFIED | wxPG_DESCRIPTION |
                                       wxPG_SPLITTER_AUTO_CENTER | wxBORDER_THEME | wxTAB_TRAVERSAL,
                                   gridFont);
  grid_->SetColumnTitle(0, "Property");
  grid_->SetColumnTitle(1, "Value");
  grid_->SetDescBoxHeight(kDescriptionRows * grid_->GetGrid()->GetRowHeight());
  // Group names in the text colour: the toolkit's grey is hard to read on the groups' grey.
  grid_->GetGrid()->SetCaptionTextColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT));
  RebuildGrid();
  FillCountryList();

  rect = Pixels(w - 242, h - 40, w - 132, h - 12);
  ok_ = new wxButton(this, wxID_OK, "OK", rect.GetPosition(), rect.GetSize());
  ok_->SetFont(controlFont);
  ok_->SetDefault();
  rect = Pixels(w - 122, h - 40, w - 12, h - 12);
  cancel_ = new wxButton(this, wxID_CANCEL, Utf8("Отменить"), rect.GetPosition(), rect.GetSize());
  cancel_->SetFont(controlFont);

  grid_->Bind(wxEVT_PG_CHANGED, &CProcessValueDlg::OnPropertyChanged, this);
  countryList_->Bind(wxEVT_CHOICE, &CProcessValueDlg::OnCountryChanged, this);
  defaults_->Bind(wxEVT_BUTTON, &CProcessValueDlg::OnDefaults, this);

  SetIcon(AppIcon(16));
  CentreOnParent();
}

CProcessValueDlg::~CProcessValueDlg() {
  // An open list is a window of its own that must not outlive its row.
  grid_->CloseList();
}

wxWindow* CProcessValueDlg::Control(int id) const {
  switch (id) {
    case kCountryLabelId:
      return countryLabel_;
    case kCountryListId:
      return countryList_;
    case kSchemaDefaultsId:
      return defaults_;
    case kSchemaGridId:
      return grid_;
    case kSchemaOk:
      return ok_;
    case kSchemaCancel:
      return cancel_;
    default:
      return nullptr;
  }
}

wxPGProperty* CProcessValueDlg::Row(size_t field) const {
  for (const auto& [row, shown] : fields_) {
    if (shown == field) {
      return row;
    }
  }
  return nullptr;
}

void CProcessValueDlg::RebuildGrid() {
  grid_->CloseList();
  grid_->Freeze();
  grid_->ClearPage(0);
  fields_.clear();
  int group = 0;
  for (const GridGroup& category : form_.Grid()) {
    wxPGProperty* parent = grid_->Append(
        new wxPropertyCategory(Utf8(category.category), wxString::Format("group%d", group++)));
    for (const GridProperty& property : category.properties) {
      wxArrayString options;
      for (const std::string& option : property.options) {
        options.Add(Utf8(option));
      }
      auto* row = new CClickToDropComboProp(Utf8(property.name),
                                            wxString::Format("field%zu", property.field), options,
                                            Utf8(property.value));
      row->SetHelpString(Utf8(property.description));
      grid_->AppendIn(parent, row);
      fields_[row] = property.field;
    }
  }
  grid_->ExpandAll();
  grid_->Thaw();
}

void CProcessValueDlg::FillCountryList() {
  countryList_->Clear();
  for (const std::string& entry : form_.CountryEntries()) {
    countryList_->Append(Utf8(entry));
  }
  SelectCountryEntry();
}

void CProcessValueDlg::SelectCountryEntry() {
  countryList_->SetSelection(form_.CountrySelection().value_or(wxNOT_FOUND));
}

void CProcessValueDlg::OnPropertyChanged(wxPropertyGridEvent& event) {
  wxPGProperty* row = event.GetProperty();
  const auto found = fields_.find(row);
  if (row == nullptr || found == fields_.end()) {
    return;
  }
  form_.OnPropertyChanged(found->second, row->GetValueAsString().utf8_string());
  // The row shows the value the field took, which a narrower range can have changed.
  if (const GridProperty* property = form_.Property(found->second);
      property != nullptr && Utf8(property->value) != row->GetValueAsString()) {
    grid_->SetPropertyValue(row, Utf8(property->value));
  }
}

void CProcessValueDlg::OnCountryChanged(wxCommandEvent&) {
  form_.OnCountryChanged(countryList_->GetSelection());
  RebuildGrid();
}

void CProcessValueDlg::OnDefaults(wxCommandEvent&) {
  form_.OnDefaults();
  RebuildGrid();
  SelectCountryEntry();
}

}  // namespace korvan::ui
