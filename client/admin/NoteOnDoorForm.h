// A conference's or person's note on the door (its message of the day) in a
// small window that stays on top, shown to whoever writes to them.
#pragma once

#include "Panels.h"
#include "Form.h"
#include "LyskomTextEdit.h"
#include "StandardControls.h"

class TNoteOnDoorForm : public TForm
{
public:
  explicit TNoteOnDoorForm(TComponent* owner) : TForm(owner, "TNoteOnDoorForm") {}

  TLyskomTextEdit* NoteEdit = nullptr;
  TCheckBox* DontShowCheckBox = nullptr;

  // False when the user asked not to see this number's note again (the
  // caller then frees the window); otherwise remembers it.
  bool SetUp(int number);
  int Number() const { return FNumber; }
  // Fills the text once the window is on screen; false when the note, its
  // text or its status cannot be had (the window stays empty).
  bool FillNote();

  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormKeyDown(TComponent* Sender, WORD& Key, TShiftState Shift);
  void NoteEditMouseDown(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

  // The private message that fills the text after the window is shown.
  static constexpr UINT WM_FILL_NOTE = 0x4dc;

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  void InsertRun(const std::string& text, const char* face, int points, bool bold, WORD alignment);
  int FNumber = 0;
};

// Opens the note-on-the-door window for a conference or person unless the
// user asked not to see it again or it has no note to show; the window fills
// itself once shown. Null when no window was opened.
TNoteOnDoorForm* ShowNoteOnDoor(int number);
