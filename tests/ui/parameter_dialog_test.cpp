// The menu settings form on the X display: what it shows of a ParameterForm, its layout at the
// form's font, and a user's choices through the pointer and the keyboard, run modal from the
// main window as the "Настройки меню" command runs it.
#include "ui/parameter_dialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device/device_info.h"
#include "emulator/simulated_disk_host.h"
#include "settings/menu_settings.h"
#include "settings/parameter_form.h"
#include "settings/parameters_ini.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/ui/form_window.h"
#include "tests/ui/modal_dialog_script.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_dialog.h"
#include "ui/parameter_dialog_template.h"

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

constexpr int kX = 1;   // "X", list 1033
constexpr int kKu = 2;  // "Ku", list 1034

std::string Utf8(const wxString& text) {
  return text.utf8_string();
}

std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

MenuValues DefaultValues(uint8_t country) {
  MenuValues values{};
  for (int i = 0; i < kMenuSettingCount; ++i) {
    values[static_cast<size_t>(i)] = DefaultStoredValue(i, country);
  }
  return values;
}

struct FormKind {
  int8_t type;
  uint8_t country;
};

// Forms whose lists differ: Language's second entry, Smart GPS's "База", the disabled lists.
constexpr FormKind kFormKinds[] = {
    {24, kCountryRussia}, {6, kCountryUzbekistan}, {17, kCountryThird}, {4, kCountryRussia}};

class ParameterDialogTest : public ::testing::Test {
 protected:
  ParameterForm MakeForm(FormKind kind) {
    const bool legacy = kind.type >= 1 && kind.type <= 8;
    return ParameterForm(kind.type, kind.country, legacy, ini);
  }

  // The form run as the main window runs it, modal over the window, with `user` acting on the
  // dialog. Returns RunParameterForm's answer.
  bool Run(ParameterForm& form, const std::function<void(CParameterDlg&)>& user) {
    return formWindow_.Run(&CDahlia_UpdaterDlg::RunParameterForm, form, user);
  }

  korvan::testing::FormWindow formWindow_{"korvan_form_ui"};
  ScopedTempDir& folder = formWindow_.folder;
  std::filesystem::path ini = ParametersIniPath(folder.path());
};

std::vector<std::string> Strings(const wxChoice& list) {
  std::vector<std::string> texts;
  for (const wxString& text : list.GetStrings()) {
    texts.push_back(Utf8(text));
  }
  return texts;
}

TEST_F(ParameterDialogTest, ShowsTheFormsListsLabelsAndSelections) {
  for (const FormKind& kind : kFormKinds) {
    SCOPED_TRACE("type " + std::to_string(kind.type));
    ParameterForm form = MakeForm(kind);
    ASSERT_TRUE(form.Defaults());
    form.Select(8, 3);
    form.Select(33, std::nullopt);
    CParameterDlg dialog(nullptr, form);

    for (int i = 0; i < kMenuSettingCount; ++i) {
      const wxChoice* list = dialog.List(i);
      ASSERT_NE(list, nullptr) << i;
      EXPECT_EQ(list->GetId(), form.ControlId(i)) << i;
      EXPECT_EQ(Strings(*list), form.Entries(i)) << i;
      EXPECT_EQ(list->GetSelection(), form.Selection(i).value_or(wxNOT_FOUND)) << i;
      // Disabled lists stay in view with their selection.
      EXPECT_EQ(list->IsEnabled(), form.Enabled(i)) << i;
      EXPECT_TRUE(list->IsShown()) << i;
      EXPECT_EQ(Utf8(list->GetToolTipText()), form.Tooltip(i)) << i;
    }
    const auto controls = ParameterDialogTemplate();
    for (size_t n = 0; n < controls.size(); ++n) {
      if (controls[n].control.kind == ControlKind::Static) {
        EXPECT_EQ(Utf8(dialog.Windows()[n]->GetLabel()), form.Label(controls[n].setting));
      }
    }
  }
}

TEST_F(ParameterDialogTest, HoldsItsTitleButtonsAndGroupTitles) {
  ParameterForm form = MakeForm(kFormKinds[0]);
  CParameterDlg dialog(nullptr, form);
  EXPECT_EQ(Utf8(dialog.GetTitle()), "Настройка МЕНЮ");
  const struct {
    int id;
    int windowId;
    std::string text;
  } buttons[] = {{kParameterOk, wxID_OK, "OK"},
                 {kParameterCancel, wxID_CANCEL, "Отменить"},
                 {kParameterDefaults, kParameterDefaults, "По умолч"}};
  for (const auto& b : buttons) {
    wxWindow* button = dialog.Control(b.id);
    ASSERT_NE(dynamic_cast<wxButton*>(button), nullptr) << b.text;
    EXPECT_EQ(button->GetId(), b.windowId) << b.text;
    EXPECT_EQ(Utf8(button->GetLabel()), b.text);
  }
  std::vector<std::string> boxes;
  for (wxWindow* child : dialog.GetChildren()) {
    if (dynamic_cast<wxStaticBox*>(child) != nullptr) {
      boxes.push_back(Utf8(child->GetLabel()));
    }
  }
  EXPECT_EQ(boxes, (std::vector<std::string>{"Стац.Радар", "", "Смарт GPS", "Фильтры",
                                             "Базы данных", ""}));
  EXPECT_NE(dynamic_cast<wxStaticBitmap*>(dialog.Control(kParameterLogo)), nullptr);
}

