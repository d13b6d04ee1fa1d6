// The modeless find dialog of the text views (the platform's common find
// dialog), and the search it drives in a rich-text control.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "Control.h"

class TRichEdit;

class TFindDialog : public TComponent
{
public:
  explicit TFindDialog(TComponent* owner);
  ~TFindDialog() override;

  std::string SearchText;
  bool Down = true;
  bool MatchCase = false;
  bool WholeWord = false;
  // Where the dialog's top left corner goes (screen coordinates).
  void SetPosition(POINT screen) { FPosition = screen; FPositioned = true; }

  // Opens the dialog (or brings it forward when it is open).
  void Execute();
  void CloseDialog();
  HWND Handle() const { return FDialog; }

  TNotifyEvent OnFind, OnClose;

  bool IsStandalone() const override { return true; }
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

private:
  static LRESULT CALLBACK OwnerProc(HWND, UINT, WPARAM, LPARAM);
  void Notified();

  HWND FOwner = nullptr;
  HWND FDialog = nullptr;
  FINDREPLACEA FRecord{};
  char FBuffer[256] = {};
  POINT FPosition{0, 0};
  bool FPositioned = false;
};

// Searches the control from its selection for the dialog's text and selects
// what is found. Down searches after the selection (from the start when
// nothing is selected) to the end; up before it (from the end when nothing
// is selected) to the start. Nothing found collapses the selection to where
// the search began. No wrap-around. Answers whether it found the text.
bool FindInRichEdit(TRichEdit& edit, const std::string& text, bool down, bool matchCase, bool wholeWord);
