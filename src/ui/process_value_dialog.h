// `CProcessValueDlg`: the settings dialog of types 25-27 ("Set Menu values") over a
// ProcessValueForm. It shows the form's country list and its grid of settings, one group per
// category and one list of choices per setting, and reports every choice, the country and
// "По умолч" to the form; what they mean is the form's. OK ends it with wxID_OK; "Отменить",
// Esc and the close box with wxID_CANCEL.
#pragma once

#include <wx/dialog.h>

#include <map>

#include "app/process_value_form.h"

class wxButton;
class wxChoice;
class wxPGProperty;
class wxPropertyGridEvent;
class wxStaticText;

namespace korvan::ui {

class CNoCaretAutoDropGrid;

// The dialog's title and its size in dialog units at its font.
inline constexpr std::string_view kProcessValueTitle = "Set Menu values";
inline constexpr int kProcessValueFontPoints = 8;
inline constexpr int kProcessValueWidthUnits = 487;
inline constexpr int kProcessValueHeightUnits = 433;

// Template ids. OK and "Отменить" have the toolkit's ids as windows (wxID_OK, wxID_CANCEL).
inline constexpr int kCountryLabelId = 3000;    // "Страна:"
inline constexpr int kCountryListId = 3001;     // the country setting's options
inline constexpr int kSchemaDefaultsId = 3002;  // "По умолч"
inline constexpr int kSchemaGridId = 1001;
inline constexpr int kSchemaOk = 1;
inline constexpr int kSchemaCancel = 2;

// Character heights of the controls' and the grid's fonts, in pixels.
inline constexpr int kSchemaControlFontPixels = 18;
inline constexpr int kSchemaGridFontPixels = 19;

class CProcessValueDlg final : public wxDialog {
 public:
  CProcessValueDlg(wxWindow* parent, ProcessValueForm& form);
  ~CProcessValueDlg() override;

  // The control of a template id (OK and "Отменить" by kSchemaOk and kSchemaCancel); null for
  // none.
  wxWindow* Control(int id) const;
  CNoCaretAutoDropGrid& Grid() const { return *grid_; }
  wxChoice& CountryList() const { return *countryList_; }
  // The grid's row of schema field `field`; null when the field is not shown.
  wxPGProperty* Row(size_t field) const;

 private:
  void RebuildGrid();
  void FillCountryList();
  void SelectCountryEntry();

  void OnPropertyChanged(wxPropertyGridEvent& event);
  void OnCountryChanged(wxCommandEvent& event);
  void OnDefaults(wxCommandEvent& event);

  ProcessValueForm& form_;
  wxStaticText* countryLabel_ = nullptr;
  wxChoice* countryList_ = nullptr;
  wxButton* defaults_ = nullptr;
  CNoCaretAutoDropGrid* grid_ = nullptr;
  wxButton* ok_ = nullptr;
  wxButton* cancel_ = nullptr;
  // The schema field behind each row of the grid.
  std::map<wxPGProperty*, size_t> fields_;
};

}  // namespace korvan::ui