// Every setting of a group inside the box of that title; 33-38 together and 43-44 together in
// untitled boxes; Language in none.
TEST_F(ParameterDialogTest, EachBoxHoldsTheSettingsOfItsGroup) {
  ParameterForm form = MakeForm(kFormKinds[0]);
  CParameterDlg dialog(nullptr, form);
  std::vector<wxStaticBox*> boxes;
  for (wxWindow* child : dialog.GetChildren()) {
    if (auto* box = dynamic_cast<wxStaticBox*>(child)) {
      boxes.push_back(box);
    }
  }
  const auto controls = ParameterDialogTemplate();
  // The box around each setting's label and list, by index into `boxes`; -1 for none.
  std::vector<int> boxOf(kMenuSettingCount, -2);
  for (size_t n = 0; n < controls.size(); ++n) {
    const int setting = controls[n].setting;
    if (setting < 0) {
      continue;
    }
    int around = -1;
    for (size_t b = 0; b < boxes.size(); ++b) {
      if (boxes[b]->GetRect().Contains(dialog.Windows()[n]->GetRect())) {
        around = static_cast<int>(b);
      }
    }
    if (boxOf[static_cast<size_t>(setting)] != -2) {
      EXPECT_EQ(around, boxOf[static_cast<size_t>(setting)]) << "label and list apart: " << setting;
    }
    boxOf[static_cast<size_t>(setting)] = around;
  }
  for (int i = 0; i < kMenuSettingCount; ++i) {
    const int b = boxOf[static_cast<size_t>(i)];
    if (i == kLanguageSetting) {
      EXPECT_EQ(b, -1);
    } else {
      ASSERT_GE(b, 0) << i;
      EXPECT_EQ(Utf8(boxes[static_cast<size_t>(b)]->GetLabel()), form.Group(i)) << i;
    }
  }
  for (const int i : {34, 35, 36, 37, 38}) {
    EXPECT_EQ(boxOf[static_cast<size_t>(i)], boxOf[33]) << i;
  }
  EXPECT_EQ(boxOf[44], boxOf[43]);
  EXPECT_NE(boxOf[43], boxOf[33]);
}

TEST_F(ParameterDialogTest, EveryTextFitsAndNothingOverlaps) {
  for (const FormKind& kind : kFormKinds) {
    SCOPED_TRACE("type " + std::to_string(kind.type));
    ParameterForm form = MakeForm(kind);
    CParameterDlg dialog(nullptr, form);
    dialog.Show();
    PumpEvents();
    const wxSize area = dialog.ConvertDialogToPixels(
        wxSize(kParameterClientArea.width, kParameterClientArea.height));
    EXPECT_EQ(dialog.GetClientSize(), area);

    const auto windows = dialog.Windows();
    for (wxWindow* window : windows) {
      const std::string label = Utf8(window->GetLabel());
      const wxRect rect = window->GetRect();
      EXPECT_TRUE(wxRect(area).Contains(rect)) << label;
      if (dynamic_cast<wxStaticText*>(window) != nullptr) {
        const wxSize text = window->GetTextExtent(window->GetLabel());
        EXPECT_LE(text.x, rect.width) << label;
        EXPECT_LE(text.y, rect.height + 2) << label;
      } else if (dynamic_cast<wxStaticBox*>(window) != nullptr) {
        // The title, with the frame's corner before it.
        EXPECT_LE(window->GetTextExtent(window->GetLabel()).x + 10, rect.width) << label;
      } else if (auto* list = dynamic_cast<wxChoice*>(window)) {
        // A list sized by the toolkit: its longest entry and the drop-down arrow.
        const wxChoice natural(&dialog, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               list->GetStrings());
        EXPECT_LE(natural.GetBestSize().x, rect.width) << list->GetId();
      } else if (dynamic_cast<wxButton*>(window) != nullptr) {
        const wxButton natural(&dialog, wxID_ANY, window->GetLabel(), wxDefaultPosition,
                               wxDefaultSize, wxBU_EXACTFIT);
        EXPECT_LE(natural.GetBestSize().x, rect.width) << label;
      }
    }
    // Only a group box may hold another control, and then the whole of it.
    for (size_t a = 0; a < windows.size(); ++a) {
      for (size_t b = a + 1; b < windows.size(); ++b) {
        const wxRect ra = windows[a]->GetRect();
        const wxRect rb = windows[b]->GetRect();
        if (!ra.Intersects(rb)) {
          continue;
        }
        const bool aHoldsB = dynamic_cast<wxStaticBox*>(windows[a]) != nullptr && ra.Contains(rb);
        const bool bHoldsA = dynamic_cast<wxStaticBox*>(windows[b]) != nullptr && rb.Contains(ra);
        EXPECT_TRUE(aHoldsB || bHoldsA)
            << "control " << a << " (" << Utf8(windows[a]->GetLabel()) << ") overlaps " << b << " ("
            << Utf8(windows[b]->GetLabel()) << ")";
      }
    }
  }
}

