// The status line's bar: its window forwards paint, size and destruction to the object, which
// composes the picture off-screen and copies it once so the two-colour text never flickers.
#include "ui/text_progress_ctrl.h"

#include <wx/control.h>
#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/settings.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "ui/dialog_font.h"

namespace korvan::ui {

namespace {

constexpr int kFontPixelHeight = 18;

wxFont MakeStatusFont() {
  // Arial is what the status line was laid out with; Liberation Sans has the same metrics and
  // DejaVu Sans is present wherever GTK is.
  static const char* const kFaces[] = {"Arial", "Liberation Sans", "DejaVu Sans", nullptr};
  static const wxString face = FirstInstalledFace(kFaces);
  return wxFont(wxFontInfo(wxSize(0, kFontPixelHeight)).FaceName(face));
}

// Truncates toward zero like a C cast, but saturates instead of overflowing (a position far
// outside the range must not turn into undefined behaviour).
int TruncateToInt(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  constexpr double kLow = std::numeric_limits<int>::min();
  constexpr double kHigh = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(value, kLow, kHigh));
}

// The status is drawn as a single centred line; a device message with a line break must not
// split it over the bar.
wxString AsOneLine(wxString text) {
  text.Replace("\r\n", " ");
  text.Replace("\n", " ");
  text.Replace("\r", " ");
  return text;
}

}  // namespace

wxString ProgressText(const wxString& text, int position, int minPosition, int maxPosition) {
  if (!text.empty()) {
    return text;
  }
  if (maxPosition <= minPosition) {
    return {};
  }
  const double fraction = (static_cast<double>(position) - minPosition) /
                          (static_cast<double>(maxPosition) - minPosition);
  // Truncated, not rounded: 29 reads 28% because 0.29 * 100 falls just short of 29.
  return wxString::Format("%d%%", TruncateToInt(fraction * 100.0));
}

// The control's window. The parent owns it; the owner and the window each tell the other when
// they go away, so neither is left pointing at freed memory.
class CTextProgressCtrl::Surface : public wxControl {
 public:
  explicit Surface(CTextProgressCtrl& owner) : owner_(&owner) {
    // The paint covers every pixel: erasing first would only make the bar flicker.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &Surface::OnPaint, this);
    Bind(wxEVT_SIZE, &Surface::OnSize, this);
    Bind(wxEVT_ERASE_BACKGROUND, [](wxEraseEvent&) {});
  }
  ~Surface() override {
    if (owner_ != nullptr) {
      owner_->OnSurfaceDestroyed();
    }
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  void Detach() { owner_ = nullptr; }

  // A status line, not an input: clicks and Tab pass it by.
  bool AcceptsFocus() const override { return false; }

 private:
  void OnPaint(wxPaintEvent&) {
    if (owner_ != nullptr) {
      owner_->OnSurfacePaint();
      return;
    }
    // Orphaned (its owner went first): keep the area clean until the parent destroys it.
    wxPaintDC dc(this);
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
  }

  void OnSize(wxSizeEvent& event) {
    event.Skip();
    if (owner_ != nullptr) {
      owner_->OnSurfaceSize();
    }
  }

  CTextProgressCtrl* owner_;
};

CTextProgressCtrl::CTextProgressCtrl()
    : font_(MakeStatusFont()),
      barColour_(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)),
      backgroundColour_(*wxWHITE),
      textColourOnBackground_(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)),
      textColourOnBar_(*wxWHITE) {}

CTextProgressCtrl::~CTextProgressCtrl() {
  if (window_ != nullptr) {
    window_->Detach();
  }
}

bool CTextProgressCtrl::Create(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size) {
  if (window_ != nullptr || parent == nullptr) {
    return false;
  }
  auto* surface = new Surface(*this);
  // The bar's width follows the client width, so a resize changes every pixel.
  if (!surface->Create(parent, id, pos, size, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE,
                       wxDefaultValidator, "textProgress")) {
    surface->Detach();
    delete surface;
    return false;
  }
  surface->SetLabel(text_);
  window_ = surface;
  barWidth_ = -1;
  return true;
}

wxWindow* CTextProgressCtrl::GetWindow() const {
  return window_;
}

