// The device fault matrix: every kind of device fault, aimed at the first, a middle and the
// last unit of each region a run writes, with verification on and off, through the window's
// logic and (for updates) the command line. Whatever happens, nothing may be reported as
// written that the device does not hold, nothing outside the run's regions may change, an
// unplugged device gets no further command, and the run ends (or, for a device that stops
// answering, the window can still be closed on time).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/process_value_form.h"
#include "app/show_result.h"
#include "app/update_worker.h"
#include "cli/update_commands.h"
#include "device/command_block.h"
#include "device/model_catalogue.h"
#include "emulator/update_file_builder.h"
#include "settings/parameter_form.h"
#include "settings/settings_unit_writer.h"
#include "tests/app/schema_pick.h"
#include "tests/app/window_run.h"
#include "tests/support/served_tree.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using testing::Pick;
using testing::Preset;
using testing::WindowRun;
using Strike = emu::FaultPlan::Strike;

enum class Fault { FailedCommand, AlteredOnce, AlteredAlways, Unplugged, Stalled };
enum class What { Firmware, Voice, Database, Signature, LegacySettings, FlashSettings, Packet };
enum class Where { First, Middle, Last };

const char* Name(Fault fault) {
  switch (fault) {
    case Fault::FailedCommand:
      return "failed command";
    case Fault::AlteredOnce:
      return "read altered once";
    case Fault::AlteredAlways:
      return "read altered every time";
    case Fault::Unplugged:
      return "unplugged";
    case Fault::Stalled:
      return "stops answering";
  }
  return "";
}

const char* Name(What what) {
  switch (what) {
    case What::Firmware:
      return "firmware";
    case What::Voice:
      return "voice";
    case What::Database:
      return "database";
    case What::Signature:
      return "signature";
    case What::LegacySettings:
      return "settings, legacy memory";
    case What::FlashSettings:
      return "settings, data flash";
    case What::Packet:
      return "settings packet";
  }
  return "";
}

const char* Name(Where where) {
  switch (where) {
    case Where::First:
      return "first unit";
    case Where::Middle:
      return "middle unit";
    case Where::Last:
      return "last unit";
  }
  return "";
}

constexpr Fault kFaults[] = {Fault::FailedCommand, Fault::AlteredOnce, Fault::AlteredAlways,
                             Fault::Unplugged, Fault::Stalled};
constexpr MemorySelector kSelectors[] = {MemorySelector::Controller, MemorySelector::DataFlash,
                                         MemorySelector::LegacySettings};

uint32_t BaseOf(MemorySelector selector) {
  switch (selector) {
    case MemorySelector::Controller:
      return kControllerBase;
    case MemorySelector::LegacySettings:
      return 0x08080000;
    case MemorySelector::DataFlash:
      return 0;
  }
  return 0;
}

// A unit of one memory, by its absolute unit number (the command block's).
using UnitKey = std::pair<MemorySelector, uint32_t>;

// Every memory of the device, as it is now.
using Memories = std::map<MemorySelector, std::vector<uint8_t>>;

Memories Snapshot(const emu::SimulatedDevice& device) {
  Memories memories;
  for (const MemorySelector selector : kSelectors) {
    const uint64_t size = device.MemorySize(selector);
    if (size > 0) {
      memories[selector] = device.Peek(selector, BaseOf(selector), size);
    }
  }
  return memories;
}

std::vector<uint8_t> UnitOf(const Memories& memories, UnitKey unit) {
  const std::vector<uint8_t>& memory = memories.at(unit.first);
  const size_t offset = size_t{unit.second} * kUnitSize - BaseOf(unit.first);
  return {memory.begin() + static_cast<std::ptrdiff_t>(offset),
          memory.begin() + static_cast<std::ptrdiff_t>(offset + kUnitSize)};
}

