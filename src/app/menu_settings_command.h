// The main window's "Настройки меню" command for the fixed-layout models (every type but
// 25-27): read the device's settings unit into Parameters.ini, run the settings form, and on an
// OK that changed something have the update worker write the unit back.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "app/app_state.h"
#include "app/update_worker.h"
#include "app/view.h"
#include "device/drive_slot_table.h"
#include "device/scsi_transport.h"
#include "settings/settings_unit_writer.h"
#include "sources/http_client.h"

namespace korvan {

enum class MenuSettingsOutcome {
  Refused,  // no identified device, or an update, settings run or download is active
  ReadFailed,  // the unit could not be read: "Ошибка соединения!!", no form, INI untouched
  IniFailed,       // Parameters.ini could not be written: the error is shown, no form
  SchemaFailed,    // types 25-27: the schema did not arrive or load, or the device's packet
                   // did not parse: "패킷 파싱 실패" and why, no dialog
  Cancelled,       // "Отменить": nothing goes to the device
  Unchanged,       // OK without a change: UploadMode 5 and SettingsPending are left set
  NotSaved,        // OK, but Parameters.ini could not be written: the error is shown, no write
  PacketNotBuilt,  // types 25-27: OK, but no packet fits the unit: "패킷 직렬화 실패"
  Started,         // the update worker is writing the settings unit
};

// What the command works with besides the window and its state.
struct MenuSettingsContext {
  DiskHost& host;
  DriveSlotTable& slots;
  UpdateWorker& worker;
  SettingsUnitWriter& writer;  // holds SettingsWriteBlock
  // Types 25-27: the server the schema comes from (state.serverUrl), or a schema file of the
  // user's own that is used instead (copied to Schema.csv).
  HttpClient* http = nullptr;
  std::optional<std::filesystem::path> localSchema;
};

// The text of the box after a failed schema or packet, and after a packet that cannot be built.
inline constexpr std::string_view kPacketParseFailedText = "패킷 파싱 실패";
inline constexpr std::string_view kPacketBuildFailedText = "패킷 직렬화 실패";

// `OpenMenuSettings`: the fixed form of Parameters.ini for every model but 25-27, the schema
// dialog for those. Window thread; the schema download and the device read are synchronous.
// While the started run lasts the "Настройки меню" button stays disabled (the worker gives it
// back), so a second run cannot race the first on the device or on the block.
MenuSettingsOutcome OpenMenuSettings(View& view, AppState& state,
                                     const MenuSettingsContext& context);

// The schema branch alone (types 25-27), for OpenMenuSettings.
MenuSettingsOutcome OpenSchemaSettings(View& view, AppState& state,
                                       const MenuSettingsContext& context);

}  // namespace korvan
