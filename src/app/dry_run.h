// The dry run: what the update sequence would do with the chosen update file on the detected
// device, component by component, asked of scratch copies of the detection's memory copies.
// Nothing is sent to the device and the copies themselves stay as they are.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "sources/update_file_layout.h"

namespace korvan {

enum class DryRunAction {
  Write,  // the update would write it
  Same,   // the device already holds it
  Skip,   // the sequence leaves it out for this device and file
  Fail,   // the update would fail it without writing (it does not lie whole in the file)
};

std::string_view DryRunActionName(DryRunAction action);

struct DryRunComponent {
  UpdateComponent component;
  DryRunAction action;
  uint64_t fileBytes = 0;  // the component's length in the update file
  uint64_t units = 0;      // units the update would write (Write only)
};

struct DryRunResult {
  std::vector<DryRunComponent> components;  // the model's components, in the sequence's order
  std::string error;                        // set when the scratch copies could not be made
};

// For the device and update file `state` holds (after detection and Open). The scratch copies
// are made in `scratch`, which is removed afterwards.
DryRunResult DryRunUpdate(const AppState& state, const std::filesystem::path& scratch);

}  // namespace korvan
