#include "app/detection_worker.h"

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/run_history.h"
#include "app/show_result.h"
#include "app/status_bar_poster.h"
#include "device/device_channel.h"
#include "device/device_copies.h"
#include "device/model_catalogue.h"
#include "flash/version_extraction.h"

namespace korvan {
namespace {

// The copy's text and progress go to the window's status bar when the operation holds slot 0.
class StatusBarObserver final : public CopyObserver {
 public:
  StatusBarObserver(WindowThread& window, View& view) : bar_(window, view) {}

  void SlotText(int slot, std::string_view text) override { bar_.Text(slot, text); }
  void SlotPosition(int slot, int position) override { bar_.Position(slot, position); }
  void SlotAmount(int slot, uint64_t done, uint64_t total) override {
    bar_.Amount(slot, done, total);
  }

 private:
  StatusBarPoster bar_;
};

}  // namespace

DetectionWorker::DetectionWorker(DiskHost& host, DriveSlotTable& slots, WindowThread& window,
                                 View& view, AppState& state, DetectionOptions options)
    : host_(host), slots_(slots), window_(window), view_(view), state_(state), options_(options) {}

DetectionWorker::~DetectionWorker() {
  Stop();
}

void DetectionWorker::Start() {
  folder_ = state_.programFolder;
  frontEnd_ = state_.frontEnd;
  records_ = RecordsFolder(state_);
  thread_.Start([this](const StopSignal& stop) { Run(stop); });
}

bool DetectionWorker::Stop(StopDeadline deadline) {
  return thread_.Stop(deadline);
}

void DetectionWorker::Run(const StopSignal& stop) {
  window_.Post([&state = state_] {
    ResetUpdateFileInfo(state.updateFileInfo);
    ResetDeviceInfo(state.deviceInfo);
  });
  DeviceInfo info;
  slots_.Reset();
  window_.Post([&view = view_, &state = state_] {
    ResetStatusBar(view, kSearchingText);
    EnableFileSource(view, 1);
    state.detectionPhase = DetectionPhase::Searching;
  });

  int drive = -1;
  if (!Scan(stop, info, drive)) {
    return;
  }
  ReadDevice(stop, info, drive);
  if (stop.Requested()) {
    return;
  }
  // Parked: a device is identified once per run.
  stop.WaitForStop();
}

bool DetectionWorker::Scan(const StopSignal& stop, DeviceInfo& info, int& drive) {
  DeviceChannel probe(host_, slots_);
  const bool oneDrive = options_.onlyDrive >= kFirstDrive && options_.onlyDrive <= kLastDrive;
  const int first = oneDrive ? options_.onlyDrive : kFirstDrive;
  const int last = oneDrive ? options_.onlyDrive : kLastDrive;
  for (int scans = 1;; ++scans) {
    for (int n = first; n <= last; ++n) {
      if (stop.Requested()) {
        return false;
      }
      if (slots_.Find(n) >= 0) {
        continue;  // another operation holds this drive
      }
      if (probe.ProbeDrive(n, info)) {
        drive = n;
        return true;
      }
    }
    if (options_.maxScans > 0 && scans >= options_.maxScans) {
      window_.Post([&state = state_] { state.detectionPhase = DetectionPhase::NotFound; });
      return false;
    }
    if (!stop.SleepUnlessStopped(options_.scanInterval)) {
      return false;
    }
  }
}

void DetectionWorker::ReadDevice(const StopSignal& stop, DeviceInfo info, int drive) {
  // Type normalisation: bit 7 is a flag; 0 is old hardware, handled as type 4.
  info.typeCode = static_cast<int8_t>(info.typeCode & 0x7F);
  if (info.typeCode == 0) {
    info.typeCode = 4;
    info.typeForced = true;
  }
  const int8_t type = info.typeCode;
  const bool largeModel = ModelCatalogue::IsLargeModel(type);
  if (largeModel) {
    info.packageCountry = kCountryRussia;
  }
  window_.Post([&state = state_, &view = view_, info, drive, largeModel] {
    state.DevicePresent = true;
    state.deviceInfo = info;
    state.DetectedDrive = drive;
    state.detectionPhase = DetectionPhase::Reading;
    view.ShowControl(ids::kRussiaRadio, !largeModel);
    view.ShowControl(ids::kUzbekistanRadio, !largeModel);
    if (!largeModel) {
      // No package country is chosen yet: neither radio may look chosen.
      view.CheckControl(ids::kRussiaRadio, false);
      view.CheckControl(ids::kUzbekistanRadio, false);
    }
    if (largeModel) {
      FillVoiceCombo(view, info.typeCode, info);
    }
  });

  if (ModelCatalogue::HasEntries(type)) {
    const DeviceLink link{host_, slots_, drive};
    const auto fwPath =
        ReadControllerToFile(link, type, folder_, kControllerCopyName, stop.Token());
    ExtractFirmwareVersion(type, fwPath, info);
    window_.Post([&state = state_, fwPath] { state.FwReadPath = fwPath; });
    if (stop.Requested()) {
      return;
    }
    if (type != 1) {
      StatusBarObserver observer(window_, view_);
      const auto flashPath =
          ReadFlashToFile(link, info, folder_, kFlashCopyName, observer, stop.Token());
      ExtractFlashVersions(type, flashPath, info);
      window_.Post([&state = state_, flashPath] { state.FlashReadPath = flashPath; });
    }
  }
  if (stop.Requested()) {
    return;
  }
  info.legacyModel = type >= 1 && type <= 8;

  window_.Post([&state = state_, &view = view_, info, largeModel] {
    // The package country is the window's: the user may have chosen it while the copies were
    // read (that choice also filled the voice list, and the voice may have been picked since).
    const uint8_t chosenCountry = state.deviceInfo.packageCountry;
    const bool countryChosen = !largeModel && chosenCountry != 0;
    state.deviceInfo = info;
    if (countryChosen) {
      state.deviceInfo.packageCountry = chosenCountry;
    }
    view.SetControlText(ids::kModelText, ModelText(info));
    view.SetControlText(ids::kFwVersionText, DetectedVersionText(info.fwVersion));
    view.SetControlText(ids::kVoiceVersionText, DetectedVersionText(info.voiceVersion));
    view.SetControlText(ids::kDbVersionText, DetectedDbVersionText(info.dbVersion));
    if (state.serviceMode && info.typeCode == 8) {
      view.SetControlText(ids::kAuxVersionText, DetectedVersionText(info.auxVersion));
    }
    view.SetStatusPosition(0);
    if (info.typeCode >= 3) {
      view.EnableControl(ids::kDownloadButton, true);
      view.EnableControl(ids::kVoiceCombo, true);
    }
    if (!countryChosen) {
      FillVoiceCombo(view, info.typeCode, state.deviceInfo);
    }
    view.SetStatusText(kReadyText);
    view.EnableControl(ids::kMenuSettingsButton, true);
    EnableFileSource(view, 0);
  });

  AppendHistory(records_, DeviceHistoryEntry(kHistoryDetect, frontEnd_, info, drive));

  if (type == 8) {
    PostAndWait(window_, [&view = view_] { ShowResult(view, 7); });
  }
  window_.Post([&state = state_] { state.detectionPhase = DetectionPhase::Ready; });
}

}  // namespace korvan
