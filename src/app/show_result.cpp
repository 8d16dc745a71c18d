#include "app/show_result.h"

namespace korvan {

ResultMessage ResultMessageFor(int code) {
  switch (code) {
    case 0:
    case 1:
      return {kManualUpdateText, MessageIcon::None};
    case 3:
      return {kFirmwareUpdatedText, MessageIcon::Information};
    case 4:
      return {kDatabaseUpdatedText, MessageIcon::Information};
    case 6:
      return {kInvalidUpdateFileText, MessageIcon::None};
    case 7:
      return {kType8Notice, MessageIcon::Information};
    case 8:
      return {kSettingsLoadedText, MessageIcon::Information};
    case kResultUpdateFailed:
      return {kUpdateFailedText, MessageIcon::Error};
    case kResultSettingsFailed:
      return {kSettingsFailedText, MessageIcon::Error};
    default:
      return {{}, MessageIcon::None};
  }
}

void ShowResult(View& view, int code) {
  const ResultMessage message = ResultMessageFor(code);
  if (!message.text.empty()) {
    view.ShowMessage(message.text, "", message.icon);
  }
}

}  // namespace korvan
