// `CDahlia_UpdaterApp`: the application object. It runs the main dialog modally; the process
// ends when the dialog does. The single-instance rule and the options are settled in main()
// before the toolkit starts, so that neither needs a display.
#pragma once

#include <wx/app.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/backup_store.h"
#include "device/scsi_transport.h"

namespace korvan::ui {

struct AppOptions {
  std::unique_ptr<DiskHost> host;
  std::filesystem::path programFolder;
  std::string siteUrl;
  std::string serverUrl;  // the update server's download directory
  BackupSettings backups;
  // Set when the working folder is held by another run: the program shows it and ends.
  std::string busyFolderMessage;
};

class CDahlia_UpdaterApp final : public wxApp {
 public:
  explicit CDahlia_UpdaterApp(AppOptions options) : options_(std::move(options)) {}

  bool OnInit() override;
  int OnRun() override;

 private:
  AppOptions options_;
};

}  // namespace korvan::ui
