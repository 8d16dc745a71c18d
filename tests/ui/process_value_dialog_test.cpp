// The settings dialog of types 25-27 on the X display: what it shows of a ProcessValueForm, its
// layout, a user's choices through the pointer and the keyboard (run modal from the main window
// as "Настройки меню" runs it), the pointer's shape over the grid, and the command end to end on
// a simulated type-26 detector with the schemas served on loopback.
#include "ui/process_value_dialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/headerctrl.h>
#include <wx/odcombo.h>
#include <wx/propgrid/propgrid.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/control_ids.h"
#include "app/process_value_form.h"
#include "app/update_worker.h"
#include "emulator/device_images.h"
#include "emulator/device_presets.h"
#include "emulator/settings_schemas.h"
#include "emulator/simulated_disk_host.h"
#include "settings/settings_schema.h"
#include "tests/support/example_schema.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/served_tree.h"
#include "tests/ui/form_window.h"
#include "tests/ui/modal_dialog_script.h"
#include "tests/ui/shown_cursor.h"
#include "tests/ui/ui_test_support.h"
#include "ui/click_to_drop_editor.h"
#include "ui/main_dialog.h"

namespace korvan::ui {
namespace {

using namespace std::chrono_literals;
using korvan::testing::ChooseWithKeys;
using korvan::testing::ClickControl;
using korvan::testing::MovePointer;
using korvan::testing::OnModalDialog;
using korvan::testing::PressKey;
using korvan::testing::PumpEvents;
using korvan::testing::PumpUntil;
using korvan::testing::ScopedTempDir;
using korvan::testing::ShownCursor;

std::string Utf8(const wxString& text) {
  return text.utf8_string();
}

// Payload indexes of the example schema's fields and their positions in its field list.
constexpr int kCountryByte = 62;
constexpr int kLaserByte = 5;
constexpr int kCityByte = 9;
constexpr size_t kCountryField = 0;
constexpr size_t kLaserField = 1;
constexpr size_t kCityField = 2;

// A device's settings packet for the example schema: 16 header bytes, version digits, the
// 64-byte payload with `bytes` set and zeros elsewhere.
std::vector<uint8_t> Frame(std::initializer_list<std::pair<int, uint8_t>> bytes) {
  std::vector<uint8_t> frame(24 + 64, 0);
  for (size_t i = 0; i < 16; ++i) {
    frame[i] = static_cast<uint8_t>(0xA0 + i);
  }
  const std::string version = "000103";
  std::copy(version.begin(), version.end(), frame.begin() + 16);
  frame[22] = 64;
  for (const auto& [index, value] : bytes) {
    frame[24 + static_cast<size_t>(index)] = value;
  }
  return frame;
}

std::vector<int32_t> Values(const ProcessValueForm& form) {
  std::vector<int32_t> values;
  for (const SettingField& field : form.Schema().fields) {
    values.push_back(field.value);
  }
  return values;
}

// The rows of the grid under each group, as the user sees them.
struct ShownRow {
  std::string name;
  std::vector<std::string> options;
  std::string value;
  std::string description;
  bool operator==(const ShownRow&) const = default;
};
struct ShownGroup {
  std::string category;
  bool expanded = false;
  std::vector<ShownRow> rows;
  bool operator==(const ShownGroup&) const = default;
};

std::vector<ShownGroup> ShownGrid(CProcessValueDlg& dialog) {
  std::vector<ShownGroup> groups;
  wxPropertyGrid* grid = dialog.Grid().GetGrid();
  for (auto it = grid->GetIterator(wxPG_ITERATE_ALL); !it.AtEnd(); ++it) {
    wxPGProperty* property = *it;
    if (property->IsCategory()) {
      EXPECT_EQ(property->GetParent(), grid->GetRoot()) << Utf8(property->GetLabel());
      groups.push_back({Utf8(property->GetLabel()), property->IsExpanded(), {}});
      continue;
    }
    EXPECT_FALSE(groups.empty()) << "a row outside every group: " << Utf8(property->GetLabel());
    if (groups.empty()) {
      continue;
    }
    ShownRow row{Utf8(property->GetLabel()),
                 {},
                 Utf8(property->GetValueAsString()),
                 Utf8(property->GetHelpString())};
    for (const wxString& option : property->GetChoices().GetLabels()) {
      row.options.push_back(Utf8(option));
    }
    groups.back().rows.push_back(std::move(row));
  }
  return groups;
}

std::vector<ShownGroup> FormGrid(const ProcessValueForm& form) {
  std::vector<ShownGroup> groups;
  for (const GridGroup& group : form.Grid()) {
    groups.push_back({group.category, true, {}});
    for (const GridProperty& property : group.properties) {
      groups.back().rows.push_back(
          {property.name, property.options, property.value, property.description});
    }
  }
  return groups;
}

wxPGProperty* RowNamed(CProcessValueDlg& dialog, std::string_view name) {
  wxPropertyGrid* grid = dialog.Grid().GetGrid();
  for (auto it = grid->GetIterator(wxPG_ITERATE_PROPERTIES); !it.AtEnd(); ++it) {
    if (Utf8((*it)->GetLabel()) == name) {
      return *it;
    }
  }
  return nullptr;
}

// The header's columns, which the header keeps to itself and to its subclasses.
struct HeaderColumns : wxHeaderCtrlBase {
  static const wxHeaderColumn& Of(const wxHeaderCtrlBase& header, unsigned int column) {
    return (header.*(&HeaderColumns::GetColumn))(column);
  }
};

wxHeaderCtrl* GridHeader(CProcessValueDlg& dialog) {
  for (wxWindow* child : dialog.Grid().GetChildren()) {
    if (auto* header = dynamic_cast<wxHeaderCtrl*>(child)) {
      return header;
    }
  }
  return nullptr;
}

enum class Column { Name, Value };

// A point of `row` on the screen: in the middle of its name or of its value.
wxPoint RowPoint(CProcessValueDlg& dialog, wxPGProperty& row, Column column) {
  wxPropertyGrid* grid = dialog.Grid().GetGrid();
  const wxRect rect = grid->GetPropertyRect(&row, &row);
  const int y = grid->CalcScrolledPosition(rect.GetTopLeft()).y + rect.height / 2;
  const int splitter = grid->GetSplitterPosition();
  const int x =
      column == Column::Name ? splitter / 2 : splitter + (grid->GetClientSize().x - splitter) / 2;
  return grid->ClientToScreen(wxPoint(x, y));
}

void ClickAt(const wxPoint& screen) {
  ASSERT_TRUE(MovePointer(screen));
  wxUIActionSimulator pointer;
  pointer.MouseClick();
}

// The list of the row being edited, once it is open.
wxOwnerDrawnComboBox* OpenList(CProcessValueDlg& dialog) {
  wxOwnerDrawnComboBox* list = nullptr;
  PumpUntil(
      [&] {
        list = dialog.Grid().EditorList();
        return list != nullptr && list->IsPopupShown();
      },
      3s);
  return list != nullptr && list->IsPopupShown() ? list : nullptr;
}

wxPoint ListEntryPoint(wxOwnerDrawnComboBox& list, int entry) {
  auto* popup = dynamic_cast<wxVListBoxComboPopup*>(list.GetPopupControl());
  const wxRect item = popup->GetItemRect(static_cast<size_t>(entry));
  return popup->ClientToScreen(item.GetPosition() + item.GetSize() / 2);
}

class ProcessValueDialogTest : public ::testing::Test {
 protected:
  // A form over `schema`, filled from the device's `frame`.
  std::unique_ptr<ProcessValueForm> MakeForm(std::string_view schema,
                                             std::span<const uint8_t> frame) {
    const std::filesystem::path file = folder / ("Schema" + std::to_string(forms_++) + ".csv");
    std::ofstream(file, std::ios::binary) << schema;
    auto form = std::make_unique<ProcessValueForm>(file);
    SettingsPacketHeader header{};
    std::string version;
    std::string message;
    EXPECT_TRUE(form->LoadFromDevice(frame, header, version, message)) << message;
    return form;
  }