// Units that differ between `a` and `b` and are not in `allowed`.
std::vector<UnitKey> ChangedOutside(const Memories& a, const Memories& b,
                                    const std::set<UnitKey>& allowed) {
  std::vector<UnitKey> changed;
  for (const auto& [selector, memory] : a) {
    const uint32_t first = BaseOf(selector) / kUnitSize;
    for (size_t i = 0; i < memory.size() / kUnitSize; ++i) {
      const UnitKey unit{selector, first + static_cast<uint32_t>(i)};
      if (!allowed.contains(unit) && UnitOf(a, unit) != UnitOf(b, unit)) {
        changed.push_back(unit);
      }
    }
  }
  return changed;
}

// What a fault-free run wrote: the units of each region in the order of their first write,
// and the memories afterwards (what the device must hold for each region).
struct Reference {
  std::map<What, std::vector<UnitKey>> regions;
  std::set<UnitKey> written;
  Memories after;
};

// The update's region a write belongs to, on the type-8 device the update rows use.
What UpdateRegionOf(const Cdb& cdb, uint32_t databaseStart) {
  if (CdbSelector(cdb) == static_cast<uint8_t>(MemorySelector::Controller)) {
    return What::Firmware;
  }
  const uint64_t address = uint64_t{CdbUnit(cdb)} * kUnitSize;
  if (address >= 0x7FE000) {
    return What::Signature;
  }
  return address >= databaseStart ? What::Database : What::Voice;
}

void Collect(Reference& reference, What what, const Cdb& cdb) {
  const UnitKey unit{static_cast<MemorySelector>(CdbSelector(cdb)), CdbUnit(cdb)};
  if (reference.written.insert(unit).second) {
    reference.regions[what].push_back(unit);
  }
}

UnitKey Aim(const std::vector<UnitKey>& region, Where where) {
  switch (where) {
    case Where::First:
      return region.front();
    case Where::Middle:
      return region[region.size() / 2];
    case Where::Last:
      return region.back();
  }
  return region.front();
}

// Gives `device` the fault of a row, aimed at `unit`.
void Arm(emu::SimulatedDevice& device, Fault fault, UnitKey unit) {
  switch (fault) {
    case Fault::FailedCommand:
      device.StrikeAt(kOpWriteUnit, unit.first, unit.second, Strike::Fail);
      break;
    case Fault::AlteredOnce:
      device.CorruptReads(unit.first, unit.second, 1);
      break;
    case Fault::AlteredAlways:
      device.CorruptReads(unit.first, unit.second, 1000000);
      break;
    case Fault::Unplugged:
      device.StrikeAt(kOpWriteUnit, unit.first, unit.second, Strike::Unplug);
      break;
    case Fault::Stalled:
      device.StrikeAt(kOpWriteUnit, unit.first, unit.second, Strike::Stall);
      break;
  }
}

// What the rows ended in, for the figures printed at the end.
struct Tally {
  int rows = 0;
  std::map<std::string, int> outcomes;
  void Add(const std::string& outcome) {
    ++rows;
    ++outcomes[outcome];
  }
  void Print(const char* what) const {
    std::ostringstream text;
    text << "fault matrix, " << what << ": " << rows << " rows;";
    for (const auto& [outcome, count] : outcomes) {
      text << " " << outcome << " " << count << ";";
    }
    std::cout << text.str() << "\n";
    ::testing::Test::RecordProperty("rows", rows);
  }
};

bool Shown(const RecordingView& view, std::string_view text) {
  return std::any_of(view.Messages().begin(), view.Messages().end(),
                     [&](const ShownMessage& message) { return message.text == text; });
}

// After a struck unplug, the device received nothing more: the failed command is the last one.
void ExpectNothingAfterTheUnplug(const emu::SimulatedDevice& device) {
  const auto recording = device.Recording();
  ASSERT_FALSE(recording.empty());
  const auto unplugged =
      std::find_if(recording.begin(), recording.end(), [](const emu::RecordedCommand& command) {
        return command.status == CommandStatus::TransportError;
      });
  ASSERT_NE(unplugged, recording.end());
  EXPECT_EQ(unplugged + 1, recording.end()) << "commands after the unplug";
}

