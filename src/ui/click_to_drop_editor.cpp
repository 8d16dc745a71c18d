#include "ui/click_to_drop_editor.h"

#include <wx/headerctrl.h>
#include <wx/odcombo.h>
#include <wx/propgrid/editors.h>
#include <wx/propgrid/propgrid.h>

namespace korvan::ui {
namespace {

constexpr const char* kEditorName = "ClickToDropChoice";

// The toolkit's list editor, which opens the list only on a second click: the first one
// creates the editor. When a click created it, the list opens as soon as the click is handled.
class ClickToDropChoiceEditor final : public wxPGChoiceEditor {
 public:
  wxString GetName() const override { return kEditorName; }

  wxPGWindowList CreateControls(wxPropertyGrid* grid, wxPGProperty* property, const wxPoint& pos,
                                const wxSize& size) const override {
    wxPGWindowList windows = wxPGChoiceEditor::CreateControls(grid, property, pos, size);
    if (grid->HasInternalFlag(wxPG_FL_ACTIVATION_BY_CLICK)) {
      if (auto* list = dynamic_cast<wxOwnerDrawnComboBox*>(windows.GetPrimary())) {
        // A list that goes away first takes the call with it.
        list->CallAfter([list] { list->Popup(); });
      }
    }
    return windows;
  }
};

// Registered once per run of the toolkit, which owns it from then on.
const wxPGEditor* ClickToDropEditor() {
  const auto found = wxPGGlobalVars->m_mapEditorClasses.find(kEditorName);
  if (found != wxPGGlobalVars->m_mapEditorClasses.end()) {
    return static_cast<const wxPGEditor*>(found->second);
  }
  return wxPropertyGrid::RegisterEditorClass(new ClickToDropChoiceEditor);
}

}  // namespace

CClickToDropComboProp::CClickToDropComboProp(const wxString& label, const wxString& name,
                                             const wxArrayString& options, const wxString& value)
    : wxPGProperty(label, name) {
  // The form gives each text once.
  m_choices.Set(options);
  m_value = value;
}

wxString CClickToDropComboProp::ValueToString(wxVariant& value, int) const {
  return value.IsNull() ? wxString() : value.GetString();
}

bool CClickToDropComboProp::StringToValue(wxVariant& variant, const wxString& text, int) const {
  if (!variant.IsNull() && variant.GetString() == text) {
    return false;
  }
  variant = text;
  return true;
}

bool CClickToDropComboProp::IntToValue(wxVariant& variant, int number, int) const {
  if (number < 0 || number >= static_cast<int>(m_choices.GetCount())) {
    return false;
  }
  return StringToValue(variant, m_choices.GetLabel(static_cast<unsigned int>(number)));
}

const wxPGEditor* CClickToDropComboProp::DoGetEditorClass() const {
  return ClickToDropEditor();
}

// Pushed onto a window of the grid: the set-cursor event is answered with the arrow before the
// window sees it, and after any other event the window's own cursor is the arrow again.
class CNoCaretAutoDropGrid::ArrowOnly final : public wxEvtHandler {
 public:
  explicit ArrowOnly(wxWindow& window) : window_(window) { window_.PushEventHandler(this); }
  ~ArrowOnly() override { window_.RemoveEventHandler(this); }
  ArrowOnly(const ArrowOnly&) = delete;
  ArrowOnly& operator=(const ArrowOnly&) = delete;

  bool ProcessEvent(wxEvent& event) override {
    if (event.GetEventType() == wxEVT_SET_CURSOR) {
      static_cast<wxSetCursorEvent&>(event).SetCursor(*wxSTANDARD_CURSOR);
      return true;
    }
    const bool processed = wxEvtHandler::ProcessEvent(event);
    // The toolkit's code sets its resize cursors while it handles the pointer's motion.
    if (!window_.GetCursor().IsSameAs(*wxSTANDARD_CURSOR)) {
      window_.SetCursor(*wxSTANDARD_CURSOR);
    }
    return processed;
  }

 private:
  wxWindow& window_;
};

CNoCaretAutoDropGrid::CNoCaretAutoDropGrid(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                           const wxSize& size, long style, const wxFont& font)
    : wxPropertyGridManager(parent, id, pos, size, style & ~wxPG_DESCRIPTION) {
  // The header and the description's texts take the font they are created with: they are
  // made once the grid has its own.
  SetFont(font);
  AddPage();  // the only page: the header follows the current one
  ShowHeader();
  SetWindowStyleFlag(style);
  KeepArrow(*this);
  KeepArrow(*GetGrid());
  for (wxWindow* child : GetChildren()) {
    if (dynamic_cast<wxHeaderCtrl*>(child) != nullptr) {
      KeepArrow(*child);
    }
  }
  GetGrid()->Bind(wxEVT_LEFT_DOWN, &CNoCaretAutoDropGrid::OnGridLeftDown, this);
}

CNoCaretAutoDropGrid::~CNoCaretAutoDropGrid() {
  CloseList();
  // The pushed handlers leave before the windows they sit on.
  arrows_.clear();
}

void CNoCaretAutoDropGrid::KeepArrow(wxWindow& window) {
  arrows_.push_back(std::make_unique<ArrowOnly>(window));
  window.SetCursor(*wxSTANDARD_CURSOR);
}

wxOwnerDrawnComboBox* CNoCaretAutoDropGrid::EditorList() const {
  return dynamic_cast<wxOwnerDrawnComboBox*>(GetGrid()->GetEditorControl());
}

void CNoCaretAutoDropGrid::CloseList() {
  if (wxOwnerDrawnComboBox* list = EditorList(); list != nullptr && list->IsPopupShown()) {
    list->Dismiss();
  }
}

// A click on a row's name selects the row, which creates its editor without opening it: the
// list opens once the grid has handled the click. A click on the value opens it through the
// editor; one on the splitter between the columns is left to move the splitter.
void CNoCaretAutoDropGrid::OnGridLeftDown(wxMouseEvent& event) {
  event.Skip();
  wxPropertyGrid* grid = GetGrid();
  const wxPropertyGridHitTestResult hit = grid->HitTest(event.GetPosition());
  auto* row = dynamic_cast<CClickToDropComboProp*>(hit.GetProperty());
  if (row == nullptr || hit.GetColumn() != 0 || hit.GetSplitter() >= 0 || !row->IsEnabled()) {
    return;
  }
  CallAfter([this, row] {
    if (GetGrid()->GetSelection() != row) {
      return;  // the click did not select it, or the rows have been rebuilt since
    }
    if (wxOwnerDrawnComboBox* list = EditorList(); list != nullptr && !list->IsPopupShown()) {
      list->Popup();
    }
  });
}

}  // namespace korvan::ui
