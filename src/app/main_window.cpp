#include "app/main_window.h"

#include <utility>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/menu_settings_command.h"
#include "app/open_update_file.h"
#include "app/upload_command.h"
#include "device/device_channel.h"
#include "device/device_copies.h"
#include "device/model_catalogue.h"
#include "settings/parameters_ini.h"
#include "sources/curl_http_client.h"

namespace korvan {
namespace {

// READ runs on the window thread, so its copy reports straight to the status bar: only the
// operation that holds slot 0 has a bar in this window.
class DirectStatusObserver final : public CopyObserver {
 public:
  explicit DirectStatusObserver(View& view) : view_(view) {}

  void SlotText(int slot, std::string_view text) override {
    if (slot == 0) {
      view_.SetStatusText(text);
    }
  }
  void SlotPosition(int slot, int position) override {
    if (slot == 0) {
      view_.SetStatusPosition(position);
    }
  }

 private:
  View& view_;
};

}  // namespace

bool InLogoRect(int x, int y) {
  return x >= kLogoLeft && x <= kLogoRight && y >= kLogoTop && y <= kLogoBottom;
}

MainWindow::MainWindow(DiskHost& host, WindowThread& window, View& view,
                       std::filesystem::path programFolder, MainWindowOptions options)
    : host_(host),
      view_(view),
      ownHttp_(options.http == nullptr ? std::make_unique<CurlHttpClient>() : nullptr),
      http_(options.http != nullptr ? *options.http : *ownHttp_),
      settings_(ParametersIniPath(programFolder)),
      detection_(host, slots_, window, view, state_, options.detection),
      update_(host, slots_, window, view, state_, &settings_),
      download_(http_, window, view, state_, [this] { update_.Start(); }) {
  // The detection takes its working folder from the state when it starts, not before.
  state_.programFolder = std::move(programFolder);
  state_.serverUrl = std::move(options.serverUrl);
  state_.frontEnd = "korvan-updater";
  state_.backups = std::move(options.backups);
}

MainWindow::~MainWindow() {
  StopWorkers();
}

bool MainWindow::StopWorkers() {
  // One deadline for all three: a device that stops answering must not hold up the close
  // once per worker.
  const StopDeadline deadline = StopDeadlineFromNow();
  const bool download = download_.Stop(deadline);
  const bool update = update_.Stop(deadline);
  const bool detection = detection_.Stop(deadline);
  return download && update && detection;
}

void MainWindow::OnInitDialog() {
  InitMainDialogControls(view_);
  state_.verify = true;
  state_.source = 0;
  detection_.Start();
}

void MainWindow::OnServerSource() {
  state_.source = 0;
  for (const int id : {ids::kUploadModeRadio, ids::kDbModeRadio, ids::kOpenButton,
                       ids::kUploadButton, ids::kVerifyCheck}) {
    view_.EnableControl(id, false);
  }
  // Types 1 and 2 have no server packages.
  if (state_.deviceInfo.typeCode >= 3) {
    view_.EnableControl(ids::kDownloadButton, true);
    view_.EnableControl(ids::kVoiceCombo, true);
  }
  state_.UploadMode = 0;
}

void MainWindow::OnFileSource() {
  state_.source = 1;
  view_.EnableControl(ids::kDownloadButton, false);
  view_.EnableControl(ids::kVoiceCombo, false);
  view_.EnableControl(ids::kOpenButton, true);
  view_.EnableControl(ids::kUploadButton, false);
  ResetStatusBar(view_, kReadyText);
  state_.SettingsPending = false;
  state_.UploadMode = 0;
  view_.EnableControl(ids::kOpenButton, true);
  if (state_.deviceInfo.typeCode >= 3) {
    view_.EnableControl(ids::kMenuSettingsButton, true);
  }
  view_.EnableControl(ids::kVerifyCheck, true);
}

void MainWindow::OnPackageCountry(int controlId) {
  if (controlId == ids::kRussiaRadio) {
    state_.deviceInfo.packageCountry = kCountryRussia;
  } else if (controlId == ids::kUzbekistanRadio) {
    state_.deviceInfo.packageCountry = kCountryUzbekistan;
  } else {
    return;
  }
  FillVoiceCombo(view_, state_.deviceInfo.typeCode, state_.deviceInfo);
}

void MainWindow::OnVerifyChanged(bool checked) {
  state_.verify = checked;
}

void MainWindow::OnOpen() {
  OpenUpdateFile(view_, state_);
}

void MainWindow::OnUpload() {
  UploadCommand(view_, state_, update_);
}

void MainWindow::OnDownload() {
  if (state_.downloadPhase == DownloadPhase::Running) {
    return;  // its button is disabled; a second press must not start a second flow
  }
  download_.Start(view_.SelectedVoiceData());
}

void MainWindow::OnMenuSettings() {
  OpenMenuSettings(view_, state_, {host_, slots_, update_, settings_, &http_, std::nullopt});
}

void MainWindow::OnServiceMode() {
  view_.ShowControl(ids::kAuxGroup, true);
  view_.ShowControl(ids::kAuxLabel, true);
  view_.ShowControl(ids::kAuxVersionText, true);
  state_.serviceMode = true;
  view_.ShowControl(ids::kReadButton, true);
  view_.ShowControl(ids::kEraseButton, true);
}

bool MainWindow::ServiceCommandAllowed() const {
  // Present from the moment the device answers; identified once the detection has read it
  // and let go of the drive, so a service command never races the detection's own copies.
  // Nor may one run beside an update or a settings upload: ERASE would wipe units already
  // written and verified, READ would share the drive with the writer.
  return state_.DevicePresent && state_.detectionPhase == DetectionPhase::Ready &&
         state_.updatePhase != UpdatePhase::Running;
}

bool MainWindow::OnRead() {
  if (!ServiceCommandAllowed()) {
    return false;
  }
  // The copy applies the data-flash version record to the device record, as at detection.
  DirectStatusObserver observer(view_);
  ReadFlashToFile(DeviceLink{host_, slots_, state_.DetectedDrive}, state_.deviceInfo,
                  state_.programFolder, kReadFlashName, observer);
  return true;
}

bool MainWindow::OnErase() {
  if (!ServiceCommandAllowed()) {
    return false;
  }
  const int32_t drive = state_.DetectedDrive;
  const uint32_t total = ModelCatalogue::FlashSize(state_.deviceInfo.typeCode);
  DeviceChannel channel(host_, slots_);
  channel.Claim(drive);
  channel.Open();
  const int slot = channel.FindDriveSlot(drive);
  UnitBuffer erased;
  erased.fill(0xFF);
  // Write failures are not looked at: the user sees the outcome with READ.
  uint32_t address = 0;
  do {
    channel.WriteUnit(erased, MemorySelector::DataFlash, address);
    if (slot == 0) {
      view_.SetStatusPosition(FlashCopyPercent(address, total));
    }
    address += kUnitSize;
  } while (address < total);
  channel.Close();
  return true;
}

bool MainWindow::OnClose() {
  const bool ended = StopWorkers();
  // A worker let go inside a device command writes no more files: the command it waits for
  // was its last, and the program leaves before it could return.
  DeleteTempFiles(state_.programFolder);
  return ended;
}

}  // namespace korvan
