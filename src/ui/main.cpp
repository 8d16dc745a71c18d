// korvan-updater: the window. Options as the command line's: where the drives come from and
// where the working files go.
#include <wx/app.h>
#include <wx/init.h>
#include <wx/snglinst.h>
#include <wx/utils.h>
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/addresses.h"
#include "frontend/device_source.h"
#include "frontend/process_arguments.h"
#include "frontend/source_options.h"
#include "frontend/version.h"
#include "sources/program_folder.h"
#include "ui/updater_app.h"
#include "workdir/run_lock.h"

namespace {

constexpr int kBadArguments = 2;
constexpr int kNoDisplay = 3;
constexpr int kBusyFolder = 4;  // another run holds the working folder

bool HaveDisplay() {
#ifdef _WIN32
  return true;  // a Windows session always has its desktop
#else
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Korvan Updater: the window that identifies, updates and sets up Korvan radar "
      "detectors over USB.",
      "korvan-updater"};
  // "/x" is a path or a value here, never an option: CLI11 would read it as one on Windows.
  app.allow_windows_style_options(false);
  korvan::frontend::SourceOptionTexts texts;
  korvan::frontend::AddSourceOptions(app, texts);
  korvan::frontend::AddVersionFlag(app, "korvan-updater");
  std::string siteUrl(korvan::kMakerSiteUrl);
  app.add_option("--site", siteUrl, "The maker's site, opened by a click on the logo")
      ->type_name("URL");
  std::vector<std::string> arguments = korvan::frontend::Utf8Arguments(argc, argv);
  std::vector<char*> utf8Argv = korvan::frontend::ArgvOf(arguments);
  try {
    app.parse(static_cast<int>(arguments.size()), utf8Argv.data());
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  korvan::frontend::GlobalOptions options;
  if (!korvan::frontend::ResolveSourceOptions(texts, options, "korvan-updater", std::cerr)) {
    return kBadArguments;
  }

  // One window per user: a second start ends at once, silently.
  // The lock lives in the user's runtime folder when there is one, else in the home folder.
  wxSingleInstanceChecker instance;
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (instance.Create("Korvan Updater", runtimeDir != nullptr ? runtimeDir : "") &&
      instance.IsAnotherRunning()) {
    return 0;
  }

  if (!HaveDisplay()) {
    std::cerr << "korvan-updater: no display. Start it from a desktop session, or without one "
                 "under a virtual display:\n"
                 "  xvfb-run -a korvan-updater --simulate 26\n"
                 "The command line `korvan` does the same work without a window.\n";
    return kNoDisplay;
  }

  korvan::ui::AppOptions appOptions;
  std::string error;
  const auto folder = korvan::PrepareProgramFolder(options.workdir, error);
  if (!folder) {
    std::cerr << "korvan-updater: " << error << "\n";
    return kBadArguments;
  }
  appOptions.programFolder = *folder;
  // The folder is this window's for as long as it is open: the lock lives until main ends.
  auto folderLock = korvan::workdir::TakeRunLock(*folder, "korvan-updater");
  using Outcome = korvan::workdir::RunLockAttempt::Outcome;
  if (folderLock.outcome == Outcome::Failed) {
    std::cerr << "korvan-updater: " << folderLock.message << "\n";
    return kBadArguments;
  }
  if (folderLock.outcome == Outcome::Busy) {
    std::cerr << "korvan-updater: " << folderLock.message << "\n";
    appOptions.busyFolderMessage = folderLock.message;
    wxApp::SetInstance(new korvan::ui::CDahlia_UpdaterApp(std::move(appOptions)));
    wxEntry(argc, argv);
    return kBusyFolder;
  }
  appOptions.host = korvan::frontend::MakeDiskHost(options, "korvan-updater", std::cerr);
  if (!appOptions.host) {
    return kBadArguments;
  }
  appOptions.siteUrl = siteUrl;
  appOptions.serverUrl = options.serverUrl;
  appOptions.backups.keep = options.backups;
  appOptions.backups.programVersion = korvan::frontend::kProgramVersion;

  wxApp::SetInstance(new korvan::ui::CDahlia_UpdaterApp(std::move(appOptions)));
  return wxEntry(argc, argv);
}
