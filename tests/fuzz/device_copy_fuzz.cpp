// libFuzzer target: what detection makes of a device's answers. The INQUIRY data goes through
// the probe of a fake drive and the sysfs pre-filter; the model byte (any of 0..255) is
// normalised as detection does; then the versions are extracted from a controller-memory copy
// and a data-flash copy built from the input, and the detection's texts are made. The input is
//   INQUIRY control (1 byte: low 6 bits how many bytes the drive sends, at most 36; bit 7 the
//   command fails), INQUIRY data (36 bytes), controller copy size (4 bytes LE, below 32 MiB),
//   controller version record (8 bytes, at the model's record place), data-flash copy size
//   (4 bytes LE, below 32 MiB), data-flash version record (8 bytes), database text (11 bytes,
//   at the database start + 12), auxiliary digits (4 bytes, at 0x7FFFFC), n (1 byte), n bytes
//   of firmware (at the build tables' start), and the rest as the data flash's first bytes.
// Checked: the probe takes the device exactly when bytes 8-22 read "Firmware Update" and then
// takes byte 24 as it is; such a device is never hidden by the sysfs filter; every version
// comes from where the copies hold it (build-table sums worked out from the pieces of the copy,
// records by their rules) and nothing else in the record changes; the texts are UTF-8.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/main_window_steps.h"
#include "device/device_channel.h"
#include "device/device_copies.h"
#include "device/drive_slot_table.h"
#include "device/linux/sysfs_inquiry_filter.h"
#include "device/model_catalogue.h"
#include "device/voice_names.h"
#include "flash/build_table_match.h"
#include "flash/firmware_build_table.h"
#include "flash/version_extraction.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;
using namespace korvan;
using fuzz::Require;

constexpr size_t kInquiryBytes = 36;
constexpr uint32_t kCopySizeMask = (32u << 20) - 1;

// A drive whose transport answers INQUIRY with the bytes it was given and nothing else.
class InquiryHost final : public DiskHost {
 public:
  InquiryHost(std::span<const uint8_t> answer, bool fails) : answer_(answer), fails_(fails) {}

  OpenResult OpenDrive(int) override {
    OpenResult result;
    result.status = OpenStatus::Opened;
    result.transport = std::make_unique<Transport>(*this);
    return result;
  }
  std::string DriveName(int drive) const override { return "fuzz" + std::to_string(drive); }

 private:
  class Transport final : public ScsiTransport {
   public:
    explicit Transport(const InquiryHost& host) : host_(host) {}
    CommandResult Execute(const Cdb& cdb, DataDirection,
                          std::span<uint8_t, kUnitSize> data) override {
      if (CdbOpcode(cdb) != kOpInquiry || host_.fails_) {
        return CommandResult{CommandStatus::DeviceStatus, 0, 0x02};
      }
      std::copy(host_.answer_.begin(), host_.answer_.end(), data.begin());
      return {};
    }

   private:
    const InquiryHost& host_;
  };

  std::span<const uint8_t> answer_;
  bool fails_;
};

// A field as the kernel shows it in sysfs: "%.Ns\n" of the INQUIRY bytes.
std::string SysfsText(std::span<const uint8_t> field) {
  std::string text;
  for (const uint8_t byte : field) {
    if (byte == 0) {
      break;
    }
    text += static_cast<char>(byte);
  }
  return text + "\n";
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) {
      return false;
    }
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

bool HasLayoutVariant(int8_t type) {
  return type == 3 || type == 4;
}

// The rows of `table` whose sum the copy matches, and the digits of the last of them.
BuildTableMatches ExpectedMatches(const fuzz::SparseImage& copy, const FirmwareBuildTable& table) {
  BuildTableMatches result;
  for (const FirmwareBuildRow& row : table.rows) {
    if (copy.Sum8(table.startOffset, row.length) == row.sum) {
      ++result.matches;
      result.digits = row.digits;
    }
  }
  return result;
}

bool RecordBelongs(const std::array<uint8_t, 8>& record, int8_t type) {
  return IsAcceptedCountry(record[2]) && (record[3] & 0x7F) == static_cast<uint8_t>(type);
}

