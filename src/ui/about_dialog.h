// `CAboutDlg`: the About box, reached from the main window's context menu.
#pragma once

#include <wx/dialog.h>

namespace korvan::ui {

class CAboutDlg final : public wxDialog {
 public:
  explicit CAboutDlg(wxWindow* parent);
};

}  // namespace korvan::ui
