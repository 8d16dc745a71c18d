// `CDahlia_UpdaterDlg`: the main window. It builds its controls from the dialog template,
// implements the logic layer's View (and, through WxWindowThread, its window thread) and
// forwards every command to MainWindow; it decides nothing itself.
#pragma once

#include <wx/bitmap.h>
#include <wx/dialog.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "app/view.h"
#include "device/device_events.h"
#include "device/scsi_transport.h"
#include "ui/dialog_template.h"
#include "ui/text_progress_ctrl.h"
#include "ui/wx_window_thread.h"

class wxRadioButton;
class wxStaticBitmap;

namespace korvan::ui {

// What the dialog asks of the desktop. The program uses the real dialogs and browser; tests
// answer in their place.
struct DialogServices {
  // A modal message box; returns when it is closed.
  std::function<void(wxWindow* parent, const wxString& text, const wxString& caption,
                     MessageIcon icon)>
      showMessage;
  // The open-file dialog with a filter "Name(*.x)|*.x": the chosen path, or nullopt.
  std::function<std::optional<std::string>(wxWindow* parent, const wxString& filter)>
      chooseOpenFile;
  // Opens a web address in the desktop's browser.
  std::function<void(const wxString& url)> openBrowser;
  // The About box, modal.
  std::function<void(wxWindow* parent)> showAbout;
  // The menu settings form over `form`, modal: true when it was closed with OK.
  std::function<bool(wxWindow* parent, ParameterForm& form)> runParameterForm;
  // The settings dialog of types 25-27 over `form`, modal: true when it was closed with OK.
  std::function<bool(wxWindow* parent, ProcessValueForm& form)> runSchemaForm;
  // The host's device-change notifications (the platform's own); null: none.
  std::function<std::unique_ptr<DeviceEventSource>()> deviceEvents;

  static DialogServices Desktop();
};

struct MainDialogOptions {
  std::filesystem::path programFolder;
  MainWindowOptions logic;
  std::string siteUrl;  // opened by a click on the logo
  DialogServices services = DialogServices::Desktop();
};

class CDahlia_UpdaterDlg final : public wxDialog, public View {
 public:
  // Creates the window and its controls and runs the initialisation, which starts the device
  // search. Show it with ShowModal (the program) or Show (tests).
  CDahlia_UpdaterDlg(DiskHost& host, MainDialogOptions options);
  ~CDahlia_UpdaterDlg() override;

  // View: every call on the GUI thread.
  void SetControlText(int id, std::string_view text) override;
  void EnableControl(int id, bool enabled) override;
  void ShowControl(int id, bool shown) override;
  void CheckControl(int id, bool checked) override;
  void SetStatusPosition(int position) override;
  void SetStatusText(std::string_view text) override;
  void SetStatusColours(const StatusColours& colours) override;
  void SetStatusShowText(bool show) override;
  void SetVoiceItems(const std::vector<VoiceItem>& items) override;
  int SelectedVoiceData() const override;
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  std::optional<std::string> ChooseOpenFile(std::string_view filter) override;
  bool RunParameterForm(ParameterForm& form) override;
  bool RunSchemaForm(ProcessValueForm& form) override;

  // The control created for a template id (null for none), the status line, and the logic
  // behind the window: for the tests.
  wxWindow* Control(int id) const;
  CTextProgressCtrl& StatusBar() { return slotBars_[0]; }
  const MainWindow& Logic() const { return *logic_; }
  // After the close: a worker stuck in a device command was let go (MainWindow::OnClose).
  bool WorkersLetGo() const { return workersLetGo_; }

 private:
  void CreateControls();
  wxWindow* CreateControl(const ControlTemplate& control, const wxRect& pixels);
  void BindEvents();
  // Ends the dialog as the framework does: modal loop ended, or hidden when shown modeless.
  void EndDialog(int code);
  void CloseDown();

  void OnCommand(wxCommandEvent& event);
  void OnEnd(wxCommandEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnCharHook(wxKeyEvent& event);
  // Pointer events of the dialog and of its controls, in the dialog's client pixels.
  wxPoint ClientPoint(const wxMouseEvent& event) const;
  void OnMouseMove(wxMouseEvent& event);
  void OnMouseLeave(wxMouseEvent& event);
  void ShowLogo(const wxBitmap& bitmap);
  void OnLeftDown(wxMouseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);

  // The keyboard focus, kept on a control that can take it while controls are disabled,
  // hidden, enabled and shown.
  bool HoldsFocus(const wxWindow& control) const;
  bool FocusOnUsableControl() const;
  void KeepFocus(wxWindow& changed, bool hadFocus);

  MainDialogOptions options_;
  WxWindowThread window_;
  SlotProgressBarArray slotBars_;
  std::map<int, wxWindow*> controls_;
  wxStaticBitmap* logo_ = nullptr;
  // Checked while no package country has been chosen: the country radios' group then shows
  // neither checked. Never shown.
  wxRadioButton* noCountryRadio_ = nullptr;
  wxBitmap logoPlain_;       // resource 150
  wxBitmap logoUnderMouse_;  // resource 157
  int logoHover_ = 0;
  bool holdsOwnFocus_ = false;  // the dialog itself has the focus: no control can take it
  bool closedDown_ = false;
  bool workersLetGo_ = false;
  std::unique_ptr<MainWindow> logic_;
  // The detector's removal ends the window. The disk list is the simulated host's own when the
  // devices are simulated, else the system's. On Windows the notifications are the window's
  // own WM_DEVICECHANGE messages; elsewhere they come from the platform's event source.
  void WatchDeviceRemoval(DiskHost& host);
#ifdef __WXMSW__
  WXLRESULT MSWWindowProc(WXUINT message, WXWPARAM wParam, WXLPARAM lParam) override;
#endif
  void OnDeviceChange(const DeviceChangeEvent& event);
  std::unique_ptr<EnumeratedDisks> ownDisks_;
  const EnumeratedDisks* disks_ = nullptr;
  std::unique_ptr<DeviceEventSource> deviceEvents_;
};

}  // namespace korvan::ui