VersionDigits Digits(const std::array<uint8_t, 8>& record) {
  return {record[4], record[5], record[6], record[7]};
}

// ExtractFirmwareVersion: a single matching build-table row gives the version (and the first
// database layout); several leave all as it was; none lets the record at the model's place
// decide (the database moved at v02.38 on type 3 and v02.43 on type 4).
DeviceInfo ExpectedFirmware(const fuzz::SparseImage& copy, int8_t type, DeviceInfo info) {
  if (!ModelCatalogue::HasEntries(type)) {
    return info;
  }
  if (const FirmwareBuildTable* table = FirmwareBuildTableFor(type)) {
    const BuildTableMatches build = ExpectedMatches(copy, *table);
    if (build.matches == 1) {
      info.fwVersion = build.digits;
      if (HasLayoutVariant(type)) {
        info.layoutVariant = 0;
      }
    }
    if (build.matches > 0) {
      return info;
    }
  }
  const auto record = copy.ReadZeroFilled<8>(ModelCatalogue::ControllerVersionRecordOffset(type));
  if (record[0] == 0xA4 && record[1] == 0x5B && RecordBelongs(record, type)) {
    info.country = record[2];
    info.fwVersion = Digits(record);
    if (HasLayoutVariant(type)) {
      const uint32_t newFrom = type == 3 ? PackVersion(0, 2, 3, 8) : PackVersion(0, 2, 4, 3);
      const VersionDigits& d = info.fwVersion;
      info.layoutVariant = PackVersion(d[0], d[1], d[2], d[3]) < newFrom ? 1 : 2;
    }
  }
  return info;
}

// ExtractFlashVersions: the voice from the voice table (types 2-4) or the copy's first four
// bytes (not type 2), the database text's version characters, type 8's auxiliary digits.
DeviceInfo ExpectedFlash(const fuzz::SparseImage& copy, int8_t type, DeviceInfo info) {
  if (!ModelCatalogue::HasEntries(type) || type == 1) {
    return info;
  }
  const BuildTableMatches voice =
      type <= 4 ? ExpectedMatches(copy, BuildTableTV()) : BuildTableMatches{};
  if (voice.matches == 1) {
    info.voiceVersion = voice.digits;
  } else if (type == 2) {
    info.voiceVersion = kUnreadDigits;
  } else {
    info.voiceVersion = copy.ReadZeroFilled<4>(0);
  }
  if (type != 2) {
    const auto text =
        copy.ReadZeroFilled<11>(ModelCatalogue::DbFlashOffset(0, info, {}) + kDatabaseTextOffset);
    info.dbVersion = {text[1], text[3], text[5], text[6], text[7], text[8], text[9], text[10]};
  }
  if (type == 8) {
    info.auxVersion = copy.ReadZeroFilled<4>(kAuxVersionOffset);
  }
  return info;
}

