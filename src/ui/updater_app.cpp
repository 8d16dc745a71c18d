#include "ui/updater_app.h"

#include <wx/log.h>

#include <cstdio>

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

}  // namespace

bool CDahlia_UpdaterApp::OnInit() {
  wxSetAssertHandler(LogAssert);
  SetAppName("korvan-updater");
  SetAppDisplayName("Korvan Updater");
  return true;
}

int CDahlia_UpdaterApp::OnRun() {
  MainDialogOptions dialogOptions;
  dialogOptions.programFolder = options_.programFolder;
  dialogOptions.siteUrl = options_.siteUrl;
  dialogOptions.logic.serverUrl = options_.serverUrl;
  CDahlia_UpdaterDlg dialog(*options_.host, std::move(dialogOptions));
  SetTopWindow(&dialog);
  dialog.ShowModal();
  SetTopWindow(nullptr);
  return 0;
}

}  // namespace korvan::ui