  std::unique_ptr<ProcessValueForm> ExampleForm(
      std::initializer_list<std::pair<int, uint8_t>> bytes) {
    return MakeForm(korvan::testing::kExampleSchemaCsv, Frame(bytes));
  }

  // The form run as the main window runs it, modal over the window, with `user` acting on the
  // dialog. Returns RunSchemaForm's answer.
  bool Run(ProcessValueForm& form, const std::function<void(CProcessValueDlg&)>& user) {
    return formWindow_.Run(&CDahlia_UpdaterDlg::RunSchemaForm, form, user);
  }

  korvan::testing::FormWindow formWindow_{"korvan_schema_ui"};
  ScopedTempDir& folder = formWindow_.folder;

 private:
  int forms_ = 0;
};

TEST_F(ProcessValueDialogTest, ShowsTheFormsCountryListAndGrid) {
  const std::array<uint8_t, 1024> zeroUnit{};
  struct Case {
    std::string name;
    std::unique_ptr<ProcessValueForm> form;
  };
  std::vector<Case> cases;
  cases.push_back({"example", ExampleForm({{kCountryByte, 1}, {kLaserByte, 1}, {kCityByte, 8}})});
  for (const int8_t type : emu::kSchemaModelTypes) {
    cases.push_back({"type " + std::to_string(type),
                     MakeForm(emu::SettingsSchemaText(type), SettingsPacketFrame(zeroUnit))});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProcessValueDlg dialog(nullptr, *c.form);
    std::vector<std::string> countries;
    for (const wxString& entry : dialog.CountryList().GetStrings()) {
      countries.push_back(Utf8(entry));
    }
    EXPECT_EQ(countries, c.form->CountryEntries());
    EXPECT_EQ(dialog.CountryList().GetSelection(), c.form->CountrySelection().value_or(-1));
    EXPECT_EQ(ShownGrid(dialog), FormGrid(*c.form));
    if (c.name == "example") {
      EXPECT_EQ(Utf8(dialog.CountryList().GetStringSelection()), "UZB");
    }
    for (auto it = dialog.Grid().GetGrid()->GetIterator(); !it.AtEnd(); ++it) {
      EXPECT_NE(dynamic_cast<CClickToDropComboProp*>(*it), nullptr);
      EXPECT_FALSE((*it)->HasFlag(wxPG_PROP_MODIFIED));
    }
  }
}

TEST_F(ProcessValueDialogTest, HoldsItsTitleControlsAndGridSetUp) {
  auto form = ExampleForm({{kCityByte, 8}});
  CProcessValueDlg dialog(nullptr, *form);
  EXPECT_EQ(Utf8(dialog.GetTitle()), "Set Menu values");
  const struct {
    int id;
    int windowId;
    std::string text;
  } controls[] = {{kCountryLabelId, 3000, "Страна:"},
                  {kSchemaDefaultsId, 3002, "По умолч"},
                  {kSchemaOk, wxID_OK, "OK"},
                  {kSchemaCancel, wxID_CANCEL, "Отменить"}};
  for (const auto& c : controls) {
    wxWindow* control = dialog.Control(c.id);
    ASSERT_NE(control, nullptr) << c.text;
    EXPECT_EQ(control->GetId(), c.windowId) << c.text;
    EXPECT_EQ(Utf8(control->GetLabel()), c.text);
  }
  EXPECT_EQ(dialog.GetDefaultItem(), dialog.Control(kSchemaOk));
  EXPECT_EQ(dialog.CountryList().GetId(), 3001);
  EXPECT_EQ(dialog.Grid().GetId(), 1001);
  EXPECT_TRUE(dialog.Grid().HasFlag(wxPG_BOLD_MODIFIED));

  wxHeaderCtrl* header = GridHeader(dialog);
  ASSERT_NE(header, nullptr);
  EXPECT_TRUE(header->IsShown());
  ASSERT_EQ(header->GetColumnCount(), 2u);
  EXPECT_EQ(Utf8(HeaderColumns::Of(*header, 0).GetTitle()), "Property");
  EXPECT_EQ(Utf8(HeaderColumns::Of(*header, 1).GetTitle()), "Value");

  // The description area is five rows high.
  EXPECT_GE(dialog.Grid().GetDescBoxHeight(), 5 * dialog.Grid().GetGrid()->GetRowHeight());
}

// The description area under the grid shows the clicked row's name and hint, line breaks kept.
TEST_F(ProcessValueDialogTest, AClickedRowShowsItsHintInTheDescriptionArea) {
  const struct {
    std::string schema;
    std::string name;
    std::string hint;
  } cases[] = {
      {std::string(korvan::testing::kExampleSchemaCsv), "City 1 range", "Search range in town"},
      {emu::SettingsSchemaText(26), "Диапазон X",
       "Старые радары диапазона X.\nВ городе даёт много ложных сигналов."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto form = MakeForm(c.schema, Frame({{kCityByte, 6}}));
    CProcessValueDlg dialog(nullptr, *form);
    dialog.Show();
    PumpEvents(100ms);
    wxPGProperty* row = RowNamed(dialog, c.name);
    ASSERT_NE(row, nullptr);
    ClickAt(RowPoint(dialog, *row, Column::Name));
    ASSERT_TRUE(PumpUntil([&] { return dialog.Grid().GetGrid()->GetSelection() == row; }, 5s));
    PumpEvents(100ms);
    dialog.Grid().CloseList();
    std::vector<std::string> texts;
    for (wxWindow* child : dialog.Grid().GetChildren()) {
      if (dynamic_cast<wxStaticText*>(child) != nullptr && child->IsShown()) {
        texts.push_back(Utf8(child->GetLabel()));
        // Every line of it has room.
        EXPECT_LE(child->GetBestSize().y, child->GetSize().y) << texts.back();
      }
    }
    EXPECT_EQ(texts, (std::vector<std::string>{c.name, c.hint}));
  }
}

TEST_F(ProcessValueDialogTest, ControlsSitInTheirRectanglesAndTheirTextsFit) {
  auto form = MakeForm(emu::SettingsSchemaText(27), Frame({}));
  CProcessValueDlg dialog(nullptr, *form);
  dialog.Show();
  PumpEvents();
  const wxSize area = dialog.ConvertDialogToPixels(wxSize(487, 433));
  EXPECT_EQ(dialog.GetClientSize(), area);
  const int w = area.x;
  const int h = area.y;
  const struct {
    int id;
    wxRect rect;
  } cases[] = {
      {kCountryLabelId, wxRect(12, 12, 110, 28)},
      {kCountryListId, wxRect(132, 12, 240, 28)},
      {kSchemaDefaultsId, wxRect(382, 12, 140, 28)},
      {kSchemaGridId, wxRect(12, 50, w - 24, h - 102)},
      {kSchemaOk, wxRect(w - 242, h - 40, 110, 28)},
      {kSchemaCancel, wxRect(w - 122, h - 40, 110, 28)},
  };
  for (const auto& c : cases) {
    wxWindow* control = dialog.Control(c.id);
    const std::string label = Utf8(control->GetLabel());
    EXPECT_EQ(control->GetRect(), c.rect) << c.id;
    if (dynamic_cast<wxStaticText*>(control) != nullptr) {
      EXPECT_LE(control->GetTextExtent(control->GetLabel()).x, c.rect.width) << label;
      EXPECT_LE(control->GetTextExtent(control->GetLabel()).y, c.rect.height) << label;
    } else if (dynamic_cast<wxButton*>(control) != nullptr) {
      wxButton natural(&dialog, wxID_ANY, control->GetLabel(), wxDefaultPosition, wxDefaultSize,
                       wxBU_EXACTFIT);
      natural.SetFont(control->GetFont());
      EXPECT_LE(natural.GetBestSize().x, c.rect.width) << label;
    } else if (auto* list = dynamic_cast<wxChoice*>(control)) {
      wxChoice natural(&dialog, wxID_ANY, wxDefaultPosition, wxDefaultSize, list->GetStrings());
      natural.SetFont(control->GetFont());
      EXPECT_LE(natural.GetBestSize().x, c.rect.width);
    }
  }
}

// Each row's list opens on the first click, on the value or on the name, and a choice made in
// it with the pointer or the keys goes to the form and shows bold.
TEST_F(ProcessValueDialogTest, AFirstClickOpensTheListAndAChoiceSetsTheField) {
  // The example with an enum whose last option lies outside its range.
  const std::string schema = std::string(korvan::testing::kExampleSchemaCsv) +
                             "field,enum,Mode,Radar,7,7,0,0,0,255,0,1,1,1,,,Low|Mid|High\n";
  constexpr size_t kModeField = 3;
  const struct {
    const char* name;
    size_t field;
    Column click;
    bool withKeys;
    int entry;  // chosen with the pointer, or moved to from the current one with Down
    std::string shown;
    int32_t raw;
  } cases[] = {
      {"toggle on by the pointer", kLaserField, Column::Value, false, 1, "Вкл", 1},
      {"range by the keys", kCityField, Column::Value, true, 2, "500 m", 10},
      {"range by the pointer, opened on its name", kCityField, Column::Name, false, 5, "600 m", 12},
      // The enum's range ends before its last option: the row shows the value the field took.
      {"past the enum's range", kModeField, Column::Value, false, 2, "Mid", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto form = MakeForm(schema, Frame({{kLaserByte, 0}, {kCityByte, 6}}));
    std::vector<int32_t> expected = Values(*form);
    expected[c.field] = c.raw;
    const bool ok = Run(*form, [&](CProcessValueDlg& dialog) {
      wxPGProperty* row = dialog.Row(c.field);
      ASSERT_NE(row, nullptr);
      ClickAt(RowPoint(dialog, *row, c.click));
      wxOwnerDrawnComboBox* list = OpenList(dialog);
      ASSERT_NE(list, nullptr) << "one click did not open the list";
      if (c.withKeys) {
        for (int i = 0; i < c.entry; ++i) {
          PressKey(WXK_DOWN);
        }
        PressKey(WXK_RETURN);
      } else {
        ClickAt(ListEntryPoint(*list, c.entry));
      }
      EXPECT_TRUE(PumpUntil([&] { return Utf8(row->GetValueAsString()) == c.shown; }, 5s));
      EXPECT_TRUE(row->HasFlag(wxPG_PROP_MODIFIED));
      // Only the row that changed.
      for (size_t field : {kLaserField, kCityField, kModeField}) {
        EXPECT_EQ(dialog.Row(field)->HasFlag(wxPG_PROP_MODIFIED), field == c.field) << field;
      }
      EXPECT_FALSE(list->IsPopupShown());
      ASSERT_TRUE(ClickControl(*dialog.Control(kSchemaOk)));
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Values(*form), expected);
  }
}

TEST_F(ProcessValueDialogTest, ACountryHidesAndShowsRowsAndDefaultsFollowIt) {
  auto form = ExampleForm({{kCountryByte, 0}, {kLaserByte, 1}, {kCityByte, 6}});
  const std::vector<int32_t> before = Values(*form);
  const bool ok = Run(*form, [&](CProcessValueDlg& dialog) {
    ASSERT_EQ(Utf8(dialog.CountryList().GetStringSelection()), "RUS");
    ASSERT_NE(dialog.Row(kCityField), nullptr);
    ASSERT_TRUE(ChooseWithKeys(dialog.CountryList(), 2));
    EXPECT_EQ(Utf8(dialog.CountryList().GetStringSelection()), "TJK");
    EXPECT_EQ(dialog.Row(kCityField), nullptr);
    EXPECT_EQ(RowNamed(dialog, "City 1 range"), nullptr);
    EXPECT_EQ(ShownGrid(dialog), FormGrid(*form));
    std::vector<int32_t> expected = before;
    expected[kCountryField] = 2;
    EXPECT_EQ(Values(*form), expected) << "only the country changed";

    ASSERT_TRUE(ClickControl(*dialog.Control(kSchemaDefaultsId)));
    EXPECT_EQ(Utf8(dialog.CountryList().GetStringSelection()), "TJK");
    EXPECT_EQ(Utf8(dialog.Row(kLaserField)->GetValueAsString()), "Вык");
    EXPECT_EQ(ShownGrid(dialog), FormGrid(*form));
    ASSERT_TRUE(ClickControl(*dialog.Control(kSchemaOk)));
  });
  EXPECT_TRUE(ok);
  // Every field its TJK default, the hidden range too.
  EXPECT_EQ(Values(*form), (std::vector<int32_t>{2, 0, 4}));
}

TEST_F(ProcessValueDialogTest, OkAnswersTrueAndCancelAndEscFalse) {
  const struct {
    const char* name;
    bool answer;
    std::function<void(CProcessValueDlg&)> close;
  } ways[] = {
      {"OK", true,
       [](CProcessValueDlg& dialog) { ASSERT_TRUE(ClickControl(*dialog.Control(kSchemaOk))); }},
      {"Отменить", false,
       [](CProcessValueDlg& dialog) { ASSERT_TRUE(ClickControl(*dialog.Control(kSchemaCancel))); }},
      {"Esc", false,
       [](CProcessValueDlg& dialog) {
         const wxRect label = dialog.Control(kCountryLabelId)->GetScreenRect();
         ASSERT_TRUE(MovePointer(label.GetPosition() + label.GetSize() / 2));
         PressKey(WXK_ESCAPE);
         EXPECT_TRUE(PumpUntil([&] { return !dialog.IsModal(); }, 5s));
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    auto form = ExampleForm({{kLaserByte, 0}, {kCityByte, 6}});
    const bool answer = Run(*form, [&](CProcessValueDlg& dialog) { way.close(dialog); });
    EXPECT_EQ(answer, way.answer);
  }
}

// Wherever the pointer rests on the grid, the arrow shows: on the names and values, on the
// splitter between the columns, on the header's column edge, on the description's edge and on
// an open list.
TEST_F(ProcessValueDialogTest, ThePointerIsTheArrowAllOverTheGrid) {
  // The arrow as this display shows it.
  wxFrame reference(nullptr, wxID_ANY, "", wxPoint(0, 0), wxSize(40, 40), wxBORDER_NONE);
  reference.SetCursor(*wxSTANDARD_CURSOR);
  reference.Show();
  PumpEvents(100ms);
  ASSERT_TRUE(MovePointer(reference.GetScreenRect().GetPosition() + wxPoint(20, 20)));
  PumpEvents(100ms);
  const unsigned long arrow = ShownCursor();
  ASSERT_NE(arrow, 0u);
  reference.Hide();

  auto form = ExampleForm({{kCityByte, 6}});
  CProcessValueDlg dialog(nullptr, *form);
  dialog.Show();
  PumpEvents(200ms);
  CNoCaretAutoDropGrid& manager = dialog.Grid();
  wxPropertyGrid* grid = manager.GetGrid();
  wxPGProperty* city = dialog.Row(kCityField);
  ASSERT_NE(city, nullptr);
  const wxRect cityRect = grid->GetPropertyRect(city, city);
  const int rowY = grid->CalcScrolledPosition(cityRect.GetTopLeft()).y + cityRect.height / 2;
  wxHeaderCtrl* header = GridHeader(dialog);
  ASSERT_NE(header, nullptr);

  const struct {
    const char* where;
    wxPoint screen;
  } places[] = {
      {"a name", RowPoint(dialog, *city, Column::Name)},
      {"a value", RowPoint(dialog, *city, Column::Value)},
      {"the column splitter", grid->ClientToScreen(wxPoint(grid->GetSplitterPosition(), rowY))},
      {"the header's column edge",
       header->ClientToScreen(
           wxPoint(HeaderColumns::Of(*header, 0).GetWidth(), header->GetSize().y / 2))},
      {"the description's edge", manager.ClientToScreen(wxPoint(manager.GetClientSize().x / 2,
                                                                grid->GetRect().GetBottom() + 3))},
      {"the description", manager.ClientToScreen(wxPoint(manager.GetClientSize().x / 2,
                                                         manager.GetClientSize().y - 10))},
  };
  for (const auto& place : places) {
    SCOPED_TRACE(place.where);
    // Arriving from the dialog's own background, which shows the display's default.
    ASSERT_TRUE(MovePointer(dialog.ClientToScreen(wxPoint(dialog.GetClientSize().x - 4, 4))));
    PumpEvents(50ms);
    ASSERT_TRUE(MovePointer(place.screen));
    ASSERT_TRUE(MovePointer(place.screen + wxPoint(1, 0)));
    PumpEvents(100ms);
    EXPECT_EQ(ShownCursor(), arrow);
  }

  ClickAt(RowPoint(dialog, *city, Column::Value));
  wxOwnerDrawnComboBox* list = OpenList(dialog);
  ASSERT_NE(list, nullptr);
  for (const wxPoint& point :
       {ListEntryPoint(*list, 3), list->GetScreenRect().GetPosition() + wxPoint(10, 5)}) {
    ASSERT_TRUE(MovePointer(point));
    ASSERT_TRUE(MovePointer(point + wxPoint(1, 0)));
    PumpEvents(100ms);
    EXPECT_EQ(ShownCursor(), arrow) << point.x << "," << point.y;
  }
  dialog.Grid().CloseList();
  PumpEvents(100ms);
}

// "Настройки меню" on a type-26 detector: the dialog opens from the window's button over the
// settings read from the device, "Лазер" is turned on in it, and OK writes the packet back to
// the device's settings unit with the writer's signature.
TEST_F(ProcessValueDialogTest, MenuSettingsWritesTheChoiceToTheDevice) {
  korvan::testing::ServedTree tree({26});
  SchemaMeta meta;
  std::vector<SettingField> fields;
  ASSERT_TRUE(LoadSettingsSchemaBytes(emu::SettingsSchemaText(26), meta, fields));
  const auto laser = std::find_if(fields.begin(), fields.end(),
                                  [](const SettingField& f) { return f.name == "Лазер"; });
  ASSERT_NE(laser, fields.end());
  constexpr uint64_t kSettingsUnit = 0xFFC000;
  const uint64_t laserByte = kSettingsUnit + 24 + static_cast<uint64_t>(laser->index);

  emu::PresetOptions preset;
  preset.rawType = 26;
  auto device = emu::MakeSimulatedDevice(emu::MakePresetImages(preset));
  emu::SimulatedDiskHost host;
  host.Attach(2, device);
  ASSERT_EQ(device->Peek(MemorySelector::DataFlash, laserByte, 1).at(0), 0);

  MainDialogOptions options;
  options.programFolder = folder / "window";
  std::filesystem::create_directories(options.programFolder);
  options.logic.detection.scanInterval = 5ms;
  options.logic.serverUrl = tree.Url();
  std::vector<std::string> messages;
  options.services.showMessage = [&](wxWindow*, const wxString& text, const wxString&,
                                     MessageIcon) { messages.push_back(Utf8(text)); };
  auto window = std::make_unique<CDahlia_UpdaterDlg>(host, std::move(options));
  window->Show();
  ASSERT_TRUE(
      PumpUntil([&] { return window->Logic().State().detectionPhase == DetectionPhase::Ready; }));

  OnModalDialog<CProcessValueDlg> user([](CProcessValueDlg& dialog) {
    wxPGProperty* row = RowNamed(dialog, "Лазер");
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(Utf8(row->GetValueAsString()), "Вык");
    ClickAt(RowPoint(dialog, *row, Column::Value));
    ASSERT_NE(OpenList(dialog), nullptr);
    PressKey(WXK_DOWN);
    PressKey(WXK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return Utf8(row->GetValueAsString()) == "Вкл"; }, 5s));
    ASSERT_TRUE(ClickControl(*dialog.Control(kSchemaOk)));
  });
  ASSERT_TRUE(ClickControl(*window->Control(ids::kMenuSettingsButton)));
  ASSERT_TRUE(user.ran());
  ASSERT_TRUE(
      PumpUntil([&] { return window->Logic().State().updatePhase == UpdatePhase::Finished; }, 60s))
      << (messages.empty() ? "" : messages.back());

  const std::vector<uint8_t> unit = device->Peek(MemorySelector::DataFlash, kSettingsUnit, 1024);
  ASSERT_EQ(unit.size(), 1024u);
  EXPECT_EQ(unit[24 + static_cast<size_t>(laser->index)], 1);
  EXPECT_EQ(std::vector<uint8_t>(unit.begin() + 1020, unit.end()),
            (std::vector<uint8_t>{0x19, 0x54, 0xAF, 0x13}));
  window.reset();
  PumpEvents(10ms);
}

}  // namespace
}  // namespace korvan::ui
