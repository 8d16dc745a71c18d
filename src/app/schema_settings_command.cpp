// The schema branch of "Настройки меню" (types 25-27): the model's schema from the server, the
// device's settings packet, the dialog, and on OK the new packet for the update worker.
#include <algorithm>
#include <string>
#include <system_error>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/menu_settings_command.h"
#include "app/process_value_form.h"
#include "settings/device_settings_reader.h"
#include "settings/settings_schema.h"
#include "sources/program_folder.h"
#include "sources/schema_download.h"

namespace korvan {
namespace {

void ShowParseFailed(View& view, std::string_view why) {
  std::string text(kPacketParseFailedText);
  if (!why.empty()) {
    text += '\n';
    text += why;
  }
  view.ShowMessage(text, {}, MessageIcon::Error);
}

// Schema.csv made fresh for this run: downloaded, or copied from the user's own file. False when
// there is none; no copy from an earlier run is left to be taken for this one.
bool FetchSchema(const AppState& state, const MenuSettingsContext& context,
                 const std::filesystem::path& target) {
  if (context.localSchema) {
    std::error_code error;
    std::filesystem::remove(target, error);
    return !error && std::filesystem::copy_file(*context.localSchema, target, error) && !error;
  }
  if (context.http == nullptr) {
    return false;
  }
  return DownloadSchema(*context.http, state.serverUrl, state.deviceInfo.typeCode, target,
                        kMaxSchemaFileBytes)
      .ok();
}

}  // namespace

MenuSettingsOutcome OpenSchemaSettings(View& view, AppState& state,
                                       const MenuSettingsContext& context) {
  const std::filesystem::path schema = ProgramFolderFile(state.programFolder, kSchemaLocalName);
  if (!FetchSchema(state, context, schema)) {
    // What the dialog says of a schema it cannot open.
    ShowParseFailed(view, kSchemaOpenFailed);
    return MenuSettingsOutcome::SchemaFailed;
  }
  // The packet from a unit that was not read would be whatever the buffer held.
  if (!ReadSettingsUnit(context.host, context.slots, state.DetectedDrive, kPacketSettingsUnit,
                        state.SettingsReadBlock)) {
    view.ShowMessage(kConnectionErrorText, {}, MessageIcon::Error);
    return MenuSettingsOutcome::ReadFailed;
  }

  ProcessValueForm form(schema);
  SettingsPacketHeader header{};
  std::string version;
  std::string why;
  if (!form.LoadFromDevice(SettingsPacketFrame(state.SettingsReadBlock), header, version, why)) {
    ShowParseFailed(view, why);
    return MenuSettingsOutcome::SchemaFailed;  // the schema stays for a look at it
  }

  MenuSettingsOutcome outcome = MenuSettingsOutcome::Cancelled;
  if (view.RunSchemaForm(form)) {
    std::vector<uint8_t> packet;
    // The writer puts its signature into bytes 1020-1023: a longer packet would lose its tail.
    if (!form.BuildUploadPacket(header, packet) || packet.size() > kSettingsUnitSignatureOffset) {
      view.ShowMessage(kPacketBuildFailedText, {}, MessageIcon::Error);
      return MenuSettingsOutcome::PacketNotBuilt;
    }
    state.UploadMode = kUploadSettingsPacket;
    state.SettingsPending = true;
    state.QuietUpload = true;
    UnitBuffer block{};
    std::copy(packet.begin(), packet.end(), block.begin());
    context.writer.SetSettingsWriteBlock(block);
    view.EnableControl(ids::kMenuSettingsButton, false);
    context.worker.Start();
    outcome = MenuSettingsOutcome::Started;
  }
  std::error_code ignored;
  std::filesystem::remove(schema, ignored);  // `DeleteSchemaFile`
  return outcome;
}

}  // namespace korvan
