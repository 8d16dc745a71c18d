#include "emulator/device_folder.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

#include "device/model_catalogue.h"
#include "emulator/command_latency.h"
#include "emulator/device_presets.h"

namespace korvan::emu {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const fs::path& path) {
  return "\"" + path.string() + "\"";
}

std::string WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
  }
  if (!out) {
    return "cannot write " + Quoted(path) + ": " + std::strerror(errno);
  }
  return {};
}

std::string InquirySizeError(const fs::path& path, size_t size) {
  return Quoted(path) + " has " + std::to_string(size) + " bytes; INQUIRY data has " +
         std::to_string(kMinInquiryLength) + " to " + std::to_string(kMaxInquiryLength);
}

// Opens `name` in `folder` as a memory from `base`. An empty file is no memory; a missing file
// is an error only when `required`.
std::string OpenMemory(const fs::path& folder, const char* name, uint64_t base, bool required,
                       const std::string& whyRequired, std::unique_ptr<MemoryRegion>& memory) {
  const fs::path path = folder / name;
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    return required ? "device folder " + Quoted(folder) + " has no " + name + whyRequired
                    : std::string();
  }
  FileMemory::OpenResult opened = FileMemory::Open(base, path);
  if (!opened.memory) {
    return opened.error;
  }
  if (opened.memory->size() > 0) {
    memory = std::move(opened.memory);
  }
  return {};
}

// latency.txt's value: 0 when the file is missing; nullopt with `error` set when it is unusable.
std::optional<std::chrono::microseconds> ReadLatency(const fs::path& folder, std::string& error) {
  const fs::path path = folder / kLatencyFileName;
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    return std::chrono::microseconds(0);
  }
  std::ifstream in(path, std::ios::binary);
  std::string text;
  // A latency is a handful of digits; a larger file is not one.
  text.resize(32);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (in.bad() || (!in.eof() && in.peek() != std::char_traits<char>::eof())) {
    error = "cannot read a latency from " + Quoted(path);
    return std::nullopt;
  }
  std::string why;
  const auto latency = ParseCommandLatency(text, why);
  if (!latency) {
    error = Quoted(path) + ": " + why;
  }
  return latency;
}

}  // namespace

FolderResult WriteDeviceLatency(const fs::path& folder,
                                std::optional<std::chrono::microseconds> latency) {
  const fs::path path = folder / kLatencyFileName;
  if (latency) {
    const std::string text = std::to_string(latency->count()) + "\n";
    return {WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()))};
  }
  std::error_code ec;
  fs::remove(path, ec);
  if (ec) {
    return {"cannot remove the old " + Quoted(path) + ": " + ec.message()};
  }
  return {};
}

FolderResult WriteDeviceFolder(const fs::path& folder, const DeviceImages& images) {
  if (images.inquiry.size() < kMinInquiryLength || images.inquiry.size() > kMaxInquiryLength) {
    return {InquirySizeError(folder / kInquiryFileName, images.inquiry.size())};
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    return {"cannot create device folder " + Quoted(folder) + ": " + ec.message()};
  }
  const std::pair<const char*, const std::vector<uint8_t>*> files[] = {
      {kInquiryFileName, &images.inquiry},
      {kControllerFileName, &images.controller},
      {kFlashFileName, &images.flash},
  };
  for (const auto& [name, bytes] : files) {
    if (std::string error = WriteFile(folder / name, *bytes); !error.empty()) {
      return {error};
    }
  }
  if (!images.memory2.empty()) {
    return {WriteFile(folder / kMemory2FileName, images.memory2)};
  }
  fs::remove(folder / kMemory2FileName, ec);
  if (ec) {
    return {"cannot remove the old " + Quoted(folder / kMemory2FileName) + ": " + ec.message()};
  }
  return {};
}

LoadedDevice LoadDeviceFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) {
    return {nullptr, "device folder " + Quoted(folder) + " does not exist"};
  }
  if (!fs::is_directory(folder, ec)) {
    return {nullptr, Quoted(folder) + " is not a folder"};
  }

  const fs::path inquiryPath = folder / kInquiryFileName;
  if (!fs::exists(inquiryPath, ec)) {
    return {nullptr, "device folder " + Quoted(folder) + " has no " + kInquiryFileName};
  }
  std::ifstream in(inquiryPath, std::ios::binary);
  std::vector<uint8_t> inquiry((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    return {nullptr, "cannot read " + Quoted(inquiryPath)};
  }
  if (inquiry.size() < kMinInquiryLength || inquiry.size() > kMaxInquiryLength) {
    return {nullptr, InquirySizeError(inquiryPath, inquiry.size())};
  }

  // flash.bin may be missing only where the model has no data flash at all.
  const int8_t type = EffectiveModelType(inquiry[24]);
  const bool flashRequired = ModelCatalogue::FlashSize(type) > 0;

  SimulatedDevice::Memories memories;
  auto& controller = memories[static_cast<size_t>(MemorySelector::Controller)];
  if (std::string error =
          OpenMemory(folder, kControllerFileName, kControllerBase, true, "", controller);
      !error.empty()) {
    return {nullptr, error};
  }
  if (!controller) {
    return {nullptr, Quoted(folder / kControllerFileName) + " is empty"};
  }
  if (std::string error = OpenMemory(
          folder, kFlashFileName, kDataFlashBase, flashRequired,
          " (type " + std::to_string(type) + " has a data flash; an empty file means none)",
          memories[static_cast<size_t>(MemorySelector::DataFlash)]);
      !error.empty()) {
    return {nullptr, error};
  }
  if (std::string error = OpenMemory(folder, kMemory2FileName, kLegacySettingsBase, false, "",
                                     memories[static_cast<size_t>(MemorySelector::LegacySettings)]);
      !error.empty()) {
    return {nullptr, error};
  }
  std::string latencyError;
  const auto latency = ReadLatency(folder, latencyError);
  if (!latency) {
    return {nullptr, latencyError};
  }
  auto device = std::make_shared<SimulatedDevice>(std::move(inquiry), std::move(memories));
  device->SetCommandDelay(*latency);
  return {std::move(device), {}};
}

}  // namespace korvan::emu
