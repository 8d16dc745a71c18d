// `korvan settings schema` and `korvan settings packet`: the settings schema of types 25-27 and
// the dialog's model without a window or a device, for checking a schema and making packets.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "frontend/global_options.h"

namespace korvan::cli {

// Loads FILE as the dialog does and prints the meta and every field. Exit 0 when it loads, 1
// when not (with the loader's message).
int RunSettingsSchema(const frontend::GlobalOptions& options, const std::string& file,
                      std::ostream& out, std::ostream& err);

struct PacketOptions {
  std::string schema;
  std::optional<std::string> devicePacket;  // a settings unit as read from a device
  std::optional<std::string> country;       // an entry of the country list
  bool defaults = false;
  std::vector<std::string> assignments;  // NAME=TEXT, the text as the grid shows it
  std::string out;
};

// The dialog's model on the schema and the device's packet (an all-zero unit without one):
// the country chosen, "По умолч", the settings set, in that order; writes the packet OK would
// send. Exit 0 when written, 1 when the schema, the device packet or the packet failed, 2 for
// an unknown country, name or text.
int RunSettingsPacket(const frontend::GlobalOptions& options, const PacketOptions& packet,
                      std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