int CTextProgressCtrl::SetPosition(int position) {
  if (window_ == nullptr) {
    return -1;
  }
  const int old = position_;
  position_ = position;
  const int width = TruncateToInt(window_->GetClientSize().GetWidth() * Fraction());
  // Progress arrives far more often than the bar gains a pixel; only a visible change is
  // worth a repaint, and that one is shown at once because the caller may be busy for a while.
  if (width != barWidth_) {
    barWidth_ = width;
    RequestRepaint(true);
  }
  return old;
}

void CTextProgressCtrl::SetShowText(bool show) {
  if (window_ != nullptr && show != showText_) {
    RequestRepaint(false);
  }
  showText_ = show;
}

void CTextProgressCtrl::SetWindowText(const wxString& text) {
  if (window_ != nullptr) {
    window_->SetLabel(text);
  }
  if (text != text_) {
    text_ = text;
    if (window_ != nullptr) {
      RequestRepaint(false);
    }
  }
}

int CTextProgressCtrl::GetWindowText(wchar_t* buffer, int size) const {
  if (buffer == nullptr || size <= 0) {
    return 0;
  }
  const std::wstring wide = text_.ToStdWstring();
  const int count = static_cast<int>(std::min<std::size_t>(wide.size(), size - 1));
  std::copy_n(wide.data(), count, buffer);
  buffer[count] = L'\0';
  return count;
}

wxString CTextProgressCtrl::GetShownText() const {
  if (!showText_) {
    return {};
  }
  return ProgressText(text_, position_, minPosition_, maxPosition_);
}

double CTextProgressCtrl::Fraction() const {
  return (static_cast<double>(position_) - minPosition_) /
         (static_cast<double>(maxPosition_) - minPosition_);
}

void CTextProgressCtrl::Draw(wxDC& dc, const wxRect& rect) const {
  // Not clamped: a position past the maximum fills the whole bar. Limiting the fills to the
  // rectangle keeps them off whatever else the DC holds.
  const int barWidth = std::clamp(TruncateToInt(rect.width * Fraction()), 0, rect.width);
  const wxRect barRect(rect.x, rect.y, barWidth, rect.height);
  const wxRect restRect(rect.x + barWidth, rect.y, rect.width - barWidth, rect.height);

  dc.SetPen(*wxTRANSPARENT_PEN);
  if (!barRect.IsEmpty()) {
    dc.SetBrush(wxBrush(barColour_));
    dc.DrawRectangle(barRect);
  }
  if (!restRect.IsEmpty()) {
    dc.SetBrush(wxBrush(backgroundColour_));
    dc.DrawRectangle(restRect);
  }

  if (!showText_) {
    return;
  }
  const wxString line = AsOneLine(ProgressText(text_, position_, minPosition_, maxPosition_));
  if (line.empty()) {
    return;
  }
  dc.SetFont(font_);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  const wxSize extent = dc.GetTextExtent(line);
  const wxPoint origin(rect.x + (rect.width - extent.x) / 2, rect.y + (rect.height - extent.y) / 2);
  // The same string twice, each clipped to one side of the edge, so it stays readable on both.
  const auto drawClipped = [&](const wxRect& clip, const wxColour& colour) {
    if (clip.IsEmpty()) {
      return;
    }
    wxDCClipper clipper(dc, clip);
    dc.SetTextForeground(colour);
    dc.DrawText(line, origin);
  };
  drawClipped(barRect, textColourOnBar_);
  drawClipped(restRect, textColourOnBackground_);
}

void CTextProgressCtrl::RequestRepaint(bool immediate) {
  ++repaintRequests_;
  window_->Refresh(true);
  if (immediate) {
    window_->Update();
  }
}

void CTextProgressCtrl::OnSurfacePaint() {
  // A paint handler must always create its paint DC, even when it draws nothing.
  wxPaintDC paintDc(window_);
  ++paints_;
  if (minPosition_ >= maxPosition_) {
    return;
  }
  const wxRect client(window_->GetClientSize());
  if (client.IsEmpty()) {
    return;
  }
  wxBufferedDC composed(&paintDc, client.GetSize());
  Draw(composed, client);
}

void CTextProgressCtrl::OnSurfaceSize() {
  barWidth_ = -1;
}

void CTextProgressCtrl::OnSurfaceDestroyed() {
  window_ = nullptr;
}

}  // namespace korvan::ui
