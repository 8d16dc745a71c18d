// The status line's bar: when it repaints, what its text reads, its window's life, and the
// pixels it draws (the bar, the background and the text in two colours split at the edge).
#include "ui/text_progress_ctrl.h"

#include <gtest/gtest.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/panel.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>

#include "tests/ui/ui_test_support.h"

namespace korvan::ui {
namespace {

using korvan::testing::PumpEvents;
using korvan::testing::PumpUntil;

const wxColour kGreen(0, 128, 0);
const wxColour kWhite(255, 255, 255);
constexpr int kStatusLineId = 1014;

// The program's colours: dark green bar and text over the background, white the other two.
void UseProgramColours(CTextProgressCtrl& bar) {
  bar.SetBarColour(kGreen);
  bar.SetTextColourOnBackground(kGreen);
  bar.SetBackgroundColour(kWhite);
  bar.SetTextColourOnBar(kWhite);
}

wxImage Render(const CTextProgressCtrl& bar, const wxSize& size) {
  wxBitmap bitmap(size, 24);
  {
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxRED_BRUSH);  // any pixel left undrawn shows up as red
    dc.Clear();
    bar.Draw(dc, wxRect(size));
  }
  return bitmap.ConvertToImage();
}

wxColour PixelAt(const wxImage& image, int x, int y) {
  return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

bool NearWhite(const wxColour& c) {
  return c.Red() > 200 && c.Green() > 200 && c.Blue() > 200;
}
bool NearGreen(const wxColour& c) {
  return c.Red() < 60 && c.Green() > 100 && c.Blue() < 60;
}

// Where the bar ends in `width` pixels at `position` (0..100), kept inside the control.
int BarEdge(int width, int position) {
  return std::clamp(static_cast<int>(width * (position / 100.0)), 0, width);
}

class TextProgressCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = new wxFrame(nullptr, wxID_ANY, "progress", wxDefaultPosition, wxSize(500, 200));
    panel_ = new wxPanel(frame_);
    frame_->Show();
    PumpEvents();
  }
  void TearDown() override {
    frame_->Destroy();
    PumpEvents();
  }

  // Gives `bar` its window, `width` pixels wide, and lets it appear.
  void CreateShown(CTextProgressCtrl& bar, int width, int height = 20) {
    ASSERT_TRUE(bar.Create(panel_, kStatusLineId, wxPoint(10, 10), wxSize(width, height)));
    ASSERT_TRUE(PumpUntil([&] { return bar.Paints() > 0; }));
    ASSERT_EQ(bar.GetWindow()->GetClientSize().GetWidth(), width);
  }

  wxFrame* frame_ = nullptr;
  wxPanel* panel_ = nullptr;
  CTextProgressCtrl bar_;
};

TEST(ProgressTextTest, PercentageTruncatesTowardZeroForEveryPosition) {
  // 0.29 * 100, 0.57 * 100 and 0.58 * 100 fall just short of a whole number in double.
  const auto expected = [](int position) {
    switch (position) {
      case 29:
        return 28;
      case 57:
        return 56;
      case 58:
        return 57;
      default:
        return position;
    }
  };
  for (int position = 0; position <= 100; ++position) {
    EXPECT_EQ(ProgressText(wxString(), position, 0, 100),
              wxString::Format("%d%%", expected(position)))
        << "position " << position;
  }
}

TEST(ProgressTextTest, TextReplacesPercentageAndPositionsOutsideTheRangeAreNotClamped) {
  const wxString ready = wxString::FromUTF8("готов");
  EXPECT_EQ(ProgressText(ready, 42, 0, 100), ready);
  EXPECT_EQ(ProgressText(wxString(), 150, 0, 100), "150%");
  EXPECT_EQ(ProgressText(wxString(), -10, 0, 100), "-10%");
  EXPECT_EQ(ProgressText(wxString(), 5, 0, 10), "50%");
  EXPECT_EQ(ProgressText(wxString(), 5, 10, 10), "");
}

TEST_F(TextProgressCtrlTest, SetPositionRepaintsAtOnceOnlyWhenTheBarGainsOrLosesAPixel) {
  UseProgramColours(bar_);
  CreateShown(bar_, 300);

  const int requests = bar_.RepaintRequests();
  const int paints = bar_.Paints();
  EXPECT_EQ(bar_.SetPosition(42), 0);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);
  // Painted before SetPosition returned: no events were pumped in between.
  EXPECT_EQ(bar_.Paints(), paints + 1);

  EXPECT_EQ(bar_.SetPosition(42), 42);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);
  EXPECT_EQ(bar_.Paints(), paints + 1);

  // What reached the screen: 126 of 300 pixels of bar.
  wxBitmap shot(300, 20, 24);
  {
    wxClientDC screen(bar_.GetWindow());
    wxMemoryDC dc(shot);
    dc.Blit(0, 0, 300, 20, &screen, 0, 0);
  }
  const wxImage image = shot.ConvertToImage();
  EXPECT_EQ(PixelAt(image, 125, 1), kGreen);
  EXPECT_EQ(PixelAt(image, 126, 1), kWhite);
}

