#include "cli/update_commands.h"

#include <algorithm>
#include <filesystem>

#include "app/control_ids.h"
#include "app/dry_run.h"
#include "app/open_update_file.h"
#include "app/update_sequence.h"
#include "app/update_worker.h"
#include "app/upload_command.h"
#include "cli/console_session.h"
#include "cli/json_text.h"
#include "cli/update_report.h"

namespace korvan::cli {
namespace {

std::string Absolute(const std::string& file) {
  std::error_code ignored;
  const auto path = std::filesystem::absolute(file, ignored);
  return path.empty() ? file : path.string();
}

std::string Padded(std::string_view text, size_t width) {
  return std::string(text) + std::string(width > text.size() ? width - text.size() : 1, ' ');
}

}  // namespace

void OpenFile(ConsoleView& view, AppState& state, const std::string& file) {
  view.QueueFileChoice(Absolute(file));
  OpenUpdateFile(view, state);
}

bool Accepted(const ConsoleView& view, const AppState& state) {
  return state.UpdateFileReady && view.Control(ids::kUploadButton).enabled;
}

int RunCheck(DiskHost& host, const frontend::GlobalOptions& options, const CheckOptions& check,
             std::ostream& out, std::ostream& err) {
  ConsoleSession session(host, options, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  if (check.type) {
    // The model as the detection would have normalised it.
    int8_t type = static_cast<int8_t>(*check.type & 0x7F);
    session.state.deviceInfo.typeForced = type == 0;
    session.state.deviceInfo.typeCode = type == 0 ? int8_t{4} : type;
  } else if (!session.Detect(true, false, options, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  OpenFile(session.view, session.state, check.file);
  const bool accepted = Accepted(session.view, session.state);
  const ConsoleView& view = session.view;
  if (options.json) {
    out << JsonLine({{"accepted", accepted},
                     {"status", view.Status().text},
                     {"firmware", view.FieldText(ids::kFileFwVersionText)},
                     {"voice", view.FieldText(ids::kFileVoiceVersionText)},
                     {"database", view.FieldText(ids::kFileDbText)},
                     {"country", session.state.updateFileInfo.fileCountry}})
        << '\n';
  } else {
    out << "Status:    " << view.Status().text << '\n'
        << "Firmware:  " << view.FieldText(ids::kFileFwVersionText) << '\n'
        << "Voice:     " << view.FieldText(ids::kFileVoiceVersionText) << '\n'
        << "Database:  " << view.FieldText(ids::kFileDbText) << '\n'
        << "Upload:    " << (accepted ? "enabled" : "disabled") << '\n';
  }
  return accepted ? 0 : 1;
}

int RunUpdate(DiskHost& host, const frontend::GlobalOptions& options, const UpdateOptions& update,
              std::ostream& out, std::ostream& err) {
  frontend::GlobalOptions sessionOptions = options;
  sessionOptions.progressOnTerminal = options.progressOnTerminal && !update.quiet;
  ConsoleSession session(host, sessionOptions, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  if (!session.Detect(true, false, sessionOptions, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  AppState& state = session.state;
  ConsoleView& view = session.view;
  state.source = 1;  // the local-file source
  state.verify = update.verify;
  OpenFile(view, state, update.file);

  bool started = false;
  {
    UpdateWorker worker(host, session.slots, session.window, view, state);
    started = UploadCommand(view, state, worker);
    session.FinishUpdate(worker, started);
  }
  view.EndProgressLine();

  return ReportUpdate(session, started, options.json, {}, out);
}

int RunDiff(DiskHost& host, const frontend::GlobalOptions& options, const DiffOptions& diff,
            std::ostream& out, std::ostream& err) {
  ConsoleSession session(host, options, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  if (!session.Detect(true, false, options, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  OpenFile(session.view, session.state, diff.file);
  const bool accepted = Accepted(session.view, session.state);
  DryRunResult dry;
  if (accepted) {
    dry = DryRunUpdate(session.state, session.state.programFolder / "dry-run");
    if (!dry.error.empty()) {
      err << "korvan: " << dry.error << "\n";
      return 1;
    }
  }
  const bool wouldFail =
      std::any_of(dry.components.begin(), dry.components.end(),
                  [](const DryRunComponent& c) { return c.action == DryRunAction::Fail; });
  const bool writes =
      std::any_of(dry.components.begin(), dry.components.end(),
                  [](const DryRunComponent& c) { return c.action == DryRunAction::Write; });
  if (options.json) {
    nlohmann::ordered_json components = nlohmann::ordered_json::array();
    for (const DryRunComponent& c : dry.components) {
      components.push_back({{"component", ComponentName(c.component)},
                            {"action", DryRunActionName(c.action)},
                            {"fileBytes", c.fileBytes},
                            {"units", c.units}});
    }
    out << JsonLine({{"accepted", accepted},
                     {"status", session.view.Status().text},
                     {"writes", writes},
                     {"components", components}})
        << '\n';
  } else if (!accepted) {
    out << "Status:    " << session.view.Status().text << '\n'
        << "The file is refused: an update with it would not start.\n";
  } else {
    out << "COMPONENT  UPDATE WOULD  FILE BYTES  UNITS TO WRITE\n";
    for (const DryRunComponent& c : dry.components) {
      out << Padded(ComponentName(c.component), 11) << Padded(DryRunActionName(c.action), 14)
          << Padded(std::to_string(c.fileBytes), 12) << c.units << '\n';
    }
    out << (writes ? "An update with this file would write the components marked write.\n"
                   : "An update with this file would write nothing: the device holds it.\n");
  }
  return accepted && !wouldFail ? 0 : 1;
}

}  // namespace korvan::cli
