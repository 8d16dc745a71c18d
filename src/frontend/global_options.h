// Options the front ends accept: the device source and working folder (both), and the command
// line's output switches.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/backup_store.h"

namespace korvan::frontend {

// A device folder standing in for physical drive `drive`.
struct DeviceDirOption {
  std::filesystem::path dir;
  int drive;
};

// A fault the simulated devices are given (KORVAN_SIMULATE_FAULT), to try the program's
// error paths: after answering `answered` commands the device stops answering (each later
// command waits for ever) or is unplugged. With `drive`, only the device on that drive gets
// it, so a run over several devices can have one fail among good ones.
struct SimulatedFault {
  enum class Kind : uint8_t { Stall, Unplug };
  Kind kind = Kind::Stall;
  uint64_t answered = 0;
  std::optional<int> drive;

  bool Hits(int deviceDrive) const { return !drive || *drive == deviceDrive; }
};

inline constexpr const char* kSimulateFaultVariable = "KORVAN_SIMULATE_FAULT";

struct GlobalOptions {
  std::optional<uint8_t> simulateType;           // --simulate TYPE: a built-in device as drive 2
  std::vector<DeviceDirOption> deviceDirs;       // --device-dir DIR[@N]
  std::optional<std::filesystem::path> workdir;  // --workdir DIR
  std::string serverUrl;  // the update server's download directory, ending in '/'
  std::optional<SimulatedFault> simulateFault;   // $KORVAN_SIMULATE_FAULT
  int backups = kDefaultBackupsKept;  // --backups N: backups kept per model, 0 = none made
  std::optional<int> drive;           // --drive N: device commands look for the device there alone
  // --sim-latency: every simulated device takes this long per command (else a device folder's
  // own latency, else none).
  std::optional<std::chrono::microseconds> simLatency;

  bool json = false;                             // --json
  bool progressOnTerminal = false;  // stderr is a terminal: long work draws live progress there

  bool Simulated() const { return simulateType.has_value() || !deviceDirs.empty(); }
};

// The drive a simulated device appears as when none is given; drives 0 and 1 stay empty, as
// the system disks of a real machine would be.
inline constexpr int kDefaultSimulatedDrive = 2;

// "133", "0x85" -> the raw type byte; nullopt for anything else or outside 0..255.
std::optional<uint8_t> ParseTypeByte(const std::string& text);

// The update server's download directory: `option` (--server) when given, else `environment`
// (KORVAN_SERVER) when set and not empty, else the built-in default; a '/' is added when
// missing. nullopt with `error` set for a URL that is not http:// or https://.
std::optional<std::string> ResolveServerUrl(const std::string& option, const char* environment,
                                            std::string& error);

// "stall@N" or "unplug@N" (N decimal), optionally followed by ":D" to aim it at drive D
// alone; nullopt with `error` set for anything else.
std::optional<SimulatedFault> ParseSimulatedFault(std::string_view text, std::string& error);

// "DIR" or "DIR@N" with N a drive 0..25; nullopt with `error` set when N is bad.
std::optional<DeviceDirOption> ParseDeviceDir(const std::string& text, std::string& error);

}  // namespace korvan::frontend
