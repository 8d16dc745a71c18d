// "Настройки меню" on the fixed-layout models through the main window's handler: the unit read
// into Parameters.ini, the form played by the recorder, and the update worker writing the unit
// back to a simulated device.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/show_result.h"
#include "device/command_block.h"
#include "settings/menu_settings.h"
#include "settings/parameter_form.h"
#include "settings/parameters_ini.h"
#include "settings/settings_unit_writer.h"
#include "tests/app/window_run.h"

namespace korvan {
namespace {

using testing::Preset;
using testing::WindowRun;

constexpr int kXBand = 1;
constexpr int kOff = 1;  // "Вык"

struct UnitPlace {
  MemorySelector selector;
  uint32_t address;
};

UnitPlace PlaceOf(int8_t type) {
  return type < 6 ? UnitPlace{MemorySelector::LegacySettings, kLegacySettingsAddress}
                  : UnitPlace{MemorySelector::DataFlash, kFlashSettingsAddress};
}

std::vector<uint8_t> Unit(const emu::SimulatedDevice& device, int8_t type) {
  const UnitPlace place = PlaceOf(type);
  return device.Peek(place.selector, place.address, kUnitSize);
}

size_t Writes(const emu::SimulatedDevice& device) {
  const auto cdbs = device.RecordedCdbs();
  return static_cast<size_t>(std::count_if(cdbs.begin(), cdbs.end(),
                                           [](const Cdb& cdb) { return cdb[0] == kOpWriteUnit; }));
}

size_t FormsShown(const RecordingView& view) {
  return static_cast<size_t>(std::count(view.Calls().begin(), view.Calls().end(), "form"));
}

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A main window with a ready device of `type`.
struct SettingsRun : WindowRun {
  explicit SettingsRun(uint8_t type) : device(Plug(Preset(type))) {
    OpenUntilReady();
    device->ClearRecording();
  }

  bool Finished() {
    return Pump([this] { return main.State().updatePhase == UpdatePhase::Finished; });
  }

  std::filesystem::path Ini() const { return ParametersIniPath(folder.path()); }

