#include "cli/settings_command_line.h"

namespace korvan::cli {

SettingsCommandLine::SettingsCommandLine(CLI::App& app) {
  settings_ = app.add_subcommand(
      "settings",
      "The device's menu settings, as the \"Настройки меню\" form shows and writes them");
  settings_->fallthrough();
  settings_->require_subcommand(1);
  settings_
      ->add_option("--schema", localSchema_,
                   "Models 25-27: use this settings schema instead of the server's")
      ->type_name("FILE");

  CLI::App* show = settings_->add_subcommand(
      "show", "Read the settings and list each one as the form shows it (and what it lets change)");
  show->fallthrough();
  set_ = settings_->add_subcommand(
      "set", "Change lists as the form does and press OK: the unit is written and read back");
  set_->fallthrough();
  set_->add_option("KEY=ENTRY", device_.assignments,
                   "A setting and the entry its list shows, e.g. \"X OnOff=Вык\" \"Highway=150m\"; "
                   "models 25-27: a field name and the text the grid shows, e.g. \"Город 1=400 m\"")
      ->required();
  defaults_ = settings_->add_subcommand(
      "defaults", "Press \"По умолч\" then OK: the factory settings written to the device");
  defaults_->fallthrough();

  schema_ = settings_->add_subcommand(
      "schema", "Load a settings schema of models 25-27 as the dialog does and print it");
  schema_->fallthrough();
  schema_->add_option("FILE", schemaFile_, "The schema (.csv)")->required();

  packet_ = settings_->add_subcommand(
      "packet",
      "The settings dialog of models 25-27 without a window or device: write the packet OK sends");
  packet_->fallthrough();
  packet_->add_option("--schema", packetOptions_.schema, "The schema (.csv)")
      ->required()
      ->type_name("FILE");
  packet_
      ->add_option("--device-packet", devicePacket_,
                   "The settings unit as read from a device (default: all zeros)")
      ->type_name("FILE");
  packet_->add_option("--country", country_, "Choose this entry of the country list")
      ->type_name("TEXT");
  packet_->add_flag("--defaults", packetOptions_.defaults, "Press \"По умолч\"");
  packet_->add_option("--set", packetOptions_.assignments,
                      "NAME=TEXT: the setting and the text the grid shows, e.g. \"Лазер=Вкл\"");
  packet_->add_option("--out", packetOptions_.out, "Where to write the packet")
      ->required()
      ->type_name("FILE");
}

int SettingsCommandLine::Run(DiskHost* host, HttpClient& http,
                             const frontend::GlobalOptions& options, std::ostream& out,
                             std::ostream& err) {
  if (schema_->parsed()) {
    return RunSettingsSchema(options, schemaFile_, out, err);
  }
  if (packet_->parsed()) {
    PacketOptions packet = packetOptions_;
    if (!devicePacket_.empty()) {
      packet.devicePacket = devicePacket_;
    }
    if (!country_.empty()) {
      packet.country = country_;
    }
    return RunSettingsPacket(options, packet, out, err);
  }
  SettingsOptions settings = device_;
  settings.action = set_->parsed()        ? SettingsAction::Set
                    : defaults_->parsed() ? SettingsAction::Defaults
                                          : SettingsAction::Show;
  if (!localSchema_.empty()) {
    settings.schema = localSchema_;
  }
  return RunSettings(*host, http, options, settings, out, err);
}

}  // namespace korvan::cli
