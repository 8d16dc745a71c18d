// Renders pictures of the main window for the documentation: searching, ready with a device,
// after an update from a local file, the About box, and after an update from the server. Runs
// the real window against a simulated type-26 detector with the file choice and the message box
// answered in code. Then the menu settings form that "Настройки меню" opens on simulated type-4,
// type-6 and type-24 detectors, and the schema settings dialog it opens on simulated type-25,
// type-26 and type-27 detectors with the schemas served on loopback.
//   korvan-window-shots OUTPUT_DIR            (needs an X display: scripts/screenshots gives one)
//   korvan-window-shots --artwork OUTPUT_DIR  the icon and the two logo pictures
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/propgrid/propgrid.h>
#include <wx/uiaction.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/control_ids.h"
#include "emulator/device_images.h"
#include "emulator/device_presets.h"
#include "emulator/loopback_server.h"
#include "emulator/server_tree.h"
#include "emulator/simulated_disk_host.h"
#include "emulator/update_file_builder.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/artwork.h"
#include "ui/click_to_drop_editor.h"
#include "ui/main_dialog.h"
#include "ui/parameter_dialog.h"
#include "ui/process_value_dialog.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using korvan::testing::PumpEvents;
using korvan::testing::PumpUntil;

// The window as the X server shows it, cut from the screen by ImageMagick's import (the
// toolkit's own screen reads return what GTK last drew off-screen, not the screen).
bool Save(wxWindow& window, const fs::path& path) {
  window.Raise();
  window.Update();
  PumpEvents(300ms);
  const wxRect rect = window.GetScreenRect();
  const std::string command = "import -window root -crop " + std::to_string(rect.width) + "x" +
                              std::to_string(rect.height) + "+" + std::to_string(rect.x) + "+" +
                              std::to_string(rect.y) + " +repage '" + path.string() + "'";
  const bool saved = std::system(command.c_str()) == 0;
  std::printf("%s %s\n", saved ? "wrote" : "could not write", path.c_str());
  return saved;
}

bool SaveArtwork(const fs::path& out) {
  using korvan::ui::IconBitmap;
  using korvan::ui::LogoBitmap;
  bool ok =
      IconBitmap(128).ConvertToImage().SaveFile((out / "icon.png").string(), wxBITMAP_TYPE_PNG);
  ok = LogoBitmap(false, wxSize(213, 41))
           .ConvertToImage()
           .SaveFile((out / "logo.png").string(), wxBITMAP_TYPE_PNG) &&
       ok;
  ok = LogoBitmap(true, wxSize(213, 41))
           .ConvertToImage()
           .SaveFile((out / "logo-hover.png").string(), wxBITMAP_TYPE_PNG) &&
       ok;
  return ok;
}

// A second window on a fresh device, updated with the Download button from a simulated update
// server on loopback.
bool SaveDownloaded(const fs::path& out, const fs::path& work) {
  using namespace korvan;
  emu::ServerTreeOptions published;
  published.types = {26};
  if (!emu::WriteServerTree(work / "server", "15-05-2023", published).ok()) {
    std::fprintf(stderr, "cannot write the server tree\n");
    return false;
  }
  emu::LoopbackServer server(work / "server");
  if (!server.Start()) {
    std::fprintf(stderr, "%s\n", server.error().c_str());
    return false;
  }
  emu::PresetOptions preset;
  preset.rawType = 26;
  emu::SimulatedDiskHost host;
  host.Attach(2, emu::MakeSimulatedDevice(emu::MakePresetImages(preset)));
  ui::MainDialogOptions options;
  options.programFolder = work / "download";
  fs::create_directories(options.programFolder);
  options.logic.detection.scanInterval = 200ms;
  options.logic.serverUrl = server.url() + "wp-content/db/";
  options.services.showMessage = [](wxWindow*, const wxString&, const wxString&, MessageIcon) {};
  auto dialog = std::make_unique<ui::CDahlia_UpdaterDlg>(host, std::move(options));
  dialog->Show();
  if (!PumpUntil([&] { return dialog->Logic().State().detectionPhase == DetectionPhase::Ready; },
                 60s) ||
      !korvan::testing::ClickControl(*dialog->Control(ids::kDownloadButton)) ||
      !PumpUntil(
          [&] {
            const AppState& state = dialog->Logic().State();
            return state.downloadPhase == DownloadPhase::Failed ||
                   state.updatePhase == UpdatePhase::Finished;
          },
          120s)) {
    std::fprintf(stderr, "the download did not finish\n");
    return false;
  }
  return Save(*dialog, out / "window-downloaded.png") &&
         dialog->Logic().State().downloadPhase == DownloadPhase::Picked;
}

