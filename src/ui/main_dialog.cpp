#include "ui/main_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <cstdio>

#include "app/control_ids.h"
#include "app/device_removal.h"
#include "device/device_change_message.h"
#include "device/platform_host.h"
#include "ui/about_dialog.h"
#include "ui/artwork.h"
#include "ui/dialog_font.h"
#include "ui/parameter_dialog.h"
#include "ui/process_value_dialog.h"
#include "ui/template_controls.h"

namespace korvan::ui {
namespace {

wxColour Colour(const Rgb& rgb) {
  return wxColour(rgb.r, rgb.g, rgb.b);
}

// The dialog keeps its window ids except for End, which is the cancel button so that Esc
// presses it.
int WindowId(int templateId) {
  if (templateId == ids::kEnd) {
    return wxID_CANCEL;
  }
  return templateId < 0 ? wxID_ANY : templateId;
}

// "Bin file(*.bin)|*.bin|": the trailing separator ends the list where Windows wants it; the
// wxWidgets form has none.
wxString WxFilter(std::string_view filter) {
  while (!filter.empty() && filter.back() == '|') {
    filter.remove_suffix(1);
  }
  return Utf8(filter);
}

long MessageIconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return wxICON_INFORMATION;
    case MessageIcon::Error:
      return wxICON_ERROR;
    case MessageIcon::None:
      break;
  }
  return wxICON_NONE;
}

// GTK gives radio and check buttons more room around the indicator than the dialog was
// drawn for, and complains when a 10-unit row is under its minimum: such a control grows to
// its natural size, left edge kept and centred on its row, so no label is cut.
void FitIndicatorSize(wxWindow& window, ControlKind kind) {
  if (kind != ControlKind::Radio && kind != ControlKind::CheckBox) {
    return;
  }
  const wxRect rect = window.GetRect();
  const wxSize natural = window.GetBestSize();
  const int height = std::max(rect.height, natural.y);
  window.SetSize(rect.x, rect.y - (height - rect.height) / 2, std::max(rect.width, natural.x),
                 height);
}

}  // namespace

DialogServices DialogServices::Desktop() {
  DialogServices services;
  services.showMessage = [](wxWindow* parent, const wxString& text, const wxString& caption,
                            MessageIcon icon) {
    wxMessageDialog box(parent, text, caption, wxOK | MessageIconStyle(icon));
    box.ShowModal();
  };
  services.chooseOpenFile = [](wxWindow* parent,
                               const wxString& filter) -> std::optional<std::string> {
    wxFileDialog dialog(parent, wxFileSelectorPromptStr, wxEmptyString, wxEmptyString, filter,
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) {
      return std::nullopt;
    }
    return dialog.GetPath().utf8_string();
  };
  services.openBrowser = [](const wxString& url) { wxLaunchDefaultBrowser(url); };
  services.showAbout = [](wxWindow* parent) {
    CAboutDlg about(parent);
    about.ShowModal();
  };
  services.runParameterForm = [](wxWindow* parent, ParameterForm& form) {
    CParameterDlg dialog(parent, form);
    return dialog.ShowModal() == wxID_OK;
  };
  services.runSchemaForm = [](wxWindow* parent, ProcessValueForm& form) {
    CProcessValueDlg dialog(parent, form);
    return dialog.ShowModal() == wxID_OK;
  };
  services.deviceEvents = [] { return MakePlatformDeviceEvents(); };
  return services;
}

CDahlia_UpdaterDlg::CDahlia_UpdaterDlg(DiskHost& host, MainDialogOptions options)
    : wxDialog(nullptr, wxID_ANY, Utf8(kTemplateTitle), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxCLOSE_BOX | wxMINIMIZE_BOX | wxSYSTEM_MENU | wxDIALOG_NO_PARENT),
      options_(std::move(options)) {
  // Dialog units follow the font, so it is set before anything is measured or created.
  SetFont(DialogFont());
  CreateControls();
  SetIcons(AppIcons());
  SetTitle(Utf8(kMainWindowTitle));

  wxAcceleratorEntry serviceMode(wxACCEL_CTRL, 'A', kServiceModeCommand);
  SetAcceleratorTable(wxAcceleratorTable(1, &serviceMode));
  BindEvents();

  logic_ =
      std::make_unique<MainWindow>(host, window_, *this, options_.programFolder, options_.logic);
  logic_->OnInitDialog();
  WatchDeviceRemoval(host);
  Centre();
}

