// The presets against the program's own detection: the worker's copies and version reading
// must find exactly what each preset was laid out to carry.
#include <gtest/gtest.h>

#include "emulator/device_presets.h"
#include "tests/support/detection_run.h"

namespace korvan::emu {
namespace {

DeviceInfo Detect(const PresetOptions& options) {
  korvan::testing::DetectionRun run;
  auto device = MakeSimulatedDevice(MakePresetImages(options));
  device->SetRecordMode(RecordMode::Off);
  run.host.Attach(2, device);
  EXPECT_TRUE(run.Run());
  return run.state.deviceInfo;
}

TEST(PresetDetectionTest, TheProgramReadsBackWhatEachPresetCarries) {
  auto preset = [](uint8_t raw, auto change) {
    PresetOptions options;
    options.rawType = raw;
    change(options);
    return options;
  };
  auto same = [](PresetOptions&) {};
  const struct {
    const char* what;
    PresetOptions options;
  } cases[] = {
      {"type 1 record", preset(1, same)},
      {"type 1 build", preset(1, [](PresetOptions& o) { o.firmwareBuildRow = 1; })},
      {"type 2 without voice build", preset(2, same)},
      {"type 2 voice build", preset(2, [](PresetOptions& o) { o.voiceBuildRow = 0; })},
      {"type 3 old layout", preset(3, same)},
      {"type 3 new layout", preset(3,
                                   [](PresetOptions& o) {
                                     o.firmware = {0, 2, 3, 8};
                                   })},
      {"type 3 old build", preset(3,
                                  [](PresetOptions& o) {
                                    o.firmwareBuildRow = 0;
                                    o.voiceBuildRow = 5;
                                  })},
      {"type 3 newer build", preset(3, [](PresetOptions& o) { o.firmwareBuildRow = 3; })},
      {"old hardware", preset(0x00,
                              [](PresetOptions& o) {
                                o.firmware = {0, 2, 4, 3};
                              })},
      {"type 4 build", preset(0x84, [](PresetOptions& o) { o.firmwareBuildRow = 6; })},
      {"type 5 flagged", preset(0x85, [](PresetOptions& o) { o.recordTypeFlag = true; })},
      {"type 6", preset(6, same)},
      {"type 8 Uzbekistan", preset(8,
                                   [](PresetOptions& o) {
                                     o.country = kCountryUzbekistan;
                                     o.aux = {0, 2, 0, 1};
                                   })},
      {"type 9", preset(9, same)},
      {"type 16", preset(16, same)},
      {"type 17", preset(17, same)},
      {"type 20", preset(20, same)},
      {"type 22", preset(22, same)},
      {"type 24", preset(24, same)},
      {"type 25", preset(25, same)},
      {"type 27 third country", preset(27, [](PresetOptions& o) { o.country = kCountryThird; })},
      {"type 6 unknown country", preset(6, [](PresetOptions& o) { o.country = 4; })},
      {"type 7", preset(7, same)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const DeviceInfo detected = Detect(c.options);
    const DeviceInfo expected = PresetDeviceInfo(c.options);
    EXPECT_EQ(detected.typeCode, expected.typeCode);
    EXPECT_EQ(detected.typeForced, expected.typeForced);
    EXPECT_EQ(detected.fwVersion, expected.fwVersion);
    EXPECT_EQ(detected.country, expected.country);
    EXPECT_EQ(detected.layoutVariant, expected.layoutVariant);
    EXPECT_EQ(detected.voiceVersion, expected.voiceVersion);
    EXPECT_EQ(detected.dbVersion, expected.dbVersion);
    EXPECT_EQ(detected.auxVersion, expected.auxVersion);
  }
}

}  // namespace
}  // namespace korvan::emu
