// Writes formatted text into a rich-text control at an insertion point that
// moves past what is written. Everything goes through the control's
// messages (selection, character format, replace selection), which the
// platform's rich-edit control supports in full.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

class TRichEdit;

class TRichTextWriter
{
public:
  TRichTextWriter(TRichEdit& edit, int position);

  int Position() const { return FPosition; }
  void SetPosition(int position) { FPosition = position; }

  // The format of what is written next: a font setting string ("Name;Size;
  // $Colour;Styles") replaces the whole format; the styles switch one
  // effect on or off.
  void SetFont(const std::string& fontSetting);
  void SetBold(bool on) { SetEffect(CFM_BOLD, CFE_BOLD, on); }
  void SetUnderline(bool on) { SetEffect(CFM_UNDERLINE, CFE_UNDERLINE, on); }
  void SetStrikeOut(bool on) { SetEffect(CFM_STRIKEOUT, CFE_STRIKEOUT, on); }

  // Writes the text at the position in the current format; the position
  // moves to the end of it. Answers the number of characters written as the
  // control counts them.
  int Write(const std::string& text);

private:
  void SetEffect(DWORD mask, DWORD effect, bool on);

  TRichEdit& FEdit;
  int FPosition;
  CHARFORMAT2A FFormat{};
};