TEST_F(TextProgressCtrlTest, PositionsWithinOnePixelOfBarShareOnePaint) {
  CreateShown(bar_, 50);
  EXPECT_EQ(bar_.SetPosition(42), 0);  // 21 pixels
  const int requests = bar_.RepaintRequests();
  EXPECT_EQ(bar_.SetPosition(43), 42);  // 21.5 pixels: still 21
  EXPECT_EQ(bar_.RepaintRequests(), requests);
  EXPECT_EQ(bar_.SetPosition(44), 43);  // 22 pixels
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);
}

TEST_F(TextProgressCtrlTest, ResizeMakesTheNextSetPositionRepaint) {
  CreateShown(bar_, 300);
  bar_.SetPosition(42);
  const int requests = bar_.RepaintRequests();

  // Only the height changes, so the bar's width in pixels stays what it was.
  bar_.GetWindow()->SetSize(wxSize(300, 26));
  ASSERT_TRUE(PumpUntil([&] { return bar_.GetWindow()->GetClientSize().GetHeight() == 26; }));
  PumpEvents();

  EXPECT_EQ(bar_.SetPosition(42), 42);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);
}

TEST(WindowlessTextProgressCtrlTest, StoresNoPositionAndRequestsNoRepaint) {
  CTextProgressCtrl windowless;
  EXPECT_EQ(windowless.GetWindow(), nullptr);
  EXPECT_EQ(windowless.SetPosition(42), -1);
  EXPECT_EQ(windowless.GetPosition(), 0);

  windowless.SetShowText(false);
  windowless.SetWindowText("idle");
  EXPECT_EQ(windowless.RepaintRequests(), 0);
  EXPECT_EQ(windowless.GetText(), "idle");
  EXPECT_EQ(windowless.GetShownText(), "");
}

TEST_F(TextProgressCtrlTest, OwnerForgetsTheWindowItsParentDestroys) {
  auto* panel = new wxPanel(frame_);
  ASSERT_TRUE(bar_.Create(panel, kStatusLineId, wxPoint(0, 0), wxSize(100, 20)));
  EXPECT_FALSE(bar_.Create(panel, kStatusLineId, wxPoint(0, 0), wxSize(100, 20)));

  panel->Destroy();
  EXPECT_EQ(bar_.GetWindow(), nullptr);
  EXPECT_EQ(bar_.SetPosition(42), -1);
  EXPECT_EQ(bar_.GetPosition(), 0);
}

TEST_F(TextProgressCtrlTest, WindowOutlivingItsOwnerStillPaintsAndDies) {
  auto owner = std::make_unique<CTextProgressCtrl>();
  ASSERT_TRUE(owner->Create(panel_, kStatusLineId, wxPoint(0, 0), wxSize(100, 20)));
  wxWindow* window = owner->GetWindow();
  owner.reset();

  window->Refresh();
  window->Update();
  PumpEvents();
  window->Destroy();  // must not reach the destroyed owner
  PumpEvents();
}

TEST_F(TextProgressCtrlTest, WindowTextRepaintsInThePaintCycleOnlyWhenItChanges) {
  CreateShown(bar_, 300);
  bar_.SetPosition(42);
  const wxString ready = wxString::FromUTF8("готов");
  const int requests = bar_.RepaintRequests();
  const int paints = bar_.Paints();

  bar_.SetWindowText(ready);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);
  EXPECT_EQ(bar_.Paints(), paints);  // the caller does not wait for the paint
  EXPECT_EQ(bar_.GetWindow()->GetLabel(), ready);
  EXPECT_EQ(bar_.GetShownText(), ready);
  EXPECT_TRUE(PumpUntil([&] { return bar_.Paints() > paints; }));

  bar_.SetWindowText(ready);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);

  bar_.SetWindowText(wxString());
  EXPECT_EQ(bar_.RepaintRequests(), requests + 2);
  EXPECT_EQ(bar_.GetShownText(), "42%");
}

