#include "cli/settings_commands.h"

#include <memory>

#include "app/main_window_steps.h"
#include "app/menu_settings_command.h"
#include "app/show_result.h"
#include "app/update_worker.h"
#include "cli/console_session.h"
#include "cli/fixed_form_play.h"
#include "cli/schema_form_play.h"
#include "device/model_catalogue.h"
#include "settings/parameters_ini.h"
#include "settings/settings_unit_writer.h"

namespace korvan::cli {
namespace {

constexpr int kBadArguments = 2;

}  // namespace

int RunSettings(DiskHost& host, HttpClient& http, const frontend::GlobalOptions& options,
                const SettingsOptions& settings, std::ostream& out, std::ostream& err) {
  std::vector<Assignment> assignments;
  if (!ParseAssignments(settings.assignments, assignments, err)) {
    return kBadArguments;
  }
  if (settings.action == SettingsAction::Set && assignments.empty()) {
    err << "korvan: settings set: give at least one KEY=ENTRY\n";
    return kBadArguments;
  }
  ConsoleSession session(host, options, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  if (!session.Detect(true, false, options, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  AppState& state = session.state;
  ConsoleView& view = session.view;
  const std::filesystem::path ini = ParametersIniPath(state.programFolder);

  // The user of the form the model has.
  FixedFormPlay fixedPlay(settings.action, assignments, ini, err);
  SchemaFormPlay schemaPlay(settings.action, assignments, err);
  FormPlay* play = &fixedPlay;
  if (ModelCatalogue::IsLargeModel(state.deviceInfo.typeCode)) {
    view.QueueSchemaFormAnswer([&schemaPlay](ProcessValueForm& form) { return schemaPlay(form); });
    play = &schemaPlay;
  } else {
    view.QueueFormAnswer([&fixedPlay](ParameterForm& form) { return fixedPlay(form); });
  }

  SettingsUnitWriter writer(ini);
  MenuSettingsOutcome outcome;
  {
    UpdateWorker worker(host, session.slots, session.window, view, state, &writer);
    outcome = OpenMenuSettings(view, state,
                               {host, session.slots, worker, writer, &http, settings.schema});
    session.FinishUpdate(worker, outcome == MenuSettingsOutcome::Started);
  }
  view.EndProgressLine();

  switch (outcome) {
    case MenuSettingsOutcome::Refused:
      err << "korvan: the device is busy; try again\n";
      return 1;
    case MenuSettingsOutcome::ReadFailed:
      err << "korvan: " << kConnectionErrorText << " The settings unit could not be read.\n";
      return 1;
    case MenuSettingsOutcome::IniFailed:
    case MenuSettingsOutcome::NotSaved:
      err << "korvan: " << kFileOpenErrorText << ' ' << ini.string()
          << " could not be written; nothing was sent to the device.\n";
      return 1;
    case MenuSettingsOutcome::SchemaFailed:
    case MenuSettingsOutcome::PacketNotBuilt:
      // The box's text: "패킷 파싱 실패" and why, or "패킷 직렬화 실패".
      err << "korvan: " << view.LastMessage() << "\nNothing was sent to the device.\n";
      return 1;
    case MenuSettingsOutcome::Cancelled:
      if (play->Refused()) {
        return kBadArguments;
      }
      if (play->Failed()) {
        return 1;
      }
      play->PrintShown(options.json, out);
      return 0;
    case MenuSettingsOutcome::Unchanged:
      play->PrintWritten(false, "Nothing changed; nothing was written.", options.json, out);
      return 0;
    case MenuSettingsOutcome::Started:
      break;
  }
  const bool written = state.updatePhase == UpdatePhase::Finished && !state.updateFailed &&
                       view.LastMessage() == kSettingsLoadedText;
  const std::string message = state.updatePhase == UpdatePhase::Parked
                                  ? std::string(view.Status().text)
                                  : view.LastMessage();
  play->PrintWritten(written, message, options.json, out);
  return written ? 0 : 1;
}

}  // namespace korvan::cli
