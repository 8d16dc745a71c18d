#include "app/device_removal.h"

#include <algorithm>

namespace korvan {

bool NamesTheDetector(const std::string& identification) {
  return identification.find("Firmware") != std::string::npos &&
         identification.find("Update") != std::string::npos;
}

bool RemovalEndsProgram(const DeviceChangeEvent& event, const EnumeratedDisks& disks) {
  if (!event.hasHeader || !event.volume || event.type != DeviceChange::RemoveComplete) {
    return false;
  }
  const std::vector<std::string> listed = disks.Identifications();
  const size_t examined = listed.size() & 0xFF;
  return std::none_of(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(examined),
                      NamesTheDetector);
}

}  // namespace korvan