TEST_F(TextProgressCtrlTest, ShowTextRepaintsOnlyOnChange) {
  CreateShown(bar_, 300);
  const int requests = bar_.RepaintRequests();
  bar_.SetShowText(true);
  EXPECT_EQ(bar_.RepaintRequests(), requests);
  bar_.SetShowText(false);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);
  EXPECT_EQ(bar_.GetShownText(), "");
  bar_.SetShowText(false);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 1);
  bar_.SetShowText(true);
  EXPECT_EQ(bar_.RepaintRequests(), requests + 2);
  EXPECT_EQ(bar_.GetShownText(), "0%");
}

TEST(WindowlessTextProgressCtrlTest, GetWindowTextCopiesWhatFitsWithItsTerminator) {
  CTextProgressCtrl bar;
  bar.SetWindowText(wxString::FromUTF8("готов"));
  struct Case {
    int size;
    const wchar_t* expected;
  };
  for (const Case& c :
       {Case{1, L""}, Case{3, L"го"}, Case{5, L"гото"}, Case{6, L"готов"}, Case{16, L"готов"}}) {
    wchar_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    const int copied = bar.GetWindowText(buffer, c.size);
    EXPECT_EQ(copied, static_cast<int>(std::wcslen(c.expected))) << "size " << c.size;
    EXPECT_STREQ(buffer, c.expected) << "size " << c.size;
  }
  wchar_t untouched[4] = L"###";
  EXPECT_EQ(bar.GetWindowText(untouched, 0), 0);
  EXPECT_STREQ(untouched, L"###");
  EXPECT_EQ(bar.GetWindowText(nullptr, 16), 0);
}

class TextProgressCtrlPixelTest : public TextProgressCtrlTest {
 protected:
  static constexpr int kWidth = 300;
  static constexpr int kHeight = 30;

  // Draws `bar_` at `position` into a bitmap, as its window's paint would.
  wxImage RenderAt(int position) {
    bar_.SetPosition(position);
    return Render(bar_, wxSize(kWidth, kHeight));
  }

  void SetUp() override {
    TextProgressCtrlTest::SetUp();
    UseProgramColours(bar_);
    CreateShown(bar_, kWidth, kHeight);
  }
};

TEST_F(TextProgressCtrlPixelTest, BarAndBackgroundSplitAtTheUnclampedEdge) {
  bar_.SetShowText(false);
  for (int position : {0, 1, 42, 50, 99, 100, 150, -10}) {
    const wxImage image = RenderAt(position);
    const int edge = BarEdge(kWidth, position);
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        wrong += PixelAt(image, x, y) != (x < edge ? kGreen : kWhite);
      }
    }
    EXPECT_EQ(wrong, 0) << "position " << position << ", edge " << edge;
  }
}

TEST_F(TextProgressCtrlPixelTest, TextIsCentredAndDrawnInTwoColoursSplitAtTheEdge) {
  struct Case {
    int position;
    wxString text;
    wxString shown;
  };
  const wxString ready = wxString::FromUTF8("готов");
  const wxString missing = wxString::FromUTF8("Файл прошивки не найден!!");
  for (const Case& c : {Case{50, ready, ready}, Case{50, missing, missing},
                        Case{50, wxString(), "50%"}, Case{150, wxString(), "150%"}}) {
    bar_.SetWindowText(c.text);
    const wxImage image = RenderAt(c.position);
    EXPECT_EQ(bar_.GetShownText(), c.shown);
    const int edge = BarEdge(kWidth, c.position);
    SCOPED_TRACE(bar_.GetShownText().utf8_string() + " at " + std::to_string(c.position));

    // The text is whatever differs from the fill under it.
    int left = kWidth, right = -1, top = kHeight, bottom = -1;
    int whiteOnBar = 0, greenOnBackground = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const wxColour pixel = PixelAt(image, x, y);
        const bool onBar = x < edge;
        if (pixel == (onBar ? kGreen : kWhite)) {
          continue;
        }
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        whiteOnBar += onBar && NearWhite(pixel);
        greenOnBackground += !onBar && NearGreen(pixel);
      }
    }
    ASSERT_GE(right, left) << "no text drawn";
    EXPECT_NEAR((left + right) / 2.0, kWidth / 2.0, 4.0);
    EXPECT_NEAR((top + bottom) / 2.0, kHeight / 2.0, 4.0);
    EXPECT_GT(whiteOnBar, 0);
    if (edge < kWidth) {
      EXPECT_GT(greenOnBackground, 0);
    }
    // Away from the text the edge is sharp.
    EXPECT_EQ(PixelAt(image, std::max(edge - 1, 0), 0), kGreen);
    if (edge < kWidth) {
      EXPECT_EQ(PixelAt(image, edge, 0), kWhite);
    }
  }
}

}  // namespace
}  // namespace korvan::ui