// A window's options over a working folder of its own, its messages printed.
korvan::ui::MainDialogOptions SettingsWindowOptions(const fs::path& folder) {
  using namespace korvan;
  ui::MainDialogOptions options;
  options.programFolder = folder;
  fs::create_directories(options.programFolder);
  options.logic.detection.scanInterval = 200ms;
  options.services.showMessage = [](wxWindow*, const wxString& text, const wxString&, MessageIcon) {
    std::fprintf(stderr, "message: %s\n", text.utf8_string().c_str());
  };
  return options;
}

// The window with `options` on a simulated detector of `rawType`: once it has identified the
// device, a click on "Настройки меню". True when the settings service of `options` then ran
// (it sets `opened`).
bool ClickMenuSettings(uint8_t rawType, korvan::ui::MainDialogOptions options, const bool& opened) {
  using namespace korvan;
  emu::PresetOptions preset;
  preset.rawType = rawType;
  emu::SimulatedDiskHost host;
  host.Attach(2, emu::MakeSimulatedDevice(emu::MakePresetImages(preset)));
  auto window = std::make_unique<ui::CDahlia_UpdaterDlg>(host, std::move(options));
  window->Show();
  if (!PumpUntil([&] { return window->Logic().State().detectionPhase == DetectionPhase::Ready; },
                 60s) ||
      !korvan::testing::ClickControl(*window->Control(ids::kMenuSettingsButton))) {
    std::fprintf(stderr, "the type-%d device's settings could not be opened\n", rawType);
    return false;
  }
  if (!opened) {
    std::fprintf(stderr, "the type-%d device's settings did not open\n", rawType);
  }
  return opened;
}

// The settings form as "Настройки меню" opens it on a simulated detector of `rawType`, over the
// settings the command read from it. Cancelled once pictured, so nothing is written back.
bool SaveSettingsForm(uint8_t rawType, const fs::path& path, const fs::path& work) {
  using namespace korvan;
  ui::MainDialogOptions options = SettingsWindowOptions(work / ("form-" + std::to_string(rawType)));
  bool opened = false;
  bool saved = false;
  options.services.runParameterForm = [&](wxWindow* parent, ParameterForm& form) {
    opened = true;
    ui::CParameterDlg dialog(parent, form);
    dialog.Show();
    // The pointer that clicked the button would rest on a list of the form and light it up.
    korvan::testing::MovePointer(wxPoint(0, 0));
    saved = Save(dialog, path);
    return false;
  };
  return ClickMenuSettings(rawType, std::move(options), opened) && saved;
}

wxPGProperty* RowNamed(wxPropertyGrid& grid, const char* name) {
  for (auto it = grid.GetIterator(wxPG_ITERATE_PROPERTIES); !it.AtEnd(); ++it) {
    if ((*it)->GetLabel().utf8_string() == name) {
      return *it;
    }
  }
  return nullptr;
}

// The schema settings dialog as "Настройки меню" opens it on a simulated detector of `rawType`,
// with the model's schema from a simulated update server: the row `shownRow` clicked so that the
// description area shows its hint, then cancelled, so nothing is written back.
bool SaveSchemaForm(uint8_t rawType, const char* shownRow, const fs::path& path,
                    const fs::path& work) {
  using namespace korvan;
  const fs::path tree = work / ("schema-server-" + std::to_string(rawType));
  emu::ServerTreeOptions published;
  published.types = {static_cast<int8_t>(rawType)};
  if (!emu::WriteServerTree(tree, "15-05-2023", published).ok()) {
    std::fprintf(stderr, "cannot write the server tree\n");
    return false;
  }
  emu::LoopbackServer server(tree);
  if (!server.Start()) {
    std::fprintf(stderr, "%s\n", server.error().c_str());
    return false;
  }
  ui::MainDialogOptions options =
      SettingsWindowOptions(work / ("schema-" + std::to_string(rawType)));
  options.logic.serverUrl = server.url() + "wp-content/db/";
  bool opened = false;
  bool saved = false;
  options.services.runSchemaForm = [&](wxWindow* parent, ProcessValueForm& form) {
    opened = true;
    ui::CProcessValueDlg dialog(parent, form);
    dialog.Show();
    PumpEvents(200ms);
    wxPropertyGrid* grid = dialog.Grid().GetGrid();
    if (wxPGProperty* row = RowNamed(*grid, shownRow)) {
      // A click on the row's name: the description shows its hint.
      grid->EnsureVisible(row);
      PumpEvents(100ms);
      const wxRect rect = grid->GetPropertyRect(row, row);
      const wxPoint name(grid->GetSplitterPosition() / 2,
                         grid->CalcScrolledPosition(rect.GetTopLeft()).y + rect.height / 2);
      korvan::testing::MovePointer(grid->ClientToScreen(name));
      wxUIActionSimulator().MouseClick();
      PumpUntil([&] { return grid->GetSelection() == row; }, 5s);
      PumpEvents(200ms);
      dialog.Grid().CloseList();
    } else {
      std::fprintf(stderr, "the type-%d dialog has no row %s\n", rawType, shownRow);
    }
    korvan::testing::MovePointer(wxPoint(0, 0));
    saved = Save(dialog, path);
    return false;
  };
  return ClickMenuSettings(rawType, std::move(options), opened) && saved;
}