void CDahlia_UpdaterDlg::WatchDeviceRemoval(DiskHost& host) {
  disks_ = dynamic_cast<const EnumeratedDisks*>(&host);
  if (disks_ == nullptr) {
    ownDisks_ = MakePlatformDiskList();
    disks_ = ownDisks_.get();
  }
#ifdef __WXMSW__
  // MSWWindowProc hears of every device change.
#else
  if (!options_.services.deviceEvents) {
    return;
  }
  deviceEvents_ = options_.services.deviceEvents();
  if (deviceEvents_ == nullptr) {
    return;
  }
  std::string why;
  // Each notification is handled on the window thread, in the order it came.
  if (!deviceEvents_->Start(
          [this](const DeviceChangeEvent& event) {
            window_.Post([this, event] { OnDeviceChange(event); });
          },
          why)) {
    std::fprintf(stderr, "korvan-updater: unplugging the detector will not close the window: %s\n",
                 why.c_str());
    deviceEvents_.reset();
  }
#endif
}

#ifdef __WXMSW__
WXLRESULT CDahlia_UpdaterDlg::MSWWindowProc(WXUINT message, WXWPARAM wParam, WXLPARAM lParam) {
  if (message == WM_DEVICECHANGE && disks_ != nullptr) {
    // The header lives only while the message is handled, so it is read now; the handling
    // follows once the message has returned: the system waits for every window's answer to a
    // broadcast, and the close must not run inside it.
    const DeviceChangeEvent event =
        DecodeDeviceChange(static_cast<uint32_t>(wParam), reinterpret_cast<const void*>(lParam));
    window_.Post([this, event] { OnDeviceChange(event); });
  }
  return wxDialog::MSWWindowProc(message, wParam, lParam);
}
#endif

void CDahlia_UpdaterDlg::OnDeviceChange(const DeviceChangeEvent& event) {
  if (!closedDown_ && RemovalEndsProgram(event, *disks_)) {
    // As End does: the workers stop (an update being written ends as a parked one), the
    // working copies go, and the dialog ends with Cancel.
    Close();
  }
}

CDahlia_UpdaterDlg::~CDahlia_UpdaterDlg() {
  if (deviceEvents_ != nullptr) {
    deviceEvents_->Stop();  // posts nothing more
  }
  // No posted task may run once the logic and the controls are going.
  window_.Close();
  logic_.reset();
  DestroyChildren();
}

void CDahlia_UpdaterDlg::CreateControls() {
  const DialogRect area = MainDialogClientArea();
  SetClientSize(ConvertDialogToPixels(wxSize(area.width, area.height)));
  for (const ControlTemplate& control : MainDialogTemplate()) {
    wxWindow* window = CreateControl(control, DialogPixels(*this, control.rect));
    FitIndicatorSize(*window, control.kind);
    if (control.hidden) {
      window->Hide();
    }
    if (control.id >= 0) {
      controls_[control.id] = window;
    }
    if (control.id == ids::kUzbekistanRadio) {
      // A toolkit radio group always shows one radio checked, and a country is chosen only
      // by the user: this one, created next so that it joins the pair's group, stands for "no
      // country yet".
      noCountryRadio_ = new wxRadioButton(this, wxID_ANY, wxEmptyString, window->GetPosition());
      noCountryRadio_->Hide();
      noCountryRadio_->SetValue(true);
    }
  }
}

wxWindow* CDahlia_UpdaterDlg::CreateControl(const ControlTemplate& control, const wxRect& pixels) {
  const int id = WindowId(control.id);
  const wxPoint pos = pixels.GetPosition();
  const wxSize size = pixels.GetSize();
  switch (control.kind) {
    case ControlKind::StaticBitmap:
      logoPlain_ = LogoBitmap(false, size);
      logoUnderMouse_ = LogoBitmap(true, size);
      logo_ = new wxStaticBitmap(this, id, logoPlain_, pos, size);
      return logo_;
    case ControlKind::DropDownList:
      return new wxChoice(this, id, pos, wxSize(size.x, -1));
    case ControlKind::ProgressBar:
      slotBars_[0].Create(this, id, pos, size);
      return slotBars_[0].GetWindow();
    default:
      return CreatePlainControl(this, id, control, pixels);
  }
}

