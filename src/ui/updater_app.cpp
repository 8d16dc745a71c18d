#include "ui/updater_app.h"

#include <wx/log.h>
#include <wx/msgdlg.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "ui/main_dialog.h"

namespace korvan::ui {
namespace {

// A failed toolkit assertion is a bug to report, not a modal dialog in the user's face.
void LogAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
               const wxString& msg) {
  std::fprintf(stderr, "korvan-updater: assertion %s failed in %s (%s:%d) %s\n",
               cond.utf8_str().data(), func.utf8_str().data(), file.utf8_str().data(), line,
               msg.utf8_str().data());
}

#ifndef _WIN32
// Ctrl+C in the terminal and the session's end close the window as End does, so the workers
// stop and the working copies go. The toolkit calls this from its event loop, not from the
// signal. (Windows tells a window of the session's end with messages the toolkit turns into
// the same close.)
void CloseOnSignal(int) {
  if (wxTheApp != nullptr && wxTheApp->GetTopWindow() != nullptr) {
    wxTheApp->GetTopWindow()->Close();
  }
}
#endif

}  // namespace

bool CDahlia_UpdaterApp::OnInit() {
  wxSetAssertHandler(LogAssert);
#ifndef _WIN32
  SetSignalHandler(SIGINT, CloseOnSignal);
  SetSignalHandler(SIGTERM, CloseOnSignal);
#endif
  SetAppName("korvan-updater");
  SetAppDisplayName("Korvan Updater");
  if (!options_.busyFolderMessage.empty()) {
    // Started from a desktop, nobody reads the standard error: say it in a box too.
    wxMessageBox(wxString::FromUTF8(options_.busyFolderMessage), "Korvan Updater",
                 wxOK | wxICON_ERROR);
    return false;
  }
  return true;
}

int CDahlia_UpdaterApp::OnRun() {
  MainDialogOptions dialogOptions;
  dialogOptions.programFolder = options_.programFolder;
  dialogOptions.siteUrl = options_.siteUrl;
  dialogOptions.logic.serverUrl = options_.serverUrl;
  dialogOptions.logic.backups = options_.backups;
  CDahlia_UpdaterDlg dialog(*options_.host, std::move(dialogOptions));
  SetTopWindow(&dialog);
  dialog.ShowModal();
  SetTopWindow(nullptr);
  if (dialog.WorkersLetGo()) {
    // A device stopped answering and holds a worker inside a command; the window has closed
    // and its clean-up has run. Nothing the worker uses may be destroyed under it, so the
    // process ends here.
    std::fflush(nullptr);
    std::_Exit(0);
  }
  return 0;
}

}  // namespace korvan::ui
