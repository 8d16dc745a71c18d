// `DownloadUpdatePackage` on its own thread: the newest package for the device comes from the
// update server (version.txt, then the package of the model, country and voice), is unpacked
// into the `update` folder, the update file inside is chosen and checked, and the update
// worker is started on it. The window stays responsive: every visible step is posted to the
// window thread, the bar shows the download's percentage, and closing the window cancels the
// transfer at once.
#pragma once

#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/history_log.h"
#include "app/stop_signal.h"
#include "app/view.h"
#include "app/window_thread.h"
#include "app/worker_thread.h"
#include "sources/http_client.h"

namespace korvan {

inline constexpr std::string_view kUnpackingText = "Распаковка пакета..";

class DownloadWorker {
 public:
  // `onPicked` runs on the window thread once the update file is recorded in `state`: the
  // window starts the update worker there; a fetch without writing only notes it.
  DownloadWorker(HttpClient& http, WindowThread& window, View& view, AppState& state,
                 std::function<void()> onPicked);
  ~DownloadWorker();
  DownloadWorker(const DownloadWorker&) = delete;
  DownloadWorker& operator=(const DownloadWorker&) = delete;

  // The Download command: disables its controls and starts the flow for the voice whose item
  // data is `voiceItemData`, with what `state` holds now. Call on the window thread, not while
  // a flow runs.
  void Start(int voiceItemData);
  // Cancels a transfer or extraction in progress and waits for the thread until `deadline`;
  // false when it is let go (see WorkerThread::Stop).
  bool Stop(StopDeadline deadline = StopDeadlineFromNow());

 private:
  struct Job {
    DeviceInfo device;
    UpdateFileInfo file;
    std::filesystem::path folder;
    std::filesystem::path records;  // the history
    std::string serverUrl;
    int voiceItemData = 0;
    HistoryEntry history;  // the line a flow that ends here appends
  };

  void Run(const StopSignal& stop, Job job);
  // Ends the flow with message `code` (0: no version; 1: no usable package): the update folder
  // goes, the box is shown, the controls come back.
  void Fail(const StopSignal& stop, const Job& job, int code, DownloadReport report);
  // The history line of a flow that ended before any update file was picked.
  static void RecordEnd(const Job& job, std::string error);

  HttpClient& http_;
  WindowThread& window_;
  View& view_;
  AppState& state_;
  std::function<void()> onPicked_;
  WorkerThread thread_;
};

// The controls the Download command disables while it runs and gives back when it fails.
void SetDownloadControlsEnabled(View& view, bool enabled);

}  // namespace korvan