void CDahlia_UpdaterDlg::BindEvents() {
  Bind(wxEVT_BUTTON, &CDahlia_UpdaterDlg::OnEnd, this, wxID_CANCEL);
  Bind(wxEVT_BUTTON, &CDahlia_UpdaterDlg::OnCommand, this);
  Bind(wxEVT_RADIOBUTTON, &CDahlia_UpdaterDlg::OnCommand, this);
  Bind(wxEVT_CHECKBOX, &CDahlia_UpdaterDlg::OnCommand, this);
  Bind(wxEVT_MENU, &CDahlia_UpdaterDlg::OnCommand, this);
  Bind(wxEVT_CLOSE_WINDOW, &CDahlia_UpdaterDlg::OnClose, this);
  Bind(wxEVT_CHAR_HOOK, &CDahlia_UpdaterDlg::OnCharHook, this);
  // The toolkit hands the pointer's events over a control to that control, the logo
  // picture's included (it has no window of its own, yet takes them from the dialog): the
  // hover follows the pointer over every control, and a click on the picture counts too.
  for (wxWindow* window : {static_cast<wxWindow*>(this), static_cast<wxWindow*>(logo_)}) {
    window->Bind(wxEVT_LEFT_DOWN, &CDahlia_UpdaterDlg::OnLeftDown, this);
    window->Bind(wxEVT_LEAVE_WINDOW, &CDahlia_UpdaterDlg::OnMouseLeave, this);
  }
  Bind(wxEVT_MOTION, &CDahlia_UpdaterDlg::OnMouseMove, this);
  for (wxWindow* child : GetChildren()) {
    child->Bind(wxEVT_MOTION, &CDahlia_UpdaterDlg::OnMouseMove, this);
  }
  Bind(wxEVT_CONTEXT_MENU, &CDahlia_UpdaterDlg::OnContextMenu, this);
}

void CDahlia_UpdaterDlg::OnCommand(wxCommandEvent& event) {
  switch (event.GetId()) {
    case ids::kOpenButton:
      logic_->OnOpen();
      break;
    case ids::kUploadButton:
      logic_->OnUpload();
      break;
    case ids::kMenuSettingsButton:
      logic_->OnMenuSettings();
      break;
    case ids::kDownloadButton:
      logic_->OnDownload();
      break;
    case ids::kServerSourceRadio:
      logic_->OnServerSource();
      break;
    case ids::kFileSourceRadio:
      logic_->OnFileSource();
      break;
    case ids::kRussiaRadio:
    case ids::kUzbekistanRadio:
      logic_->OnPackageCountry(event.GetId());
      break;
    case ids::kVerifyCheck:
      logic_->OnVerifyChanged(event.IsChecked());
      break;
    case ids::kReadButton:
      logic_->OnRead();
      break;
    case ids::kEraseButton:
      logic_->OnErase();
      break;
    case kServiceModeCommand:
      logic_->OnServiceMode();
      break;
    case kAboutCommand:
      options_.services.showAbout(this);
      break;
    default:
      // The hidden upload-mode radios and the test button are never shown.
      event.Skip();
      break;
  }
}

void CDahlia_UpdaterDlg::OnEnd(wxCommandEvent&) {
  // End closes the window the way its close box does: the clean-up runs, then the dialog ends
  // with Cancel.
  Close();
}

void CDahlia_UpdaterDlg::OnClose(wxCloseEvent&) {
  CloseDown();
  EndDialog(wxID_CANCEL);
}

void CDahlia_UpdaterDlg::CloseDown() {
  if (closedDown_) {
    return;
  }
  closedDown_ = true;
  if (deviceEvents_ != nullptr) {
    deviceEvents_->Stop();
  }
  // Tasks still queued are dropped first: a worker waiting on one is then released and the
  // workers can be joined.
  window_.Close();
  workersLetGo_ = !logic_->OnClose();
}

void CDahlia_UpdaterDlg::EndDialog(int code) {
  if (IsModal()) {
    EndModal(code);
  } else {
    SetReturnCode(code);
    Hide();
  }
}

void CDahlia_UpdaterDlg::OnCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  const bool enter = key == WXK_RETURN || key == WXK_NUMPAD_ENTER;
  const bool onButton = dynamic_cast<wxButton*>(wxWindow::FindFocus()) != nullptr;
  if (enter && !onButton && event.GetModifiers() == wxMOD_NONE) {
    // The dialog's default command: it ends the dialog with OK, without the close clean-up.
    // Not while End is disabled: the window may not end then (an update is writing to the
    // device), and the focus kept on a control must not let Enter end it.
    if (wxWindow* end = Control(ids::kEnd); end != nullptr && end->IsEnabled()) {
      EndDialog(wxID_OK);
    }
    return;
  }
  event.Skip();
}

