#include "emulator/gadget/function_fs_device.h"

#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace korvan::emu {
namespace {

constexpr uint16_t kFullSpeedPacket = 64;
constexpr uint16_t kHighSpeedPacket = 512;
constexpr uint8_t kMassStorageClass = 0x08;
constexpr uint8_t kScsiTransparentSubclass = 0x06;
constexpr uint8_t kBulkOnlyProtocol = 0x50;
constexpr uint8_t kGetMaxLun = 0xFE;
constexpr uint8_t kBulkOnlyReset = 0xFF;
constexpr uint16_t kEnglishUs = 0x0409;
// Larger data stages than this are no command the device knows; they are read and dropped.
constexpr uint32_t kLargestDataStage = 1U << 20;

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

void SetLength(std::vector<uint8_t>& blob) {
  const auto length = static_cast<uint32_t>(blob.size());
  for (int i = 0; i < 4; ++i) {
    blob[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  }
}

// One interface, bulk IN then bulk OUT (they become ep1 and ep2), at full and high speed.
std::vector<uint8_t> Descriptors() {
  std::vector<uint8_t> blob;
  Put32(blob, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  Put32(blob, 0);
  Put32(blob, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
  Put32(blob, 3);
  Put32(blob, 3);
  for (const uint16_t packet : {kFullSpeedPacket, kHighSpeedPacket}) {
    blob.insert(blob.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, kMassStorageClass,
                             kScsiTransparentSubclass, kBulkOnlyProtocol, 1});
    for (const uint8_t address : {uint8_t{1 | USB_DIR_IN}, uint8_t{2 | USB_DIR_OUT}}) {
      blob.insert(blob.end(),
                  {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
      Put16(blob, packet);
      blob.push_back(0);
    }
  }
  SetLength(blob);
  return blob;
}

std::vector<uint8_t> Strings(const std::string& interfaceName) {
  std::vector<uint8_t> blob;
  Put32(blob, FUNCTIONFS_STRINGS_MAGIC);
  Put32(blob, 0);
  Put32(blob, 1);  // strings per language
  Put32(blob, 1);  // languages
  Put16(blob, kEnglishUs);
  blob.insert(blob.end(), interfaceName.begin(), interfaceName.end());
  blob.push_back(0);
  SetLength(blob);
  return blob;
}

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

FunctionFsDevice::FunctionFsDevice(MassStorageTarget& target, CommandLog& log)
    : target_(target), log_(log) {}

FunctionFsDevice::~FunctionFsDevice() {
  // Once started, the threads serve until the process ends and own the endpoints.
  if (!control_.joinable() && !bulk_.joinable()) {
    for (const int fd : {epOut_, epIn_, ep0_}) {
      if (fd >= 0) {
        close(fd);
      }
    }
  }
}

bool FunctionFsDevice::Open(const std::filesystem::path& mount, const std::string& interfaceName,
                            std::string& why) {
  ep0_ = open((mount / "ep0").c_str(), O_RDWR | O_CLOEXEC);
  if (ep0_ < 0) {
    why = Errno((mount / "ep0").c_str());
    return false;
  }
  for (const std::vector<uint8_t>& blob : {Descriptors(), Strings(interfaceName)}) {
    if (write(ep0_, blob.data(), blob.size()) != static_cast<ssize_t>(blob.size())) {
      why = Errno("writing the descriptors to ep0");
      return false;
    }
  }
  // The endpoint files appear once the descriptors are taken, named by their order.
  epIn_ = open((mount / "ep1").c_str(), O_RDWR | O_CLOEXEC);
  epOut_ = open((mount / "ep2").c_str(), O_RDWR | O_CLOEXEC);
  if (epIn_ < 0 || epOut_ < 0) {
    why = Errno("opening the bulk endpoints");
    return false;
  }
  return true;
}

void FunctionFsDevice::Start() {
  control_ = std::thread(&FunctionFsDevice::ServeControl, this);
  bulk_ = std::thread(&FunctionFsDevice::ServeBulk, this);
  control_.detach();
  bulk_.detach();
}

void FunctionFsDevice::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  log_.Note(text);
}

void FunctionFsDevice::ServeControl() {
  for (;;) {
    usb_functionfs_event events[4];
    const ssize_t n = read(ep0_, events, sizeof events);
    if (n < 0) {
      if (errno != EINTR) {
        Note(Errno("control endpoint"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    for (size_t i = 0; i < static_cast<size_t>(n) / sizeof events[0]; ++i) {
      const usb_functionfs_event& event = events[i];
      switch (event.type) {
        case FUNCTIONFS_BIND:
          Note("link: bound to the device controller");
          break;
        case FUNCTIONFS_ENABLE:
        case FUNCTIONFS_DISABLE:
        case FUNCTIONFS_UNBIND: {
          // An unbound controller (a pulled cable) may come without a disable first.
          const bool enabled = event.type == FUNCTIONFS_ENABLE;
          {
            std::lock_guard lock(mutex_);
            enabled_ = enabled;
            ++generation_;
            log_.Note(enabled                           ? "link: configured by the host"
                      : event.type == FUNCTIONFS_UNBIND ? "link: unbound from the device controller"
                                                        : "link: down");
          }
          linkChanged_.notify_all();
          break;
        }
        case FUNCTIONFS_SETUP:
          HandleSetup(&event.u.setup);
          break;
        case FUNCTIONFS_SUSPEND:
          Note("link: suspended");
          break;
        case FUNCTIONFS_RESUME:
          Note("link: resumed");
          break;
        default:
          break;
      }
    }
  }
}

void FunctionFsDevice::HandleSetup(const void* setupPacket) {
  usb_ctrlrequest setup;
  std::memcpy(&setup, setupPacket, sizeof setup);
  const bool toHost = (setup.bRequestType & USB_DIR_IN) != 0;
  const bool classRequest = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
  const uint16_t length = le16toh(setup.wLength);
  if (classRequest && setup.bRequest == kGetMaxLun && toHost && length >= 1) {
    const uint8_t maxLun = 0;
    (void)!write(ep0_, &maxLun, 1);
    Note("control: GET MAX LUN -> 0");
    return;
  }
  if (classRequest && setup.bRequest == kBulkOnlyReset && !toHost && length == 0) {
    (void)!read(ep0_, nullptr, 0);  // the status stage
    Note("control: mass-storage reset");
    return;
  }
  // Anything else is stalled: FunctionFS stalls a request answered in the wrong direction.
  uint8_t none = 0;
  if (toHost) {
    (void)!read(ep0_, &none, 0);
  } else {
    (void)!write(ep0_, &none, 0);
  }
  char text[96];
  std::snprintf(text, sizeof text, "control: request type %02X request %02X refused",
                setup.bRequestType, setup.bRequest);
  Note(text);
}

uint64_t FunctionFsDevice::WaitForLink() {
  std::unique_lock lock(mutex_);
  linkChanged_.wait(lock, [this] { return enabled_; });
  return generation_;
}

void FunctionFsDevice::LinkFailed(const char* what, uint64_t generation) {
  Note(Errno(what));
  std::unique_lock lock(mutex_);
  linkChanged_.wait_for(lock, std::chrono::milliseconds(500),
                        [&] { return generation_ != generation; });
}

bool FunctionFsDevice::WriteAll(int fd, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    const ssize_t n = write(fd, bytes, length);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool FunctionFsDevice::ReadData(uint32_t length, std::vector<uint8_t>& data) {
  data.clear();
  std::vector<uint8_t> chunk(std::min(length, kLargestDataStage));
  while (length > 0) {
    const size_t want = std::min<size_t>(length, chunk.size());
    const ssize_t n = read(epOut_, chunk.data(), want);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return false;
    }
    if (data.size() < kLargestDataStage) {
      data.insert(data.end(), chunk.begin(), chunk.begin() + n);
    }
    length -= static_cast<uint32_t>(n);
    // A short packet ends the data stage early: the host has nothing more to send.
    if (static_cast<size_t>(n) < want && n % kFullSpeedPacket != 0) {
      break;
    }
  }
  return true;
}

void FunctionFsDevice::Halt(int fd, bool inEndpoint) {
  // FunctionFS halts an endpoint that is asked to move data the wrong way.
  uint8_t none = 0;
  if (inEndpoint) {
    (void)!read(fd, &none, 1);
  } else {
    (void)!write(fd, &none, 1);
  }
}

void FunctionFsDevice::HoldAtWrite(uint64_t n, std::filesystem::path marker) {
  std::lock_guard lock(mutex_);
  holdAt_ = n;
  writesSinceArm_ = 0;
  commandsSinceArm_ = 0;
  holdMarker_ = std::move(marker);
  log_.Note("fault: the write command " + std::to_string(n) + " from now will not be answered");
}

bool FunctionFsDevice::TakeHold(const CommandBlockWrapper& command) {
  std::lock_guard lock(mutex_);
  if (holdAt_ == 0) {
    return false;
  }
  ++commandsSinceArm_;
  if (command.cdb[0] != kOpWriteUnit || ++writesSinceArm_ != holdAt_) {
    return false;
  }
  holdAt_ = 0;
  return true;
}

void FunctionFsDevice::Hold(const CommandBlockWrapper& command, uint64_t generation) {
  std::unique_lock lock(mutex_);
  const std::string what = "held write " + std::to_string(writesSinceArm_) + ", command " +
                           std::to_string(commandsSinceArm_) + " since the fault was armed [" +
                           CdbHex(command) + "]";
  log_.Note("fault: " + what + "; waiting for the link to go down");
  std::ofstream(holdMarker_) << what << "\n";
  linkChanged_.wait(lock, [&] { return generation_ != generation; });
  log_.Note("fault: the held command is dropped");
}

void FunctionFsDevice::ServeBulk() {
  std::vector<uint8_t> packet(kHighSpeedPacket);
  std::vector<uint8_t> dataOut;
  for (;;) {
    const uint64_t generation = WaitForLink();
    const ssize_t n = read(epOut_, packet.data(), packet.size());
    if (n < 0) {
      if (errno != EINTR) {
        LinkFailed("reading a command block", generation);
      }
      continue;
    }
    const auto command =
        ParseCommandBlockWrapper(std::span<const uint8_t>(packet.data(), static_cast<size_t>(n)));
    if (!command) {
      // Host and device no longer agree where a command starts: both pipes stay halted until
      // the host recovers with a reset and clears them.
      Note("bulk: " + std::to_string(n) + " bytes that are no command block; halting");
      Halt(epIn_, true);
      Halt(epOut_, false);
      continue;
    }
    if (!command->dataIn && command->dataLength > 0 && !ReadData(command->dataLength, dataOut)) {
      LinkFailed("reading a command's data", generation);
      continue;
    }
    if (command->dataIn || command->dataLength == 0) {
      dataOut.clear();
    }
    if (TakeHold(*command)) {
      Hold(*command, generation);
      continue;
    }

    TargetReply reply;
    {
      std::lock_guard lock(mutex_);
      reply = target_.Answer(*command, dataOut);
      log_.Command(*command, reply);
    }
    if (command->dataIn && command->dataLength > 0) {
      if (!reply.dataIn.empty() && !WriteAll(epIn_, reply.dataIn.data(), reply.dataIn.size())) {
        LinkFailed("sending data", generation);
        continue;
      }
      // Less data than asked for that ends on a packet boundary (nothing at all, say) cannot
      // end the transfer by itself: the halt tells the host the data stage is over.
      if (reply.dataIn.size() < command->dataLength &&
          reply.dataIn.size() % kFullSpeedPacket == 0) {
        Halt(epIn_, true);
      }
    }
    const auto status = MakeCommandStatusWrapper(command->tag, reply.residue, reply.outcome);
    if (!WriteAll(epIn_, status.data(), status.size())) {
      LinkFailed("sending the status", generation);
    }
  }
}

std::string FunctionFsDevice::Summary() {
  std::lock_guard lock(mutex_);
  log_.Flush();
  const uint64_t deviceCommands = target_.deviceCommands();
  const double perCommand =
      deviceCommands == 0
          ? 0.0
          : std::chrono::duration<double, std::micro>(target_.deviceTime()).count() /
                static_cast<double>(deviceCommands);
  char text[200];
  std::snprintf(text, sizeof text,
                "%llu commands, %llu unit writes; the device's own work %.1f us per device "
                "command over %llu",
                static_cast<unsigned long long>(log_.commands()),
                static_cast<unsigned long long>(log_.unitWrites()), perCommand,
                static_cast<unsigned long long>(deviceCommands));
  return text;
}

}  // namespace korvan::emu