TEST_F(ParameterDialogTest, OkAnswersTrueWithTheChoiceMadeWithThePointerAndKeys) {
  ParameterForm form = MakeForm({24, kCountryRussia});
  ASSERT_TRUE(form.Defaults());
  form.Select(kX, 0);  // "Вкл"
  form.Select(8, 0);   // not the default: a save would show in the file
  const std::string iniBefore = FileText(ini);

  const bool ok = Run(form, [](CParameterDlg& dialog) {
    wxChoice& x = *dialog.List(kX);
    ASSERT_EQ(x.GetSelection(), 0);
    ASSERT_TRUE(ChooseWithKeys(x, 1));
    EXPECT_EQ(Utf8(x.GetStringSelection()), "Вык");
    ASSERT_TRUE(ClickControl(*dialog.Control(kParameterOk)));
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(form.Selection(kX), 1);
  EXPECT_EQ(form.Selection(kKu), EntryForStored(kKu, DefaultStoredValue(kKu, kCountryRussia), 24));
  // Saving is the caller's, after the answer.
  EXPECT_EQ(FileText(ini), iniBefore);
}

TEST_F(ParameterDialogTest, CancelAndEscAnswerFalse) {
  const struct {
    const char* name;
    std::function<void(CParameterDlg&)> close;
  } ways[] = {
      {"Отменить",
       [](CParameterDlg& dialog) { ASSERT_TRUE(ClickControl(*dialog.Control(kParameterCancel))); }},
      {"Esc",
       [](CParameterDlg& dialog) {
         const wxRect logo = dialog.Control(kParameterLogo)->GetScreenRect();
         ASSERT_TRUE(MovePointer(logo.GetBottomRight() + wxPoint(0, 4)));
         PressKey(WXK_ESCAPE);
         EXPECT_TRUE(PumpUntil([&] { return !dialog.IsModal(); }, 5s));
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    ParameterForm form = MakeForm({24, kCountryRussia});
    ASSERT_TRUE(form.Defaults());
    form.Select(kX, 0);
    const bool ok = Run(form, [&](CParameterDlg& dialog) {
      ASSERT_TRUE(ChooseWithKeys(*dialog.List(kX), 1));
      way.close(dialog);
    });
    EXPECT_FALSE(ok);
  }
}

TEST_F(ParameterDialogTest, DefaultsShowsAndSavesTheDefaults) {
  for (const uint8_t country : {kCountryRussia, kCountryUzbekistan}) {
    SCOPED_TRACE("country " + std::to_string(country));
    ParameterForm form = MakeForm({24, country});
    for (int i = 0; i < kMenuSettingCount; ++i) {
      form.Select(i, std::nullopt);
    }
    form.Select(kX, 0);  // "Вкл"; its default is "Вык"
    const bool ok = Run(form, [&form](CParameterDlg& dialog) {
      ASSERT_TRUE(ClickControl(*dialog.Control(kParameterDefaults)));
      for (int i = 0; i < kMenuSettingCount; ++i) {
        EXPECT_EQ(dialog.List(i)->GetSelection(), form.Selection(i).value_or(wxNOT_FOUND)) << i;
      }
      EXPECT_EQ(Utf8(dialog.List(kX)->GetStringSelection()), "Вык");
      ASSERT_TRUE(ClickControl(*dialog.Control(kParameterOk)));
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadMenuValues(ini), DefaultValues(country));
    for (int i = 0; i < kMenuSettingCount; ++i) {
      EXPECT_EQ(form.Selection(i), EntryForStored(i, DefaultStoredValue(i, country), 24)) << i;
    }
  }
}

TEST_F(ParameterDialogTest, ADisabledListIgnoresThePointerAndKeys) {
  ParameterForm form = MakeForm({6, kCountryRussia});
  ASSERT_TRUE(form.Defaults());
  ASSERT_FALSE(form.Enabled(kKu));
  const std::optional<int> before = form.Selection(kKu);
  const bool ok = Run(form, [](CParameterDlg& dialog) {
    wxChoice& ku = *dialog.List(kKu);
    EXPECT_FALSE(ku.IsEnabled());
    const int shown = ku.GetSelection();
    const wxRect rect = ku.GetScreenRect();
    ASSERT_TRUE(MovePointer(rect.GetPosition() + rect.GetSize() / 2));
    wxUIActionSimulator pointer;
    pointer.MouseClick();
    PumpEvents(200ms);
    PressKey(WXK_DOWN);
    PumpEvents(200ms);
    EXPECT_EQ(ku.GetSelection(), shown);
    ASSERT_TRUE(ClickControl(*dialog.Control(kParameterOk)));
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(form.Selection(kKu), before);
}

}  // namespace
}  // namespace korvan::ui
