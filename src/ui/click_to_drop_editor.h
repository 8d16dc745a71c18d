// The property grid of the schema settings dialog and its rows. A row is a list of texts that
// opens on the first click on the row, its name or its value; the grid shows the arrow pointer
// everywhere, never a text cursor or a resize cursor.
#pragma once

#include <wx/arrstr.h>
#include <wx/propgrid/manager.h>
#include <wx/propgrid/property.h>

#include <memory>
#include <vector>

class wxOwnerDrawnComboBox;

namespace korvan::ui {

// A row whose value is a text chosen from `options`; nothing can be typed. The value may be a
// text the list does not hold (a raw value between the list's steps): the row shows it as it
// is, and no entry is marked in the list.
class CClickToDropComboProp final : public wxPGProperty {
 public:
  CClickToDropComboProp(const wxString& label, const wxString& name, const wxArrayString& options,
                        const wxString& value);

  wxString ValueToString(wxVariant& value, int argFlags = 0) const override;
  bool StringToValue(wxVariant& variant, const wxString& text, int argFlags = 0) const override;
  bool IntToValue(wxVariant& variant, int number, int argFlags = 0) const override;

 protected:
  const wxPGEditor* DoGetEditorClass() const override;
};

// The grid, one page, with its column header and, with wxPG_DESCRIPTION, its description area, all
// in `font`. It answers every set-cursor event of its windows with the arrow, and puts the arrow
// back when the toolkit's own code picks another cursor (over the column splitter, the header's
// column edges, the description's edge).
class CNoCaretAutoDropGrid final : public wxPropertyGridManager {
 public:
  CNoCaretAutoDropGrid(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                       long style, const wxFont& font);
  ~CNoCaretAutoDropGrid() override;

  // The list of the row being edited; null when no row is.
  wxOwnerDrawnComboBox* EditorList() const;
  // Closes the row's list when it is open: before the rows or the grid go away.
  void CloseList();

 private:
  class ArrowOnly;

  void KeepArrow(wxWindow& window);
  void OnGridLeftDown(wxMouseEvent& event);

  std::vector<std::unique_ptr<ArrowOnly>> arrows_;
};

}  // namespace korvan::ui
