#include "cli/korvan_cli.h"

#include <CLI/CLI.hpp>

#include "cli/detect_command.h"
#include "cli/download_commands.h"
#include "cli/history_command.h"
#include "cli/probe_command.h"
#include "cli/restore_command.h"
#include "cli/settings_command_line.h"
#include "cli/update_all_command.h"
#include "cli/update_commands.h"
#include "frontend/device_source.h"
#include "frontend/global_options.h"
#include "frontend/source_options.h"
#include "sources/curl_http_client.h"

namespace korvan::cli {
namespace {

constexpr int kBadArguments = 2;

}  // namespace

int RunKorvan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool errIsTerminal) {
  CLI::App app{"Korvan Updater: identify, update and set up Korvan radar detectors over USB.",
               "korvan"};
  // "/x" is a path or a value here, never an option: CLI11 would read it as one on Windows.
  app.allow_windows_style_options(false);
  // Global options are accepted after the command name too ("korvan probe --json").
  app.fallthrough();
  app.require_subcommand(1);

  frontend::GlobalOptions options;
  options.progressOnTerminal = errIsTerminal;
  frontend::SourceOptionTexts sourceTexts;
  frontend::AddSourceOptions(app, sourceTexts);
  frontend::AddVersionFlag(app, "korvan");
  app.add_flag("--json", options.json, "Print machine-readable JSON");
  int drive = -1;
  CLI::Option* driveOption =
      app.add_option("--drive", drive,
                     "Look for the device on drive N alone (see probe); for every device command")
          ->type_name("N")
          ->check(CLI::Range(kFirstDrive, kLastDrive));

  CLI::App* probe =
      app.add_subcommand("probe", "Scan drives 0-25 once and list every device that answers");
  DetectOptions detectOptions;
  CLI::App* detect = app.add_subcommand(
      "detect", "Find the device, read its memories and show model and versions");
  detect->add_flag("--once", detectOptions.once,
                   "Scan once; exit 1 when no device answers instead of searching on");
  detect->add_flag("--service", detectOptions.service,
                   "Service mode: also show the second version of type 8 devices");
  CheckOptions checkOptions;
  std::string checkType;
  CLI::App* check = app.add_subcommand(
      "check", "Judge an update file as the Open button does, for the device or a model");
  check->add_option("FILE", checkOptions.file, "The update file (.bin)")->required();
  check->add_option("--type", checkType, "Judge it for this model code instead of a device")
      ->type_name("N");
  DiffOptions diffOptions;
  CLI::App* diff = app.add_subcommand(
      "diff", "Dry run: what an update with FILE would write, per component; writes nothing");
  diff->add_option("FILE", diffOptions.file, "The update file (.bin)")->required();
  UpdateOptions updateOptions;
  bool noVerify = false;
  CLI::App* update = app.add_subcommand(
      "update", "Write an update file to the device, every unit read back and verified");
  update->add_option("FILE", updateOptions.file, "The update file (.bin)")->required();
  update->add_flag("--no-verify", noVerify, "Skip the read-back of each whole region");
  update->add_flag("--quiet", updateOptions.quiet, "No live progress line");
  update->add_flag("--all", updateOptions.all,
                   "Update every attached device of the file's model at once, one line each");

  FetchOptions fetchOptions;
  std::string fetchType;
  int fetchCountry = 0;
  int fetchVoice = -1;
  CLI::App* fetch = app.add_subcommand(
      "fetch",
      "Download and unpack the newest server package for the device (or a model) and choose its "
      "update file, without writing to a device");
  fetch->add_option("--type", fetchType, "For this model code instead of a detected device")
      ->type_name("N");
  fetch->add_option("--country", fetchCountry, "Package country: 3 Russia, 12 Uzbekistan")
      ->type_name("C");
  fetch->add_option("--voice", fetchVoice, "The voice list's item data (default: the first)")
      ->type_name("K");
  DownloadOptions downloadOptions;
  int downloadCountry = 0;
  int downloadVoice = -1;
  bool downloadNoVerify = false;
  CLI::App* download = app.add_subcommand(
      "download", "The Download button: the newest server package written to the device");
  download->add_option("--country", downloadCountry, "Package country: 3 Russia, 12 Uzbekistan")
      ->type_name("C");
  download->add_option("--voice", downloadVoice, "The voice list's item data (default: the first)")
      ->type_name("K");
  download->add_flag("--no-verify", downloadNoVerify, "Skip the read-back of each whole region");
  download->add_flag("--quiet", downloadOptions.quiet, "No live progress line");

  RestoreOptions restoreOptions;
  CLI::App* restore = app.add_subcommand(
      "restore", "Write a backup of the device's memories back into it, every unit verified");
  restore->add_option("BACKUP_DIR", restoreOptions.backupDir, "A backup folder (DIR/backups/...)")
      ->required();
  restore->add_flag("--quiet", restoreOptions.quiet, "No live progress line");

  SettingsCommandLine settings(app);

  HistoryOptions historyOptions;
  CLI::App* history = app.add_subcommand(
      "history", "List the runs recorded in the working folder (detections, updates, ...)");
  history->add_option("--last", historyOptions.last, "Only the last N runs")->type_name("N");

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return 0;
  } catch (const CLI::CallForVersion& version) {
    out << version.what() << "\n";
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "korvan: " << e.what() << "\n"
        << "Run 'korvan --help' for the commands and options.\n";
    return kBadArguments;
  }

  if (!frontend::ResolveSourceOptions(sourceTexts, options, "korvan", err)) {
    return kBadArguments;
  }
  if (driveOption->count() > 0) {
    options.drive = drive;
  }

  if (history->parsed()) {
    return RunHistory(options, historyOptions, out, err);
  }
  CurlHttpClient http;
  if (settings.Given() && !settings.NeedsDevice()) {
    return settings.Run(nullptr, http, options, out, err);
  }
  auto host = frontend::MakeDiskHost(options, "korvan", err);
  if (!host) {
    return kBadArguments;
  }
  if (probe->parsed()) {
    return RunProbe(*host, options, out, err);
  }
  if (detect->parsed()) {
    return RunDetect(*host, options, detectOptions, out, err);
  }
  if (check->parsed()) {
    if (!checkType.empty()) {
      checkOptions.type = frontend::ParseTypeByte(checkType);
      if (!checkOptions.type) {
        err << "korvan: --type " << checkType << ": expected a model code from 0 to 255\n";
        return kBadArguments;
      }
    }
    return RunCheck(*host, options, checkOptions, out, err);
  }
  if (diff->parsed()) {
    return RunDiff(*host, options, diffOptions, out, err);
  }
  if (restore->parsed()) {
    return RunRestoreCommand(*host, options, restoreOptions, out, err);
  }
  if (update->parsed()) {
    updateOptions.verify = !noVerify;
    if (updateOptions.all) {
      return RunUpdateAll(*host, options, updateOptions, out, err);
    }
    return RunUpdate(*host, options, updateOptions, out, err);
  }
  // 0 is "not given"; what is given must be a country byte (ChoosePackage says which ones).
  const auto countryOption = [&err](int value, std::optional<uint8_t>& country) {
    if (value < 0 || value > 255) {
      err << "korvan: --country " << value << ": expected 3 or 12\n";
      return false;
    }
    country = value == 0 ? std::nullopt : std::optional<uint8_t>(static_cast<uint8_t>(value));
    return true;
  };
  const auto voiceOption = [](int value) {
    return value < 0 ? std::nullopt : std::optional<int>(value);
  };
  if (settings.Given()) {
    return settings.Run(host.get(), http, options, out, err);
  }
  if (fetch->parsed()) {
    if (!fetchType.empty()) {
      fetchOptions.type = frontend::ParseTypeByte(fetchType);
      if (!fetchOptions.type) {
        err << "korvan: --type " << fetchType << ": expected a model code from 0 to 255\n";
        return kBadArguments;
      }
    }
    if (!countryOption(fetchCountry, fetchOptions.country)) {
      return kBadArguments;
    }
    fetchOptions.voice = voiceOption(fetchVoice);
    return RunFetch(*host, http, options, fetchOptions, out, err);
  }
  if (download->parsed()) {
    if (!countryOption(downloadCountry, downloadOptions.country)) {
      return kBadArguments;
    }
    downloadOptions.voice = voiceOption(downloadVoice);
    downloadOptions.verify = !downloadNoVerify;
    return RunDownload(*host, http, options, downloadOptions, out, err);
  }
  return kBadArguments;
}

}  // namespace korvan::cli