wxPoint CDahlia_UpdaterDlg::ClientPoint(const wxMouseEvent& event) const {
  const auto* source = dynamic_cast<wxWindow*>(event.GetEventObject());
  if (source == nullptr || source == this) {
    return event.GetPosition();
  }
  return ScreenToClient(source->ClientToScreen(event.GetPosition()));
}

void CDahlia_UpdaterDlg::OnMouseMove(wxMouseEvent& event) {
  // A control's own handling of the pointer goes on.
  event.Skip();
  const wxPoint at = ClientPoint(event);
  if (InLogoRect(at.x, at.y)) {
    SetCursor(wxCursor(wxCURSOR_HAND));
    ShowLogo(logoUnderMouse_);
    logoHover_ = 1;
  } else if (logoHover_ != 0) {
    SetCursor(wxCursor(wxCURSOR_ARROW));
    ShowLogo(logoPlain_);
  }
}

void CDahlia_UpdaterDlg::OnMouseLeave(wxMouseEvent& event) {
  // The pointer can leave the window straight from the rectangle, with no move outside it.
  event.Skip();
  if (logoHover_ != 0) {
    SetCursor(wxCursor(wxCURSOR_ARROW));
    ShowLogo(logoPlain_);
  }
}

void CDahlia_UpdaterDlg::ShowLogo(const wxBitmap& bitmap) {
  // Every move inside the rectangle asks for the picture again; only a change is redrawn.
  if (!logo_->GetBitmap().IsSameAs(bitmap)) {
    logo_->SetBitmap(bitmap);
  }
}

void CDahlia_UpdaterDlg::OnLeftDown(wxMouseEvent& event) {
  const wxPoint at = ClientPoint(event);
  if (InLogoRect(at.x, at.y)) {
    options_.services.openBrowser(Utf8(options_.siteUrl));
  }
  event.Skip();
}

void CDahlia_UpdaterDlg::OnContextMenu(wxContextMenuEvent&) {
  // The caption here has no window menu to hold the About item; the dialog's own context
  // menu holds it instead.
  wxMenu menu;
  menu.Append(kAboutCommand, Utf8(kAboutItemText));
  PopupMenu(&menu);
}

wxWindow* CDahlia_UpdaterDlg::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void CDahlia_UpdaterDlg::SetControlText(int id, std::string_view text) {
  wxWindow* window = Control(id);
  if (window == nullptr) {
    return;
  }
  if (id == ids::kStatusBar) {
    StatusBar().SetWindowText(Utf8(text));
  } else if (auto* edit = dynamic_cast<wxTextCtrl*>(window)) {
    edit->ChangeValue(Utf8(text));
  } else {
    window->SetLabel(Utf8(text));
  }
}

void CDahlia_UpdaterDlg::EnableControl(int id, bool enabled) {
  if (wxWindow* window = Control(id)) {
    const bool hadFocus = HoldsFocus(*window);
    window->Enable(enabled);
    KeepFocus(*window, hadFocus);
  }
}

void CDahlia_UpdaterDlg::ShowControl(int id, bool shown) {
  if (wxWindow* window = Control(id)) {
    const bool hadFocus = HoldsFocus(*window);
    window->Show(shown);
    KeepFocus(*window, hadFocus);
  }
}

bool CDahlia_UpdaterDlg::HoldsFocus(const wxWindow& control) const {
  wxWindow* focus = FindFocus();
  return focus != nullptr && control.IsDescendant(focus);
}

bool CDahlia_UpdaterDlg::FocusOnUsableControl() const {
  wxWindow* focus = FindFocus();
  if (focus == nullptr || focus == this || !IsDescendant(focus)) {
    return false;
  }
  while (focus->GetParent() != this) {
    focus = focus->GetParent();
  }
  return focus->CanAcceptFocus();
}

