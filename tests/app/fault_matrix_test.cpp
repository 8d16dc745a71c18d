// The device fault matrix: every kind of device fault, aimed at the first, a middle and the
// last unit of each region a run writes, with verification on and off, through the window's
// logic and (for updates) the command line. Whatever happens, nothing may be reported as
// written that the device does not hold, nothing outside the run's regions may change, an
// unplugged device gets no further command, a run that gave up writes nothing more, and the
// run ends (or, for a device that stops answering, the window can still be closed on time).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
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
#include "sources/update_file_layout.h"
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

enum class Fault { FailedCommand, NeverTaken, AlteredOnce, AlteredAlways, Unplugged, Stalled };
enum class What { Firmware, Voice, Database, Signature, LegacySettings, FlashSettings, Packet };
enum class Where { First, Middle, Last };

const char* Name(Fault fault) {
  switch (fault) {
    case Fault::FailedCommand:
      return "failed command";
    case Fault::NeverTaken:
      return "unit never taken";
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

constexpr Fault kFaults[] = {Fault::FailedCommand, Fault::NeverTaken, Fault::AlteredOnce,
                             Fault::AlteredAlways, Fault::Unplugged,  Fault::Stalled};
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

// `length` bytes of one memory from `offset` (counted from the memory's start).
std::vector<uint8_t> BytesOf(const Memories& memories, MemorySelector selector, uint64_t offset,
                             uint64_t length) {
  const std::vector<uint8_t>& memory = memories.at(selector);
  if (offset + length > memory.size()) {
    return {};
  }
  return {memory.begin() + static_cast<std::ptrdiff_t>(offset),
          memory.begin() + static_cast<std::ptrdiff_t>(offset + length)};
}

std::vector<uint8_t> UnitOf(const Memories& memories, UnitKey unit) {
  return BytesOf(memories, unit.first, uint64_t{unit.second} * kUnitSize - BaseOf(unit.first),
                 kUnitSize);
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
// all of them in that order, and the memories afterwards (what the device must hold).
struct Reference {
  std::map<What, std::vector<UnitKey>> regions;
  std::vector<UnitKey> order;
  std::set<UnitKey> written;
  Memories after;
};

// The update's region a write belongs to, on the type-8 device the update rows use.
What UpdateRegionOf(const Cdb& cdb, uint32_t databaseStart) {
  if (CdbSelector(cdb) == static_cast<uint8_t>(MemorySelector::Controller)) {
    return What::Firmware;
  }
  const uint64_t address = uint64_t{CdbUnit(cdb)} * kUnitSize;
  if (address >= kSignatureAddress) {
    return What::Signature;
  }
  return address >= databaseStart ? What::Database : What::Voice;
}

void Collect(Reference& reference, What what, const Cdb& cdb) {
  const UnitKey unit{static_cast<MemorySelector>(CdbSelector(cdb)), CdbUnit(cdb)};
  if (reference.written.insert(unit).second) {
    reference.regions[what].push_back(unit);
    reference.order.push_back(unit);
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
    case Fault::NeverTaken:
      // A unit the device never takes: its writes and its reads all fail.
      device.FailMatching(kOpWriteUnit, unit.second, unit.first);
      device.FailMatching(kOpReadUnit, unit.second, unit.first);
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

// How the rows ended, for the figures printed at the end of each test and of the whole run.
struct Tally {
  int rows = 0;
  std::map<std::string, int> outcomes;

  void Add(const std::string& outcome) {
    ++rows;
    ++outcomes[outcome];
  }
  void Print(const std::string& what) const {
    std::ostringstream text;
    text << "fault matrix, " << what << ": " << rows << " rows;";
    for (const auto& [outcome, count] : outcomes) {
      text << " " << outcome << " " << count << ";";
    }
    std::cout << text.str() << "\n";
  }
};

Tally& AllRows() {
  static Tally tally;
  return tally;
}

// The figures of every row this process ran, once all tests are done.
class AllRowsPrinter final : public ::testing::Environment {
 public:
  void TearDown() override {
    if (AllRows().rows > 0) {
      AllRows().Print("all rows run");
    }
  }
};

[[maybe_unused]] ::testing::Environment* const kAllRowsPrinter =
    ::testing::AddGlobalTestEnvironment(new AllRowsPrinter);

// One test's rows; handed on to the whole run's figures at the end.
struct TestTally : Tally {
  void Add(const std::string& outcome) {
    Tally::Add(outcome);
    AllRows().Add(outcome);
  }
  void Print(const std::string& what) const {
    Tally::Print(what);
    ::testing::Test::RecordProperty("rows", rows);
  }
};

// What a row ended in, as the program reported it.
std::string Outcome(Fault fault, const AppState& state) {
  if (fault == Fault::Stalled) {
    return "stalled, let go on End";
  }
  if (state.updatePhase == UpdatePhase::Parked) {
    return "parked";
  }
  return state.updateFailed ? "failed" : "done";
}

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

// A run that gave up on the device (parked) wrote none of the units that come after `struck`.
void ExpectNothingWrittenAfter(const Memories& before, const Memories& now,
                               const Reference& reference, UnitKey struck) {
  const auto at = std::find(reference.order.begin(), reference.order.end(), struck);
  ASSERT_NE(at, reference.order.end());
  for (auto unit = at + 1; unit != reference.order.end(); ++unit) {
    if (UnitOf(before, *unit) != UnitOf(now, *unit)) {
      ADD_FAILURE() << "unit " << unit->second << " of memory " << static_cast<int>(unit->first)
                    << " written after the run gave up";
      return;
    }
  }
}

// The window's End, once the row has run: on time, and letting go only a stuck worker.
void ExpectEndWorks(WindowRun& run, bool stalled) {
  run.window.Close();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run.main.OnClose(), !stalled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// The windows whose device stopped answering: End is pressed on all of them at once at the
// end of the test, so that their grace periods run side by side instead of one after the
// other. Their devices are never released: the worker let go stays in its command.
class StalledWindows {
 public:
  ~StalledWindows() { CloseAll(); }

  void Hold(std::string row, WindowRun& run, std::shared_ptr<void> owner) {
    held_.push_back({std::move(row), &run, std::move(owner)});
  }

  void CloseAll() {
    std::vector<std::thread> closers;
    closers.reserve(held_.size());
    for (const Held& held : held_) {
      closers.emplace_back([&held] {
        SCOPED_TRACE(held.row);
        ExpectEndWorks(*held.run, true);
      });
    }
    for (std::thread& closer : closers) {
      closer.join();
    }
    held_.clear();
  }

 private:
  struct Held {
    std::string row;
    WindowRun* run;
    std::shared_ptr<void> owner;  // keeps the run alive until it is closed
  };
  std::vector<Held> held_;
};

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
constexpr What kUpdateRegions[] = {What::Firmware, What::Voice, What::Database, What::Signature};

emu::UpdateFile NewerFile() {
  return emu::MakeUpdateFile(emu::NewerUpdateFile(Preset(kUpdateType)));
}

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

UpdateFileInfo NewerFileInfo() {
  UpdateFileInfo file;
  file.fileFwVersion = {0, 3, 0, 1};
  return file;
}

uint32_t DatabaseStart() {
  DeviceInfo device;
  device.typeCode = kUpdateType;
  return ModelCatalogue::DbFlashOffset(1, device, NewerFileInfo());
}

// The fault-free run's memories hold each component of the update file where it belongs, so
// holding what that run left means holding the file's bytes.
void ExpectTheFileOn(const Memories& memories) {
  const emu::UpdateFile file = NewerFile();
  UpdateFileHeader header;
  std::copy_n(file.bytes.begin(), header.bytes.size(), header.bytes.begin());
  for (const UpdateComponent component : ComponentsFor(kUpdateType)) {
    const ComponentPlacement placement =
        PlacementOf(component, kUpdateType, header, NewerFileInfo(), file.bytes.size());
    ASSERT_LE(placement.fileOffset + placement.length, file.bytes.size());
    const std::vector<uint8_t> expected(
        file.bytes.begin() + static_cast<std::ptrdiff_t>(placement.fileOffset),
        file.bytes.begin() + static_cast<std::ptrdiff_t>(placement.fileOffset + placement.length));
    const MemorySelector selector = component == UpdateComponent::Firmware
                                        ? MemorySelector::Controller
                                        : MemorySelector::DataFlash;
    EXPECT_EQ(BytesOf(memories, selector, placement.memoryStart, placement.length), expected)
        << "component " << static_cast<int>(component) << " is not on the device";
  }
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
  ExpectTheFileOn(reference.after);
  return reference;
}

// True when the device holds what the fault-free run left in every unit of `region`.
bool Holds(const Memories& now, const Reference& reference, What region) {
  const auto& units = reference.regions.at(region);
  return std::all_of(units.begin(), units.end(), [&](UnitKey unit) {
    return UnitOf(now, unit) == UnitOf(reference.after, unit);
  });
}

bool HoldsAll(const Memories& now, const Reference& reference) {
  return std::all_of(std::begin(kUpdateRegions), std::end(kUpdateRegions),
                     [&](What region) { return Holds(now, reference, region); });
}

bool IsSuccessBox(std::string_view text) {
  return text == kFirmwareUpdatedText || text == kDatabaseUpdatedText;
}

// `korvan update` on its own device with the same fault: a cell says "Обновлено" only for a
// component the device holds, and exit 0 and a success message only when it holds them all.
void ExpectCommandLineTruth(Fault fault, UnitKey unit, bool verify, const Reference& reference,
                            const std::filesystem::path& file) {
  emu::SimulatedDiskHost host;
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(Preset(kUpdateType)));
  device->SetRecordMode(emu::RecordMode::CdbOnly);
  host.Attach(testing::kDrive, device);
  const Memories before = Snapshot(*device);
  Arm(*device, fault, unit);
  testing::ScopedTempDir work{"korvan_matrix_cli"};
  frontend::GlobalOptions options;
  options.workdir = work.path();
  options.json = true;
  cli::UpdateOptions update;
  update.file = file.string();
  update.verify = verify;
  update.quiet = true;
  std::ostringstream out, err;
  const int status = cli::RunUpdate(host, options, update, out, err);

  const Memories now = Snapshot(*device);
  const bool all = HoldsAll(now, reference);
  const auto report = nlohmann::json::parse(out.str(), nullptr, false);
  ASSERT_TRUE(report.is_object()) << out.str();
  const std::pair<const char*, What> cells[] = {
      {"firmware", What::Firmware}, {"voice", What::Voice}, {"database", What::Database}};
  for (const auto& [key, region] : cells) {
    if (report.value(key, "") == kUpdatedText) {
      EXPECT_TRUE(Holds(now, reference, region))
          << "korvan update says \"Обновлено\" for " << key << " the device does not hold";
    }
  }
  if (status == 0 || IsSuccessBox(report.value("message", ""))) {
    EXPECT_TRUE(all) << "korvan update claims bytes the device does not hold\n" << out.str();
  }
  if (!all) {
    EXPECT_NE(status, 0) << out.str();
  }
  EXPECT_TRUE(ChangedOutside(before, now, reference.written).empty())
      << "korvan update changed memory outside the update's regions";
  if (fault == Fault::Unplugged) {
    ExpectNothingAfterTheUnplug(*device);
  }
  if (report.value("parked", false)) {
    ExpectNothingWrittenAfter(before, now, reference, unit);
  }
}

// One region per test, so that each stays short under the sanitizers.
class UpdateFaultMatrixTest : public ::testing::TestWithParam<What> {};

TEST_P(UpdateFaultMatrixTest, NeverClaimsWhatTheDeviceDoesNotHold) {
  const What what = GetParam();
  TestTally tally;
  StalledWindows stalled;
  const std::map<What, int> cells = {{What::Firmware, ids::kFwResultText},
                                     {What::Voice, ids::kVoiceResultText},
                                     {What::Database, ids::kDbResultText},
                                     {What::Signature, 0}};
  const testing::ScopedTempDir files{"korvan_matrix_file"};
  const auto file = emu::WriteUpdateFile(files.path(), NewerFile());
  ASSERT_TRUE(file.has_value());
  for (const bool verify : {true, false}) {
    const Reference reference = UpdateReference(verify);
    ASSERT_EQ(reference.regions.size(), 4U) << "firmware, voice, database and signature";
    for (const Fault fault : kFaults) {
      for (const Where where : {Where::First, Where::Middle, Where::Last}) {
        const std::string rowName = std::string(Name(fault)) + " at the " + Name(where) +
                                    " of the " + Name(what) +
                                    (verify ? ", verified" : ", not verified");
        SCOPED_TRACE(rowName);
        const UnitKey unit = Aim(reference.regions.at(what), where);
        auto row = std::make_shared<UpdateRow>(verify);
        WindowRun& run = row->run;
        // Else a row could not tell the unit written from the unit left alone.
        ASSERT_NE(UnitOf(row->before, unit), UnitOf(reference.after, unit))
            << "the update does not change the aimed unit";
        Arm(*row->device, fault, unit);
        run.main.OnUpload();
        ASSERT_NO_FATAL_FAILURE(AwaitEnd(run, *row->device, fault));

        const Memories now = Snapshot(*row->device);
        for (const auto& [region, id] : cells) {
          if (id != 0 && run.view.Text(id) == kUpdatedText) {
            EXPECT_TRUE(Holds(now, reference, region))
                << Name(region) << " shows \"Обновлено\" but is not on the device";
          }
        }
        if (Shown(run.view, kFirmwareUpdatedText) || Shown(run.view, kDatabaseUpdatedText)) {
          EXPECT_TRUE(HoldsAll(now, reference))
              << "a success box for an update the device does not hold";
        }
        EXPECT_TRUE(ChangedOutside(row->before, now, reference.written).empty())
            << "memory outside the update's regions changed";
        if (fault == Fault::Unplugged) {
          ExpectNothingAfterTheUnplug(*row->device);
        }
        const AppState state = run.main.State();
        if (state.updatePhase == UpdatePhase::Parked) {
          ExpectNothingWrittenAfter(row->before, now, reference, unit);
        }
        tally.Add(Outcome(fault, state));
        if (fault == Fault::Stalled) {
          stalled.Hold(rowName, run, row);
          continue;
        }
        ExpectEndWorks(run, false);
        ExpectCommandLineTruth(fault, unit, verify, reference, *file);
      }
    }
  }
  stalled.CloseAll();
  tally.Print(Name(what));
}

INSTANTIATE_TEST_SUITE_P(Regions, UpdateFaultMatrixTest, ::testing::ValuesIn(kUpdateRegions),
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

// Upload modes 5, 6 and 7.
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

// A settings run on its own window.
struct SettingsRow {
  SettingsRow(const SettingsCase& c, bool verify, const std::string& serverUrl)
      : run(1ms, serverUrl), device(run.Plug(Preset(c.type))) {
    run.OpenUntilReady();
    run.main.OnVerifyChanged(verify);
  }
  WindowRun run;
  std::shared_ptr<emu::SimulatedDevice> device;
};

bool StatusSaidUpdated(const RecordingView& view) {
  const std::string updated = "status " + std::string(kUpdatedText);
  return std::find(view.Calls().begin(), view.Calls().end(), updated) != view.Calls().end();
}

TEST(FaultMatrixTest, SettingsRunsNeverClaimWhatTheDeviceDoesNotHold) {
  testing::ServedTree tree({26});
  TestTally tally;
  StalledWindows stalled;
  for (const SettingsCase& c : kSettingsCases) {
    const UnitKey unit{c.selector, c.address / kUnitSize};
    for (const bool verify : {true, false}) {
      // The fault-free run: what the unit must hold afterwards.
      std::vector<uint8_t> expected;
      {
        SettingsRow row(c, verify, tree.Url());
        const std::vector<uint8_t> before = UnitOf(Snapshot(*row.device), unit);
        RunSettings(row.run, c, [] {});
        ASSERT_TRUE(row.run.PumpPolling(
            [&] { return row.run.main.State().updatePhase == UpdatePhase::Finished; }));
        ASSERT_TRUE(Shown(row.run.view, kSettingsLoadedText)) << Name(c.what);
        expected = UnitOf(Snapshot(*row.device), unit);
        // Else a row could not tell a unit written from one left alone.
        ASSERT_NE(expected, before) << "the change does not show in " << Name(c.what);
      }
      // The settings unit is one unit: its first, middle and last unit are the same, so each
      // fault is aimed at it once.
      for (const Fault fault : kFaults) {
        const std::string rowName = std::string(Name(fault)) + " at the " + Name(c.what) +
                                    (verify ? ", verified" : ", not verified");
        SCOPED_TRACE(rowName);
        auto row = std::make_shared<SettingsRow>(c, verify, tree.Url());
        WindowRun& run = row->run;
        emu::SimulatedDevice& device = *row->device;
        const Memories before = Snapshot(device);
        device.ClearRecording();
        RunSettings(run, c, [&device, fault, unit] { Arm(device, fault, unit); });
        ASSERT_NO_FATAL_FAILURE(AwaitEnd(run, device, fault));

        const Memories now = Snapshot(device);
        const bool holds = UnitOf(now, unit) == expected;
        if (Shown(run.view, kSettingsLoadedText)) {
          EXPECT_TRUE(holds) << "\"Загрузка настроек произведена.\" for settings not on the device";
        }
        if (StatusSaidUpdated(run.view)) {
          EXPECT_TRUE(holds) << "\"Обновлено\" on the bar for settings not on the device";
        }
        EXPECT_TRUE(ChangedOutside(before, now, {unit}).empty())
            << "memory outside the settings unit changed";
        if (fault == Fault::Unplugged) {
          ExpectNothingAfterTheUnplug(device);
        }
        tally.Add(Outcome(fault, run.main.State()));
        if (fault == Fault::Stalled) {
          stalled.Hold(rowName, run, row);
          continue;
        }
        ExpectEndWorks(run, false);
      }
    }
  }
  stalled.CloseAll();
  tally.Print("settings");
}

}  // namespace
}  // namespace korvan
