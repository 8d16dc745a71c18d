// The main window on the X display, against simulated devices: its states, the local-file flow
// through its controls, service mode, the logo, closing, and its layout.
#include "ui/main_dialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/backup_store.h"
#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/show_result.h"
#include "app/update_worker.h"
#include "device/model_catalogue.h"
#include "device/voice_names.h"
#include "emulator/device_images.h"
#include "emulator/device_presets.h"
#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/ui/modal_dialog_script.h"
#include "tests/ui/shown_cursor.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/dialog_template.h"
#include "ui/parameter_dialog.h"
#include "ui/parameter_dialog_template.h"

namespace korvan::ui {
namespace {

using namespace std::chrono_literals;
using korvan::testing::MovePointer;
using korvan::testing::PressKey;
using korvan::testing::PumpEvents;
using korvan::testing::PumpUntil;
using korvan::testing::ScopedTempDir;
using korvan::testing::ShownCursor;

constexpr int kDrive = 2;

// The host's device notifications, sent by the test from a thread of their own, as udev's
// come.
class FakeDeviceEvents final : public DeviceEventSource {
 public:
  explicit FakeDeviceEvents(std::shared_ptr<Listener> slot) : slot_(std::move(slot)) {}
  bool Start(Listener listener, std::string&) override {
    *slot_ = std::move(listener);
    return true;
  }
  void Stop() override { *slot_ = nullptr; }

 private:
  std::shared_ptr<Listener> slot_;
};

std::string Utf8(const wxString& text) {
  return text.utf8_string();
}

class MainDialogTest : public ::testing::Test {
 protected:
  ~MainDialogTest() override { Close(); }

  void Plug(const emu::PresetOptions& preset) {
    device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
    host.Attach(kDrive, device);
  }

  void Open() {
    MainDialogOptions options;
    options.programFolder = folder.path();
    options.logic.detection.scanInterval = 5ms;
    options.siteUrl = "https://site.test/";
    options.logic.serverUrl = serverUrl;
    options.services.showMessage = [this](wxWindow*, const wxString& text, const wxString&,
                                          MessageIcon) { messages.push_back(Utf8(text)); };
    options.services.chooseOpenFile = [this](wxWindow*, const wxString& filter) {
      filters.push_back(Utf8(filter));
      return nextFile;
    };
    options.services.openBrowser = [this](const wxString& url) { urls.push_back(Utf8(url)); };
    options.services.showAbout = [this](wxWindow*) { ++aboutBoxes; };
    options.services.deviceEvents = [this] { return std::make_unique<FakeDeviceEvents>(notify); };
    dialog = std::make_unique<CDahlia_UpdaterDlg>(host, std::move(options));
    dialog->Show();
    PumpEvents();
  }

  void Close() {
    dialog.reset();
    PumpEvents(10ms);
  }

  bool WaitReady() {
    return PumpUntil(
        [this] { return dialog->Logic().State().detectionPhase == DetectionPhase::Ready; });
  }

  // A simulated device of `rawType` plugged in and the window open on it, identified.
  emu::PresetOptions OpenReady(uint8_t rawType) {
    emu::PresetOptions preset;
    preset.rawType = rawType;
    Plug(preset);
    Open();
    EXPECT_TRUE(WaitReady());
    return preset;
  }

  std::string Label(int id) const { return Utf8(dialog->Control(id)->GetLabel()); }

  // A volume's removal, told from another thread.
  void VolumeRemoved() {
    std::thread([listener = *notify] {
      listener(DeviceChangeEvent{DeviceChange::RemoveComplete, true, true});
    }).join();
  }

  // A real click in the middle of the control.
  void Click(int id) {
    wxWindow* control = dialog->Control(id);
    ASSERT_NE(control, nullptr) << id;
    ASSERT_TRUE(korvan::testing::ClickControl(*control)) << id;
  }

  // A point of the dialog's client area, on the screen.
  wxPoint At(const wxPoint& client) const { return dialog->ClientToScreen(client); }
  wxPoint At(int x, int y) const { return At(wxPoint(x, y)); }
  // A point of the window with no control on it: inside the template's margin.
  wxPoint Background() const { return At(dialog->GetClientSize().x - 5, 5); }

