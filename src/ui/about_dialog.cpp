#include "ui/about_dialog.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "ui/artwork.h"
#include "ui/dialog_font.h"
#include "ui/dialog_template.h"

namespace korvan::ui {
CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(kAboutTitle.data(), kAboutTitle.size())) {
  SetFont(DialogFont());
  SetClientSize(DialogPixels(*this, kAboutRect).GetSize());

  const wxRect iconRect = DialogPixels(*this, kAboutIconRect);
  const int side = std::min(iconRect.width, iconRect.height);
  new wxStaticBitmap(this, wxID_ANY, IconBitmap(side), iconRect.GetPosition(), wxSize(side, side));
  const wxRect textRect = DialogPixels(*this, kAboutTextRect);
  new wxStaticText(this, wxID_ANY, wxString::FromUTF8(kAboutText.data(), kAboutText.size()),
                   textRect.GetPosition(), textRect.GetSize(), wxST_NO_AUTORESIZE);
  const wxRect okRect = DialogPixels(*this, kAboutOkRect);
  auto* ok =
      new wxButton(this, wxID_OK, wxString::FromUTF8(kAboutOkText.data(), kAboutOkText.size()),
                   okRect.GetPosition(), okRect.GetSize());
  ok->SetDefault();
  SetIcons(AppIcons());
  Centre();
}

}  // namespace korvan::ui
