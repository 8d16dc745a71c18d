// The simulated device on a real USB bus: a FunctionFS function (Linux USB gadget) that shows
// the host one mass-storage interface (class 08, SCSI transparent 06, Bulk-Only 50) with a
// bulk endpoint each way, and answers its commands through MassStorageTarget. With the
// dummy_hcd controller the same kernel is host and device, so the host's usb-storage, sd and
// sg drivers meet the device the way they meet a detector on a cable.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "emulator/gadget/command_log.h"
#include "emulator/gadget/mass_storage_target.h"

namespace korvan::emu {

class FunctionFsDevice {
 public:
  FunctionFsDevice(MassStorageTarget& target, CommandLog& log);
  ~FunctionFsDevice();
  FunctionFsDevice(const FunctionFsDevice&) = delete;
  FunctionFsDevice& operator=(const FunctionFsDevice&) = delete;

  // Writes the descriptors and strings into `mount`/ep0 (a mounted functionfs) and opens the
  // two bulk endpoints. Once this succeeds the gadget can be bound to a device controller.
  bool Open(const std::filesystem::path& mount, const std::string& interfaceName, std::string& why);
  // Serves the control endpoint and the bulk endpoints, each on a thread of its own, until the
  // process ends: a link that goes down (unbound, disconnected) comes back when the host
  // configures the device again.
  void Start();

  // A cable pulled in the middle of a command: the `n`-th write command from now is taken
  // (its data included) and never answered; `marker` is then written with what was held, and
  // the command is dropped when the link goes down. Thread-safe.
  void HoldAtWrite(uint64_t n, std::filesystem::path marker);

  // One line: commands served, unit writes, the device's own time per command.
  std::string Summary();

 private:
  void ServeControl();
  void ServeBulk();
  void HandleSetup(const void* setupPacket);
  bool ReadData(uint32_t length, std::vector<uint8_t>& data);
  bool WriteAll(int fd, const uint8_t* bytes, size_t length);
  void Halt(int fd, bool inEndpoint);
  bool TakeHold(const CommandBlockWrapper& command);
  void Hold(const CommandBlockWrapper& command, uint64_t generation);
  // Waits until the host has configured the device; returns the link's generation.
  uint64_t WaitForLink();
  // After a failed transfer: waits for the link to change from `generation`, at most a while
  // (a failure that was not the link's must not stop the device for good).
  void LinkFailed(const char* what, uint64_t generation);
  void Note(const std::string& text);

  MassStorageTarget& target_;
  CommandLog& log_;
  int ep0_ = -1;
  int epIn_ = -1;
  int epOut_ = -1;
  std::thread control_;
  std::thread bulk_;

  std::mutex mutex_;  // guards everything below, the target and the log
  std::condition_variable linkChanged_;
  bool enabled_ = false;
  uint64_t generation_ = 0;  // counts every enable and disable
  uint64_t holdAt_ = 0;      // 0: no hold armed
  uint64_t writesSinceArm_ = 0;
  uint64_t commandsSinceArm_ = 0;
  std::filesystem::path holdMarker_;
};

}  // namespace korvan::emu
