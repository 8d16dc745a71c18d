// The user's choice in the schema dialog, for the tests that play it.
#pragma once

#include <string_view>

#include "app/process_value_form.h"

namespace korvan::testing {

// Picks `text` in the first row of the dialog whose name is `name`; false when there is none.
inline bool Pick(ProcessValueForm& form, std::string_view name, std::string_view text) {
  for (const GridGroup& group : form.Grid()) {
    for (const GridProperty& property : group.properties) {
      if (property.name == name) {
        form.OnPropertyChanged(property.field, text);
        return true;
      }
    }
  }
  return false;
}

}  // namespace korvan::testing
