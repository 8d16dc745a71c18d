// The user of a settings form, played by the command line: `korvan settings show|set|defaults`
// hand one of these to the form the command opens. It makes the changes it was given (or
// none), answers OK or Cancel, and keeps what the form showed before and after for the report.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "cli/settings_text.h"

namespace korvan::cli {

enum class SettingsAction {
  Show,      // the form opened and cancelled: what the device holds
  Set,       // lists changed, then OK
  Defaults,  // "По умолч", then OK
};

class FormPlay {
 public:
  FormPlay(SettingsAction action, std::vector<Assignment> assignments, std::ostream& err)
      : action_(action), assignments_(std::move(assignments)), err_(err) {}
  virtual ~FormPlay() = default;

  bool Refused() const { return refused_; }  // an assignment was refused (told to err)
  bool Failed() const { return failed_; }    // the form could not do its part (told to err)

  // The settings as the form showed them when it opened.
  virtual void PrintShown(bool json, std::ostream& out) const = 0;
  // What OK changed, whether the device now holds it, and the message that ended the run.
  virtual void PrintWritten(bool written, std::string_view message, bool json,
                            std::ostream& out) const = 0;

 protected:
  SettingsAction action_;
  std::vector<Assignment> assignments_;
  std::ostream& err_;
  bool refused_ = false;
  bool failed_ = false;
};

}  // namespace korvan::cli
