#include "cli/schema_file_commands.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/menu_settings_command.h"
#include "app/process_value_form.h"
#include "cli/json_text.h"
#include "cli/schema_form_play.h"
#include "cli/settings_text.h"
#include "device/unit.h"
#include "settings/settings_packet.h"
#include "settings/settings_schema.h"

namespace korvan::cli {
namespace {

constexpr int kBadArguments = 2;

nlohmann::ordered_json FieldJson(const SettingField& field) {
  return {{"index", field.index},
          {"display", field.display},
          {"category", field.category},
          {"name", field.name},
          {"type", field.type},
          {"options", field.options},
          {"rus_default", field.rus_default},
          {"uzb_default", field.uzb_default},
          {"tjk_default", field.tjk_default},
          {"value", field.value},
          {"min", field.min},
          {"max", field.max},
          {"unit", field.unit},
          {"scale", field.scale},
          {"suffix", field.suffix},
          {"hint", field.hint}};
}

// The first unit of `file`, zeros after its end; false when it cannot be read.
bool ReadUnitFile(const std::string& file, UnitBuffer& unit) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return false;
  }
  unit.fill(0);
  in.read(reinterpret_cast<char*>(unit.data()), static_cast<std::streamsize>(unit.size()));
  return !in.bad();
}

// Reports a failed packet run: text for people, or JSON with ok false.
int Fail(bool json, std::string_view message, std::ostream& out, std::ostream& err) {
  if (json) {
    out << JsonLine({{"ok", false}, {"message", message}}) << '\n';
  } else {
    err << "korvan: " << message << '\n';
  }
  return 1;
}

}  // namespace

int RunSettingsSchema(const frontend::GlobalOptions& options, const std::string& file,
                      std::ostream& out, std::ostream& err) {
  SettingsSchema schema;
  std::string message;
  const bool ok = LoadSettingsSchema(file, schema.meta, schema.fields, &message);
  if (options.json) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const SettingField& field : schema.fields) {
      fields.push_back(FieldJson(field));
    }
    out << JsonLine({{"ok", ok},
                     {"message", message},
                     {"meta",
                      {{"schema_version", schema.meta.schema_version},
                       {"byte_length", schema.meta.byte_length},
                       {"fw_index", schema.meta.fw_index}}},
                     {"fields", fields}})
        << '\n';
    return ok ? 0 : 1;
  }
  if (!ok) {
    err << "korvan: " << file << ": " << message << '\n';
    return 1;
  }
  out << "schema_version " << schema.meta.schema_version << ", byte_length "
      << schema.meta.byte_length << ", fw_index " << schema.meta.fw_index << ", "
      << schema.fields.size() << " fields\n";
  out << Padded("Index", 7) << Padded("Type", 8) << Padded("Name", 26) << Padded("Range", 14)
      << "Defaults RUS/UZB/TJK\n";
  for (const SettingField& field : schema.fields) {
    out << Padded(std::to_string(field.index), 7) << Padded(field.type, 8) << Padded(field.name, 26)
        << Padded(std::to_string(field.min) + ".." + std::to_string(field.max), 14)
        << field.rus_default << '/' << field.uzb_default << '/' << field.tjk_default << '\n';
  }
  return 0;
}

int RunSettingsPacket(const frontend::GlobalOptions& options, const PacketOptions& packet,
                      std::ostream& out, std::ostream& err) {
  std::vector<Assignment> assignments;
  if (!ParseAssignments(packet.assignments, assignments, err)) {
    return kBadArguments;
  }
  UnitBuffer unit{};
  if (packet.devicePacket && !ReadUnitFile(*packet.devicePacket, unit)) {
    err << "korvan: " << *packet.devicePacket << ": cannot be read\n";
    return kBadArguments;
  }
  ProcessValueForm form(packet.schema);
  SettingsPacketHeader header{};
  std::string version;
  std::string why;
  if (!form.LoadFromDevice(SettingsPacketFrame(unit), header, version, why)) {
    return Fail(options.json, std::string(kPacketParseFailedText) + "\n" + why, out, err);
  }
  if (packet.country) {
    const std::vector<std::string>& entries = form.CountryEntries();
    const auto entry = std::find(entries.begin(), entries.end(), *packet.country);
    if (entry == entries.end()) {
      err << "korvan: --country " << Quoted(*packet.country) << ": the country list has "
          << QuotedList(entries) << '\n';
      return kBadArguments;
    }
    form.OnCountryChanged(static_cast<int>(entry - entries.begin()));
  }
  if (packet.defaults) {
    form.OnDefaults();
  }
  if (!ApplySchemaAssignments(form, assignments, err)) {
    return kBadArguments;
  }
  std::vector<uint8_t> bytes;
  if (!form.BuildUploadPacket(header, bytes)) {
    return Fail(options.json, kPacketBuildFailedText, out, err);
  }
  {
    std::ofstream file(packet.out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
      err << "korvan: " << packet.out << ": cannot be written\n";
      return 1;
    }
  }
  const std::string digits = PacketVersionDigits(form.Schema().meta.schema_version);
  std::vector<std::string> visible;
  for (const GridGroup& group : form.Grid()) {
    for (const GridProperty& property : group.properties) {
      visible.push_back(property.name);
    }
  }
  if (options.json) {
    out << JsonLine({{"ok", true},
                     {"message", ""},
                     {"version", digits},
                     {"country", static_cast<int>(form.Country())},
                     {"visible", visible},
                     {"packetLength", bytes.size()}})
        << '\n';
  } else {
    out << "Wrote " << bytes.size() << " bytes to " << packet.out << ": version " << digits << ", "
        << visible.size() << " settings shown\n";
  }
  return 0;
}

}  // namespace korvan::cli
