// The rich-text control in which texts are shown and written: the editor's
// writing area, the text views of the reading window, the note on the door.
// On top of the framework's rich-edit control it breaks lines at column 72
// while the user types, draws a guide line at that column, selects the word
// under the mouse on a right click, and can put the caret at the end.
//
// In form resources: "RichEdit BodyEdit: TLyskomTextEdit", with the extra
// properties AutoWrap, RClickSelect and GuideLine.
#pragma once

#include <windows.h>
#include <richole.h>
#include <tom.h>

#include "ComHandles.h"
#include "RichEdit.h"

class TLyskomTextEdit : public TRichEdit
{
public:
  explicit TLyskomTextEdit(TComponent* owner);

  // The column at which typed lines are broken and the guide line is drawn.
  static constexpr int WrapColumn = 72;

  // Break lines while the user types (only typed characters trigger it).
  bool AutoWrap = false;
  // A right click on an empty selection selects the word under the mouse.
  bool RClickSelect = false;
  // The guide line at the wrap column, drawn while the control is editable.
  // A form resource that does not set it gives it to the controls it
  // designs editable: a read-only view that the program makes writable for
  // a moment to put its text in never shows one.
  bool GuideLine = true;

  // Puts the caret at the end of the text, with nothing selected.
  void SelectEOT();
  // Selects the word around a character position; only tab, carriage
  // return and blank delimit words. Clicking a delimiter selects nothing.
  void SelectWordAt(int position);
  // The same for a text range positioned at a point; the range is set to
  // the word too.
  void SelectWordAt(ITextRange* range);

  // The control's text object model document (null when it has none).
  TComPtr<ITextDocument> TextDocument() const;

  // Width in pixels of "X" in the control's font; -1 until first measured.
  int XWidth() const { return FXWidth; }
  // Where the guide line is drawn, in client coordinates (-1: no line, the
  // control has none, is read-only or has no window).
  int GuideLineX();
  // The guide line's colour: the window colour with some bits flipped.
  static COLORREF GuideLineColor();

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;
  void Loaded() override;

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  void WrapTypedLine();
  void PaintGuideLine();
  void MeasureXWidth();
  // The selection's bounds for the word around position (start > end: none).
  void WordBounds(int position, int& start, int& end) const;
  std::string TextRange(int start, int end) const;

  int FXWidth = -1;
  int FLastGuideX = -1;
  bool FGuideLineSet = false;
};
