#include "cli/update_commands.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <vector>

#include "app/control_ids.h"
#include "app/main_window_steps.h"
#include "app/open_update_file.h"
#include "app/update_worker.h"
#include "app/upload_command.h"
#include "cli/console_session.h"
#include "cli/json_text.h"
#include "flash/region_writer.h"

namespace korvan::cli {
namespace {

std::string Absolute(const std::string& file) {
  std::error_code ignored;
  const auto path = std::filesystem::absolute(file, ignored);
  return path.empty() ? file : path.string();
}

// The Open command with `file` as the user's choice in the open-file dialog.
void OpenFile(ConsoleSession& session, const std::string& file) {
  session.view.QueueFileChoice(Absolute(file));
  OpenUpdateFile(session.view, session.state);
}

// The error texts the status bar showed during the run, in order, each once: the bar's last
// text is only what the last component left there.
std::vector<std::string> ErrorsShown(const ConsoleView& view) {
  const std::string_view errors[] = {kFileOpenErrorText, kVerifyErrorText, kConnectionErrorText,
                                     kReconnectText};
  std::vector<std::string> shown;
  for (const std::string& call : view.Calls()) {
    constexpr std::string_view kStatus = "status ";
    if (call.rfind(kStatus, 0) != 0) {
      continue;
    }
    const std::string text = call.substr(kStatus.size());
    if (std::find(std::begin(errors), std::end(errors), text) != std::end(errors) &&
        std::find(shown.begin(), shown.end(), text) == shown.end()) {
      shown.push_back(text);
    }
  }
  return shown;
}

bool Accepted(const ConsoleSession& session) {
  return session.state.UpdateFileReady && session.view.Control(ids::kUploadButton).enabled;
}

}  // namespace

int RunCheck(DiskHost& host, const frontend::GlobalOptions& options, const CheckOptions& check,
             std::ostream& out, std::ostream& err) {
  ConsoleSession session(host, options, err);
  if (!session.PrepareFolder(options, err)) {
    return 2;
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
  OpenFile(session, check.file);
  const bool accepted = Accepted(session);
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
  if (!session.PrepareFolder(options, err)) {
    return 2;
  }
  if (!session.Detect(true, false, sessionOptions, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  AppState& state = session.state;
  ConsoleView& view = session.view;
  state.source = 1;  // the local-file source
  state.verify = update.verify;
  OpenFile(session, update.file);

  bool started = false;
  {
    UpdateWorker worker(host, session.slots, session.window, view, state);
    started = UploadCommand(view, state, worker);
    if (started) {
      session.RunUntil([&state] {
        return state.updatePhase == UpdatePhase::Finished ||
               state.updatePhase == UpdatePhase::Parked;
      });
    }
    worker.Stop();  // a parked worker ends here: the program is closing
    session.window.RunPending();
  }
  view.EndProgressLine();

  const std::string cells[] = {view.FieldText(ids::kFwResultText),
                               view.FieldText(ids::kVoiceResultText),
                               view.FieldText(ids::kDbResultText)};
  const bool parked = state.updatePhase == UpdatePhase::Parked;
  const std::vector<std::string> errors = ErrorsShown(view);
  bool good = started && !parked && !state.updateFailed;
  for (const auto& cell : cells) {
    good = good && (cell.empty() || cell == kSameText || cell == kUpdatedText);
  }
  if (options.json) {
    out << JsonLine({{"firmware", cells[0]},
                     {"voice", cells[1]},
                     {"database", cells[2]},
                     {"status", view.StatusShown()},
                     {"message", view.LastMessage()},
                     {"parked", parked},
                     {"errors", errors}})
        << '\n';
  } else {
    out << "Firmware:  " << cells[0] << '\n'
        << "Voice:     " << cells[1] << '\n'
        << "Database:  " << cells[2] << '\n'
        << "Status:    " << view.StatusShown() << '\n';
    for (const std::string& error : errors) {
      out << "Error:     " << error << '\n';
    }
    if (const std::string message = view.LastMessage(); !message.empty()) {
      out << "Message:\n" << message << '\n';
    }
    if (parked) {
      out << "The device stopped taking data; reconnect the USB cable and run the update "
             "again.\n";
    }
  }
  return good ? 0 : 1;
}

}  // namespace korvan::cli
