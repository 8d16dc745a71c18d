// korvan-gadget: a device folder served as a USB mass-storage device through FunctionFS, so a
// Linux host's own drivers (usb-storage, sd, sg) reach the simulated detector. Used by the
// kernel test inside a guest; see tests/kernel/.
//   korvan-gadget MOUNT DIR [--name TEXT] [--ready-file F] [--hold-at-write N --hold-file F]
// SIGUSR1 arms the hold (each signal once); SIGTERM or SIGINT prints a summary and ends.
#include <pthread.h>
#include <signal.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "emulator/device_folder.h"
#include "emulator/gadget/command_log.h"
#include "emulator/gadget/function_fs_device.h"
#include "emulator/gadget/mass_storage_target.h"

int main(int argc, char** argv) {
  using namespace korvan::emu;

  CLI::App app{"Serves a device folder as a USB mass-storage device through FunctionFS.",
               "korvan-gadget"};
  std::string mount;
  std::string folder;
  std::string name;
  std::string readyFile;
  uint64_t holdAt = 0;
  std::string holdFile;
  app.add_option("MOUNT", mount, "Where the function's functionfs is mounted")->required();
  app.add_option("DIR", folder, "Device folder (see korvan-emu make)")->required();
  app.add_option("--name", name, "Name in the log lines (default: the folder's name)");
  app.add_option("--ready-file", readyFile,
                 "Written once the descriptors are in: the gadget may be bound from then on");
  app.add_option("--hold-at-write", holdAt,
                 "After SIGUSR1, take the N-th write command and never answer it")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 40));
  app.add_option("--hold-file", holdFile, "Written when the held command arrives");
  CLI11_PARSE(app, argc, argv);
  if (name.empty()) {
    name = std::filesystem::path(folder).filename().string();
  }

  LoadedDevice loaded = LoadDeviceFolder(folder);
  if (!loaded.device) {
    std::cerr << "korvan-gadget: " << loaded.error << "\n";
    return 1;
  }
  // Commands are told in the log; a detection's thousands of units need not be kept too.
  loaded.device->SetRecordMode(RecordMode::Off);

  // The signals are taken by sigwait below; blocked before any thread starts, so every
  // thread inherits the mask and none takes them instead.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  MassStorageTarget target(loaded.device);
  CommandLog log(std::cerr, "gadget " + name);
  FunctionFsDevice device(target, log);
  std::string why;
  if (!device.Open(mount, "Korvan simulated detector", why)) {
    std::cerr << "korvan-gadget: " << why << "\n";
    return 1;
  }
  log.Note("serving " + folder);
  device.Start();
  if (!readyFile.empty()) {
    std::ofstream(readyFile) << "ready\n";
  }

  for (;;) {
    int received = 0;
    sigwait(&signals, &received);
    if (received == SIGUSR1) {
      if (holdAt > 0) {
        device.HoldAtWrite(holdAt, holdFile);
      }
      continue;
    }
    std::cerr << "gadget " << name << ": " << device.Summary() << "\n" << std::flush;
    // The serving threads may be blocked in endpoint I/O; the memories are written through
    // at once, so nothing is lost by leaving without them.
    std::_Exit(0);
  }
}
