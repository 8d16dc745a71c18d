// The main window's "Настройки меню" command for the fixed-layout models (every type but
// 25-27): read the device's settings unit into Parameters.ini, run the settings form, and on an
// OK that changed something have the update worker write the unit back.
#pragma once

#include "app/app_state.h"
#include "app/update_worker.h"
#include "app/view.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "settings/settings_unit_writer.h"

namespace korvan {

enum class MenuSettingsOutcome {
  Refused,      // no identified device, or an update, settings run or download is active
  SchemaModel,  // types 25-27 keep their settings by schema; the fixed form does not apply
  ReadFailed,  // the unit could not be read: "Ошибка соединения!!", no form, INI untouched
  IniFailed,  // Parameters.ini could not be written: the error is shown, no form
  Cancelled,  // "Отменить": nothing goes to the device
  Unchanged,  // OK without a change: UploadMode 5 and SettingsPending are left set
  NotSaved,   // OK, but Parameters.ini could not be written: the error is shown, no write
  Started,    // the update worker is writing the settings unit
};

// What the command works with besides the window and its state.
struct MenuSettingsContext {
  DiskHost& host;
  DriveSlotTable& slots;
  UpdateWorker& worker;
  SettingsUnitWriter& writer;  // holds SettingsWriteBlock
};

// `OpenMenuSettings`, fixed-form branch. Window thread; the device read is synchronous. While
// the started run lasts the "Настройки меню" button stays disabled (the worker gives it back),
// so a second run cannot race the first on the device or on the block.
MenuSettingsOutcome OpenMenuSettings(View& view, AppState& state,
                                     const MenuSettingsContext& context);

}  // namespace korvan
