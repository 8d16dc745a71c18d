#include "app/main_window_steps.h"

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/recording_view.h"

namespace korvan {
namespace {

TEST(MainWindowStepsTest, ModelText) {
  struct Case {
    int8_t type;
    bool forced;
    uint8_t country;
    const char* expected;
  };
  const Case cases[] = {
      {4, false, 3, "DAHLIA_Russia"},
      {4, true, 3, "DAHLIA - Обнаружено устройство старого типа!!"},
      {4, true, 0, "DAHLIA - Обнаружено устройство старого типа!!"},
      {9, false, 12, "DAHLIA_LITE_Uzbekistan"},
      {26, false, 109, "FERN_ULTRA"},
      {26, false, 0, "FERN_ULTRA"},
      {8, false, 3, "OldHardware_DAHLIA_LITE"},  // type 8 never takes a country suffix
      {7, false, 0, ""},
      {28, false, 0, ""},
  };
  for (const auto& c : cases) {
    DeviceInfo info;
    info.typeCode = c.type;
    info.typeForced = c.forced;
    info.country = c.country;
    EXPECT_EQ(ModelText(info), c.expected) << int{c.type};
  }
}

TEST(MainWindowStepsTest, VersionTexts) {
  EXPECT_EQ(DetectedVersionText({0, 1, 7, 3}), "v01.73");
  EXPECT_EQ(DetectedVersionText({0xFF, 0xFF, 0xFF, 0xFF}), "Ошибка соединения!!");
  EXPECT_EQ(DetectedVersionText({0xFF, 0xFF, 0xFF, 0}), "v255255.2550");
  EXPECT_EQ(FormatVersionText(255, 255, 255, 255), "v255255.255255");

  const std::array<uint8_t, 8> unread{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(DetectedDbVersionText(unread), "Ошибка соединения!!");
  EXPECT_EQ(DetectedDbVersionText({'1', '2', '2', '4', '0', '5', '1', '7'}), "v1.2 240517");
  // A zero byte ends the text, as it would in the C string; other bytes are characters.
  EXPECT_EQ(DetectedDbVersionText({'3', 0, '2', '4', '0', '5', '1', '7'}), "v3.");
  EXPECT_EQ(DetectedDbVersionText({0, 0, 0, 0, 0, 0, 0, 0}), "v");
  EXPECT_EQ(DetectedDbVersionText({'1', '2', '2', '4', '0', '5', '1', 0xE9}), "v1.2 24051é");
}

TEST(MainWindowStepsTest, StatusBarFileSourceAndVoiceList) {
  RecordingView view;
  view.SetStatusText("old");
  view.SetStatusPosition(55);
  ResetStatusBar(view, "Поиск");
  EXPECT_EQ(view.Status().position, 0);
  EXPECT_EQ(view.Status().text, "Поиск");
  EXPECT_TRUE(view.Status().showText);
  EXPECT_EQ(view.Status().colours, (StatusColours{kDarkGreen, kWhite, kDarkGreen, kWhite}));

  EnableFileSource(view, 1);
  EXPECT_FALSE(view.Control(ids::kFileSourceRadio).enabled);
  EnableFileSource(view, 0);
  EXPECT_TRUE(view.Control(ids::kFileSourceRadio).enabled);

  DeviceInfo info;
  info.country = 3;
  FillVoiceCombo(view, 5, info);
  ASSERT_EQ(view.VoiceItems().size(), 2u);
  EXPECT_EQ(view.VoiceItems()[0].itemData, 1);
  EXPECT_TRUE(view.Control(ids::kVoiceCombo).enabled) << "the enabled state is left alone";
  FillVoiceCombo(view, 2, info);
  EXPECT_TRUE(view.VoiceItems().empty());
  EXPECT_FALSE(view.Control(ids::kVoiceCombo).enabled);
}

}  // namespace
}  // namespace korvan