// The window's End, once the row has run: on time, and letting go only a stuck worker.
void ExpectEndWorks(WindowRun& run, bool stalled) {
  run.window.Close();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run.main.OnClose(), !stalled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// Waits until the run has ended or, for a device that stops answering, until the struck
// command has arrived (it never returns).
void AwaitEnd(WindowRun& run, const emu::SimulatedDevice& device, Fault fault) {
  if (fault == Fault::Stalled) {
    ASSERT_TRUE(run.PumpPolling([&] { return device.IsStalled(); }))
        << "the struck command never came";
    run.window.RunUntil([] { return false; }, 20ms);
    EXPECT_EQ(run.main.State().updatePhase, UpdatePhase::Running);
    return;
  }
  ASSERT_TRUE(run.PumpPolling([&] {
    const UpdatePhase phase = run.main.State().updatePhase;
    return phase == UpdatePhase::Finished || phase == UpdatePhase::Parked;
  })) << "the run never ended";
}

// ---- Updates: firmware, voice, database and signature of a type-8 device ----

constexpr uint8_t kUpdateType = 8;

struct UpdateRow {
  WindowRun run;
  std::shared_ptr<emu::SimulatedDevice> device;
  Memories before;

  explicit UpdateRow(bool verify) : device(run.Plug(Preset(kUpdateType))) {
    run.OpenUntilReady();
    run.ChooseNewerFile(kUpdateType);
    run.main.OnVerifyChanged(verify);
    device->ClearRecording();
    before = Snapshot(*device);
  }
};

uint32_t DatabaseStart() {
  UpdateFileInfo file;
  file.fileFwVersion = {0, 3, 0, 1};
  DeviceInfo device;
  device.typeCode = kUpdateType;
  return ModelCatalogue::DbFlashOffset(1, device, file);
}

Reference UpdateReference(bool verify) {
  UpdateRow row(verify);
  row.run.main.OnUpload();
  EXPECT_TRUE(row.run.PumpPolling(
      [&] { return row.run.main.State().updatePhase == UpdatePhase::Finished; }));
  for (const int cell : {ids::kFwResultText, ids::kVoiceResultText, ids::kDbResultText}) {
    EXPECT_EQ(row.run.view.Text(cell), kUpdatedText) << "the fault-free run writes everything";
  }
  Reference reference;
  const uint32_t databaseStart = DatabaseStart();
  for (const Cdb& cdb : row.device->RecordedCdbs()) {
    if (CdbOpcode(cdb) == kOpWriteUnit) {
      Collect(reference, UpdateRegionOf(cdb, databaseStart), cdb);
    }
  }
  reference.after = Snapshot(*row.device);
  return reference;
}

// True when the device holds what the fault-free run left in every unit of `region`.
bool Holds(const Memories& now, const Reference& reference, What region) {
  const auto& units = reference.regions.at(region);
  return std::all_of(units.begin(), units.end(), [&](UnitKey unit) {
    return UnitOf(now, unit) == UnitOf(reference.after, unit);
  });
}

// `korvan update` on its own device with the same fault: exit 0 only when every region holds.
void ExpectCommandLineTruth(Fault fault, UnitKey unit, bool verify, const Reference& reference,
                            const std::filesystem::path& file) {
  emu::SimulatedDiskHost host;
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(Preset(kUpdateType)));
  device->SetRecordMode(emu::RecordMode::CdbOnly);
  host.Attach(testing::kDrive, device);
  Arm(*device, fault, unit);
  testing::ScopedTempDir work{"korvan_matrix_cli"};
  frontend::GlobalOptions options;
  options.workdir = work.path();
  cli::UpdateOptions update;
  update.file = file.string();
  update.verify = verify;
  update.quiet = true;
  std::ostringstream out, err;
  const int status = cli::RunUpdate(host, options, update, out, err);
  const Memories now = Snapshot(*device);
  bool all = true;
  for (const auto& [region, units] : reference.regions) {
    all = all && Holds(now, reference, region);
  }
  if (status == 0) {
    EXPECT_TRUE(all) << "korvan update exited 0 for bytes the device does not hold\n" << out.str();
  }
  if (!all) {
    EXPECT_NE(status, 0) << out.str();
  }
}