  std::shared_ptr<emu::SimulatedDevice> device;
};

TEST(MenuSettingsCommandTest, OkWritesTheFormsSettingsAndKeepsTheRestOfTheUnit) {
  struct Case {
    uint8_t type;
    bool defaults;  // types 1-5 disable every list: only "По умолч" changes anything
    bool signed_;   // the data-flash unit carries the signature
  };
  for (const Case c : {Case{4, true, false}, Case{6, false, true}, Case{24, false, true}}) {
    SCOPED_TRACE(static_cast<int>(c.type));
    SettingsRun run(c.type);
    const auto type = static_cast<int8_t>(c.type);
    const std::vector<uint8_t> before = Unit(*run.device, type);

    run.view.QueueFormAnswer([&c](ParameterForm& form) {
      c.defaults ? void(form.Defaults()) : form.Select(kXBand, kOff);
      return true;
    });
    run.main.OnMenuSettings();
    EXPECT_FALSE(run.view.Control(ids::kMenuSettingsButton).enabled) << "while the run lasts";
    ASSERT_TRUE(run.Finished());

    const std::optional<MenuValues> saved = ReadMenuValues(run.Ini());
    ASSERT_TRUE(saved.has_value());
    std::vector<uint8_t> expected = before;
    for (size_t i = 0; i < saved->size(); ++i) {
      expected[i] = static_cast<uint8_t>((*saved)[i]);
    }
    if (c.signed_) {
      std::copy(kSettingsUnitSignature.begin(), kSettingsUnitSignature.end(),
                expected.begin() + kSettingsUnitSignatureOffset);
    }
    if (!c.defaults) {
      EXPECT_EQ(before[kXBand], 0);
      EXPECT_EQ((*saved)[kXBand], kOff);
      EXPECT_EQ(std::count_if(saved->begin(), saved->end(),
                              [&, i = 0](int v) mutable {
                                return v != static_cast<int8_t>(before[static_cast<size_t>(i++)]);
                              }),
                1)
          << "only the chosen setting changed";
    } else {
      EXPECT_EQ((*saved)[0], DefaultStoredValue(0, run.main.State().deviceInfo.country));
    }
    EXPECT_EQ(Unit(*run.device, type), expected);
    ASSERT_FALSE(run.view.Messages().empty());
    EXPECT_EQ(run.view.Messages().back().text, kSettingsLoadedText);
    EXPECT_TRUE(run.view.Control(ids::kMenuSettingsButton).enabled);
    EXPECT_FALSE(run.main.State().SettingsPending);
  }
}

TEST(MenuSettingsCommandTest, UnchangedOrCancelledFormsWriteNothing) {
  SettingsRun run(6);
  run.view.QueueFormAnswer([](ParameterForm&) { return true; });
  run.main.OnMenuSettings();
  EXPECT_EQ(run.main.State().updatePhase, UpdatePhase::Idle);
  // A later server download writes the settings then.
  EXPECT_EQ(run.main.State().UploadMode, kUploadLegacySettings);
  EXPECT_TRUE(run.main.State().SettingsPending);

  run.view.QueueFormAnswer([](ParameterForm& form) {
    form.Select(kXBand, kOff);
    return false;
  });
  run.main.OnMenuSettings();
  EXPECT_EQ(run.main.State().updatePhase, UpdatePhase::Idle);
  EXPECT_EQ(FormsShown(run.view), 2U);
  EXPECT_EQ(Writes(*run.device), 0U);
  EXPECT_TRUE(run.view.Messages().empty());
}

TEST(MenuSettingsCommandTest, AFailedReadOpensNoFormAndKeepsParametersIni) {
  SettingsRun run(6);
  ASSERT_TRUE(WriteMenuValues(run.Ini(), MenuValues{}));
  const std::string iniBefore = Slurp(run.Ini());
  run.device->FailMatching(kOpReadUnit, UnitNumber(kFlashSettingsAddress),
                           MemorySelector::DataFlash);
  run.view.QueueFormAnswer([](ParameterForm&) { return true; });

  run.main.OnMenuSettings();

  EXPECT_EQ(FormsShown(run.view), 0U);
  ASSERT_EQ(run.view.Messages().size(), 1U);
  EXPECT_EQ(run.view.Messages()[0].text, "Ошибка соединения!!");
  EXPECT_EQ(Slurp(run.Ini()), iniBefore);
  EXPECT_EQ(Writes(*run.device), 0U);
}

TEST(MenuSettingsCommandTest, ASecondRunWaitsUntilTheFirstHasWritten) {
  SettingsRun run(6);
  const auto turnXOff = [](ParameterForm& form) {
    form.Select(kXBand, kOff);
    return true;
  };
  run.view.QueueFormAnswer(turnXOff);
  run.view.QueueFormAnswer(turnXOff);
  run.main.OnMenuSettings();
  run.main.OnMenuSettings();  // the worker has not finished: no posted task has run yet
  EXPECT_EQ(FormsShown(run.view), 1U);
  ASSERT_TRUE(run.Finished());

  run.main.OnMenuSettings();
  EXPECT_EQ(FormsShown(run.view), 2U);
}

TEST(MenuSettingsCommandTest, AWriteNeverReadBackEqualEndsInTheErrorBox) {
  SettingsRun run(24);
  // Every read of the unit, the form's first, answers another last byte.
  run.device->CorruptReads(MemorySelector::DataFlash, UnitNumber(kFlashSettingsAddress), 1000,
                           emu::ByteRange{1023, 1});
  run.view.QueueFormAnswer([](ParameterForm& form) {
    form.Select(kXBand, kOff);
    return true;
  });
  run.main.OnMenuSettings();
  ASSERT_TRUE(run.Finished());

  ASSERT_EQ(run.view.Messages().size(), 1U);
  EXPECT_EQ(run.view.Messages()[0].text, kSettingsFailedText);
  EXPECT_EQ(Writes(*run.device), static_cast<size_t>(kMaxSettingsRewrites) + 1);
  EXPECT_TRUE(run.main.State().updateFailed);
  EXPECT_TRUE(run.view.Control(ids::kMenuSettingsButton).enabled);
}

TEST(MenuSettingsCommandTest, SchemaModelsDoNotGetTheFixedForm) {
  SettingsRun run(26);
  run.main.OnMenuSettings();
  EXPECT_EQ(FormsShown(run.view), 0U);
  EXPECT_EQ(run.device->RecordedCdbs().size(), 0U);
}

}  // namespace
}  // namespace korvan