void CDahlia_UpdaterDlg::KeepFocus(wxWindow& changed, bool hadFocus) {
  // GTK takes the keyboard focus from a control it disables or hides and gives it to no
  // other: the keys then reach no window, so neither Esc (End's) nor the Ctrl+A accelerator
  // works until a click. Before the window is first shown the toolkit places the focus.
  if (!IsShown()) {
    return;
  }
  const bool usable = changed.CanAcceptFocus();
  const bool lost = hadFocus && !usable;
  const bool regained = !hadFocus && usable && !FocusOnUsableControl();
  if (!lost && !regained) {
    return;
  }
  // End first (it closes the window, as Esc does), else the next control in tab order.
  wxWindow* target = nullptr;
  if (wxWindow* end = Control(ids::kEnd); end != nullptr && end->CanAcceptFocus()) {
    target = end;
  } else {
    const wxWindowList& children = GetChildren();
    auto next = std::find(children.begin(), children.end(), &changed);
    for (size_t step = 0; step < children.size() && target == nullptr; ++step) {
      if (next != children.end()) {
        ++next;
      }
      if (next == children.end()) {
        next = children.begin();
      }
      if ((*next)->CanAcceptFocus()) {
        target = *next;
      }
    }
  }
  if (target != nullptr) {
    if (holdsOwnFocus_) {
      // Focusable itself, the dialog would take every Tab for itself.
      SetCanFocus(false);
      holdsOwnFocus_ = false;
    }
    target->SetFocus();
  } else {
    // Nothing can take it: the dialog keeps it, so the accelerator still arrives. Its client
    // area takes the focus only when allowed to.
    SetCanFocus(true);
    holdsOwnFocus_ = true;
    SetFocus();
  }
}

void CDahlia_UpdaterDlg::CheckControl(int id, bool checked) {
  wxWindow* window = Control(id);
  if (auto* radio = dynamic_cast<wxRadioButton*>(window)) {
    // A radio is unchecked by checking another of its group; the country pair has a hidden
    // one for that.
    if (checked) {
      radio->SetValue(true);
    } else if ((id == ids::kRussiaRadio || id == ids::kUzbekistanRadio) && radio->GetValue()) {
      noCountryRadio_->SetValue(true);
    }
  } else if (auto* box = dynamic_cast<wxCheckBox*>(window)) {
    box->SetValue(checked);
  }
}

void CDahlia_UpdaterDlg::SetStatusPosition(int position) {
  StatusBar().SetPosition(position);
}

void CDahlia_UpdaterDlg::SetStatusText(std::string_view text) {
  StatusBar().SetWindowText(Utf8(text));
}

void CDahlia_UpdaterDlg::SetStatusColours(const StatusColours& colours) {
  StatusBar().SetBarColour(Colour(colours.bar));
  StatusBar().SetBackgroundColour(Colour(colours.background));
  StatusBar().SetTextColourOnBackground(Colour(colours.textOnBackground));
  StatusBar().SetTextColourOnBar(Colour(colours.textOnBar));
}

void CDahlia_UpdaterDlg::SetStatusShowText(bool show) {
  StatusBar().SetShowText(show);
}

int CDahlia_UpdaterDlg::SelectedVoiceData() const {
  auto* combo = dynamic_cast<wxChoice*>(Control(ids::kVoiceCombo));
  if (combo == nullptr || combo->GetSelection() == wxNOT_FOUND) {
    return -1;
  }
  return static_cast<int>(reinterpret_cast<intptr_t>(
      combo->GetClientData(static_cast<unsigned>(combo->GetSelection()))));
}

void CDahlia_UpdaterDlg::SetVoiceItems(const std::vector<VoiceItem>& items) {
  auto* combo = dynamic_cast<wxChoice*>(Control(ids::kVoiceCombo));
  if (combo == nullptr) {
    return;
  }
  combo->Clear();
  for (const VoiceItem& item : items) {
    combo->Append(Utf8(item.text), reinterpret_cast<void*>(static_cast<intptr_t>(item.itemData)));
  }
  if (!items.empty()) {
    combo->SetSelection(0);
  }
}

void CDahlia_UpdaterDlg::ShowMessage(std::string_view text, std::string_view caption,
                                     MessageIcon icon) {
  options_.services.showMessage(this, Utf8(text), caption.empty() ? GetTitle() : Utf8(caption),
                                icon);
}

std::optional<std::string> CDahlia_UpdaterDlg::ChooseOpenFile(std::string_view filter) {
  return options_.services.chooseOpenFile(this, WxFilter(filter));
}

bool CDahlia_UpdaterDlg::RunParameterForm(ParameterForm& form) {
  return options_.services.runParameterForm(this, form);
}

bool CDahlia_UpdaterDlg::RunSchemaForm(ProcessValueForm& form) {
  return options_.services.runSchemaForm(this, form);
}

}  // namespace korvan::ui
