// A View that keeps the state of every control by id, the status bar, the voice list and the
// messages shown, plus the sequence of calls. The tests' window, and the base of the command
// line's console view, which prints what a window would show.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/view.h"

namespace korvan {

struct ControlState {
  std::string text;  // empty until set: the dialog's blank placeholder
  bool enabled = true;
  bool shown = true;
  bool checked = false;
};

struct StatusBarState {
  int position = 0;
  std::string text;
  StatusColours colours{};
  bool showText = true;
};

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageIcon icon;
};

class RecordingView : public View {
 public:
  void SetControlText(int id, std::string_view text) override;
  void EnableControl(int id, bool enabled) override;
  void ShowControl(int id, bool shown) override;
  void CheckControl(int id, bool checked) override;
  void SetStatusPosition(int position) override;
  void SetStatusText(std::string_view text) override;
  void SetStatusColours(const StatusColours& colours) override;
  void SetStatusShowText(bool show) override;
  void SetVoiceItems(const std::vector<VoiceItem>& items) override;
  int SelectedVoiceData() const override;
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  // Answers with the next queued choice (nullopt: cancelled); cancels when none is queued.
  std::optional<std::string> ChooseOpenFile(std::string_view filter) override;
  // Hands the form to the next queued answer, which plays the user; cancels when none is
  // queued.
  bool RunParameterForm(ParameterForm& form) override;
  // The same for the settings dialog of types 25-27.
  bool RunSchemaForm(ProcessValueForm& form) override;

  // The user picks the voice whose item data is `itemData`; false when the list has none.
  bool SelectVoiceData(int itemData);

  // What the next open-file dialogs answer, in order.
  void QueueFileChoice(std::optional<std::string> path) { fileChoices_.push_back(std::move(path)); }

  // What the user does in the next settings forms, in order: changes `form` and answers true
  // for OK, false for "Отменить".
  using FormAnswer = std::function<bool(ParameterForm& form)>;
  void QueueFormAnswer(FormAnswer answer) { formAnswers_.push_back(std::move(answer)); }
  using SchemaFormAnswer = std::function<bool(ProcessValueForm& form)>;
  void QueueSchemaFormAnswer(SchemaFormAnswer answer) {
    schemaAnswers_.push_back(std::move(answer));
  }

  // A control never touched reads as text "", enabled, shown, unchecked.
  ControlState Control(int id) const;
  const std::string& Text(int id) const;
  const StatusBarState& Status() const { return status_; }
  const std::vector<VoiceItem>& VoiceItems() const { return voiceItems_; }
  const std::vector<ShownMessage>& Messages() const { return messages_; }
  // One line per call: "text 1024 DAHLIA_Russia", "enable 1007 1", "show 1088 0",
  // "check 1016 1", "position 42", "status готов", "colours", "showtext 1", "voices 4",
  // "message <text>", "choose <filter>", "form", "schema form".
  const std::vector<std::string>& Calls() const { return calls_; }
  // The positions the status bar was set to, in order, from call number `fromCall` on.
  std::vector<int> Positions(size_t fromCall = 0) const;

 private:
  std::map<int, ControlState> controls_;
  StatusBarState status_;
  std::vector<VoiceItem> voiceItems_;
  size_t selectedVoice_ = 0;
  std::vector<ShownMessage> messages_;
  std::vector<std::string> calls_;
  std::deque<std::optional<std::string>> fileChoices_;
  std::deque<FormAnswer> formAnswers_;
  std::deque<SchemaFormAnswer> schemaAnswers_;
};

}  // namespace korvan
