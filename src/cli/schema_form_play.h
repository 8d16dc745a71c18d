// The settings dialog of types 25-27 played from the command line: settings chosen by field
// name and the text the grid shows, the country by the country setting's name and its entry,
// "По умолч", OK or Cancel.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/process_value_form.h"
#include "cli/form_play.h"

namespace korvan::cli {

// The country setting's name picks the country list's entry (first: it decides which rows are
// shown), every other name the grid row of that field. Every refusal (unknown name, a row the
// country hides, a text the row does not offer) is told; false when any was.
bool ApplySchemaAssignments(ProcessValueForm& form, const std::vector<Assignment>& assignments,
                            std::ostream& err);

class SchemaFormPlay final : public FormPlay {
 public:
  using FormPlay::FormPlay;

  bool operator()(ProcessValueForm& form);

  void PrintShown(bool json, std::ostream& out) const override;
  void PrintWritten(bool written, std::string_view message, bool json,
                    std::ostream& out) const override;

 private:
  struct Snapshot {
    std::optional<std::string> country;  // the country list's entry
    std::vector<std::string> countries;
    std::vector<GridGroup> grid;
    std::vector<SettingField> fields;
  };
  static Snapshot SnapshotOf(const ProcessValueForm& form);

  Snapshot before_;
  Snapshot after_;
};

}  // namespace korvan::cli
