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
#include <vector>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/show_result.h"
#include "app/update_worker.h"
#include "device/model_catalogue.h"
#include "emulator/device_images.h"
#include "emulator/device_presets.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/dialog_template.h"

namespace korvan::ui {
namespace {

using namespace std::chrono_literals;
using korvan::testing::PumpEvents;
using korvan::testing::PumpUntil;
using korvan::testing::ScopedTempDir;

constexpr int kDrive = 2;

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
    options.services.showMessage = [this](wxWindow*, const wxString& text, const wxString&,
                                          MessageIcon) { messages.push_back(Utf8(text)); };
    options.services.chooseOpenFile = [this](wxWindow*, const wxString& filter) {
      filters.push_back(Utf8(filter));
      return nextFile;
    };
    options.services.openBrowser = [this](const wxString& url) { urls.push_back(Utf8(url)); };
    options.services.showAbout = [this](wxWindow*) { ++aboutBoxes; };
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

  std::string Label(int id) const { return Utf8(dialog->Control(id)->GetLabel()); }

  // A click as the control reports it to the dialog.
  void Click(int id) {
    wxWindow* control = dialog->Control(id);
    ASSERT_NE(control, nullptr) << id;
    korvan::testing::ClickControl(*control);
    PumpEvents(10ms);
  }

  void MouseAt(wxEventType type, int x, int y) {
    wxMouseEvent event(type);
    event.SetPosition(wxPoint(x, y));
    event.SetEventObject(dialog.get());
    dialog->ProcessWindowEvent(event);
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
  std::vector<std::string> messages;
  std::vector<std::string> filters;
  std::vector<std::string> urls;
  std::optional<std::string> nextFile;
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
  emu::PresetOptions preset;
  preset.rawType = 26;
  Plug(preset);
  Open();
  ASSERT_TRUE(WaitReady());
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
  emu::PresetOptions preset;
  preset.rawType = 26;
  Plug(preset);
  const auto file =
      emu::WriteUpdateFile(folder / "sample", emu::MakeUpdateFile(emu::NewerUpdateFile(preset)));
  ASSERT_TRUE(file.has_value());
  nextFile = file->string();

  Open();
  ASSERT_TRUE(WaitReady());
  Click(ids::kFileSourceRadio);
  EXPECT_TRUE(dialog->Control(ids::kOpenButton)->IsEnabled());
  Click(ids::kOpenButton);
  EXPECT_EQ(filters, std::vector<std::string>{"Bin file(*.bin)|*.bin"});
  EXPECT_EQ(Utf8(static_cast<wxTextCtrl*>(dialog->Control(ids::kFilePathEdit))->GetValue()),
            *nextFile);
  EXPECT_EQ(Label(ids::kFileFwVersionText), "v03.01");
  ASSERT_TRUE(dialog->Control(ids::kUploadButton)->IsEnabled());

  Click(ids::kUploadButton);
  ASSERT_TRUE(PumpUntil(
      [this] { return dialog->Logic().State().updatePhase == UpdatePhase::Finished; }, 120s));
  PumpEvents();
  for (const int id : {ids::kFwResultText, ids::kVoiceResultText, ids::kDbResultText}) {
    EXPECT_EQ(Label(id), kUpdatedText) << id;
  }
  EXPECT_EQ(messages, std::vector<std::string>{std::string(kFirmwareUpdatedText)});
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

TEST_F(MainDialogTest, LogoSwapsUnderTheMouseAndOpensTheSite) {
  Open();
  auto* logo = static_cast<wxStaticBitmap*>(dialog->Control(ids::kLogo));
  const auto cornerColour = [logo] {
    const wxImage image = logo->GetBitmap().ConvertToImage();
    const int y = image.GetHeight() / 2;
    return wxColour(image.GetRed(2, y), image.GetGreen(2, y), image.GetBlue(2, y));
  };
  const wxColour plain = cornerColour();

  MouseAt(wxEVT_MOTION, 300, 300);  // outside, before any hover: nothing changes
  EXPECT_FALSE(dialog->LogoHover());
  MouseAt(wxEVT_MOTION, kLogoLeft, kLogoTop);  // the rectangle's corner counts as inside
  EXPECT_TRUE(dialog->LogoHover());
  EXPECT_NE(cornerColour(), plain);
  MouseAt(wxEVT_MOTION, kLogoRight + 1, kLogoTop);
  EXPECT_EQ(cornerColour(), plain);

  MouseAt(wxEVT_LEFT_DOWN, 400, 300);
  EXPECT_TRUE(urls.empty());
  MouseAt(wxEVT_LEFT_DOWN, 100, 30);
  EXPECT_EQ(urls, std::vector<std::string>{"https://site.test/"});
}

TEST_F(MainDialogTest, EndCleansUpButEnterDoesNot) {
  emu::PresetOptions preset;
  preset.rawType = 26;
  Plug(preset);
  Open();
  ASSERT_TRUE(WaitReady());
  const auto copy = folder / "TempImageData.bin";
  ASSERT_TRUE(std::filesystem::exists(copy));

  // Enter with the focus off the buttons is the dialog's OK: it ends, the copies stay.
  dialog->Control(ids::kFilePathEdit)->SetFocus();
  wxKeyEvent enter(wxEVT_CHAR_HOOK);
  enter.m_keyCode = WXK_RETURN;
  dialog->ProcessWindowEvent(enter);
  EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
  EXPECT_FALSE(dialog->IsShown());
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