// One region per test, so that each stays short under the sanitizers.
class UpdateFaultMatrixTest : public ::testing::TestWithParam<What> {};

TEST_P(UpdateFaultMatrixTest, NeverClaimsWhatTheDeviceDoesNotHold) {
  const What what = GetParam();
  Tally tally;
  const std::map<What, int> cells = {{What::Firmware, ids::kFwResultText},
                                     {What::Voice, ids::kVoiceResultText},
                                     {What::Database, ids::kDbResultText},
                                     {What::Signature, 0}};
  for (const bool verify : {true, false}) {
    const Reference reference = UpdateReference(verify);
    ASSERT_EQ(reference.regions.size(), 4U) << "firmware, voice, database and signature";
    const testing::ScopedTempDir files{"korvan_matrix_file"};
    const auto file = emu::WriteUpdateFile(
        files.path(), emu::MakeUpdateFile(emu::NewerUpdateFile(Preset(kUpdateType))));
    ASSERT_TRUE(file.has_value());
    for (const Fault fault : kFaults) {
      for (const Where where : {Where::First, Where::Middle, Where::Last}) {
        SCOPED_TRACE(std::string(Name(fault)) + " at the " + Name(where) + " of the " +
                     Name(what) + (verify ? ", verified" : ", not verified"));
        const UnitKey unit = Aim(reference.regions.at(what), where);
        UpdateRow row(verify);
        Arm(*row.device, fault, unit);
        row.run.main.OnUpload();
        ASSERT_NO_FATAL_FAILURE(AwaitEnd(row.run, *row.device, fault));

        const Memories now = Snapshot(*row.device);
        bool all = true;
        for (const auto& [region, id] : cells) {
          const bool holds = Holds(now, reference, region);
          all = all && holds;
          if (id != 0 && row.run.view.Text(id) == kUpdatedText) {
            EXPECT_TRUE(holds) << Name(region) << " shows \"Обновлено\" but is not on the device";
          }
        }
        const bool successBox =
            Shown(row.run.view, kFirmwareUpdatedText) || Shown(row.run.view, kDatabaseUpdatedText);
        if (!all) {
          EXPECT_FALSE(successBox) << "a success box for an update the device does not hold";
        }
        EXPECT_TRUE(ChangedOutside(row.before, now, reference.written).empty())
            << "memory outside the update's regions changed";
        if (fault == Fault::Unplugged) {
          ExpectNothingAfterTheUnplug(*row.device);
        }
        const UpdatePhase phase = row.run.main.State().updatePhase;
        ExpectEndWorks(row.run, fault == Fault::Stalled);
        if (fault != Fault::Stalled) {
          ExpectCommandLineTruth(fault, unit, verify, reference, *file);
        }
        tally.Add(fault == Fault::Stalled       ? "held, closed on time"
                  : all                         ? "written and verified"
                  : phase == UpdatePhase::Parked ? "parked"
                                                 : "failed");
      }
    }
  }
  tally.Print(Name(what));
}

INSTANTIATE_TEST_SUITE_P(Regions, UpdateFaultMatrixTest,
                         ::testing::Values(What::Firmware, What::Voice, What::Database,
                                           What::Signature),
                         [](const ::testing::TestParamInfo<What>& region) {
                           std::string name = Name(region.param);
                           name[0] = static_cast<char>(name[0] - 'a' + 'A');
                           return name;
                         });

// ---- Settings: the legacy memory (type 4), the data flash (type 24), the packet (type 26) ----

