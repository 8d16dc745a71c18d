// `MainWindow`: the main dialog's logic without a toolkit. It owns the window's state, the
// drive slots and the two workers, and holds one handler per command of the dialog. The
// wxWidgets dialog forwards its events here and implements View and WindowThread; the tests
// drive the same handlers with a RecordingView and a TaskQueue.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/detection_worker.h"
#include "app/download_worker.h"
#include "app/update_worker.h"
#include "app/view.h"
#include "app/window_thread.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "settings/settings_unit_writer.h"

namespace korvan {

struct MainWindowOptions {
  DetectionOptions detection;
  // The update server's download directory, and the client that reaches it (null: libcurl).
  std::string serverUrl;
  HttpClient* http = nullptr;
  // Backups of the device's memories before an update writes (--backups).
  BackupSettings backups;
};

// The logo's rectangle in client pixels: hover and click act only inside it (edges included).
inline constexpr int kLogoLeft = 25;
inline constexpr int kLogoRight = 225;
inline constexpr int kLogoTop = 20;
inline constexpr int kLogoBottom = 45;
bool InLogoRect(int x, int y);

class MainWindow {
 public:
  // `host`, `view` and `window` must outlive this object. Every handler runs on the window
  // thread.
  MainWindow(DiskHost& host, WindowThread& window, View& view, std::filesystem::path programFolder,
             MainWindowOptions options = {});
  // Stops both workers. The window thread must refuse tasks by then (a worker waiting for a
  // message box is released only when its task is dropped).
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The dialog's initialisation once its controls exist: their first states, the verify
  // member, then the detection starts.
  void OnInitDialog();

  void OnServerSource();                 // radio 1016
  void OnFileSource();                   // radio 1017
  void OnPackageCountry(int controlId);  // radios 1088 (Russia) and 1093 (Uzbekistan)
  void OnVerifyChanged(bool checked);    // box 1028: the verify member follows the control
  void OnOpen();                         // 1005 "Открыть"
  void OnUpload();                       // 1052 "Загрузить в устройство"
  void OnDownload();                     // 1007 "Загрузить": the server download
  // 1020 "Настройки меню": the fixed settings form (types 25-27 have the schema editor, not
  // yet built). Refused while an update, a settings run or a download is active.
  void OnMenuSettings();
  void OnServiceMode();  // Ctrl+A: shows the service controls; never undone
  // READ and ERASE work on the window thread, as the device's tools do. Both are refused
  // (return false, nothing sent) while no device has been identified and while an update or
  // settings upload runs.
  bool OnRead();   // 1053: the whole data flash into ReadFlashData.bin
  bool OnErase();  // 1054: the whole data flash filled with 0xFF
  // WM_CLOSE: stops the workers and deletes the temporary files. The window thread must
  // refuse tasks first: a worker blocked in PostAndWait is released only when its task is
  // dropped (TaskQueue::Close does that), and Stop waits for the worker. Returns false when a
  // worker was still inside a device command after the grace period and has been let go:
  // this object and everything handed to it must then stay alive, and the front end leaves
  // the process without destroying them.
  bool OnClose();

  const AppState& State() const { return state_; }

 private:
  bool ServiceCommandAllowed() const;
  // Stops the three workers by one deadline; false when one was let go.
  bool StopWorkers();

  DiskHost& host_;
  View& view_;  // the window thread is only handed to the workers
  DriveSlotTable slots_;
  AppState state_;
  std::unique_ptr<HttpClient> ownHttp_;  // when the options bring none
  HttpClient& http_;                     // the options' client or ownHttp_
  SettingsUnitWriter settings_;          // holds SettingsWriteBlock for the whole run
  DetectionWorker detection_;
  UpdateWorker update_;
  DownloadWorker download_;
};

}  // namespace korvan