void CheckTexts(const DeviceInfo& info) {
  Require(IsUtf8(ModelText(info)) && IsUtf8(DetectedVersionText(info.fwVersion)) &&
          IsUtf8(DetectedVersionText(info.voiceVersion)) &&
          IsUtf8(DetectedVersionText(info.auxVersion)) &&
          IsUtf8(DetectedDbVersionText(info.dbVersion)));
  if (const auto items = VoiceComboItems(info.typeCode, info)) {
    for (const VoiceItem& item : *items) {
      Require(item.itemData >= 0 && item.itemData < static_cast<int>(kVoiceSlotCount) &&
              !item.text.empty() && IsUtf8(item.text));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::InputReader in(data, size);
  const uint8_t control = in.Byte();
  const auto inquiry = in.Bytes<kInquiryBytes>();
  const uint32_t controllerSize = in.Le<4>() & kCopySizeMask;
  const auto controllerRecord = in.Bytes<8>();
  const uint32_t flashSize = in.Le<4>() & kCopySizeMask;
  const auto flashRecord = in.Bytes<8>();
  const auto databaseText = in.Bytes<kDatabaseTextSize>();
  const auto aux = in.Bytes<4>();
  const auto firmware = in.Take(in.Byte());
  const auto flashStart = in.Rest();

  // The probe, as the detection scan runs it.
  const size_t sent = std::min<size_t>(control & 0x3F, kInquiryBytes);
  const bool fails = (control & 0x80) != 0;
  InquiryHost host(std::span(inquiry).first(sent), fails);
  DriveSlotTable slots;
  DeviceChannel probe(host, slots);
  DeviceInfo probed;
  const bool found = probe.ProbeDrive(3, probed) == 1;
  const bool textSent = sent >= kDeviceInquiryTextOffset + kDeviceInquiryTextLength;
  Require(found == (!fails && textSent &&
                    std::memcmp(inquiry.data() + kDeviceInquiryTextOffset, kDeviceInquiryText,
                                kDeviceInquiryTextLength) == 0));
  Require(probed.typeCode ==
          (found && sent > kDeviceInquiryTypeOffset ? static_cast<int8_t>(inquiry[24]) : 0));
  Require(slots.Find(3) < 0 && !probe.IsOpen());
  const SysfsVerdict verdict = JudgeInquiryStrings(SysfsText(std::span(inquiry).subspan(8, 8)),
                                                   SysfsText(std::span(inquiry).subspan(16, 16)));
  Require(!found || verdict == SysfsVerdict::MayBeDevice);

  // Detection's type handling: bit 7 is a flag, and 0 is old hardware, taken as type 4. The raw
  // byte itself reaches no copy, but the catalogue and the texts answer for any code.
  const auto raw = static_cast<int8_t>(inquiry[24]);
  DeviceInfo device;
  device.typeCode = static_cast<int8_t>(raw & 0x7F);
  if (device.typeCode == 0) {
    device.typeCode = 4;
    device.typeForced = true;
  }
  const int8_t type = device.typeCode;
  DeviceInfo rawDevice;
  rawDevice.typeCode = raw;
  CheckTexts(rawDevice);
  if (raw != type) {
    ExtractFirmwareVersion(raw, "/nonexistent", rawDevice);
    Require(rawDevice == DeviceInfo{.typeCode = raw});
  }
  if (ModelCatalogue::HasEntries(type)) {
    Require(uint64_t{ModelCatalogue::ControllerVersionRecordOffset(type)} + kVersionRecordSize <=
            ModelCatalogue::FwReadLength(type));
  }

  // The controller-memory copy.
  fuzz::SparseImage controller(controllerSize);
  controller.Put(BuildTableT1().startOffset, firmware);
  if (const uint32_t at = ModelCatalogue::ControllerVersionRecordOffset(type); at != 0) {
    controller.Put(at, controllerRecord);
  }
  const fs::path controllerPath = fuzz::Workspace() / kControllerCopyName;
  controller.WriteTo(controllerPath);
  DeviceInfo expected = ExpectedFirmware(controller, type, device);
  ExtractFirmwareVersion(type, controllerPath, device);
  Require(device == expected);

  // The data-flash copy, which detection makes for every model but type 1. Its record goes
  // first: it may set the version, which chooses where types 3 and 4 keep their database.
  if (type != 1) {
    fuzz::SparseImage flash(flashSize);
    flash.Put(0, flashStart);
    flash.Put(ModelCatalogue::FlashVersionRecordAddress(type), flashRecord);
    const auto record = flash.Read<8>(ModelCatalogue::FlashVersionRecordAddress(type));
    const bool applies =
        record && !IsAcceptedCountry(device.country) && RecordBelongs(*record, type);
    expected = device;
    if (applies) {
      expected.country = (*record)[2];
      expected.fwVersion = Digits(*record);
    }
    Require(ApplyFlashVersionRecord(record, device) == applies);
    Require(device == expected);
    flash.Put(uint64_t{ModelCatalogue::DbFlashOffset(0, device, {})} + kDatabaseTextOffset,
              databaseText);
    flash.Put(kAuxVersionOffset, aux);
    const fs::path flashPath = fuzz::Workspace() / kFlashCopyName;
    flash.WriteTo(flashPath);
    expected = ExpectedFlash(flash, type, device);
    ExtractFlashVersions(type, flashPath, device);
    Require(device == expected);
  }
  CheckTexts(device);
  return 0;
}