int Run(const fs::path& out) {
  using namespace korvan;
  fs::create_directories(out);
  const fs::path work = fs::temp_directory_path() / "korvan-window-shots";
  fs::remove_all(work);
  fs::create_directories(work);

  emu::PresetOptions preset;
  preset.rawType = 26;
  const auto file =
      emu::WriteUpdateFile(work / "sample", emu::MakeUpdateFile(emu::NewerUpdateFile(preset)));
  if (!file) {
    std::fprintf(stderr, "cannot write the sample update file\n");
    return 1;
  }

  emu::SimulatedDiskHost host;
  ui::MainDialogOptions options;
  options.programFolder = work;
  options.logic.detection.scanInterval = 200ms;
  options.services.chooseOpenFile = [&](wxWindow*, const wxString&) {
    return std::optional<std::string>(file->string());
  };
  bool messageShown = false;
  options.services.showMessage = [&](wxWindow*, const wxString&, const wxString&, MessageIcon) {
    messageShown = true;
  };
  auto dialog = std::make_unique<ui::CDahlia_UpdaterDlg>(host, std::move(options));
  dialog->Show();
  PumpEvents(500ms);
  bool ok = Save(*dialog, out / "window-searching.png");

  host.Attach(2, emu::MakeSimulatedDevice(emu::MakePresetImages(preset)));
  if (!PumpUntil([&] { return dialog->Logic().State().detectionPhase == DetectionPhase::Ready; },
                 60s)) {
    std::fprintf(stderr, "the simulated device was not identified\n");
    return 1;
  }
  ok = Save(*dialog, out / "window-ready.png") && ok;

  for (const int id : {ids::kFileSourceRadio, ids::kOpenButton, ids::kUploadButton}) {
    if (!korvan::testing::ClickControl(*dialog->Control(id))) {
      std::fprintf(stderr, "the click on control %d did not reach it\n", id);
      return 1;
    }
  }
  if (!PumpUntil([&] { return dialog->Logic().State().updatePhase == UpdatePhase::Finished; },
                 120s)) {
    std::fprintf(stderr, "the update did not finish\n");
    return 1;
  }
  ok = Save(*dialog, out / "window-updated.png") && ok && messageShown;
  {
    ui::CAboutDlg about(dialog.get());
    about.Show();
    ok = Save(about, out / "about.png") && ok;
  }
  dialog.reset();
  ok = SaveDownloaded(out, work) && ok;
  for (const uint8_t type : {4, 6, 24}) {
    ok = SaveSettingsForm(type, out / ("settings-form-type" + std::to_string(type) + ".png"),
                          work) &&
         ok;
  }
  // Rows with a two-line hint; the last two are not in every model's schema.
  const std::pair<uint8_t, const char*> schemaShots[] = {
      {25, "Диапазон X"}, {26, "Город 2"}, {27, "Обновление по Wi-Fi"}};
  for (const auto& [type, row] : schemaShots) {
    ok = SaveSchemaForm(type, row, out / ("settings-schema-type" + std::to_string(type) + ".png"),
                        work) &&
         ok;
  }
  fs::remove_all(work);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 3 && std::string(argv[1]) == "--artwork")) {
    std::fprintf(stderr, "usage: korvan-window-shots [--artwork] OUTPUT_DIR\n");
    return 2;
  }
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "korvan-window-shots: no display (run it through scripts/screenshots)\n");
    return 1;
  }
  wxInitAllImageHandlers();
  if (argc == 3 && std::string(argv[1]) == "--artwork") {
    const bool saved = SaveArtwork(argv[2]);
    wxEntryCleanup();
    return saved ? 0 : 1;
  }
  const int result = Run(argv[1]);
  wxEntryCleanup();
  return result;
}
