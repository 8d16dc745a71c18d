#include "app/main_window_steps.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "app/control_ids.h"
#include "device/model_catalogue.h"
#include "device/voice_names.h"

namespace korvan {
namespace {

bool AllFF(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A byte as the character of the same code point, in UTF-8.
void AppendLatin1(std::string& out, uint8_t byte) {
  if (byte < 0x80) {
    out += static_cast<char>(byte);
  } else {
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
  }
}

}  // namespace

void InitMainDialogControls(View& view) {
  for (const int id :
       {ids::kRussiaRadio, ids::kUzbekistanRadio, ids::kAuxGroup, ids::kAuxLabel,
        ids::kAuxVersionText, ids::kUploadModeRadio, ids::kMenuModeRadio, ids::kDbModeRadio,
        ids::kReadButton, ids::kEraseButton, ids::kUnusedText, ids::kTestButton}) {
    view.ShowControl(id, false);
  }
  for (const int id :
       {ids::kOpenButton, ids::kUploadButton, ids::kMenuSettingsButton, ids::kUploadModeRadio,
        ids::kMenuModeRadio, ids::kDbModeRadio, ids::kVerifyCheck}) {
    view.EnableControl(id, false);
  }
  for (const int id :
       {ids::kModelText, ids::kFwVersionText, ids::kDbVersionText, ids::kVoiceVersionText,
        ids::kAuxVersionText, ids::kFileFwVersionText, ids::kFileVoiceVersionText, ids::kFileDbText,
        ids::kFwResultText, ids::kVoiceResultText, ids::kDbResultText}) {
    view.SetControlText(id, kBlankFieldText);
  }
  view.EnableControl(ids::kDownloadButton, false);
  view.EnableControl(ids::kVoiceCombo, false);
  view.CheckControl(ids::kServerSourceRadio, true);
  view.CheckControl(ids::kUploadModeRadio, true);
  view.CheckControl(ids::kVerifyCheck, true);
  view.SetControlText(ids::kFilePathEdit, "");
}

void DisableInputs(View& view) {
  for (const int id :
       {ids::kServerSourceRadio, ids::kFileSourceRadio, ids::kOpenButton, ids::kUploadButton,
        ids::kMenuSettingsButton, ids::kDownloadButton, ids::kVoiceCombo, ids::kUploadModeRadio,
        ids::kMenuModeRadio, ids::kDbModeRadio}) {
    view.EnableControl(id, false);
  }
}

void ResetStatusBar(View& view, std::string_view text) {
  view.SetStatusPosition(0);
  view.SetStatusText(text);
  view.SetStatusShowText(true);
  view.SetStatusColours({kDarkGreen, kWhite, kDarkGreen, kWhite});
}

void EnableFileSource(View& view, int busy) {
  view.EnableControl(ids::kFileSourceRadio, busy != 1);
}

void FillVoiceCombo(View& view, int type, const DeviceInfo& info) {
  const auto items = VoiceComboItems(type, info);
  view.SetVoiceItems(items.value_or(std::vector<VoiceItem>{}));
  if (!items) {
    view.EnableControl(ids::kVoiceCombo, false);
  }
}

std::string FormatVersionText(int d0, int d1, int d2, int d3) {
  return "v" + std::to_string(d0) + std::to_string(d1) + "." + std::to_string(d2) +
         std::to_string(d3);
}

std::string DetectedVersionText(const VersionDigits& digits) {
  if (AllFF(digits)) {
    return std::string(kConnectionErrorText);
  }
  return FormatVersionText(digits[0], digits[1], digits[2], digits[3]);
}

std::string DetectedDbVersionText(const std::array<uint8_t, 8>& db) {
  if (AllFF(db)) {
    return std::string(kConnectionErrorText);
  }
  // v %c . %c space %c x6
  const int kLayout[] = {-'v', 0, -'.', 1, -' ', 2, 3, 4, 5, 6, 7};
  std::string text;
  for (const int part : kLayout) {
    const uint8_t c = part < 0 ? static_cast<uint8_t>(-part) : db[static_cast<size_t>(part)];
    if (c == 0) {
      break;
    }
    AppendLatin1(text, c);
  }
  return text;
}

std::string ModelText(const DeviceInfo& info) {
  const std::string identifier(ModelCatalogue::ModelIdentifier(info.typeCode, info.typeForced));
  if (EqualsIgnoringCase(identifier, "OldHardware")) {
    return std::string(kOldHardwareModelText);
  }
  if (info.typeCode == 8) {
    return identifier;
  }
  if (info.country == kCountryRussia) {
    return identifier + "_Russia";
  }
  if (info.country == kCountryUzbekistan) {
    return identifier + "_Uzbekistan";
  }
  return identifier;
}

}  // namespace korvan
