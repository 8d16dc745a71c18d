// The settings form of the fixed-layout models played from the command line: lists chosen by
// key and entry text, "По умолч", OK or Cancel.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/form_play.h"
#include "settings/parameter_form.h"

namespace korvan::cli {

class FixedFormPlay final : public FormPlay {
 public:
  FixedFormPlay(SettingsAction action, std::vector<Assignment> assignments,
                std::filesystem::path ini, std::ostream& err)
      : FormPlay(action, std::move(assignments), err), ini_(std::move(ini)) {}

  // The form is open: make the changes and answer OK (true) or Cancel.
  bool operator()(ParameterForm& form);

  void PrintShown(bool json, std::ostream& out) const override;
  void PrintWritten(bool written, std::string_view message, bool json,
                    std::ostream& out) const override;

 private:
  // One list of the form as the user sees it.
  struct Row {
    int stored = 0;
    std::optional<std::string> entry;  // none: the list shows no selection
    bool enabled = true;
  };
  using Rows = std::vector<Row>;

  Rows RowsOf(const ParameterForm& form) const;
  bool Apply(ParameterForm& form);

  std::filesystem::path ini_;
  Rows before_;
  Rows after_;
};

}  // namespace korvan::cli