struct SettingsCase {
  What what;
  uint8_t type;
  MemorySelector selector;
  uint32_t address;
};

constexpr SettingsCase kSettingsCases[] = {
    {What::LegacySettings, 4, MemorySelector::LegacySettings, kLegacySettingsAddress},
    {What::FlashSettings, 24, MemorySelector::DataFlash, kFlashSettingsAddress},
    {What::Packet, 26, MemorySelector::DataFlash, kPacketSettingsAddress},
};

// "Настройки меню" with one setting changed; `arm` runs once the form has read the unit, so
// the fault meets the write and its read-backs, not the form's own read.
void RunSettings(WindowRun& run, const SettingsCase& c, const std::function<void()>& arm) {
  if (c.what == What::Packet) {
    run.view.QueueSchemaFormAnswer([arm](ProcessValueForm& form) {
      arm();
      return Pick(form, "Лазер", "Вкл");
    });
  } else {
    // Types 1-5 disable every list: only "По умолч" changes anything there.
    const bool defaults = c.what == What::LegacySettings;
    run.view.QueueFormAnswer([arm, defaults](ParameterForm& form) {
      arm();
      defaults ? void(form.Defaults()) : form.Select(1, 1);  // X band off
      return true;
    });
  }
  run.main.OnMenuSettings();
}

TEST(FaultMatrixTest, SettingsRunsNeverClaimWhatTheDeviceDoesNotHold) {
  testing::ServedTree tree({26});
  Tally tally;
  for (const SettingsCase& c : kSettingsCases) {
    const UnitKey unit{c.selector, c.address / kUnitSize};
    for (const bool verify : {true, false}) {
      // The fault-free run: what the unit must hold afterwards.
      std::vector<uint8_t> expected;
      {
        WindowRun run(1ms, tree.Url());
        auto device = run.Plug(Preset(c.type));
        run.OpenUntilReady();
        run.main.OnVerifyChanged(verify);
        RunSettings(run, c, [] {});
        ASSERT_TRUE(run.PumpPolling(
            [&] { return run.main.State().updatePhase == UpdatePhase::Finished; }));
        ASSERT_TRUE(Shown(run.view, kSettingsLoadedText)) << Name(c.what);
        expected = UnitOf(Snapshot(*device), unit);
      }
      // The settings unit is one unit: first, middle and last are the same.
      for (const Fault fault : kFaults) {
        SCOPED_TRACE(std::string(Name(fault)) + " at the " + Name(c.what) +
                     (verify ? ", verified" : ", not verified"));
        WindowRun run(1ms, tree.Url());
        auto device = run.Plug(Preset(c.type));
        run.OpenUntilReady();
        run.main.OnVerifyChanged(verify);
        const Memories before = Snapshot(*device);
        device->ClearRecording();
        RunSettings(run, c, [&device, fault, unit] { Arm(*device, fault, unit); });
        ASSERT_NO_FATAL_FAILURE(AwaitEnd(run, *device, fault));

        const Memories now = Snapshot(*device);
        const bool holds = UnitOf(now, unit) == expected;
        if (Shown(run.view, kSettingsLoadedText)) {
          EXPECT_TRUE(holds) << "\"Загрузка настроек произведена.\" for settings not on the device";
        }
        EXPECT_TRUE(ChangedOutside(before, now, {unit}).empty())
            << "memory outside the settings unit changed";
        if (fault == Fault::Unplugged) {
          ExpectNothingAfterTheUnplug(*device);
        }
        const UpdatePhase phase = run.main.State().updatePhase;
        ExpectEndWorks(run, fault == Fault::Stalled);
        tally.Add(fault == Fault::Stalled       ? "held, closed on time"
                  : holds                       ? "written and verified"
                  : phase == UpdatePhase::Parked ? "parked"
                                                 : "failed");
      }
    }
  }
  tally.Print("settings");
}

}  // namespace
}  // namespace korvan
