#include "cli/detect_command.h"

#include "app/app_state.h"
#include "app/control_ids.h"
#include "cli/console_session.h"
#include "cli/console_view.h"
#include "cli/json_text.h"

namespace korvan::cli {
namespace {

void PrintJson(const AppState& state, const ConsoleView& view, std::ostream& out) {
  const DeviceInfo& info = state.deviceInfo;
  nlohmann::ordered_json result{
      {"drive", state.DetectedDrive},
      {"typeCode", info.typeCode},
      {"typeForced", info.typeForced},
      {"country", info.country},
      {"legacyModel", info.legacyModel},
      {"model", view.FieldText(ids::kModelText)},
      {"firmware", view.FieldText(ids::kFwVersionText)},
      {"database", view.FieldText(ids::kDbVersionText)},
      {"voice", view.FieldText(ids::kVoiceVersionText)},
      {"aux", view.FieldText(ids::kAuxVersionText)},
      {"status", view.Status().text},
      {"message", view.LastMessage()},
  };
  out << JsonLine(result) << '\n';
}

void PrintText(DiskHost& host, const AppState& state, const ConsoleView& view, std::ostream& out) {
  out << "Drive:     " << state.DetectedDrive << " (" << host.DriveName(state.DetectedDrive)
      << ")\n";
  out << "Model:     " << view.FieldText(ids::kModelText) << '\n';
  out << "Firmware:  " << view.FieldText(ids::kFwVersionText) << '\n';
  out << "Database:  " << view.FieldText(ids::kDbVersionText) << '\n';
  out << "Voice:     " << view.FieldText(ids::kVoiceVersionText) << '\n';
  if (const std::string aux = view.FieldText(ids::kAuxVersionText); !aux.empty()) {
    out << "Version 1: " << aux << '\n';
  }
  out << "Status:    " << view.Status().text << '\n';
  if (const std::string message = view.LastMessage(); !message.empty()) {
    out << "Message:\n" << message << '\n';
  }
}

}  // namespace

int RunDetect(DiskHost& host, const frontend::GlobalOptions& options, const DetectOptions& detect,
              std::ostream& out, std::ostream& err) {
  ConsoleSession session(host, options, err);
  if (const int status = session.PrepareFolder(options, err); status != 0) {
    return status;
  }
  if (!session.Detect(detect.once, detect.service, options, err)) {
    ReportNoDevice(host, options, out, err);
    return 1;
  }
  if (options.json) {
    PrintJson(session.state, session.view, out);
  } else {
    PrintText(host, session.state, session.view, out);
  }
  return 0;
}

}  // namespace korvan::cli
