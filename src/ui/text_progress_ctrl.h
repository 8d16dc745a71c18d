// `CTextProgressCtrl`: the main window's status line, a progress bar that paints its own text
// (a status message, or the percentage) in two colours split at the bar's edge, composed
// off-screen and copied once. The object exists without a window (the slots other than 0
// never get one); `Create` gives it its window, which the parent owns and destroys.
#pragma once

#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/font.h>
#include <wx/string.h>
#include <wx/window.h>

#include <array>
#include <cstddef>

namespace korvan::ui {

class CTextProgressCtrl {
 public:
  CTextProgressCtrl();
  ~CTextProgressCtrl();
  CTextProgressCtrl(const CTextProgressCtrl&) = delete;
  CTextProgressCtrl& operator=(const CTextProgressCtrl&) = delete;

  // Creates the control's window as a child of `parent` (pixels). The object forgets the
  // window when the parent destroys it.
  bool Create(wxWindow* parent, int id, const wxPoint& pos, const wxSize& size);
  // The window, or null.
  wxWindow* GetWindow() const;

  // Stores the position and returns the previous one; -1 (nothing stored) without a window.
  // Repaints at once, before returning, only when the bar's pixel width changes.
  int SetPosition(int position);
  int GetPosition() const { return position_; }

  // Stored for the next repaint; no repaint is requested.
  void SetBarColour(const wxColour& colour) { barColour_ = colour; }
  void SetBackgroundColour(const wxColour& colour) { backgroundColour_ = colour; }
  void SetTextColourOnBackground(const wxColour& colour) { textColourOnBackground_ = colour; }
  void SetTextColourOnBar(const wxColour& colour) { textColourOnBar_ = colour; }
  // Whether any text is drawn; a change repaints the control.
  void SetShowText(bool show);

  // The window text: shown instead of the percentage when not empty. Setting the text it
  // already has changes nothing; a new one repaints in the normal paint cycle.
  void SetWindowText(const wxString& text);
  // Copies as much of the text as fits in `buffer` (`size` characters, the terminating zero
  // included) and returns the number of characters copied; 0 without a buffer.
  int GetWindowText(wchar_t* buffer, int size) const;
  const wxString& GetText() const { return text_; }
  // The string the paint draws: the text or the percentage; empty when text is hidden.
  wxString GetShownText() const;

  // Draws the whole control as its paint does, into `dc` over `rect` (the client area). The
  // paint composes through an off-screen surface; tests draw into a bitmap.
  void Draw(wxDC& dc, const wxRect& rect) const;

  // How many repaints the control has asked for (at once or in the paint cycle) and how many
  // paints it has done: lets tests tell a repaint from none.
  int RepaintRequests() const { return repaintRequests_; }
  int Paints() const { return paints_; }

 private:
  class Surface;
  friend class Surface;

  double Fraction() const;
  void RequestRepaint(bool immediate);
  void OnSurfacePaint();
  void OnSurfaceSize();
  void OnSurfaceDestroyed();

  wxFont font_;
  int position_ = 0;
  int maxPosition_ = 100;
  int minPosition_ = 0;
  wxString text_;
  bool showText_ = true;
  int barWidth_ = -1;
  wxColour barColour_;
  wxColour backgroundColour_;
  wxColour textColourOnBackground_;
  wxColour textColourOnBar_;

  Surface* window_ = nullptr;
  int repaintRequests_ = 0;
  int paints_ = 0;
};

// The text a bar shows: `text` when not empty, else the percentage of `position` in
// `minPosition..maxPosition`, truncated toward zero as the bar's width is (empty for an empty
// range).
wxString ProgressText(const wxString& text, int position, int minPosition, int maxPosition);

// One status bar per drive slot; only element 0 gets a window (the main window's status line).
inline constexpr std::size_t kSlotCount = 4;
using SlotProgressBarArray = std::array<CTextProgressCtrl, kSlotCount>;

}  // namespace korvan::ui
