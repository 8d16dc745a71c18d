#include "ui/parameter_dialog_template.h"

#include <array>
#include <iterator>
#include <vector>

#include "settings/menu_settings.h"

namespace korvan::ui {
namespace {

using K = ControlKind;

constexpr int kMargin = 6;
// A row is a list and its label. GTK draws a drop-down list taller than the rows can be; below
// 15 units it cuts the descenders of the list's text.
constexpr int kPitch = 17;
constexpr int kListHeight = 15;
// GTK draws a label's text at the top of its rectangle: this puts it level with the list's.
constexpr int kLabelTop = 4;
constexpr int kLabelHeight = 10;
constexpr int kLabelGap = 3;  // between a label and its list
// Inside a box: from the frame to the rows at the sides and below, and from the box's top to
// its first row, under the title or without one.
constexpr int kBoxPadding = 3;
constexpr int kTitledTop = 10;
constexpr int kUntitledTop = 4;
constexpr int kBoxGap = 4;
constexpr int kButtonWidth = 60;
constexpr int kButtonHeight = 15;
constexpr int kButtonGap = 4;

struct Column {
  int x;
  int width;
};
// Each as wide as its widest label and list side by side, with about a tenth to spare for fonts
// wider than this one.
constexpr Column kColumns[] = {{kMargin, 128}, {140, 146}, {292, 171}};

constexpr DialogRect kLogoRect{kMargin, kMargin, kColumns[0].width, 22};
constexpr int kLanguageListWidth = 60;

struct Box {
  std::string_view title;  // empty: a frame without a title
  int column;
  // Every list of the box is this wide, enough for the longest entry of any of them with the
  // drop-down arrow.
  int listWidth;
  std::vector<int> settings;  // empty: those of the table's group `title`, in table order
};

std::vector<int> GroupSettings(std::string_view group) {
  std::vector<int> settings;
  for (int i = 0; i < kMenuSettingCount; ++i) {
    if (MenuSettings()[static_cast<size_t>(i)].group == group) {
      settings.push_back(i);
    }
  }
  return settings;
}

// The first column holds the logo and Language above its boxes; the third reaches down to the
// margin, the others leave the bottom row to the buttons.
const Box kBoxes[] = {
    {"Стац.Радар", 0, 62, {}}, {"", 0, 48, {43, 44}},      {"Смарт GPS", 1, 54, {}},
    {"Фильтры", 1, 64, {}},    {"Базы данных", 2, 48, {}}, {"", 2, 80, {33, 34, 35, 36, 37, 38}},
};

class Builder {
 public:
  void Add(int id, ControlKind kind, std::string_view text, DialogRect rect, int setting = -1) {
    controls_.push_back({ControlTemplate{id, kind, text, rect}, setting});
  }

  // The label of `setting` at `left` and its list, `listWidth` wide, ending at `right`, on the
  // row starting at `top`.
  void AddRow(int setting, int listWidth, int left, int right, int top) {
    const MenuSetting& entry = MenuSettings()[static_cast<size_t>(setting)];
    const int listLeft = right - listWidth;
    Add(-1, K::Static, entry.label,
        {left, top + kLabelTop, listLeft - kLabelGap - left, kLabelHeight}, setting);
    Add(entry.controlId, K::DropDownList, "", {listLeft, top, listWidth, kListHeight}, setting);
  }

  void AddLogoAndLanguage() {
    Add(kParameterLogo, K::StaticBitmap, "", kLogoRect);
    const Column& column = kColumns[0];
    const int top = kLogoRect.y + kLogoRect.height + kBoxGap;
    // Level with the rows of the box below.
    AddRow(kLanguageSetting, kLanguageListWidth, column.x + kBoxPadding,
           column.x + column.width - kBoxPadding, top);
    columnTop_[0] = top + kPitch + kBoxGap;
  }

  void AddBox(const Box& box) {
    const Column& column = kColumns[static_cast<size_t>(box.column)];
    const std::vector<int> settings =
        box.settings.empty() ? GroupSettings(box.title) : box.settings;
    int& top = columnTop_[static_cast<size_t>(box.column)];
    const int rowsTop = top + (box.title.empty() ? kUntitledTop : kTitledTop);
    const int height = rowsTop - top + static_cast<int>(settings.size()) * kPitch + kBoxPadding;
    Add(-1, K::GroupBox, box.title, {column.x, top, column.width, height});
    for (size_t i = 0; i < settings.size(); ++i) {
      AddRow(settings[i], box.listWidth, column.x + kBoxPadding,
             column.x + column.width - kBoxPadding, rowsTop + static_cast<int>(i) * kPitch);
    }
    top += height + kBoxGap;
  }

  // Along the bottom under the first two columns: "По умолч" at the left, OK and "Отменить"
  // at the right.
  void AddButtons() {
    const int top = kParameterClientArea.height - kMargin - kButtonHeight;
    const int right = kColumns[1].x + kColumns[1].width;
    Add(kParameterOk, K::Button, "OK",
        {right - 2 * kButtonWidth - kButtonGap, top, kButtonWidth, kButtonHeight});
    Add(kParameterCancel, K::Button, "Отменить",
        {right - kButtonWidth, top, kButtonWidth, kButtonHeight});
    Add(kParameterDefaults, K::Button, "По умолч",
        {kColumns[0].x, top, kButtonWidth, kButtonHeight});
  }

  std::vector<ParameterControl> Take() { return std::move(controls_); }

 private:
  std::vector<ParameterControl> controls_;
  std::array<int, std::size(kColumns)> columnTop_{kMargin, kMargin, kMargin};
};

std::vector<ParameterControl> Build() {
  Builder builder;
  builder.AddLogoAndLanguage();
  for (const Box& box : kBoxes) {
    builder.AddBox(box);
  }
  builder.AddButtons();
  return builder.Take();
}

}  // namespace

std::span<const ParameterControl> ParameterDialogTemplate() {
  static const std::vector<ParameterControl> kControls = Build();
  return kControls;
}

}  // namespace korvan::ui