  // A newer update file for the device chosen with the file-source radio and Open, then
  // uploaded with the mouse.
  void StartLocalUpdate(const emu::PresetOptions& preset) {
    const auto file =
        emu::WriteUpdateFile(folder / "sample", emu::MakeUpdateFile(emu::NewerUpdateFile(preset)));
    ASSERT_TRUE(file.has_value());
    nextFile = file->string();
    Click(ids::kFileSourceRadio);
    ASSERT_TRUE(dialog->Control(ids::kOpenButton)->IsEnabled());
    Click(ids::kOpenButton);
    ASSERT_TRUE(dialog->Control(ids::kUploadButton)->IsEnabled());
    Click(ids::kUploadButton);
  }

  // ... and returns once the run has finished.
  void RunLocalUpdate(const emu::PresetOptions& preset) {
    ASSERT_NO_FATAL_FAILURE(StartLocalUpdate(preset));
    ASSERT_TRUE(PumpUntil(
        [this] { return dialog->Logic().State().updatePhase == UpdatePhase::Finished; }, 120s));
    PumpEvents();
  }

  std::vector<std::string> VoiceList() const {
    std::vector<std::string> texts;
    for (const wxString& text :
         static_cast<wxChoice*>(dialog->Control(ids::kVoiceCombo))->GetStrings()) {
      texts.push_back(Utf8(text));
    }
    return texts;
  }

  // The controls a user could act on now: shown and enabled.
  std::set<int> ActiveInputs() const {
    std::set<int> active;
    for (const ControlTemplate& control : MainDialogTemplate()) {
      const bool input =
          control.kind == ControlKind::Button || control.kind == ControlKind::Radio ||
          control.kind == ControlKind::CheckBox || control.kind == ControlKind::DropDownList;
      wxWindow* window = dialog->Control(control.id);
      if (input && window != nullptr && window->IsShown() && window->IsEnabled()) {
        active.insert(control.id);
      }
    }
    return active;
  }

