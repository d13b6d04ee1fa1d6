// The host of the system's rich-text control (Rich Edit 2.0, "RichEdit20A"
// from RICHED20.DLL), which every text control of the program uses. When the
// library cannot be loaded, each such control says so when it is created
// and falls back to the base rich-edit class; the program goes on.
// Copy and cut go to the plain clipboard by the control itself: the OLE
// clipboard that the control would use is not available to the window
// thread of a multithreaded apartment.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "Control.h"

class TRichEdit : public TControl
{
public:
  explicit TRichEdit(TComponent* owner);

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v);
  enum class TScrollBars { None, Horizontal, Vertical, Both } ScrollBars = TScrollBars::Both;
  bool WordWrap = true;
  bool HideSelection = true;
  // Whether the selection is hidden while the control has not the focus;
  // a find dialog over the control turns it off to show what it finds.
  void SetHideSelection(bool v);
  bool HideScrollBars = true;
  bool PlainText = false;
  bool WantTabs = false;
  bool WantReturns = true;
  bool Border = true;
  int MaxLength = 0;

  // The text as the control holds it: lines end with CR alone, so that
  // positions in it are the control's character positions.
  std::string Caption() const override;
  int TextLength() const;
  int SelStart() const;
  int SelLength() const;
  void SetSelection(int start, int length);
  std::string SelText() const;
  void ReplaceSelection(const std::string& text, bool canUndo = true);
  void SelectAll() { SetSelection(0, -1); }
  void Clear() { SetText(""); }

  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();

  TNotifyEvent OnChange, OnSelectionChange;

  void SetColor(TColor c) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

  // The message shown when RICHED20.DLL cannot be loaded.
  static const char* MissingLibraryText();
  // The window class in use ("RichEdit20A", or the fallback).
  static std::string WindowClass();
  // Which library to load (the default is "RICHED20.DLL"); for tests of the
  // fallback. Takes effect for controls created afterwards.
  static void SetLibraryName(const std::string& name);

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleCommand(WORD code, WORD id) override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  // A click in the control's left margin, or a whole last line or all of the
  // text selected, can leave the selection ending after the text's final
  // paragraph mark: a position past the text, where the caret sits a line
  // too far and line lookups fail. Such a selection is drawn back to the
  // text's end; true when it was.
  bool KeepSelectionInText();

  bool FReadOnly = false;
  bool FKeepingSelection = false;
};
