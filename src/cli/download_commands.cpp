#include "cli/download_commands.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/download_worker.h"
#include "app/main_window_steps.h"
#include "app/update_worker.h"
#include "cli/console_session.h"
#include "cli/json_text.h"
#include "cli/update_report.h"
#include "device/model_catalogue.h"

namespace korvan::cli {
namespace {

constexpr int kBadArguments = 2;

// Every regular file below `folder`, relative to it, sorted.
std::vector<std::string> FilesBelow(const std::filesystem::path& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error)) {
      files.push_back(std::filesystem::relative(it->path(), folder, error).generic_string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The package country and voice as the user would choose them in the window: the country
// radio (the large models have Russia chosen already), then the voice list's entry.
bool ChoosePackage(ConsoleSession& session, std::optional<uint8_t> country,
                   std::optional<int> voice, std::ostream& err) {
  DeviceInfo& device = session.state.deviceInfo;
  if (country) {
    if (*country != kCountryRussia && *country != kCountryUzbekistan) {
      err << "korvan: --country " << int{*country} << ": expected 3 (Russia) or 12 (Uzbekistan)\n";
      return false;
    }
    device.packageCountry = *country;
  }
  if (device.packageCountry == 0) {
    err << "korvan: choose the package country with --country 3 (Russia) or 12 (Uzbekistan)\n";
    return false;
  }
  FillVoiceCombo(session.view, device.typeCode, device);
  if (session.view.VoiceItems().empty()) {
    err << "korvan: model " << int{device.typeCode} << " has no server packages\n";
    return false;
  }
  if (voice && !session.view.SelectVoiceData(*voice)) {
    err << "korvan: --voice " << *voice << ": this model and country offer";
    for (const VoiceItem& item : session.view.VoiceItems()) {
      err << ' ' << item.itemData << " (" << item.text << ")";
    }
    err << '\n';
    return false;
  }
  return true;
}

nlohmann::ordered_json FailedItems(const DownloadReport& report) {
  nlohmann::ordered_json items = nlohmann::ordered_json::array();
  for (const auto& item : report.failed) {
    items.push_back({{"name", item.name}, {"result", item.result}});
  }
  return items;
}

}  // namespace

int RunFetch(DiskHost& host, HttpClient& http, const frontend::GlobalOptions& options,
             const FetchOptions& fetch, std::ostream& out, std::ostream& err) {
  ConsoleSession session(host, options, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  AppState& state = session.state;
  if (fetch.type) {
    // The model as the detection would have normalised it.
    auto type = static_cast<int8_t>(*fetch.type & 0x7F);
    state.deviceInfo.typeForced = type == 0;
    type = type == 0 ? int8_t{4} : type;
    state.deviceInfo.typeCode = type;
    state.deviceInfo.legacyModel = type >= 1 && type <= 8;
    if (ModelCatalogue::IsLargeModel(type)) {
      state.deviceInfo.packageCountry = kCountryRussia;
    }
  } else if (!session.Detect(true, false, options, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  if (!ChoosePackage(session, fetch.country, fetch.voice, err)) {
    return kBadArguments;
  }

  DownloadWorker worker(http, session.window, session.view, state, nullptr);
  worker.Start(session.view.SelectedVoiceData());
  session.RunUntil([&state] {
    return state.downloadPhase == DownloadPhase::Failed ||
           state.downloadPhase == DownloadPhase::Picked;
  });
  worker.Stop();
  session.LeaveIfInterrupted();
  session.view.EndProgressLine();

  const DownloadReport& report = state.downloadReport;
  const bool ok = state.downloadPhase == DownloadPhase::Picked;
  const ConsoleView& view = session.view;
  const std::vector<std::string> files = FilesBelow(state.programFolder / "update");
  if (options.json) {
    out << JsonLine({{"ok", ok},
                     {"message", view.LastMessage()},
                     {"serverVersion", state.serverVersion},
                     {"packageUrl", state.PackageUrl},
                     {"picked", state.pickedImageName},
                     {"files", files},
                     {"failed", FailedItems(report)},
                     {"firmware", ok ? view.FieldText(ids::kFileFwVersionText) : ""},
                     {"voice", ok ? view.FieldText(ids::kFileVoiceVersionText) : ""},
                     {"database", ok ? view.FieldText(ids::kFileDbText) : ""}})
        << '\n';
  } else {
    out << "Server version: " << state.serverVersion << '\n'
        << "Package:        " << state.PackageUrl << '\n';
    if (!report.transferError.empty()) {
      out << "Error:          " << report.transferError << '\n';
    }
    for (const auto& item : report.failed) {
      out << "Not extracted:  " << item.name << " (result 0x" << std::hex << item.result << std::dec
          << ")\n";
    }
    if (ok) {
      out << "Update file:    " << state.UpdateFilePath.string() << '\n'
          << "Firmware:       " << view.FieldText(ids::kFileFwVersionText) << '\n'
          << "Voice:          " << view.FieldText(ids::kFileVoiceVersionText) << '\n'
          << "Database:       " << view.FieldText(ids::kFileDbText) << '\n';
    } else if (const std::string message = view.LastMessage(); !message.empty()) {
      out << "Message:\n" << message << '\n';
    }
  }
  return ok ? 0 : 1;
}

int RunDownload(DiskHost& host, HttpClient& http, const frontend::GlobalOptions& options,
                const DownloadOptions& download, std::ostream& out, std::ostream& err) {
  frontend::GlobalOptions sessionOptions = options;
  sessionOptions.progressOnTerminal = options.progressOnTerminal && !download.quiet;
  ConsoleSession session(host, sessionOptions, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  AppState& state = session.state;
  if (!session.Detect(true, false, sessionOptions, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  if (!ChoosePackage(session, download.country, download.voice, err)) {
    return kBadArguments;
  }
  state.source = 0;  // the server source
  state.verify = download.verify;

  bool started = false;
  {
    UpdateWorker updater(host, session.slots, session.window, session.view, state);
    DownloadWorker worker(http, session.window, session.view, state, [&] {
      started = true;
      updater.Start();
    });
    worker.Start(session.view.SelectedVoiceData());
    session.RunUntil([&] {
      return state.downloadPhase == DownloadPhase::Failed ||
             (started && (state.updatePhase == UpdatePhase::Finished ||
                          state.updatePhase == UpdatePhase::Parked));
    });
    const StopDeadline deadline = StopDeadlineFromNow();
    worker.Stop(deadline);
    updater.Stop(deadline);  // a parked worker ends here: the program is closing
    session.LeaveIfInterrupted();
    session.window.RunPending();
  }
  session.view.EndProgressLine();

  const DownloadReport& report = state.downloadReport;
  nlohmann::ordered_json extra = {{"serverVersion", state.serverVersion},
                                  {"packageUrl", state.PackageUrl},
                                  {"picked", state.pickedImageName}};
  if (!started && !options.json) {
    if (!report.transferError.empty()) {
      extra["error"] = report.transferError;
    }
    if (!report.failed.empty()) {
      extra["failed"] = FailedItems(report);
    }
  }
  return ReportUpdate(session, started, options.json, extra, out);
}

}  // namespace korvan::cli
