#include "app/recording_view.h"

namespace korvan {
namespace {

std::string Flag(bool value) {
  return value ? "1" : "0";
}

}  // namespace

void RecordingView::SetControlText(int id, std::string_view text) {
  controls_[id].text = text;
  calls_.push_back("text " + std::to_string(id) + " " + std::string(text));
}

void RecordingView::EnableControl(int id, bool enabled) {
  controls_[id].enabled = enabled;
  calls_.push_back("enable " + std::to_string(id) + " " + Flag(enabled));
}

void RecordingView::ShowControl(int id, bool shown) {
  controls_[id].shown = shown;
  calls_.push_back("show " + std::to_string(id) + " " + Flag(shown));
}

void RecordingView::CheckControl(int id, bool checked) {
  controls_[id].checked = checked;
  calls_.push_back("check " + std::to_string(id) + " " + Flag(checked));
}

void RecordingView::SetStatusPosition(int position) {
  status_.position = position;
  calls_.push_back("position " + std::to_string(position));
}

void RecordingView::SetStatusText(std::string_view text) {
  status_.text = text;
  calls_.push_back("status " + std::string(text));
}

void RecordingView::SetStatusColours(const StatusColours& colours) {
  status_.colours = colours;
  calls_.push_back("colours");
}

void RecordingView::SetStatusShowText(bool show) {
  status_.showText = show;
  calls_.push_back("showtext " + Flag(show));
}

void RecordingView::SetVoiceItems(const std::vector<VoiceItem>& items) {
  voiceItems_ = items;
  selectedVoice_ = 0;
  calls_.push_back("voices " + std::to_string(items.size()));
}

int RecordingView::SelectedVoiceData() const {
  return selectedVoice_ < voiceItems_.size() ? voiceItems_[selectedVoice_].itemData : -1;
}

bool RecordingView::SelectVoiceData(int itemData) {
  for (size_t i = 0; i < voiceItems_.size(); ++i) {
    if (voiceItems_[i].itemData == itemData) {
      selectedVoice_ = i;
      calls_.push_back("select voice " + std::to_string(itemData));
      return true;
    }
  }
  return false;
}

void RecordingView::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  messages_.push_back({std::string(text), std::string(caption), icon});
  calls_.push_back("message " + std::string(text));
}

std::optional<std::string> RecordingView::ChooseOpenFile(std::string_view filter) {
  calls_.push_back("choose " + std::string(filter));
  if (fileChoices_.empty()) {
    return std::nullopt;
  }
  auto choice = std::move(fileChoices_.front());
  fileChoices_.pop_front();
  return choice;
}

bool RecordingView::RunParameterForm(ParameterForm& form) {
  calls_.push_back("form");
  if (formAnswers_.empty()) {
    return false;
  }
  FormAnswer answer = std::move(formAnswers_.front());
  formAnswers_.pop_front();
  return answer(form);
}

bool RecordingView::RunSchemaForm(ProcessValueForm& form) {
  calls_.push_back("schema form");
  if (schemaAnswers_.empty()) {
    return false;
  }
  SchemaFormAnswer answer = std::move(schemaAnswers_.front());
  schemaAnswers_.pop_front();
  return answer(form);
}

ControlState RecordingView::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? ControlState{} : it->second;
}

const std::string& RecordingView::Text(int id) const {
  static const std::string kEmpty;
  const auto it = controls_.find(id);
  return it == controls_.end() ? kEmpty : it->second.text;
}

std::vector<int> RecordingView::Positions(size_t fromCall) const {
  std::vector<int> positions;
  for (size_t i = fromCall; i < calls_.size(); ++i) {
    if (calls_[i].rfind("position ", 0) == 0) {
      positions.push_back(std::stoi(calls_[i].substr(9)));
    }
  }
  return positions;
}

}  // namespace korvan
