#include "cli/detect_command.h"

#include <unistd.h>

#include <chrono>
#include <iostream>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/detection_worker.h"
#include "app/main_window_steps.h"
#include "app/task_queue.h"
#include "cli/console_view.h"
#include "cli/json_text.h"
#include "cli/probe_command.h"
#include "sources/program_folder.h"

namespace korvan::cli {
namespace {

bool Ended(const AppState& state) {
  return state.detectionPhase == DetectionPhase::Ready ||
         state.detectionPhase == DetectionPhase::NotFound;
}

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

int RunDetect(DiskHost& host, const GlobalOptions& options, const DetectOptions& detect,
              std::ostream& out, std::ostream& err) {
  std::string error;
  const auto folder = PrepareProgramFolder(options.workdir, error);
  if (!folder) {
    err << "korvan: " << error << "\n";
    return 2;
  }

  AppState state;
  state.programFolder = *folder;
  state.serviceMode = detect.service;
  ConsoleView view(options.json || !options.progressOnTerminal ? nullptr : &err);
  InitMainDialogControls(view);
  TaskQueue window;
  DriveSlotTable slots;
  if (!detect.once && !options.json) {
    err << "Searching drives " << kFirstDrive << "-" << kLastDrive
        << " until a device answers (Ctrl+C to give up)...\n";
  }
  {
    DetectionWorker worker(host, slots, window, view, state,
                           DetectionOptions{std::chrono::milliseconds(1000), detect.once ? 1 : 0});
    worker.Start();
    // The main thread is the window thread: it runs the worker's steps until the detection
    // has shown its result (or, with --once, given up).
    window.RunUntil([&state] { return Ended(state); }, std::chrono::hours(24 * 365));
    worker.Stop();
    window.RunPending();
  }
  view.EndProgressLine();

  if (state.detectionPhase != DetectionPhase::Ready) {
    if (options.json) {
      out << "null\n";
    } else {
      out << "No device answered on drives " << kFirstDrive << "-" << kLastDrive << ".\n";
    }
    ReportUnopenableDisks(host, err);
    return 1;
  }
  if (options.json) {
    PrintJson(state, view, out);
  } else {
    PrintText(host, state, view, out);
  }
  return 0;
}

}  // namespace korvan::cli