  ScopedTempDir folder{"korvan_ui"};
  emu::SimulatedDiskHost host;
  std::shared_ptr<emu::SimulatedDevice> device;
  std::unique_ptr<CDahlia_UpdaterDlg> dialog;
  std::shared_ptr<DeviceEventSource::Listener> notify =
      std::make_shared<DeviceEventSource::Listener>();
  std::vector<std::string> messages;
  std::vector<std::string> filters;
  std::vector<std::string> urls;
  std::optional<std::string> nextFile;
  std::string serverUrl;  // the update server's download directory
  int aboutBoxes = 0;
};

TEST_F(MainDialogTest, StartsSearchingWithOnlyEndAndServerSourceActive) {
  Open();  // no device: the search goes on
  EXPECT_EQ(Utf8(dialog->GetTitle()), "Korvan Updater v7.23");
  EXPECT_EQ(ActiveInputs(), (std::set<int>{ids::kEnd, ids::kServerSourceRadio}));

  auto* verify = static_cast<wxCheckBox*>(dialog->Control(ids::kVerifyCheck));
  EXPECT_TRUE(verify->GetValue());
  EXPECT_FALSE(verify->IsEnabled());
  EXPECT_TRUE(static_cast<wxRadioButton*>(dialog->Control(ids::kServerSourceRadio))->GetValue());
  for (const int id :
       {ids::kModelText, ids::kFwVersionText, ids::kDbVersionText, ids::kVoiceVersionText,
        ids::kFileFwVersionText, ids::kFileVoiceVersionText, ids::kFileDbText, ids::kFwResultText,
        ids::kVoiceResultText, ids::kDbResultText}) {
    EXPECT_EQ(Label(id), kBlankFieldText) << id;
  }
  EXPECT_EQ(Utf8(dialog->StatusBar().GetText()), kSearchingText);
  for (const int id : {ids::kReadButton, ids::kEraseButton, ids::kAuxLabel, ids::kRussiaRadio,
                       ids::kUploadModeRadio, ids::kTestButton}) {
    EXPECT_FALSE(dialog->Control(id)->IsShown()) << id;
  }
}

TEST_F(MainDialogTest, ShowsTheIdentifiedDeviceReady) {
  const emu::PresetOptions preset = OpenReady(26);
  PumpEvents();

  const DeviceInfo info = emu::PresetDeviceInfo(preset);
  EXPECT_EQ(Label(ids::kModelText), ModelText(info));
  EXPECT_EQ(Label(ids::kFwVersionText), "v02.15");
  EXPECT_EQ(Label(ids::kVoiceVersionText), "v00.31");
  EXPECT_EQ(Label(ids::kDbVersionText), "v1.2 240517");
  EXPECT_EQ(Utf8(dialog->StatusBar().GetText()), "готов");
  EXPECT_EQ(ActiveInputs(),
            (std::set<int>{ids::kEnd, ids::kServerSourceRadio, ids::kFileSourceRadio,
                           ids::kDownloadButton, ids::kVoiceCombo, ids::kMenuSettingsButton}));
  auto* voices = static_cast<wxChoice*>(dialog->Control(ids::kVoiceCombo));
  EXPECT_GT(voices->GetCount(), 0u);
  EXPECT_EQ(voices->GetSelection(), 0);
}

TEST_F(MainDialogTest, UpdatesFromALocalFileThroughItsControls) {
  const emu::PresetOptions preset = OpenReady(26);
  ASSERT_NO_FATAL_FAILURE(RunLocalUpdate(preset));

  EXPECT_EQ(filters, std::vector<std::string>{"Bin file(*.bin)|*.bin"});
  EXPECT_EQ(Utf8(static_cast<wxTextCtrl*>(dialog->Control(ids::kFilePathEdit))->GetValue()),
            *nextFile);
  EXPECT_EQ(Label(ids::kFileFwVersionText), "v03.01");
  for (const int id : {ids::kFwResultText, ids::kVoiceResultText, ids::kDbResultText}) {
    EXPECT_EQ(Label(id), kUpdatedText) << id;
  }
  EXPECT_EQ(messages, std::vector<std::string>{std::string(kFirmwareUpdatedText)});
}

// The same update saves the device's memories first, silently, and the status bar says so
// until the first unit's progress shows.
TEST_F(MainDialogTest, AnUpdateSavesABackupFirstAndSaysSo) {
  const emu::PresetOptions preset = OpenReady(4);
  // Slow commands keep the note on the bar long enough to be seen.
  device->SetCommandDelay(150ms);
  ASSERT_NO_FATAL_FAILURE(StartLocalUpdate(preset));
  EXPECT_TRUE(PumpUntil(
      [this] { return Utf8(dialog->StatusBar().GetShownText()) == kBackupSavedText; }, 60s));
  device->ClearFaults();
  ASSERT_TRUE(PumpUntil(
      [this] { return dialog->Logic().State().updatePhase == UpdatePhase::Finished; }, 120s));
  PumpEvents();

  EXPECT_EQ(messages, std::vector<std::string>{std::string(kFirmwareUpdatedText)});
  const std::filesystem::path backup = dialog->Logic().State().lastBackup;
  EXPECT_EQ(backup.parent_path(), folder / std::string(kBackupsFolderName));
  EXPECT_TRUE(std::filesystem::exists(backup / std::string(kBackupManifestName)));
  EXPECT_EQ(std::filesystem::file_size(backup / std::string(kBackupControllerName)),
            ModelCatalogue::FwReadLength(4));
}

// The Download button on a ready device: the package comes from the server on loopback and is
// written, while the window keeps answering.
TEST_F(MainDialogTest, DownloadWritesTheServersPackage) {
  ScopedTempDir tree("korvan_ui_tree");
  emu::ServerTreeOptions published;
  published.types = {26};
  ASSERT_TRUE(emu::WriteServerTree(tree.path(), "15-05-2023", published).ok());
  emu::LoopbackServer server(tree.path());
  ASSERT_TRUE(server.Start()) << server.error();
  serverUrl = server.url() + "wp-content/db/";

  OpenReady(26);
  ASSERT_TRUE(dialog->Control(ids::kDownloadButton)->IsEnabled());
  Click(ids::kDownloadButton);
  ASSERT_TRUE(PumpUntil(
      [this] {
        const AppState& state = dialog->Logic().State();
        return state.downloadPhase == DownloadPhase::Failed ||
               state.updatePhase == UpdatePhase::Finished;
      },
      120s));
  PumpEvents();
  EXPECT_EQ(dialog->Logic().State().downloadPhase, DownloadPhase::Picked);
  EXPECT_EQ(Label(ids::kFileFwVersionText), "v03.01");
  for (const int id : {ids::kFwResultText, ids::kVoiceResultText, ids::kDbResultText}) {
    EXPECT_EQ(Label(id), kUpdatedText) << id;
  }
  EXPECT_EQ(messages, std::vector<std::string>{std::string(kFirmwareUpdatedText)});
  // The server's package goes through the same update run, backup included.
  EXPECT_TRUE(std::filesystem::exists(dialog->Logic().State().lastBackup / "manifest.json"));
}

// The upload disables the button just clicked, then every input and End, and gives End back
// at the end: the keyboard must still reach the window afterwards.
TEST_F(MainDialogTest, CtrlAOpensServiceModeAfterAnUpload) {
  const emu::PresetOptions preset = OpenReady(26);
  ASSERT_NO_FATAL_FAILURE(RunLocalUpdate(preset));

  ASSERT_TRUE(MovePointer(Background()));
  PressKey('a', wxMOD_CONTROL);
  EXPECT_TRUE(PumpUntil(
      [this] {
        return dialog->Control(ids::kReadButton)->IsShown() &&
               dialog->Control(ids::kEraseButton)->IsShown();
      },
      5s));
}

TEST_F(MainDialogTest, EscEndsTheWindowAfterAnUpload) {
  const emu::PresetOptions preset = OpenReady(26);
  ASSERT_NO_FATAL_FAILURE(RunLocalUpdate(preset));
  const auto copies = {folder / "TempFwData.bin", folder / "TempImageData.bin"};
  for (const auto& copy : copies) {
    ASSERT_TRUE(std::filesystem::exists(copy)) << copy;
  }

  ASSERT_TRUE(MovePointer(Background()));
  PressKey(WXK_ESCAPE);
  ASSERT_TRUE(PumpUntil([this] { return !dialog->IsShown(); }, 5s));
  EXPECT_EQ(dialog->GetReturnCode(), wxID_CANCEL);
  for (const auto& copy : copies) {
    EXPECT_FALSE(std::filesystem::exists(copy)) << copy;
  }
}

// While the run holds every control and End, the keys still reach the window, but Enter
// must not end it: the device is being written.
TEST_F(MainDialogTest, KeysReachTheWindowDuringAnUploadButCannotEndIt) {
  const emu::PresetOptions preset = OpenReady(26);
  device->SetCommandDelay(2ms);  // a run of some seconds
  ASSERT_NO_FATAL_FAILURE(StartLocalUpdate(preset));
  ASSERT_TRUE(PumpUntil([this] { return !dialog->Control(ids::kEnd)->IsEnabled(); }, 10s));
  ASSERT_TRUE(ActiveInputs().empty());

  ASSERT_TRUE(MovePointer(Background()));
  PressKey('a', wxMOD_CONTROL);
  EXPECT_TRUE(PumpUntil([this] { return dialog->Control(ids::kReadButton)->IsShown(); }, 5s));
  for (const int key : {WXK_RETURN, WXK_ESCAPE}) {
    PressKey(key);
    PumpEvents(200ms);
    EXPECT_TRUE(dialog->IsShown()) << key;
  }
  EXPECT_NE(dialog->Logic().State().updatePhase, UpdatePhase::Finished);
  device->SetCommandDelay(0ms);
  EXPECT_TRUE(PumpUntil(
      [this] { return dialog->Logic().State().updatePhase == UpdatePhase::Finished; }, 120s));
  EXPECT_TRUE(dialog->IsShown());
}

// Whatever the logic hides or disables, the keys still reach the window: the focus moves to
// End, or to the dialog itself when no control can take it; it goes back to End when End
// comes back, Tab moves it on from there, and Enter presses End.
TEST_F(MainDialogTest, TheKeysReachTheWindowWhateverIsHiddenOrDisabled) {
  Open();  // searching: End and the server-source radio are enabled
  ASSERT_TRUE(MovePointer(Background()));
  wxWindow* const end = dialog->Control(ids::kEnd);
  dialog->Control(ids::kServerSourceRadio)->SetFocus();
  PumpEvents();
  dialog->ShowControl(ids::kServerSourceRadio, false);
  EXPECT_EQ(wxWindow::FindFocus(), end);
  dialog->ShowControl(ids::kServerSourceRadio, true);

  for (const ControlTemplate& control : MainDialogTemplate()) {
    if (control.id >= 0) {
      dialog->EnableControl(control.id, false);
    }
  }
  PumpEvents();
  PressKey('a', wxMOD_CONTROL);
  EXPECT_TRUE(PumpUntil([this] { return dialog->Control(ids::kReadButton)->IsShown(); }, 5s));

  dialog->EnableControl(ids::kEnd, true);
  dialog->EnableControl(ids::kServerSourceRadio, true);
  PumpEvents();
  EXPECT_EQ(wxWindow::FindFocus(), end);
  PressKey(WXK_TAB);
  EXPECT_TRUE(PumpUntil(
      [this] { return wxWindow::FindFocus() == dialog->Control(ids::kServerSourceRadio); }, 5s));
  PressKey(WXK_TAB);
  EXPECT_TRUE(PumpUntil([end] { return wxWindow::FindFocus() == end; }, 5s));
  PressKey(WXK_RETURN);
  ASSERT_TRUE(PumpUntil([this] { return !dialog->IsShown(); }, 5s));
  EXPECT_EQ(dialog->GetReturnCode(), wxID_CANCEL);  // End's, not the Enter key's OK
}

// The country of the package to download is the user's choice: neither radio shows it chosen
// until a click chooses one, whatever the detector's own country.
TEST_F(MainDialogTest, CountryRadiosStayUncheckedUntilTheUserChooses) {
  emu::PresetOptions preset;
  preset.rawType = 9;
  preset.country = kCountryUzbekistan;
  Plug(preset);
  Open();
  ASSERT_TRUE(WaitReady());
  PumpEvents();
  auto* russia = static_cast<wxRadioButton*>(dialog->Control(ids::kRussiaRadio));
  auto* uzbekistan = static_cast<wxRadioButton*>(dialog->Control(ids::kUzbekistanRadio));
  ASSERT_TRUE(russia->IsShown());
  ASSERT_TRUE(uzbekistan->IsShown());
  const auto checked = [&] { return std::pair(russia->GetValue(), uzbekistan->GetValue()); };
  const std::vector<std::string> russianVoices(VoiceNames.begin(), VoiceNames.begin() + 4);
  const std::vector<std::string> uzbekVoices(VoiceNames.begin() + 4, VoiceNames.begin() + 6);
  EXPECT_EQ(checked(), std::pair(false, false));
  EXPECT_EQ(VoiceList(), uzbekVoices);  // the device's own country

  Click(ids::kRussiaRadio);
  EXPECT_EQ(checked(), std::pair(true, false));
  EXPECT_EQ(VoiceList(), russianVoices);
  Click(ids::kUzbekistanRadio);
  EXPECT_EQ(checked(), std::pair(false, true));
  EXPECT_EQ(VoiceList(), uzbekVoices);

  // The logic takes the choice back (the pair shown again with no country chosen): neither
  // shows checked, and a click still chooses.
  dialog->CheckControl(ids::kRussiaRadio, false);
  EXPECT_EQ(checked(), std::pair(false, true));
  dialog->CheckControl(ids::kUzbekistanRadio, false);
  EXPECT_EQ(checked(), std::pair(false, false));
  Click(ids::kRussiaRadio);
  EXPECT_EQ(checked(), std::pair(true, false));
  EXPECT_EQ(VoiceList(), russianVoices);
}

TEST_F(MainDialogTest, CtrlAOpensServiceModeOnceAndEraseBlanksTheFlash) {
  emu::PresetOptions preset;
  preset.rawType = 2;
  Plug(preset);
  Open();
  ASSERT_TRUE(WaitReady());

  // Real key presses through the X server: the accelerator must reach the dialog.
  // The focus in the path box, whose own Ctrl+A would select its text.
  dialog->Raise();
  dialog->Control(ids::kFilePathEdit)->SetFocus();
  wxUIActionSimulator keys;
  const wxPoint centre = dialog->GetScreenRect().GetPosition() + wxPoint(20, 200);
  keys.MouseMove(centre);
  PumpEvents();
  ASSERT_EQ(wxWindow::FindFocus(), dialog->Control(ids::kFilePathEdit));
  for (int press = 0; press < 2; ++press) {
    keys.Char('a', wxMOD_CONTROL);
    PumpEvents(100ms);
  }
  ASSERT_TRUE(dialog->Logic().State().serviceMode);
  for (const int id : {ids::kAuxGroup, ids::kAuxLabel, ids::kAuxVersionText, ids::kReadButton,
                       ids::kEraseButton}) {
    EXPECT_TRUE(dialog->Control(id)->IsShown()) << id;
  }
  EXPECT_EQ(Label(ids::kAuxLabel), "Версия1 :");

  device->ClearRecording();
  Click(ids::kEraseButton);
  const auto commands = device->Recording();
  const auto writes = std::count_if(commands.begin(), commands.end(), [](const auto& command) {
    return command.direction == DataDirection::ToDevice;
  });
  EXPECT_EQ(writes, 2048);
  const uint32_t flashSize = ModelCatalogue::FlashSize(2);
  const auto flash = device->Peek(MemorySelector::DataFlash, 0, flashSize);
  EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(dialog->StatusBar().GetPosition(), 100);
}

// The pointer over the logo is the picture's, not the dialog's: the hover and the click must
// follow the real pointer wherever the rectangle lies.
TEST_F(MainDialogTest, LogoAnswersThePointerInsideItsRectangleOnly) {
  Open();
  dialog->Raise();
  auto* logo = static_cast<wxStaticBitmap*>(dialog->Control(ids::kLogo));
  const auto cornerColour = [logo] {
    const wxImage image = logo->GetBitmap().ConvertToImage();
    const int y = image.GetHeight() / 2;
    return wxColour(image.GetRed(2, y), image.GetGreen(2, y), image.GetBlue(2, y));
  };
  const wxColour plain = cornerColour();
  const auto hovered = [&] { return cornerColour() != plain; };
  // Points of the rectangle's edges and just outside it, all on the picture itself.
  const wxPoint topLeft(kLogoLeft, kLogoTop);
  const wxPoint bottomRight(kLogoRight, kLogoBottom);
  const wxPoint pastRight(kLogoRight + 1, kLogoTop);
  const wxPoint aboveTop(kLogoLeft, kLogoTop - 1);
  for (const wxPoint& point : {topLeft, bottomRight, pastRight, aboveTop}) {
    ASSERT_TRUE(logo->GetRect().Contains(point)) << point.x << "," << point.y;
  }

  ASSERT_TRUE(MovePointer(Background()));
  PumpEvents();
  const unsigned long outsideCursor = ShownCursor();
  EXPECT_FALSE(hovered());

  ASSERT_TRUE(MovePointer(At(topLeft)));
  EXPECT_TRUE(PumpUntil(hovered, 5s));
  EXPECT_TRUE(PumpUntil([&] { return ShownCursor() != outsideCursor; }, 5s));
  const unsigned long handCursor = ShownCursor();

  ASSERT_TRUE(MovePointer(At(pastRight)));
  EXPECT_TRUE(PumpUntil([&] { return !hovered() && ShownCursor() != handCursor; }, 5s));
  ASSERT_TRUE(MovePointer(At(bottomRight)));
  EXPECT_TRUE(PumpUntil([&] { return hovered() && ShownCursor() == handCursor; }, 5s));
  ASSERT_TRUE(MovePointer(At(aboveTop)));
  EXPECT_TRUE(PumpUntil([&] { return !hovered() && ShownCursor() != handCursor; }, 5s));

  // Straight from the rectangle onto a label, which takes the pointer's events as the picture
  // does, or out of the window: no hover is left behind.
  const wxRect label = dialog->Control(ids::kModelLabel)->GetScreenRect();
  for (const wxPoint& away : {label.GetPosition() + label.GetSize() / 2,
                              dialog->GetScreenRect().GetTopLeft() - wxPoint(20, 20)}) {
    ASSERT_TRUE(MovePointer(At(topLeft)));
    ASSERT_TRUE(PumpUntil(hovered, 5s));
    ASSERT_TRUE(MovePointer(away));
    EXPECT_TRUE(PumpUntil([&] { return !hovered() && ShownCursor() != handCursor; }, 5s))
        << away.x << "," << away.y;
  }

  // Only a click inside the rectangle opens the site, once.
  wxUIActionSimulator mouse;
  for (const wxPoint& point : {Background(), At(pastRight)}) {
    ASSERT_TRUE(MovePointer(point));
    mouse.MouseClick();
    PumpEvents(100ms);
  }
  EXPECT_TRUE(urls.empty());
  ASSERT_TRUE(MovePointer(At((kLogoLeft + kLogoRight) / 2, (kLogoTop + kLogoBottom) / 2)));
  mouse.MouseClick();
  EXPECT_TRUE(PumpUntil([this] { return !urls.empty(); }, 5s));
  PumpEvents(100ms);
  EXPECT_EQ(urls, std::vector<std::string>{"https://site.test/"});
}

TEST_F(MainDialogTest, EndCleansUpButEnterDoesNot) {
  OpenReady(26);
  const auto copy = folder / "TempImageData.bin";
  ASSERT_TRUE(std::filesystem::exists(copy));

  // Enter with the focus off the buttons is the dialog's OK: it ends, the copies stay.
  dialog->Control(ids::kFilePathEdit)->SetFocus();
  ASSERT_TRUE(MovePointer(Background()));
  ASSERT_EQ(wxWindow::FindFocus(), dialog->Control(ids::kFilePathEdit));
  PressKey(WXK_RETURN);
  ASSERT_TRUE(PumpUntil([this] { return !dialog->IsShown(); }, 5s));
  EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
  EXPECT_TRUE(std::filesystem::exists(copy));
  Close();

  Open();
  ASSERT_TRUE(WaitReady());
  Click(ids::kEnd);
  EXPECT_EQ(dialog->GetReturnCode(), wxID_CANCEL);
  EXPECT_FALSE(dialog->IsShown());
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_FALSE(std::filesystem::exists(folder / "TempFwData.bin"));
}

// The device stops answering while the detection copies its firmware: End still ends the
// window on time, letting the stuck worker go, and the clean-up runs. The device is never
// released, so that worker never returns into the window.
TEST_F(MainDialogTest, EndEndsOnTimeWhenTheDeviceStopsAnswering) {
  emu::PresetOptions preset;
  preset.rawType = 26;
  Plug(preset);
  device->StallAfter(10);
  Open();
  ASSERT_TRUE(PumpUntil([this] { return device->CommandCount() > 10; }, 30s));
  ASSERT_TRUE(std::filesystem::exists(folder / "TempFwData.bin"));

  const auto start = std::chrono::steady_clock::now();
  Click(ids::kEnd);
  ASSERT_TRUE(PumpUntil([this] { return !dialog->IsShown(); }, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(dialog->GetReturnCode(), wxID_CANCEL);
  EXPECT_TRUE(dialog->WorkersLetGo());
  EXPECT_FALSE(std::filesystem::exists(folder / "TempFwData.bin")) << "End's clean-up";
}

TEST_F(MainDialogTest, UnpluggingTheDetectorEndsTheWindowAndNothingElseDoes) {
  OpenReady(26);
  VolumeRemoved();  // another stick: the detector is still there
  PumpEvents(300ms);
  EXPECT_TRUE(dialog->IsShown());

  host.Detach(kDrive);
  VolumeRemoved();
  ASSERT_TRUE(PumpUntil([this] { return !dialog->IsShown(); }, 1s));
  EXPECT_EQ(dialog->GetReturnCode(), wxID_CANCEL);
  EXPECT_FALSE(std::filesystem::exists(folder / "TempImageData.bin")) << "End's clean-up";
}

TEST_F(MainDialogTest, UnpluggingTheDetectorDuringAnUploadEndsTheWindowAtOnce) {
  const emu::PresetOptions preset = OpenReady(26);
  device->SetCommandDelay(5ms);  // a long update
  ASSERT_NO_FATAL_FAILURE(StartLocalUpdate(preset));
  ASSERT_EQ(dialog->Logic().State().updatePhase, UpdatePhase::Running);

  device->Disconnect();
  host.Detach(kDrive);
  VolumeRemoved();
  ASSERT_TRUE(PumpUntil([this] { return !dialog->IsShown(); }, 1s));
  EXPECT_EQ(dialog->GetReturnCode(), wxID_CANCEL);
}

// "Настройки меню" end to end: the form opens over the settings read from the device, a choice
// made in it with the pointer and the keyboard is written back to the device's settings unit.
TEST_F(MainDialogTest, MenuSettingsWritesTheChoiceMadeInTheForm) {
  OpenReady(6);
  constexpr uint64_t kSettingsUnit = 0x7FC000;  // in the data flash
  ASSERT_EQ(device->Peek(MemorySelector::DataFlash, kSettingsUnit + 1, 1).at(0), 0);  // X on
  korvan::testing::OnModalDialog<CParameterDlg> user([](CParameterDlg& form) {
    wxChoice& x = *form.List(1);
    ASSERT_EQ(Utf8(x.GetStringSelection()), "Вкл");
    ASSERT_TRUE(korvan::testing::ChooseWithKeys(x, 1));
    ASSERT_EQ(Utf8(x.GetStringSelection()), "Вык");
    ASSERT_TRUE(korvan::testing::ClickControl(*form.Control(kParameterOk)));
  });
  Click(ids::kMenuSettingsButton);
  ASSERT_TRUE(user.ran());
  ASSERT_TRUE(PumpUntil(
      [this] { return dialog->Logic().State().updatePhase == UpdatePhase::Finished; }, 60s));

  const std::vector<uint8_t> unit = device->Peek(MemorySelector::DataFlash, kSettingsUnit, 1024);
  ASSERT_EQ(unit.size(), 1024u);
  EXPECT_EQ(unit[1], 1);
  EXPECT_EQ(std::vector<uint8_t>(unit.begin() + 1020, unit.end()),
            (std::vector<uint8_t>{0x19, 0x54, 0xAF, 0x13}));
}

TEST_F(MainDialogTest, TheLongestTextsTheFieldsTakeFit) {
  Open();
  const struct {
    int id;
    std::string_view text;
  } cases[] = {
      {ids::kModelText, kOldHardwareModelText},
      {ids::kFwVersionText, kConnectionErrorText},
      {ids::kDbVersionText, kConnectionErrorText},
      {ids::kVoiceVersionText, kConnectionErrorText},
      {ids::kAuxVersionText, kConnectionErrorText},
      {ids::kFwResultText, kVerifyErrorText},
      {ids::kVoiceResultText, kUpdatingText},
      {ids::kDbResultText, kVerifyErrorText},
      {ids::kFileDbText, "251201"},
  };
  for (const auto& c : cases) {
    wxWindow* field = dialog->Control(c.id);
    const wxString text = wxString::FromUTF8(c.text.data(), c.text.size());
    EXPECT_LE(field->GetTextExtent(text).x, field->GetSize().x) << c.id << " " << c.text;
  }
}

TEST_F(MainDialogTest, AboutComesFromTheContextMenuCommand) {
  Open();
  wxCommandEvent about(wxEVT_MENU, kAboutCommand);
  dialog->ProcessWindowEvent(about);
  EXPECT_EQ(aboutBoxes, 1);
}

TEST_F(MainDialogTest, AboutBoxHoldsItsTexts) {
  Open();
  CAboutDlg about(dialog.get());
  EXPECT_EQ(Utf8(about.GetTitle()), "Dahlia_Updater 정보");
  std::vector<std::string> texts;
  for (wxWindow* child : about.GetChildren()) {
    if (dynamic_cast<wxStaticText*>(child) != nullptr || dynamic_cast<wxButton*>(child)) {
      texts.push_back(Utf8(child->GetLabel()));
      EXPECT_LE(child->GetTextExtent(child->GetLabel()).x, child->GetSize().x) << texts.back();
    }
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Korvan Updater", "확인"}));
  EXPECT_NE(about.FindWindow(wxID_OK), nullptr);
}

TEST_F(MainDialogTest, EveryLabelFitsItsControl) {
  Open();
  struct Box {
    int id;
    wxRect rect;
    bool grown;  // a radio or check box, sized to its natural size
  };
  std::vector<Box> labelled;
  for (const ControlTemplate& control : MainDialogTemplate()) {
    wxWindow* window = control.id >= 0 ? dialog->Control(control.id) : nullptr;
    if (window == nullptr || control.text.empty()) {
      continue;
    }
    const wxSize need = window->GetBestSize();
    const wxSize have = window->GetSize();
    switch (control.kind) {
      case ControlKind::Static: {
        // The text as drawn, in the control's font, inside the template's rectangle.
        const wxSize text = window->GetTextExtent(window->GetLabel());
        EXPECT_LE(text.x, have.x) << control.text;
        EXPECT_LE(text.y, have.y + 2) << control.text;
        labelled.push_back({control.id, window->GetRect(), false});
        break;
      }
      case ControlKind::Radio:
      case ControlKind::CheckBox:
        EXPECT_GE(have.x, need.x) << control.text;
        EXPECT_GE(have.y, need.y) << control.text;
        labelled.push_back({control.id, window->GetRect(), true});
        break;
      default:
        break;
    }
  }
  // Grown radios and boxes must not run into a neighbouring label (the template's own labels
  // may touch their fields).
  for (size_t i = 0; i < labelled.size(); ++i) {
    for (size_t j = i + 1; j < labelled.size(); ++j) {
      if (!labelled[i].grown && !labelled[j].grown) {
        continue;
      }
      EXPECT_FALSE(labelled[i].rect.Intersects(labelled[j].rect))
          << labelled[i].id << " overlaps " << labelled[j].id;
    }
  }
}

}  // namespace
}  // namespace korvan::ui
