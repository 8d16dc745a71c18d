#include "ui/artwork.h"

#include <wx/graphics.h>
#include <wx/image.h>

#include <algorithm>
#include <memory>

namespace korvan::ui {
namespace {

const wxColour kNavy(18, 32, 56);
const wxColour kNavyLight(34, 58, 98);
const wxColour kAmber(255, 168, 28);
const wxColour kAmberBright(255, 206, 84);
const wxColour kRed(222, 52, 40);

// A transparent image to draw on with antialiasing.
wxImage TransparentImage(const wxSize& size) {
  wxImage image(size);
  image.InitAlpha();
  std::fill_n(image.GetAlpha(), size.x * size.y, static_cast<unsigned char>(0));
  return image;
}

// Radar waves: `count` arcs opening to the right from (cx, cy).
void DrawWaves(wxGraphicsContext& gc, double cx, double cy, double step, int count,
               const wxColour& colour, double width) {
  gc.SetBrush(*wxTRANSPARENT_BRUSH);
  gc.SetPen(wxPen(colour, std::max(1, static_cast<int>(width))));
  for (int i = 1; i <= count; ++i) {
    wxGraphicsPath arc = gc.CreatePath();
    const double radius = step * i;
    arc.AddArc(cx, cy, radius, -0.9, 0.9, true);
    gc.StrokePath(arc);
  }
}

}  // namespace

wxBitmap LogoBitmap(bool hover, const wxSize& size) {
  wxImage image = TransparentImage(size);
  std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
  const double w = size.x;
  const double h = size.y;
  gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);

  gc->SetPen(*wxTRANSPARENT_PEN);
  gc->SetBrush(wxBrush(hover ? kNavyLight : kNavy));
  gc->DrawRoundedRectangle(0, 0, w - 1, h - 1, h / 5);

  // The emblem: a red dot sending amber waves.
  const double cy = h / 2;
  const double dot = h / 7;
  gc->SetBrush(wxBrush(kRed));
  gc->DrawEllipse(h / 3 - dot, cy - dot, 2 * dot, 2 * dot);
  DrawWaves(*gc, h / 3, cy, h / 6, 3, hover ? kAmberBright : kAmber, std::max(1.5, h / 16));

  // The word mark.
  wxFont font(wxFontInfo(wxSize(0, static_cast<int>(h * 0.62))).Family(wxFONTFAMILY_SWISS).Bold());
  gc->SetFont(font, *wxWHITE);
  const wxString name = "KORVAN";
  double textWidth = 0;
  double textHeight = 0;
  gc->GetTextExtent(name, &textWidth, &textHeight);
  const double textLeft = h * 1.35;
  gc->DrawText(name, textLeft, (h - textHeight) / 2);

  // Under the mouse the logo reads as a link: an amber underline.
  if (hover) {
    gc->SetPen(wxPen(kAmberBright, std::max(1, static_cast<int>(h / 14))));
    const double underline = (h + textHeight) / 2 - h / 14;
    gc->StrokeLine(textLeft, underline, textLeft + textWidth, underline);
  }
  gc.reset();
  return wxBitmap(image);
}

wxBitmap IconBitmap(int side) {
  wxImage image = TransparentImage(wxSize(side, side));
  std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
  const double s = side;
  gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
  gc->SetPen(*wxTRANSPARENT_PEN);
  gc->SetBrush(wxBrush(kNavy));
  gc->DrawRoundedRectangle(s * 0.04, s * 0.04, s * 0.92, s * 0.92, s * 0.18);

  // The detector's body with its display, and the waves it picks up.
  gc->SetBrush(wxBrush(wxColour(70, 78, 92)));
  gc->DrawRoundedRectangle(s * 0.14, s * 0.52, s * 0.5, s * 0.28, s * 0.06);
  gc->SetBrush(wxBrush(kRed));
  gc->DrawRectangle(s * 0.2, s * 0.6, s * 0.22, s * 0.1);
  gc->SetBrush(wxBrush(kAmber));
  gc->DrawEllipse(s * 0.48, s * 0.6, s * 0.1, s * 0.1);
  gc->SetPen(wxPen(kAmber, std::max(1, side / 16)));
  gc->SetBrush(*wxTRANSPARENT_BRUSH);
  for (int i = 1; i <= 3; ++i) {
    wxGraphicsPath arc = gc->CreatePath();
    arc.AddArc(s * 0.62, s * 0.5, s * 0.1 * i, -1.45, -0.15, true);
    gc->StrokePath(arc);
  }
  gc.reset();
  return wxBitmap(image);
}

wxIcon AppIcon(int side) {
  wxIcon icon;
  icon.CopyFromBitmap(IconBitmap(side));
  return icon;
}

wxIconBundle AppIcons() {
  wxIconBundle bundle;
  for (const int side : {16, 24, 32, 48, 64, 128}) {
    bundle.AddIcon(AppIcon(side));
  }
  return bundle;
}

}  // namespace korvan::ui
