// Control ids of the main dialog, as its template numbers them. The window lays controls out
// by these ids, and the logic addresses them through View by the same ids.
#pragma once

namespace korvan::ids {

inline constexpr int kEnd = 2;  // the cancel button, "End"

inline constexpr int kModelLabel = 1000;
inline constexpr int kVersionLabel = 1001;
inline constexpr int kDbVersionLabel = 1002;
inline constexpr int kVoiceVersionLabel = 1003;
inline constexpr int kVoiceLabel = 1004;
inline constexpr int kOpenButton = 1005;  // "Открыть": choose a local update file
inline constexpr int kFilePathEdit = 1006;
inline constexpr int kDownloadButton = 1007;   // "Загрузить": server download
inline constexpr int kStatusBar = 1014;        // the text progress bar, SlotProgressBars[0]
inline constexpr int kUploadModeRadio = 1015;  // hidden upload-mode radios 1015, 1019, 1036
inline constexpr int kServerSourceRadio = 1016;
inline constexpr int kFileSourceRadio = 1017;
inline constexpr int kMenuModeRadio = 1019;
inline constexpr int kMenuSettingsButton = 1020;  // "Настройки меню"
inline constexpr int kModelText = 1024;
inline constexpr int kFwVersionText = 1025;
inline constexpr int kDbVersionText = 1026;
inline constexpr int kVoiceVersionText = 1027;
inline constexpr int kVerifyCheck = 1028;
inline constexpr int kLogo = 1029;
inline constexpr int kDbModeRadio = 1036;
inline constexpr int kFileFwVersionText = 1038;
inline constexpr int kFileVoiceVersionText = 1039;
inline constexpr int kFileDbText = 1040;
inline constexpr int kFwResultText = 1041;
inline constexpr int kVoiceResultText = 1042;
inline constexpr int kDbResultText = 1043;
inline constexpr int kUnusedText = 1044;
inline constexpr int kAuxVersionText = 1047;  // service mode: second version of type 8
inline constexpr int kAuxGroup = 1049;
inline constexpr int kAuxLabel = 1050;
inline constexpr int kUploadButton = 1052;  // "Загрузить в устройство"
inline constexpr int kReadButton = 1053;    // service mode
inline constexpr int kEraseButton = 1054;   // service mode
inline constexpr int kVoiceCombo = 1065;
inline constexpr int kRussiaRadio = 1088;
inline constexpr int kUzbekistanRadio = 1093;
inline constexpr int kTestButton = 1096;

}  // namespace korvan::ids
