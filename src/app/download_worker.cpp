#include "app/download_worker.h"

#include <system_error>
#include <utility>

#include "app/control_ids.h"
#include "app/open_update_file.h"
#include "app/run_history.h"
#include "app/show_result.h"
#include "device/model_catalogue.h"
#include "sources/package_name.h"
#include "sources/program_folder.h"
#include "sources/server_download.h"
#include "sources/update_file_layout.h"
#include "sources/update_file_rules.h"

namespace korvan {
namespace {

constexpr std::string_view kUpdateFolder = "update";
constexpr char kInterruptedText[] = "interrupted: the program was closed";

// The update file a package carries is outside input: it must be one the Open command would
// take for this device (record magic, model and country), and its components must fit. `info`
// receives what the file's record holds. Models whose files carry no record (type 3) are judged
// by the components alone.
bool AcceptableUpdateFile(const std::filesystem::path& path, int8_t type, UpdateFileInfo& info) {
  if (VersionRecordFileOffset(type) != 0 &&
      ReadImageVersions(path, type, info) != ImageVersionsResult::Ok) {
    return false;
  }
  return CheckUpdateFileLayout(path, type, info) == LayoutCheck::Fits;
}

}  // namespace

void SetDownloadControlsEnabled(View& view, bool enabled) {
  // End stays enabled throughout: it cancels the transfer, now that the window is not blocked
  // while the package comes.
  for (const int id : {ids::kDownloadButton, ids::kServerSourceRadio, ids::kFileSourceRadio,
                       ids::kMenuSettingsButton}) {
    view.EnableControl(id, enabled);
  }
}

DownloadWorker::DownloadWorker(HttpClient& http, WindowThread& window, View& view, AppState& state,
                               std::function<void()> onPicked)
    : http_(http), window_(window), view_(view), state_(state), onPicked_(std::move(onPicked)) {}

DownloadWorker::~DownloadWorker() {
  Stop();
}

void DownloadWorker::Start(int voiceItemData) {
  Stop();
  SetDownloadControlsEnabled(view_, false);
  Job job;
  job.device = state_.deviceInfo;
  job.file = state_.updateFileInfo;
  job.folder = state_.programFolder;
  job.records = RecordsFolder(state_);
  job.serverUrl = state_.serverUrl;
  job.voiceItemData = voiceItemData;
  job.history = DeviceHistoryEntry(kHistoryDownload, state_.frontEnd, state_.deviceInfo,
                                   state_.DetectedDrive);
  job.history.source = state_.serverUrl;
  state_.downloadPhase = DownloadPhase::Running;
  state_.downloadReport = {};
  thread_.Start([this, job = std::move(job)](const StopSignal& stop) { Run(stop, job); });
}

bool DownloadWorker::Stop(StopDeadline deadline) {
  return thread_.Stop(deadline);
}

void DownloadWorker::RecordEnd(const Job& job, std::string error) {
  HistoryEntry entry = job.history;
  entry.error = std::move(error);
  AppendHistory(job.records, std::move(entry));
}

void DownloadWorker::Fail(const StopSignal& stop, const Job& job, int code, DownloadReport report) {
  // A failed flow leaves no package contents behind for a later step to take.
  RemoveFolderTree(ProgramFolderFile(job.folder, kUpdateFolder));
  std::string error = report.transferError;
  for (const auto& item : report.failed) {
    error += (error.empty() ? "the package did not unpack whole: " : ", ") + item.name;
  }
  RecordEnd(job, error.empty() ? "no usable package" : error);
  if (stop.Requested()) {
    return;
  }
  PostAndWait(window_, [&view = view_, code] { ShowResult(view, code); });
  window_.Post([&view = view_, &state = state_, report = std::move(report)]() mutable {
    SetDownloadControlsEnabled(view, true);
    state.downloadReport = std::move(report);
    state.downloadPhase = DownloadPhase::Failed;
  });
}

void DownloadWorker::Run(const StopSignal& stop, Job job) {
  const int8_t type = job.device.typeCode;
  const auto keepGoing = [&stop](uint64_t, uint64_t) { return !stop.Requested(); };
  DownloadReport report;

  window_.Post([&view = view_] {
    view.SetStatusPosition(0);
    view.SetStatusText(kVersionFileName);
  });
  const FetchedVersion fetched = FetchServerVersion(http_, job.serverUrl, job.folder, keepGoing);
  if (stop.Requested()) {
    RecordEnd(job, kInterruptedText);
    return;
  }
  window_.Post(
      [&state = state_, version = fetched.version.value_or("")] { state.serverVersion = version; });
  if (!fetched.version) {
    report.transferError =
        fetched.transfer.ok() ? "version.txt holds no usable version" : fetched.transfer.detail;
    Fail(stop, job, 0, std::move(report));
    return;
  }

  // No package can be named for a country other than Russia or Uzbekistan: an earlier URL
  // must not be taken in its place.
  const auto path =
      PackagePath(type, *fetched.version, job.device.packageCountry, job.voiceItemData);
  if (!path) {
    report.transferError = "no package for this country";
    Fail(stop, job, 1, std::move(report));
    return;
  }
  const std::string packageUrl = ServerFileUrl(job.serverUrl, *path);
  job.history.source = packageUrl;
  window_.Post([&state = state_, packageUrl] { state.PackageUrl = packageUrl; });

  const std::filesystem::path updateFolder = ProgramFolderFile(job.folder, kUpdateFolder);
  RemoveFolderTree(updateFolder);
  const std::filesystem::path package =
      ProgramFolderFile(job.folder, LocalPackageName(type, *fetched.version));

  window_.Post([&view = view_] { view.SetStatusText(""); });
  int shown = 0;
  const HttpOutcome transfer =
      http_.Download(packageUrl, package, kMaxPackageBytes, [&](uint64_t received, uint64_t total) {
        if (total > 0) {
          const int percent = static_cast<int>(received * 100 / total);
          if (percent != shown) {
            shown = percent;
            window_.Post([&view = view_, percent] { view.SetStatusPosition(percent); });
          }
        }
        return !stop.Requested();
      });
  if (stop.Requested()) {
    RecordEnd(job, kInterruptedText);
    return;  // the client left no part file; nothing was extracted yet
  }
  if (!transfer.ok()) {
    report.transferError = transfer.detail;
    Fail(stop, job, 1, std::move(report));
    return;
  }

  window_.Post([&view = view_] { view.SetStatusText(kUnpackingText); });
  const ExtractReport extracted =
      ExtractPackage(package, updateFolder, [&stop] { return !stop.Requested(); });
  if (stop.Requested()) {
    RecordEnd(job, kInterruptedText);
    RemoveFolderTree(updateFolder);
    std::error_code ignored;
    std::filesystem::remove(package, ignored);
    return;
  }
  for (const auto& item : extracted.failed) {
    report.failed.push_back({item.name, item.result});
  }
  // A package that did not unpack whole is not written to the device.
  if (!extracted.complete()) {
    Fail(stop, job, 1, std::move(report));
    return;
  }

  // The picker stops at the first file, from the last, that is acceptable: `info` then holds
  // that file's record.
  UpdateFileInfo info;
  const auto picked = PickUpdateImage(updateFolder, [&](const std::filesystem::path& file) {
    info = job.file;
    return AcceptableUpdateFile(file, type, info);
  });
  if (!picked) {
    report.transferError = "the package holds no update file for this device";
    Fail(stop, job, 1, std::move(report));
    return;
  }

  window_.Post([&view = view_, &state = state_, report = std::move(report),
                file = updateFolder / *picked, name = *picked, info, type,
                onPicked = onPicked_]() mutable {
    state.UpdateFilePath = file;
    state.updateFileInfo = info;
    state.pickedImageName = name;
    // As after Open: the bar names the file about to be written.
    view.SetStatusText(name);
    ShowUpdateFileVersions(view, info, type, name);
    state.deviceInfo.country = info.fileCountry;
    state.downloadReport = std::move(report);
    state.downloadPhase = DownloadPhase::Picked;
    if (onPicked) {
      onPicked();
    }
  });
}

}  // namespace korvan
