#include "app/menu_settings_command.h"

#include <algorithm>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/update_worker.h"
#include "device/model_catalogue.h"
#include "settings/device_settings_reader.h"
#include "settings/parameter_form.h"
#include "settings/parameters_ini.h"

namespace korvan {
namespace {

bool Busy(const AppState& state) {
  return !state.DevicePresent || state.detectionPhase != DetectionPhase::Ready ||
         state.updatePhase == UpdatePhase::Running || state.downloadPhase == DownloadPhase::Running;
}

}  // namespace

MenuSettingsOutcome OpenMenuSettings(View& view, AppState& state,
                                     const MenuSettingsContext& context) {
  if (Busy(state)) {
    return MenuSettingsOutcome::Refused;
  }
  const DeviceInfo& device = state.deviceInfo;
  if (ModelCatalogue::IsLargeModel(device.typeCode)) {
    return OpenSchemaSettings(view, state, context);
  }

  const std::filesystem::path iniFile = ParametersIniPath(state.programFolder);
  // A unit that could not be read would put whatever the buffer held into Parameters.ini and
  // the form: the user is told instead, and the file keeps what it had.
  switch (ReadDeviceSettings(context.host, context.slots, state.DetectedDrive, device.typeCode,
                             iniFile, state.SettingsReadBlock)) {
    case SettingsReadResult::Read:
      break;
    case SettingsReadResult::LinkLost:
      view.ShowMessage(kConnectionErrorText, {}, MessageIcon::Error);
      return MenuSettingsOutcome::ReadFailed;
    case SettingsReadResult::IniNotWritten:
      view.ShowMessage(kFileOpenErrorText, {}, MessageIcon::Error);
      return MenuSettingsOutcome::IniFailed;
  }

  ParameterForm form(device.typeCode, device.country, device.legacyModel, iniFile);
  form.Load();
  if (!view.RunParameterForm(form)) {
    return MenuSettingsOutcome::Cancelled;
  }

  const ParameterForm::OkResult ok = form.Ok();
  if (!ok.saved) {
    // The writer takes the settings from Parameters.ini: without the new values there it
    // would write the old ones and call that a success.
    view.ShowMessage(kFileOpenErrorText, {}, MessageIcon::Error);
    return MenuSettingsOutcome::NotSaved;
  }
  // Set even when nothing changed: a later server download then writes the settings.
  state.UploadMode = kUploadLegacySettings;
  state.SettingsPending = true;
  // Bytes 48-1023 are not the form's: they go back as the device held them, so a settings
  // write changes the 48 settings (and the writer's signature) and nothing else.
  UnitBuffer block = state.SettingsReadBlock;
  std::copy(ok.bytes.begin(), ok.bytes.end(), block.begin());
  context.writer.SetSettingsWriteBlock(block);
  if (!form.Changed(state.SettingsReadBlock)) {
    return MenuSettingsOutcome::Unchanged;
  }
  state.QuietUpload = true;
  // Given back by the worker when the run ends.
  view.EnableControl(ids::kMenuSettingsButton, false);
  context.worker.Start();
  return MenuSettingsOutcome::Started;
}

}  // namespace korvan
